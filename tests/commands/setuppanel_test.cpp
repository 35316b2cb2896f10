#include "commands/setuppanel.h"
#include "core/exceptions.h"

#include <gtest/gtest.h>

#include <optional>

namespace {

// Runs the conversion and returns the error text instead of throwing.
struct Conversion
{
    std::optional<qint64> dots;
    QString error;
};

Conversion Convert(const QString &text, int dotsPerMm, long double factor, const QLocale &locale)
{
    try {
        return { LengthToDots(text, dotsPerMm, factor, locale), QString() };
    } catch (const EConvertError &e) {
        return { std::nullopt, e.Message() };
    }
}

} // namespace

TEST(LengthToDots, ConvertsAndRoundsHalvesToEven)
{
    struct Case
    {
        const char *text;
        int dotsPerMm;
        long double factor;
        qint64 dots;
    };
    const Case cases[] = {
        { "76", 8, 1, 608 },
        { "76", 12, 1, 912 },
        { "200", 8, 1, 1600 },
        { "200", 12, 1, 2400 },
        { "-15", 8, 1, -120 },
        { "-10", 12, 1, -120 },
        { "20", 8, 1, 160 },
        // Exact halves of a dot go to the even neighbour.
        { "0.0625", 8, 1, 0 }, // 0.5
        { "0.1875", 8, 1, 2 }, // 1.5
        { "0.3125", 8, 1, 2 }, // 2.5
        { "-0.0625", 8, 1, 0 }, // -0.5
        { "-0.1875", 8, 1, -2 }, // -1.5
        { "0.125", 12, 1, 2 }, // 1.5
        // Just off the half rounds to the nearer integer.
        { "0.0626", 8, 1, 1 },
        { "0.0624", 8, 1, 0 },
        // Spaces around, signs, exponents, missing digits on one side.
        { "  76  ", 8, 1, 608 },
        { "+76", 8, 1, 608 },
        { "7.6e1", 8, 1, 608 },
        { "760E-1", 8, 1, 608 },
        { "1e+2", 8, 1, 800 },
        { "76.", 8, 1, 608 },
        { ".5", 8, 1, 4 },
        { "0", 12, 1, 0 },
        { "-0", 8, 1, 0 },
        { "1e-5000", 8, 1, 0 },
        { "1e17", 8, 1, 800000000000000000 },
        // Width and height in the selected unit.
        { "3", 8, 25.4L, 610 },
        { "7.6", 8, 10, 608 },
        { "1", 12, 25.4L, 305 },
        { "0.5", 8, 25.4L, 102 },
    };
    for (const Case &c : cases) {
        const Conversion r
            = Convert(QString::fromLatin1(c.text), c.dotsPerMm, c.factor, QLocale::c());
        ASSERT_TRUE(r.dots.has_value()) << c.text << ": " << r.error.toStdString();
        EXPECT_EQ(*r.dots, c.dots) << c.text << " at " << c.dotsPerMm;
    }
}

