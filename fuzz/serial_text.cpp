// The serial settings' text conversions: every value's text reads back as
// that value, any other text gives a value of the type (its fallback when the
// text names none), and the character texts of the settings persistence read
// back as the characters they stand for.
//
// Input: the text (UTF-8).

#include "fuzzinput.h"

#include "serial/comsettings.h"

namespace {

// E runs from first to last; a text that reads as something other than the
// fallback must be that value's text, letter case aside.
template<class E>
void CheckPair(const QString &text, E first, E last, E fallback, QString (*toText)(E),
               E (*fromText)(const QString &))
{
    for (int v = first; v <= last; ++v) {
        const QString name = toText(E(v));
        FUZZ_CHECK(fromText(name) == E(v) && fromText(name.toLower()) == E(v), "%s",
                   qPrintable(name));
    }
    const E value = fromText(text);
    FUZZ_CHECK(value >= first && value <= last, "'%s' gave %d", qPrintable(text.left(100)),
               int(value));
    if (value != fallback) {
        FUZZ_CHECK(toText(value).toUpper() == text.toUpper(), "'%s' read as %s",
                   qPrintable(text.left(100)), qPrintable(toText(value)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    CheckPair(text, brCustom, br256000, br9600, BaudRateToText, BaudRateFromText);
    CheckPair(text, sbOneStopBit, sbTwoStopBits, sbOneStopBit, StopBitsToText, StopBitsFromText);
    CheckPair(text, dbFive, dbEight, dbEight, DataBitsToText, DataBitsFromText);
    CheckPair(text, prNone, prSpace, prNone, ParityToText, ParityFromText);
    CheckPair(text, fcHardware, fcCustom, fcCustom, FlowControlToText, FlowControlFromText);
    CheckPair(text, dtrDisable, dtrHandshake, dtrDisable, DTRToText, DTRFromText);
    CheckPair(text, rtsDisable, rtsToggle, rtsDisable, RTSToText, RTSFromText);

    FUZZ_CHECK(FlagFromText(text) == (text.toUpper() == QLatin1String("YES")), "'%s'",
               qPrintable(text.left(100)));
    FUZZ_CHECK(FlagFromText(FlagToText(true)) && !FlagFromText(FlagToText(false)), "flags");

    for (int code = 0; code < 256; ++code) {
        FUZZ_CHECK(CharFromText(CharToText(std::uint8_t(code))) == code, "character %d shown as %s",
                   code, qPrintable(CharToText(std::uint8_t(code))));
    }
    // "#" and a number of 0 to 255 is that code; "#" and anything else is 0;
    // other text is its first character when Latin-1 holds it.
    const std::uint8_t code = CharFromText(text);
    if (text.isEmpty()) {
        FUZZ_CHECK(code == 0, "empty text gave %d", code);
    } else if (text.startsWith(QLatin1Char('#')) && text.size() > 1) {
        bool ok = false;
        const uint number = text.mid(1).toUInt(&ok, 10);
        bool digitsOnly = true;
        for (const QChar c : text.mid(1))
            digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const int expected = ok && digitsOnly && number <= 255 ? int(number) : 0;
        FUZZ_CHECK(code == expected, "'%s' gave %d", qPrintable(text.left(100)), code);
    } else {
        const char16_t first = text.front().unicode();
        FUZZ_CHECK(code == (first <= 0xFF ? first : 0), "'%s' gave %d", qPrintable(text.left(100)),
                   code);
    }
    return 0;
}
