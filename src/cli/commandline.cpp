#include "cli/commandline.h"

#include "cli/usageerror.h"

QString CommandLine::Value(const QString &name, const QString &fallback) const
{
    const QStringList v = values.value(name);
    return v.isEmpty() ? fallback : v.last();
}

CommandLine ParseCommandLine(const QStringList &args, const std::vector<OptionSpec> &options)
{
    CommandLine line;
    auto take = [&](const OptionSpec &spec, const QString &value) {
        line.given << spec.name;
        line.values[spec.name] << value;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const OptionSpec *spec = nullptr;
        QString inlineValue;
        bool hasInlineValue = false;
        if (!optionsEnded && arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg.startsWith(QLatin1String("--"))) {
            QString name = arg.mid(2);
            const qsizetype eq = name.indexOf(QLatin1Char('='));
            if (eq >= 0) {
                inlineValue = name.mid(eq + 1);
                hasInlineValue = true;
                name.truncate(eq);
            }
            for (const OptionSpec &o : options)
                if (o.name == name)
                    spec = &o;
            if (!spec)
                throw EUsageError(QStringLiteral("unknown option '--%1'").arg(name));
        } else if (!optionsEnded && arg.size() >= 2 && arg.startsWith(QLatin1Char('-'))) {
            for (const OptionSpec &o : options)
                if (!o.shortName.isNull() && o.shortName == arg[1])
                    spec = &o;
            if (!spec)
                throw EUsageError(QStringLiteral("unknown option '%1'").arg(arg.left(2)));
            if (arg.size() > 2) {
                if (spec->valueName.isEmpty())
                    throw EUsageError(QStringLiteral("unknown option '%1'").arg(arg));
                inlineValue = arg.mid(2);
                hasInlineValue = true;
            }
        } else {
            if (line.operation.isEmpty())
                line.operation = arg;
            else
                line.operands << arg;
            continue;
        }

        if (spec->valueName.isEmpty()) {
            if (hasInlineValue)
                throw EUsageError(QStringLiteral("--%1 takes no value").arg(spec->name));
            take(*spec, QString());
        } else if (hasInlineValue) {
            take(*spec, inlineValue);
        } else if (i + 1 < args.size()) {
            take(*spec, args[++i]);
        } else {
            throw EUsageError(
                QStringLiteral("--%1 needs a value (%2)").arg(spec->name, spec->valueName));
        }
    }
    return line;
}

qint64 OptionNumber(const QString &option, const QString &text, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (!ok || n < low || n > high)
        throw EUsageError(QStringLiteral("--%1: '%2' is not a whole number from %3 to %4")
                              .arg(option, text)
                              .arg(low)
                              .arg(high));
    return n;
}
