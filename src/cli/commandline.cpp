#include "cli/commandline.h"

#include "cli/usageerror.h"

#include <algorithm>
#include <vector>

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
            QStringList names;
            for (const OptionInfo &o : options) {
                names << QStringLiteral("--") + o.name;
                if (o.name == name)
                    option = &o;
            }
            if (!option)
                throw EUsageError(QStringLiteral("unknown option '--%1'%2")
                                      .arg(name, DidYouMean(QStringLiteral("--") + name, names)));
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

namespace {

// Edits from one to the other, a swap of neighbours counting as one.
int Distance(const QString &a, const QString &b)
{
    const qsizetype n = a.size(), m = b.size();
    std::vector<std::vector<int>> d(size_t(n + 1), std::vector<int>(size_t(m + 1)));
    for (qsizetype i = 0; i <= n; ++i)
        d[size_t(i)][0] = int(i);
    for (qsizetype j = 0; j <= m; ++j)
        d[0][size_t(j)] = int(j);
    for (qsizetype i = 1; i <= n; ++i) {
        for (qsizetype j = 1; j <= m; ++j) {
            const int same = a[i - 1] == b[j - 1] ? 0 : 1;
            int best = std::min({ d[size_t(i - 1)][size_t(j)] + 1, d[size_t(i)][size_t(j - 1)] + 1,
                                  d[size_t(i - 1)][size_t(j - 1)] + same });
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                best = std::min(best, d[size_t(i - 2)][size_t(j - 2)] + 1);
            d[size_t(i)][size_t(j)] = best;
        }
    }
    return d[size_t(n)][size_t(m)];
}

} // namespace

QString DidYouMean(const QString &typed, const QStringList &names)
{
    // A short name is mistyped by one slip at most; anything further is
    // another word, not a typing slip.
    const QString lower = typed.toLower();
    const int allowed = lower.size() <= 4 ? 1 : 2;
    QString found;
    int best = allowed + 1;
    bool tie = false;
    for (const QString &name : names) {
        if (lower.size() > 64)
            break; // nobody mistypes a name that long
        const int d = Distance(lower, name);
        if (d < best) {
            best = d;
            found = name;
            tie = false;
        } else if (d == best) {
            tie = true;
        }
    }
    if (found.isEmpty() || tie || (best == 0 && lower == typed))
        return QString();
    return QStringLiteral(" (did you mean '%1'?)").arg(found);
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
