#include "preview/settingrule.h"

namespace {

// Strictly a number: blanks around it at most, and no longer than a
// printer's field for one.
std::optional<qint64> Number(QByteArrayView text)
{
    const QByteArrayView t = text.trimmed();
    bool ok = false;
    const qint64 v = t.toLongLong(&ok, 10);
    if (!ok || t.size() > 12)
        return std::nullopt;
    return v;
}

// The value a letter sets, or nothing when it is none of the param's.
std::optional<int> Letter(const SettingParam &param, QByteArrayView text)
{
    const QByteArrayView t = text.trimmed();
    if (!param.letters || t.size() != 1)
        return std::nullopt;
    const char letter = t[0] >= 'a' && t[0] <= 'z' ? char(t[0] - 'a' + 'A') : t[0];
    const qsizetype at = QByteArrayView(param.letters).indexOf(letter);
    if (at < 0)
        return std::nullopt;
    const int value = at < qsizetype(param.values.size()) ? param.values[size_t(at)] : 0;
    return value != 0 ? value : int(letter);
}

QString Refusal(const SettingParam &param)
{
    const char *words = param.refusal              ? param.refusal
        : param.kind == SettingParam::Kind::Letter ? "one of the letters %3 is needed; unchanged"
                                                   : "a value from %1 to %2 is needed; unchanged";
    return QString::fromLatin1(words)
        .replace(QLatin1String("%1"), QString::number(param.low))
        .replace(QLatin1String("%2"), QString::number(param.high))
        .replace(QLatin1String("%3"), QString::fromLatin1(param.letters ? param.letters : ""));
}

} // namespace

SettingValues ReadSetting(const SettingRule &rule, QByteArrayView params, char delimiter)
{
    SettingValues read;
    // Read in place, without copies: every label has its ^PQ.
    QByteArrayView rest = params;
    bool more = true;
    for (size_t i = 0; i < rule.params.size(); ++i) {
        const bool written = more;
        const qsizetype cut = rest.indexOf(delimiter);
        const QByteArrayView text = !written ? QByteArrayView() : cut < 0 ? rest : rest.first(cut);
        more = written && cut >= 0;
        rest = more ? rest.sliced(cut + 1) : QByteArrayView();
        const SettingParam &param = rule.params[i];
        if (param.kind == SettingParam::Kind::Skipped)
            continue;
        if ((!written && param.omitted != SettingParam::Omitted::Refused)
            || (param.omitted == SettingParam::Omitted::Kept && text.trimmed().isEmpty()))
            continue;
        std::optional<int> value = Letter(param, text);
        if (!value && param.kind == SettingParam::Kind::Number) {
            const std::optional<qint64> n = Number(text);
            if (n && *n >= param.low && *n <= param.high)
                value = int(*n);
        }
        if (!value) {
            read.refusal = Refusal(param);
            break;
        }
        read.values[i] = value;
    }
    return read;
}
