#include "preview/settingrule.h"

#include <algorithm>
#include <cmath>

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

// A length written in other units than dots, in dots.
std::optional<qint64> Length(QByteArrayView text, LengthUnits units, int dotsPerMm)
{
    const QByteArrayView t = text.trimmed();
    bool ok = false;
    const double v = t.toDouble(&ok);
    if (!ok || t.size() > 12 || !std::isfinite(v))
        return std::nullopt;
    return std::llround(std::clamp(v * units.DotsPerUnit(dotsPerMm), -1e12, 1e12));
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

bool ReadUnits(QByteArrayView params, char delimiter, LengthUnits &units)
{
    QByteArrayView rest = params;
    std::array<QByteArrayView, 3> part;
    for (QByteArrayView &p : part) {
        const qsizetype cut = rest.indexOf(delimiter);
        p = (cut < 0 ? rest : rest.first(cut)).trimmed();
        rest = cut < 0 ? QByteArrayView() : rest.sliced(cut + 1);
    }
    // A format written for one resolution, printed at another.
    const std::optional<qint64> from = Number(part[1]);
    const std::optional<qint64> to = Number(part[2]);
    if (from && to && *from > 0 && *to > 0 && *from <= 600 && *to <= 600)
        units.dotScale = double(*to) / double(*from);
    if (part[0].isEmpty())
        return true;
    const char letter
        = part[0][0] >= 'a' && part[0][0] <= 'z' ? char(part[0][0] - 'a' + 'A') : part[0][0];
    if (part[0].size() != 1 || !QByteArrayView("DIM").contains(letter))
        return false;
    units.letter = letter;
    return true;
}

void ApplySetting(const SettingRule &rule, const SettingValues &read, KeptSettings &kept)
{
    for (size_t i = 0; i < rule.params.size(); ++i) {
        const SettingParam &param = rule.params[i];
        if (!read.values[i])
            continue;
        const int value = *read.values[i];
        if (param.number)
            kept.*param.number = value;
        else if (param.letter)
            kept.*param.letter = char(value);
        else if (param.flag)
            kept.*param.flag = value == 'Y';
    }
}

SettingValues ReadSetting(const SettingRule &rule, QByteArrayView params, char delimiter,
                          LengthUnits units, int dotsPerMm)
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
        const bool empty = !written || text.trimmed().isEmpty();
        if (param.omitted == SettingParam::Omitted::Defaulted && empty) {
            read.values[i] = param.absent;
            continue;
        }
        if ((!written && param.omitted != SettingParam::Omitted::Refused)
            || (param.omitted == SettingParam::Omitted::Kept && empty))
            continue;
        std::optional<int> value = Letter(param, text);
        if (!value && param.kind == SettingParam::Kind::Number) {
            const std::optional<qint64> n
                = param.length && !units.InDots() ? Length(text, units, dotsPerMm) : Number(text);
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
