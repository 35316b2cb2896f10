#include "preview/labelrenderer.h"

#include "preview/labelimage.h"

#include <gtest/gtest.h>

namespace {

QImage Field(const QByteArray &field)
{
    RenderOptions options;
    options.dotsPerMm = 8;
    const RenderResult result = RenderLabels("^XA^PW600^LL400^CI28" + field + "^XZ", options);
    EXPECT_EQ(result.labels.size(), 1) << field.constData();
    EXPECT_TRUE(result.warnings.isEmpty()) << field.constData();
    return result.labels.value(0);
}

TEST(Font0, CharactersTakeThePrintersPlaces)
{
    struct Case
    {
        QByteArray field;
        QRect ink;
    };
    const Case cases[] = {
        // Digits 24 dots apart at height 50, their ink 20 wide.
        { "^FO100,100^A0N,50^FD0^FS", QRect(102, 99, 20, 39) },
        { "^FO100,100^A0N,50^FD000^FS", QRect(102, 99, 68, 39) },
        // The hyphen is as wide as a digit's ink and more; the space 14 dots.
        { "^FO100,100^A0N,50^FD-^FS", QRect(108, 119, 29, 6) },
        { "^FO100,100^A0N,50^FDI I^FS", QRect(103, 100, 36, 37) },
        // Accents of capitals stand above the field; descenders below the baseline.
        { "^FO100,100^A0N,50^FDÍ^FS", QRect(103, 89, 9, 48) },
        { "^FO100,100^A0N,50^FDp^FS", QRect(103, 108, 20, 38) },
        // The width stretches places and ink alike.
        { "^FO100,100^A0N,50,25^FD000^FS", QRect(101, 99, 34, 39) },
        { "^FO100,100^A0N,50,100^FD0^FS", QRect(104, 99, 40, 39) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(Field(c.field)), c.ink) << c.field.constData();
}

TEST(Font0, UnmeasuredCharactersKeepTheCapitalHeight)
{
    // Greek capitals were not measured: drawn from the outline at the
    // capital height of the measured ones.
    const QRect greek = InkBounds(Field("^FO100,100^A0N,40^FDΓΔΠ^FS"));
    EXPECT_NEAR(greek.top(), 100, 1);
    EXPECT_NEAR(greek.height(), 30, 1);
    // A sign the outline lacks comes from the fallback font, not as an empty box.
    const QImage arrow = Field("^FO100,100^A0N,40^FD→^FS");
    EXPECT_FALSE(InkBounds(arrow).isEmpty());
    EXPECT_FALSE(SameDots(arrow, Field("^FO100,100^A0N,40^FD\xEF\xBF\xBF^FS")));
}

} // namespace

namespace {

TEST(FixedFonts, PrintAtThePrintersSizes)
{
    struct Case
    {
        QByteArray field;
        int top;
        int height;
    };
    const Case cases[] = {
        // Magnification is the nearest whole multiple of the cell.
        { "^CFA,15^FO100,100^FDEEE^FS", 100, 14 }, // 15 / 9: twice
        { "^FO100,100^AAN,13^FDEEE^FS", 100, 7 }, // 13 / 9: once
        { "^FO100,100^AHN,29^FDEEE^FS", 100, 21 },
        { "^FO100,100^AHN,32^FDEEE^FS", 100, 42 },
        // B and H hold capitals only: they fill their cell.
        { "^FO100,100^ABN,11^FDEEE^FS", 100, 11 },
        { "^FO100,100^ABN,33^FDEEE^FS", 100, 33 },
        { "^FO100,100^AHN,21^FDEEE^FS", 100, 21 },
        // E's capitals start three dots below the top of its cell.
        { "^FO100,100^AEN,28^FDEEE^FS", 103, 20 },
        { "^FO100,100^AEN,56^FDEEE^FS", 106, 40 },
        { "^FO100,100^ADN,36^FDEEE^FS", 100, 28 },
    };
    for (const Case &c : cases) {
        const QRect ink = InkBounds(Field(c.field));
        EXPECT_NEAR(ink.top(), c.top, 1) << c.field.constData();
        EXPECT_NEAR(ink.height(), c.height, 1) << c.field.constData();
    }
    // Width magnification on its own: five times font A's pitch of 6.
    const QRect wide = InkBounds(Field("^FO100,100^AAN,9,25^FDMM^FS"));
    EXPECT_NEAR(wide.width(), 30 + 25, 3);
}

TEST(FixedFonts, SmallLettersOfCapitalFontsPrintAsCapitals)
{
    for (const char *font : { "B", "H" }) {
        const QByteArray a = QByteArray("^FO10,100^A") + font + "N,44^FD";
        EXPECT_TRUE(SameDots(Field(a + "Hello, world 7^FS"), Field(a + "HELLO, WORLD 7^FS")))
            << font;
    }
    // Fonts with small letters keep them.
    EXPECT_FALSE(
        SameDots(Field("^FO100,100^AAN,18^FDHello^FS"), Field("^FO100,100^AAN,18^FDHELLO^FS")));
}

} // namespace
