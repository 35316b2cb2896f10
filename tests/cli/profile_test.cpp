// Profiles: the example holds the window's start values, each value lands in
// the setup panel's field, and whatever the window would not take is named
// with its line and the window's own message.
#include "cli/profile.h"
#include "cli/usageerror.h"
#include "commands/settingsbuilder.h"
#include "support/lines.h"
#include "support/qtprint.h"
#include "support/tempfile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QLocale C = QLocale::c();

Profile Parse(const char *text, const QLocale &locale = C)
{
    return ParseProfile(QByteArray(text), QStringLiteral("p.ini"), locale);
}

TEST(CliProfile, TheExampleIsTheWindowAtStart)
{
    const Profile p = ParseProfile(ExampleProfile(), QStringLiteral("example"), C);
    EXPECT_EQ(StoreSettingsCommand(p.values, C), StoreSettingsCommand(StartSetupValues(), C));
    EXPECT_EQ(p.lineOf.size(), 14); // every key is shown
    // Nothing given: the start values as well.
    EXPECT_EQ(StoreSettingsCommand(Parse("").values, C),
              StoreSettingsCommand(StartSetupValues(), C));
}

TEST(CliProfile, ValuesReachTheSettings)
{
    const Profile p = Parse("resolution = 300DPI\n"
                            "unit = inch   # width and height in inches\n"
                            "speed =\n"
                            "density = 30\n"
                            "width = 3\n"
                            "height =\n"
                            "media-sensor = mark sensing\n"
                            "media-type = Thermal Transfer\n"
                            "post-print-action = Peel off\n"
                            "direction = Invert:Rotation 180\n"
                            "top = -10\n"
                            "shift = 0.5\n"
                            "home-x = 12\n"
                            "; home-y keeps its start value\n");
    EXPECT_EQ(StoreSettingsCommand(p.values, C),
              Lines({ "^XA", "~SD30", "^PW914^MNM", "^MMP,Y", "^MTT", "^POI", "^LT-120", "^LS6",
                      "^LH144,0", "^XZ", "^XA", "^JUS", "^XZ" }));
    EXPECT_EQ(p.values.mediaSensor.itemText, QStringLiteral("Mark Sensing"));
    EXPECT_EQ(p.lineOf.value(QStringLiteral("home-x")), 13);
}

TEST(CliProfile, RefusedValuesAreNamedWithTheWindowsMessage)
{
    const std::pair<const char *, const char *> cases[] = {
        { "width = 7x6", "p.ini:1: width: '7x6' is not a valid floating point value" },
        { "\n\ntop =", "p.ini:3: top: '' is not a valid floating point value" },
        { "shift = 1,5", "p.ini:1: shift: '1,5' is not a valid floating point value" },
        { "height = 1e99999", "p.ini:1: height: '1e99999' is not a valid floating point value" },
        { "home-x = -5", "p.ini:1: home-x: '-5': 只能输入数字 (digits only)" },
        { "home-x = 12345", "p.ini:1: home-x: '12345' is longer than the field's 4 characters" },
        { "home-y = 1.5.", "p.ini:1: home-y: '1.5.' is not a valid floating point value" },
        { "speed = 7", "p.ini:1: speed: '7' is not one of 2, 3, 4, 5 (or empty)" },
        { "density = 31", "p.ini:1: density: '31' is not one of 0 to 30 (or empty)" },
        { "media-sensor = Gap",
          "p.ini:1: media-sensor: 'Gap' is not one of Continuous, Web Sensing, Mark Sensing" },
        { "resolution = 600dpi", "p.ini:1: resolution: '600dpi' is not one of 203dpi, 300dpi" },
        { "unit = ft", "p.ini:1: unit: 'ft' is not one of Inch, mm, cm" },
        { "sped = 3", "p.ini:1: unknown key 'sped' (known: resolution, unit, speed," },
        { "speed = 3\nspeed = 4", "p.ini:2: speed is given twice (first on line 1)" },
        { "[setup]", "p.ini:1: expected 'key = value', found '[setup]'" },
        { "width = \xff", "p.ini: not UTF-8 text" },
    };
    for (const auto &[text, message] : cases) {
        SCOPED_TRACE(text);
        try {
            Parse(text);
            ADD_FAILURE() << "accepted";
        } catch (const EUsageError &e) {
            EXPECT_TRUE(e.Message().startsWith(QString::fromUtf8(message)))
                << e.Message().toStdString();
        }
    }
}

TEST(CliProfile, LengthsUseTheSystemsDecimalSeparatorAsTheWindowDoes)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(Parse("top = 1,5", german).values.top, QStringLiteral("1,5"));
    EXPECT_THROW(Parse("top = 1.5", german), EUsageError);
    EXPECT_NO_THROW(Parse("top = 1.5", C));
}

TEST(CliProfile, ALabelNeedsWidthAndHeightTheSettingsDoNot)
{
    const Profile p = Parse("width = 50\nheight =\n");
    EXPECT_NO_THROW(StoreSettingsCommand(p.values, C));
    try {
        RequireLabelSize(p, C);
        ADD_FAILURE() << "accepted";
    } catch (const EUsageError &e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("p.ini:2: height: '' is not a valid floating point value"));
    }
    EXPECT_NO_THROW(RequireLabelSize(Parse("height = 10"), C));
}

TEST(CliProfile, AnUnreadableFileIsNamed)
{
    QTemporaryDir dir;
    try {
        ReadProfile(dir.filePath(QStringLiteral("none.ini")), C);
        ADD_FAILURE() << "accepted";
    } catch (const EUsageError &e) {
        EXPECT_TRUE(e.Message().startsWith(dir.filePath(QStringLiteral("none.ini"))
                                           + QStringLiteral(": cannot read the profile")));
    }
    const QString big = WriteTempFile(dir, QStringLiteral("big.ini"), QByteArray(100000, '#'));
    EXPECT_THROW(ReadProfile(big, C), EUsageError);
}

} // namespace
