#include "commands/setuppanel.h"

#include "core/exceptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>

namespace {

bool IsAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// Reads "[sign] digits [separator digits] [e|E [sign] digits]" with the
// locale's decimal separator; at least one mantissa digit. Anything else,
// group separators included, is not a number. The value is computed
// independently of the C library's locale.
std::optional<long double> ParseDecimal(const QString &text, const QLocale &locale)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;

    const QString separator = locale.decimalPoint();
    std::string ascii;
    qsizetype i = begin;
    if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        if (text[i] == QLatin1Char('-'))
            ascii += '-';
        ++i;
    }
    // Where the first significant digit stands: 0 for the units, -1 for the
    // tenths and so on. It tells a number too small for long double from one
    // too large, whichever way it is written.
    long long leadingPlace = 0;
    bool significant = false;
    int mantissaDigits = 0;
    while (i < end && IsAsciiDigit(text[i])) {
        if (significant || text[i] != QLatin1Char('0')) {
            significant = true;
            ++leadingPlace;
        }
        ascii += char(text[i++].unicode());
        ++mantissaDigits;
    }
    --leadingPlace;
    if (!separator.isEmpty() && QStringView(text).sliced(i, end - i).startsWith(separator)) {
        ascii += '.';
        i += separator.size();
        while (i < end && IsAsciiDigit(text[i])) {
            if (!significant && text[i] == QLatin1Char('0'))
                --leadingPlace;
            else
                significant = true;
            ascii += char(text[i++].unicode());
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0)
        return std::nullopt;
    long long exponent = 0;
    if (i < end && (text[i] == QLatin1Char('e') || text[i] == QLatin1Char('E'))) {
        ascii += 'e';
        ++i;
        bool negativeExponent = false;
        if (i < end && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
            negativeExponent = text[i] == QLatin1Char('-');
            ascii += char(text[i++].unicode());
        }
        int exponentDigits = 0;
        while (i < end && IsAsciiDigit(text[i])) {
            // Far beyond any long double either way; stop counting there.
            exponent = std::min(exponent * 10 + (text[i].unicode() - '0'), 1'000'000'000LL);
            ascii += char(text[i++].unicode());
            ++exponentDigits;
        }
        if (exponentDigits == 0)
            return std::nullopt;
        if (negativeExponent)
            exponent = -exponent;
    }
    if (i != end)
        return std::nullopt;

    long double value = 0;
    const char *first = ascii.data();
    const char *last = first + ascii.size();
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range && significant && leadingPlace + exponent < 0)
        return 0.0L; // below the smallest long double: too small to be anything but zero dots
    if (ec != std::errc() || ptr != last)
        return std::nullopt;
    return value;
}

[[noreturn]] void ThrowNotAFloat(const QString &text)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
}

} // namespace

SetupPanelValues StartSetupValues()
{
    const SetupPanelItemLists &items = SetupPanelItems();
    SetupPanelValues v;
    v.resolution = Resolution::Dpi203;
    v.unit = LengthUnit::Mm;
    v.speed = ComboAt(items.speed, 2);
    v.density = ComboAt(items.density, 16);
    v.mediaSensor = ComboAt(items.mediaSensor, 1);
    v.postAction = ComboAt(items.postAction, 2);
    v.mediaType = ComboAt(items.mediaType, 1);
    v.direction = ComboAt(items.direction, 1);
    v.width = QStringLiteral("76");
    v.height = QStringLiteral("200");
    v.top = QStringLiteral("0");
    v.shift = QStringLiteral("0");
    v.homeX = QStringLiteral("0");
    v.homeY = QStringLiteral("0");
    v.quantity = QStringLiteral("1");
    v.box = false;
    return v;
}