TEST(LengthToDots, RefusesWhatIsNotANumber)
{
    const char *texts[] = { "",      " ",      "abc",  "1,5",  "76mm", "1e",   "e5",  ".",
                            "-",     "+-1",    "--1",  "1..5", "1.5.", "0x10", "inf", "nan",
                            "1 000", "1e5000", "1e19", "7 6",  "1\t",  "\t1",  "１" };
    for (const char *t : texts) {
        const QString text = QString::fromUtf8(t);
        const Conversion r = Convert(text, 8, 1, QLocale::c());
        EXPECT_FALSE(r.dots.has_value()) << t << " gave " << r.dots.value_or(0);
        EXPECT_EQ(r.error, QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
    EXPECT_EQ(Convert("", 8, 1, QLocale::c()).error, "'' is not a valid floating point value");
}

// A number below the smallest long double is 0 dots and one beyond the
// largest is refused, however it is written: with or without an exponent,
// with the digits before or after the point.
TEST(LengthToDots, TinyAndHugeAlikeInEveryNotation)
{
    const QString zeros(4940, QLatin1Char('0'));
    const QString nines(5000, QLatin1Char('9'));
    struct Case
    {
        QString text;
        std::optional<qint64> dots;
    };
    const Case cases[] = {
        { QStringLiteral("1e-4940"), 0 },
        { QStringLiteral("0.") + zeros + QStringLiteral("1"), 0 },
        { QStringLiteral("-0.") + zeros + QStringLiteral("1"), 0 },
        { QStringLiteral("0.") + zeros + QStringLiteral("1e+3"), 0 },
        { QStringLiteral("0.00001e-4940"), 0 },
        { QStringLiteral("1e-99999999999999999999"), 0 },
        { nines + QStringLiteral("e-1"), std::nullopt },
        { nines + QStringLiteral(".5e-4"), std::nullopt },
        { QStringLiteral("1") + zeros, std::nullopt },
        { QStringLiteral("0.") + zeros + QStringLiteral("1e99999999999999999999"), std::nullopt },
    };
    for (const Case &c : cases) {
        const Conversion r = Convert(c.text, 8, 1, QLocale::c());
        EXPECT_EQ(r.dots, c.dots) << c.text.left(40).toStdString() << "...";
        if (!c.dots) {
            EXPECT_EQ(r.error,
                      QStringLiteral("'%1' is not a valid floating point value").arg(c.text));
        }
    }
}

TEST(LengthToDots, UsesTheLocaleDecimalSeparator)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(Convert("1,5", 8, 1, german).dots, 12);
    EXPECT_EQ(Convert("0,0625", 8, 1, german).dots, 0);
    EXPECT_EQ(Convert("7,6", 8, 10, german).dots, 608);
    EXPECT_EQ(Convert("-1,5e1", 8, 1, german).dots, -120);
    // The point is a group separator there, never a decimal one.
    for (const char *t : { "1.5", "1.000", "1.000,5" })
        EXPECT_EQ(Convert(t, 8, 1, german).error,
                  QStringLiteral("'%1' is not a valid floating point value").arg(t));
}

TEST(SetupPanel, ResolutionUnitAndLabelSize)
{
    EXPECT_EQ(DotsPerMm(Resolution::Dpi203), 8);
    EXPECT_EQ(DotsPerMm(Resolution::Dpi300), 12);

    SetupPanelValues v = StartSetupValues();
    EXPECT_EQ(LabelWidthDots(v, QLocale::c()), 608);
    EXPECT_EQ(LabelHeightDots(v, QLocale::c()), 1600);
    v.resolution = Resolution::Dpi300;
    EXPECT_EQ(LabelWidthDots(v, QLocale::c()), 912);
    EXPECT_EQ(LabelHeightDots(v, QLocale::c()), 2400);
    v.unit = LengthUnit::Inch;
    v.width = "3";
    v.height = "2";
    EXPECT_EQ(LabelWidthDots(v, QLocale::c()), 914); // 914.4
    EXPECT_EQ(LabelHeightDots(v, QLocale::c()), 610); // 609.6
    v.unit = LengthUnit::Cm;
    v.resolution = Resolution::Dpi203;
    v.width = "7.6";
    EXPECT_EQ(LabelWidthDots(v, QLocale::c()), 608);

    // Only the low 32 bits of the dots are kept.
    v.unit = LengthUnit::Mm;
    v.width = "268435456"; // 2^31 dots
    EXPECT_EQ(LabelWidthDots(v, QLocale::c()), INT32_MIN);
    v.height = "536870912.125"; // 2^32 + 1 dots
    EXPECT_EQ(LabelHeightDots(v, QLocale::c()), 1);
    v.height = "";
    EXPECT_THROW(LabelHeightDots(v, QLocale::c()), EConvertError);
}

TEST(SetupPanel, Captions)
{
    EXPECT_EQ(WidthCaption(LengthUnit::Inch), "Label Width(Inch):");
    EXPECT_EQ(HeightCaption(LengthUnit::Inch), "Label Height(Inch):");
    EXPECT_EQ(WidthCaption(LengthUnit::Mm), "Label Width(mm):");
    EXPECT_EQ(HeightCaption(LengthUnit::Mm), "Label Height(mm):");
    EXPECT_EQ(WidthCaption(LengthUnit::Cm), "Label Width(cm):");
    EXPECT_EQ(HeightCaption(LengthUnit::Cm), "Label Height(cm):");
    const RangeCaptions r203 = RangeCaptionsFor(Resolution::Dpi203);
    EXPECT_EQ(r203.top, "Label Top:[-15,15]mm");
    EXPECT_EQ(r203.shift, "Label Shift:[-1249,1249]mm");
    EXPECT_EQ(r203.home, "Label Home:[0,4000]mm");
    const RangeCaptions r300 = RangeCaptionsFor(Resolution::Dpi300);
    EXPECT_EQ(r300.top, "Label Top:[-10,10]mm");
    EXPECT_EQ(r300.shift, "Label Shift:[-833,833]mm");
    EXPECT_EQ(r300.home, "Label Home:[0,2666]mm");
}
