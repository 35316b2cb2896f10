// The length fields: any text either converts to dots or is refused with the
// conversion message, and every way of writing the same decimal number gives
// the same dots (or the same refusal), however tiny, huge or long it is.
//
// Input: one line choosing the resolution ("300" for 12 dots per mm, else 8),
// the unit ("inch", "cm", else mm) and the decimal separator ("comma", else
// full stop); the rest of the input is the field's text (UTF-8).

#include "fuzzinput.h"

#include "commands/setuppanel.h"
#include "core/exceptions.h"

#include <limits>
#include <optional>

namespace {

struct Outcome
{
    bool refused = false;
    qint64 dots = 0;
    bool operator==(const Outcome &) const = default;
};

Outcome Convert(const QString &text, int dotsPerMm, long double unitFactor, const QLocale &locale)
{
    try {
        return { false, LengthToDots(text, dotsPerMm, unitFactor, locale) };
    } catch (const EConvertError &e) {
        const QString expected
            = QStringLiteral("'%1' is not a valid floating point value").arg(text);
        FUZZ_CHECK(e.Message() == expected, "message %s", qPrintable(e.Message()));
        return { true, 0 };
    }
}

// The parts of a decimal as the field's grammar defines it, read here
// independently of the code under test.
struct Decimal
{
    bool negative = false;
    QByteArray integerDigits;
    QByteArray fractionDigits;
    bool exponentNegative = false;
    QByteArray exponentDigits;
};

std::optional<Decimal> Read(const QString &text, QChar separator)
{
    const QString t = text;
    qsizetype i = 0, end = t.size();
    while (i < end && t[i] == u' ')
        ++i;
    while (end > i && t[end - 1] == u' ')
        --end;
    auto digits = [&](QByteArray &out) {
        while (i < end && t[i] >= u'0' && t[i] <= u'9')
            out += char(t[i++].unicode());
    };
    Decimal d;
    if (i < end && (t[i] == u'+' || t[i] == u'-'))
        d.negative = t[i++] == u'-';
    digits(d.integerDigits);
    if (i < end && t[i] == separator) {
        ++i;
        digits(d.fractionDigits);
    }
    if (d.integerDigits.isEmpty() && d.fractionDigits.isEmpty())
        return std::nullopt;
    if (i < end && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < end && (t[i] == u'+' || t[i] == u'-'))
            d.exponentNegative = t[i++] == u'-';
        digits(d.exponentDigits);
        if (d.exponentDigits.isEmpty())
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    return d;
}

// The exponent as a number, when it is short enough to do sums with.
std::optional<long long> Exponent(const Decimal &d)
{
    QByteArray digits = d.exponentDigits;
    while (digits.size() > 1 && digits.startsWith('0'))
        digits.remove(0, 1);
    if (digits.size() > 12)
        return std::nullopt;
    const long long value = digits.isEmpty() ? 0 : digits.toLongLong();
    return d.exponentNegative ? -value : value;
}

QString Written(bool negative, const QByteArray &mantissa, long long exponent)
{
    return QString::fromLatin1((negative ? "-" : "") + mantissa + "e"
                               + QByteArray::number(exponent));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray choice = input.Line();
    const int dotsPerMm = choice.contains("300") ? 12 : 8;
    const long double unitFactor = choice.contains("inch") ? 25.4L
        : choice.contains("cm")                            ? 10.0L
                                                           : 1.0L;
    const QLocale locale
        = choice.contains("comma") ? QLocale(QLocale::German, QLocale::Germany) : QLocale::c();
    const QChar separator = locale.decimalPoint().at(0);
    const QString text = QString::fromUtf8(input.Rest());

    const Outcome outcome = Convert(text, dotsPerMm, unitFactor, locale);
    const std::optional<Decimal> decimal = Read(text, separator);
    FUZZ_CHECK(decimal || outcome.refused, "'%s' is no decimal but gave %lld dots",
               qPrintable(text.left(100)), outcome.dots);
    if (!decimal)
        return 0;

    // The same number with the sign turned round gives the opposite dots:
    // halves go to the even neighbour on both sides of zero. (The one
    // exception is the lowest 64-bit number, whose opposite does not fit.)
    if (!outcome.refused && outcome.dots == std::numeric_limits<qint64>::min())
        return 0;
    Decimal mirrored = *decimal;
    mirrored.negative = !mirrored.negative;
    const QByteArray point = QByteArray(1, char(separator.unicode()));
    const QByteArray body = decimal->integerDigits + point + decimal->fractionDigits
        + (decimal->exponentDigits.isEmpty()
               ? QByteArray()
               : "e" + QByteArray(decimal->exponentNegative ? "-" : "") + decimal->exponentDigits);
    const Outcome opposite = Convert(QString::fromLatin1((mirrored.negative ? "-" : "") + body),
                                     dotsPerMm, unitFactor, locale);
    FUZZ_CHECK(opposite.refused == outcome.refused && opposite.dots == -outcome.dots,
               "'%s' gave %lld dots, its opposite %lld (refused %d/%d)", qPrintable(text.left(100)),
               outcome.dots, opposite.dots, outcome.refused, opposite.refused);

    // The same number written with all its digits before the point, and with
    // all of them after "0.", through the exponent.
    const std::optional<long long> exponent = Exponent(*decimal);
    if (!exponent)
        return 0;
    const QByteArray digits = decimal->integerDigits + decimal->fractionDigits;
    const QString forms[] = {
        Written(decimal->negative, digits, *exponent - decimal->fractionDigits.size()),
        Written(decimal->negative, "0" + point + digits, *exponent + decimal->integerDigits.size()),
    };
    for (const QString &form : forms) {
        const Outcome same = Convert(form, dotsPerMm, unitFactor, locale);
        FUZZ_CHECK(same == outcome, "'%s' gave %lld dots (refused %d), '%s' %lld (refused %d)",
                   qPrintable(text.left(100)), outcome.dots, outcome.refused,
                   qPrintable(form.left(100)), same.dots, same.refused);
    }
    return 0;
}
