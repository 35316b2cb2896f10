// Drift: a profile against a printer's settings in the printer's own terms,
// the restore command that carries only what differs (byte for byte the rows
// of Store Settings), and a snapshot that reads back as the same settings.
#include "cli/drift.h"
#include "commands/settingsbuilder.h"
#include "core/exceptions.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

const QLocale C = QLocale::c();

Profile Parse(const QByteArray &text, const QLocale &locale = C)
{
    return ParseProfile(text, QStringLiteral("p.ini"), locale);
}

// The printer as the window's start values would leave it at 203 dpi.
SettingValues StartPrinter()
{
    return ProfileSettings(Parse(ExampleProfile()), C);
}

TEST(CliDrift, ProfileSettingsAreInPrinterTermsAndOnlyWhatIsGiven)
{
    EXPECT_EQ(StartPrinter(),
              (SettingValues { { "speed", "3" },
                               { "density", "15" },
                               { "width", "608" },
                               { "height", "1600" },
                               { "media-sensor", "Continuous" },
                               { "media-type", "Thermal Direct" },
                               { "post-print-action", "Tear off" },
                               { "direction", "Normal" },
                               { "top", "0" },
                               { "shift", "0" },
                               { "home-x", "0" },
                               { "home-y", "0" } }));

    // Inches at 300 dpi; a blank item and an empty height are left out, as
    // Store Settings leaves them out; home-x alone asks for both coordinates.
    const SettingValues partial
        = ProfileSettings(Parse("resolution = 300dpi\nunit = Inch\nwidth = 2\nheight =\nspeed =\n"
                                "media-sensor = web sensing\ntop = -1.5\nhome-x = 12\n"),
                          C);
    EXPECT_EQ(partial,
              (SettingValues { { "width", "610" },
                               { "media-sensor", "Web Sensing" },
                               { "top", "-18" },
                               { "home-x", "144" },
                               { "home-y", "0" } }));
}

TEST(CliDrift, PrinterSettingsAreTakenAsThePrinterSaysThem)
{
    int dotsPerMm = -1;
    // Out of the captions' ranges, but what the printer holds.
    const SettingValues at300
        = PrinterSettingValues({ { "resolution", "300dpi" },
                                 { "speed", "05" },
                                 { "width", "50.833" },
                                 { "height", "-0.5" },
                                 { "top", "-20" },
                                 { "media-sensor", "Mark Sensing" },
                                 { "colour", "blue" } }, // not a setting: left aside
                               &dotsPerMm);
    EXPECT_EQ(dotsPerMm, 12);
    EXPECT_EQ(at300,
              (SettingValues { { "speed", "5" },
                               { "width", "610" },
                               { "height", "-6" },
                               { "top", "-240" },
                               { "media-sensor", "Mark Sensing" } }));
    EXPECT_EQ(PrinterSettingValues({ { "width", "76.125" } }, &dotsPerMm),
              (SettingValues { { "width", "609" } }));
    EXPECT_EQ(dotsPerMm, 0); // not given: lengths at 203 dpi, and no resolution to check

    const QList<QPair<QString, QString>> bad[]
        = { { { "density", "dark" } }, { { "shift", "1,5" } } };
    const char *const messages[] = { "Configuration: density 'dark' is not a number",
                                     "Configuration: shift '1,5' is not a length" };
    for (int i = 0; i < 2; ++i) {
        try {
            PrinterSettingValues(bad[i], &dotsPerMm);
            ADD_FAILURE() << messages[i];
        } catch (const ETarvolinError &e) {
            EXPECT_EQ(e.Message(), QLatin1String(messages[i]));
        }
    }
}

TEST(CliDrift, ComparesOnlyGivenSettingsAndNamesWhatCannotBeChecked)
{
    SettingValues printer = StartPrinter();
    printer.insert("density", "022"); // numbers compare by value
    printer.insert("width", "640");
    printer.insert("media-type", "thermal direct"); // item texts ignore case
    printer.remove("direction");
    printer.remove("home-x");
    printer.remove("home-y");

    const DriftResult r = CompareSettings(printer, StartPrinter());
    ASSERT_EQ(r.differing.size(), 2u);
    EXPECT_EQ(DriftLine(r.differing[0]), "density: printer 022, profile 15");
    EXPECT_EQ(DriftLine(r.differing[1]), "width: printer 640 dots, profile 608 dots");
    EXPECT_EQ(r.unchecked, QStringList({ "direction", "home-x", "home-y" }));
    EXPECT_EQ(QJsonDocument(DriftJson(r.differing)).toJson(QJsonDocument::Compact),
              R"({"density":{"printer":22,"profile":15},"width":{"printer":640,"profile":608}})");

    EXPECT_TRUE(CompareSettings(StartPrinter(), StartPrinter()).differing.empty());
    // A profile that asks nothing finds nothing, whatever the printer holds.
    EXPECT_TRUE(CompareSettings(printer, {}).differing.empty());
}

