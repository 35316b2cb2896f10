// Printer text shown on one line, and printer numbers read without
// wrapping: the edges of both, one table each.
#include "commands/printertext.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(PrinterText, EveryCharacterThatCouldActOrBreakALineIsEscaped)
{
    const struct
    {
        QString text;
        QString shown;
    } cases[] = {
        { QStringLiteral("AD410-200dpi"), QStringLiteral("AD410-200dpi") },
        { QStringLiteral("a\r\nb\tc"), QStringLiteral("a\\x0d\\x0ab\\x09c") },
        { QStringLiteral("\x1b[2J\x7f"), QStringLiteral("\\x1b[2J\\x7f") },
        { QStringLiteral("C1 \u009b and NBSP \u00a0"), QStringLiteral("C1 \\x9b and NBSP \u00a0") },
        { QStringLiteral("back\\slash"), QStringLiteral("back\\\\slash") },
        { QStringLiteral("\u202eevil\u2028line\u2029para\u200b"),
          QStringLiteral("\\u202eevil\\u2028line\\u2029para\\u200b") },
        { QStringLiteral("Drucker \u00fc \u4e2d \U0001F5A8"),
          QStringLiteral("Drucker \u00fc \u4e2d \U0001F5A8") },
        { QString(QChar(0xd800)) + QStringLiteral("x"), QStringLiteral("\\ud800x") },
        { QStringLiteral("tag \U000E0041"), QStringLiteral("tag \\ue0041") },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(ShownText(c.text), c.shown);
    }
    // A text that is not a printer's keeps its backslashes.
    EXPECT_EQ(OnOneLine(QStringLiteral("C:\\x\n")), QStringLiteral("C:\\x\\x0a"));
}

TEST(PrinterText, NumbersTooLargeToHoldAreNeverReadAsAnother)
{
    const struct
    {
        QByteArray text;
        qint64 max;
        bool digits;
        bool fits;
        qint64 value;
    } cases[] = {
        { "0414", 2147483647, true, true, 414 },
        { "2147483647", 2147483647, true, true, 2147483647 },
        { "2147483648", 2147483647, true, false, 0 },
        { "4294967296", 2147483647, true, false, 0 },
        { "9223372036854775807", LLONG_MAX, true, true, LLONG_MAX },
        { "9223372036854775808", LLONG_MAX, true, false, 0 },
        { "000000000000000000000000001", LLONG_MAX, true, true, 1 },
        { "30", 30, true, true, 30 },
        { "31", 30, true, false, 0 },
        { "", LLONG_MAX, false, false, 0 },
        { "-1", LLONG_MAX, false, false, 0 },
        { "12a", LLONG_MAX, false, false, 0 },
        { "1 ", LLONG_MAX, false, false, 0 },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        for (const PrinterNumber n :
             { ReadPrinterNumber(QByteArrayView(c.text), c.max),
               ReadPrinterNumber(QStringView(QString::fromLatin1(c.text)), c.max) }) {
            EXPECT_EQ(n.digits, c.digits);
            EXPECT_EQ(n.fits, c.fits);
            EXPECT_EQ(n.value, c.value);
        }
    }
}

} // namespace
