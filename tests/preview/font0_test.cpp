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
