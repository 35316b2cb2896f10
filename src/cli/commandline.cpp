#include "cli/commandline.h"

#include "cli/usageerror.h"

QString CommandLine::Value(const QString &name, const QString &fallback) const
{
    const QStringList v = values.value(name);
    return v.isEmpty() ? fallback : v.last();
}

CommandLine ParseCommandLine(const QStringList &args, const std::vector<OptionInfo> &options)
{
    CommandLine line;
    auto take = [&](const OptionInfo &option, const QString &value) {
        line.given << option.name;
        line.values[option.name] << value;
    };
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const OptionInfo *option = nullptr;
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
            for (const OptionInfo &o : options)
                if (o.name == name)
                    option = &o;
            if (!option)
                throw EUsageError(QStringLiteral("unknown option '--%1'").arg(name));
        } else if (!optionsEnded && arg.size() >= 2 && arg.startsWith(QLatin1Char('-'))) {
            for (const OptionInfo &o : options)
                if (!o.shortName.isNull() && o.shortName == arg[1])
                    option = &o;
            if (!option)
                throw EUsageError(QStringLiteral("unknown option '%1'").arg(arg.left(2)));
            if (arg.size() > 2) {
                if (option->valueName.isEmpty())
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

        if (option->valueName.isEmpty()) {
            if (hasInlineValue)
                throw EUsageError(QStringLiteral("--%1 takes no value").arg(option->name));
            take(*option, QString());
        } else if (hasInlineValue) {
            take(*option, inlineValue);
        } else if (i + 1 < args.size()) {
            take(*option, args[++i]);
        } else {
            throw EUsageError(
                QStringLiteral("--%1 needs a value (%2)").arg(option->name, option->valueName));
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