TEST(CliDrift, RestoreCommandCarriesOnlyTheDifferingRows)
{
    const SettingValues want = StartPrinter();
    auto restore = [&](const SettingValues &printer) {
        return RestoreCommand(CompareSettings(printer, want).differing, want);
    };
    struct Case
    {
        SettingValues printer;
        QByteArray bytes;
    };
    auto with = [](std::initializer_list<std::pair<const char *, const char *>> changes) {
        SettingValues p = StartPrinter();
        for (const auto &[k, v] : changes)
            p.insert(k, v);
        return p;
    };
    const QByteArray tail = "^XZ\r\n^XA\r\n^JUS\r\n^XZ\r\n";
    const Case cases[] = {
        { with({ { "density", "22" }, { "speed", "5" } }), "^XA\r\n^PR3,\r\n~SD15\r\n" + tail },
        // The width has no line end of its own, as in Store Settings.
        { with({ { "width", "640" } }), "^XA\r\n^PW608" + tail },
        { with({ { "width", "1" }, { "height", "2" } }), "^XA\r\n^PW608^LL1600\r\n" + tail },
        { with({ { "media-sensor", "Mark Sensing" }, { "post-print-action", "Cutter" } }),
          "^XA\r\n^MNN\r\n^MMT,Y\r\n" + tail },
        { with({ { "media-type", "Thermal Transfer" }, { "direction", "Invert:Rotation 180" } }),
          "^XA\r\n^MTD\r\n^PON\r\n" + tail },
        // Home is one command: one coordinate off sends both.
        { with({ { "home-y", "8" }, { "top", "-3" } }), "^XA\r\n^LT0\r\n^LH0,0\r\n" + tail },
        { StartPrinter(), "^XA\r\n" + tail },
    };
    for (const Case &c : cases)
        EXPECT_EQ(restore(c.printer), c.bytes) << c.bytes.toStdString();

    // Everything off: exactly what Store Settings sends for the profile.
    SettingValues allOff;
    for (const QString &key : SettingKeys())
        allOff.insert(key, "?");
    EXPECT_EQ(restore(allOff), StoreSettingsCommand(StartSetupValues(), C));
}

TEST(CliDrift, SnapshotReadsBackAsTheSameSettings)
{
    struct Case
    {
        int dotsPerMm;
        const char *locale;
        SettingValues printer;
    };
    SettingValues odd = StartPrinter();
    odd.insert("width", "610"); // 50.8333 mm at 300 dpi
    odd.insert("height", "1201");
    odd.insert("top", "-7");
    odd.insert("shift", "5");
    odd.insert("density", "07");
    const Case cases[] = {
        { 8, "C", StartPrinter() },
        { 12, "C", odd },
        { 8, "de_DE", odd }, // a decimal comma, as profiles are read there
    };
    for (const Case &c : cases) {
        const QLocale locale(QString::fromLatin1(c.locale));
        const QByteArray text = SnapshotProfile(c.printer, c.dotsPerMm,
                                                { "printer: TEST-1", "read 2026-12-08" }, locale);
        EXPECT_TRUE(text.startsWith("# printer: TEST-1\n# read 2026-12-08\n")) << text.data();
        SettingValues expected = c.printer;
        expected.insert("density", QString::number(expected.value("density").toInt()));
        EXPECT_EQ(ProfileSettings(Parse(text, locale), locale), expected) << text.data();
        EXPECT_TRUE(CompareSettings(c.printer, ProfileSettings(Parse(text, locale), locale))
                        .differing.empty());
    }
}

TEST(CliDrift, SnapshotCommentsOutWhatTheProfileCannotHold)
{
    SettingValues printer;
    printer.insert("speed", "8");
    printer.insert("post-print-action", "Cutter");
    printer.insert("home-x", "4"); // half a millimetre: the field takes digits only
    printer.insert("home-y", "4");
    printer.insert("density", "20");
    printer.insert("top", "-200"); // -25 mm: beyond the window's range
    const QByteArray text = SnapshotProfile(printer, 8, {}, C);
    EXPECT_EQ(text,
              "\nresolution = 203dpi\nunit = mm\n\n"
              "# speed = 8 (not taken: '8' is not one of 2, 3, 4, 5 (or empty))\n"
              "density = 20\n"
              "# post-print-action = Cutter (not taken: 'Cutter' is not one of Rewind, Tear off, "
              "Peel off (or empty))\n"
              "# top = -25 (not taken: -25 is outside the window's range -15 to 15 mm at 203dpi)\n"
              "# home-x = 0.5 (not taken: '0.5': \xE5\x8F\xAA\xE8\x83\xBD\xE8\xBE\x93\xE5\x85\xA5"
              "\xE6\x95\xB0\xE5\xAD\x97 (digits only))\n"
              "home-y = 0.5\n");
    // What was written still reads.
    EXPECT_EQ(Parse(text).lineOf.size(), 4);
}

} // namespace