const SetupPanelItemLists &SetupPanelItems()
{
    static const SetupPanelItemLists lists = [] {
        SetupPanelItemLists l;
        l.speed = QStringList { QString(), QStringLiteral("2"), QStringLiteral("3"),
                                QStringLiteral("4"), QStringLiteral("5") };
        l.density << QString();
        for (int d = 0; d <= 30; ++d)
            l.density << QString::number(d);
        l.mediaSensor
            = QStringList { QString(), QStringLiteral("Continuous"), QStringLiteral("Web Sensing"),
                            QStringLiteral("Mark Sensing") };
        l.mediaType = QStringList { QString(), QStringLiteral("Thermal Direct"),
                                    QStringLiteral("Thermal Transfer") };
        l.postAction = QStringList { QString(), QStringLiteral("Rewind"),
                                     QStringLiteral("Tear off"), QStringLiteral("Peel off") };
        l.direction = QStringList { QString(), QStringLiteral("Normal"),
                                    QStringLiteral("Invert:Rotation 180") };
        return l;
    }();
    return lists;
}

ComboValue ComboAt(const QStringList &items, int position)
{
    const QString text = position >= 0 && position < items.size() ? items[position] : QString();
    return { position, text, text };
}

int DotsPerMm(Resolution resolution)
{
    switch (resolution) {
    case Resolution::Dpi203:
        return 8;
    case Resolution::Dpi300:
        return 12;
    }
    return 8;
}

long double UnitFactor(LengthUnit unit)
{
    switch (unit) {
    case LengthUnit::Inch:
        return 25.4L;
    case LengthUnit::Mm:
        return 1.0L;
    case LengthUnit::Cm:
        return 10.0L;
    }
    return 1.0L;
}

qint64 LengthToDots(const QString &text, int dotsPerMm, long double unitFactor,
                    const QLocale &locale)
{
    const std::optional<long double> value = ParseDecimal(text, locale);
    if (!value)
        ThrowNotAFloat(text);
    const long double dots = *value * unitFactor * static_cast<long double>(dotsPerMm);
    // Nearest integer, halves to even (the default rounding mode).
    const long double rounded = std::nearbyint(dots);
    // A length beyond 64 bits of dots is no length a printer can take; refuse
    // it rather than send an undefined number.
    if (!(rounded >= -0x1p63L && rounded < 0x1p63L))
        ThrowNotAFloat(text);
    return static_cast<qint64>(rounded);
}

qint64 FieldToDots(const QString &text, const QString &caption, int dotsPerMm,
                   long double unitFactor, const QLocale &locale)
{
    try {
        return LengthToDots(text, dotsPerMm, unitFactor, locale);
    } catch (EConvertError &e) {
        QString name = caption;
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        e.SetParticulars({ ErrorParticulars::Subject::Field, name, 0, {} });
        throw;
    }
}

qint32 LabelWidthDots(const SetupPanelValues &values, const QLocale &locale)
{
    const qint64 dots = FieldToDots(values.width, WidthCaption(values.unit),
                                    DotsPerMm(values.resolution), UnitFactor(values.unit), locale);
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(dots)));
}

qint32 LabelHeightDots(const SetupPanelValues &values, const QLocale &locale)
{
    const qint64 dots = FieldToDots(values.height, HeightCaption(values.unit),
                                    DotsPerMm(values.resolution), UnitFactor(values.unit), locale);
    return static_cast<qint32>(static_cast<quint32>(static_cast<quint64>(dots)));
}

QString UnitName(LengthUnit unit)
{
    switch (unit) {
    case LengthUnit::Inch:
        return QStringLiteral("Inch");
    case LengthUnit::Mm:
        return QStringLiteral("mm");
    case LengthUnit::Cm:
        return QStringLiteral("cm");
    }
    return QString();
}

QString WidthCaption(LengthUnit unit)
{
    return QStringLiteral("Label Width(%1):").arg(UnitName(unit));
}

QString HeightCaption(LengthUnit unit)
{
    return QStringLiteral("Label Height(%1):").arg(UnitName(unit));
}

RangeCaptions RangeCaptionsFor(Resolution resolution)
{
    switch (resolution) {
    case Resolution::Dpi203:
        return { QStringLiteral("Label Top:[-15,15]mm"),
                 QStringLiteral("Label Shift:[-1249,1249]mm"),
                 QStringLiteral("Label Home:[0,4000]mm") };
    case Resolution::Dpi300:
        return { QStringLiteral("Label Top:[-10,10]mm"), QStringLiteral("Label Shift:[-833,833]mm"),
                 QStringLiteral("Label Home:[0,2666]mm") };
    }
    return {};
}
