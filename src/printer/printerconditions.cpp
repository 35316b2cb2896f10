#include "printer/printerconditions.h"

#include <QRegularExpression>

quint8 status::StatusByteOf(quint32 conditions)
{
    return quint8(conditions & 0xFF) | (conditions & ~0xFFu ? quint8(OtherError) : quint8(0));
}

QStringList status::ConditionNames()
{
    return { QStringLiteral("head-open"),
             QStringLiteral("paper-jam"),
             QStringLiteral("paper-out"),
             QStringLiteral("ribbon-out"),
             QStringLiteral("pause"),
             QStringLiteral("printing"),
             QStringLiteral("cover-open"),
             QStringLiteral("other-error"),
             QStringLiteral("over-temperature"),
             QStringLiteral("under-temperature"),
             QStringLiteral("cutter-fault"),
             QStringLiteral("corrupt-ram") };
}

std::optional<quint32> status::ParseConditions(const QString &list, QString *error)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    const QStringList names = ConditionNames();
    quint32 bits = 0;
    for (const QString &word : list.split(separators, Qt::SkipEmptyParts)) {
        const QString name = word.toLower();
        if (name == QLatin1String("ready") || name == QLatin1String("none"))
            continue;
        const qsizetype bit = names.indexOf(name);
        if (bit < 0) {
            if (error)
                *error = QStringLiteral("unknown condition \"%1\" (known: ready, %2)")
                             .arg(word, names.join(QStringLiteral(", ")));
            return std::nullopt;
        }
        bits |= 1u << bit;
    }
    return bits;
}

QString status::DescribeConditions(quint32 bits)
{
    if (bits == 0)
        return QStringLiteral("ready");
    const QStringList names = ConditionNames();
    QStringList set;
    for (int bit = 0; bit < Count; ++bit) {
        if (bits & (1u << bit))
            set << names.at(bit);
    }
    return set.join(QStringLiteral(", "));
}
