#include "commands/functioncommands.h"
#include "commands/settingsbuilder.h"
#include "commands/testlabel.h"
#include "core/exceptions.h"
#include "support/lines.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

const QByteArray Tail = Lines({ "^XZ", "^XA", "^JUS", "^XZ" });

QByteArray Store(const SetupPanelValues &v)
{
    return StoreSettingsCommand(v, QLocale::c());
}

QByteArray Label(const SetupPanelValues &v)
{
    return TestLabelCommand(v, QLocale::c());
}

QString ErrorOf(const std::function<void()> &build)
{
    try {
        build();
    } catch (const EConvertError &e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

SetupPanelValues Start300()
{
    SetupPanelValues v = StartSetupValues();
    v.resolution = Resolution::Dpi300;
    return v;
}

// The panel after Clear: every box on the blank item, width and height
// empty, shift and home "0", top as it was.
SetupPanelValues Cleared()
{
    SetupPanelValues v = StartSetupValues();
    for (ComboValue *c :
         { &v.speed, &v.density, &v.mediaSensor, &v.postAction, &v.mediaType, &v.direction })
        *c = { 0, QString(), QString() };
    v.width.clear();
    v.height.clear();
    return v;
}

} // namespace

TEST(FunctionCommands, ExactBytes)
{
    EXPECT_EQ(FactoryDefaultCommand(), QByteArray("^XA\r\n^JUF\r\n^JUS\r\n^XZ\r\n"));
    EXPECT_EQ(FactoryDefaultCommand().size(), 22);
    EXPECT_EQ(PrintTestPageCommand(), QByteArray::fromHex("5E58417E57430D0A5E585A"));
    EXPECT_EQ(ResetPrinterCommand(), QByteArray::fromHex("1B212C520D0A"));
    EXPECT_EQ(DumpModeCommand(), QByteArray("^XA\r\n~JD\r\n^XZ\r\n"));
    EXPECT_EQ(DumpModeCommand().size(), 15);
}

TEST(StoreSettings, WorkedExamples)
{
    EXPECT_EQ(Store(StartSetupValues()),
              Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON",
                      "^LT0", "^LS0", "^LH0,0", "^XZ", "^XA", "^JUS", "^XZ" }));
    EXPECT_EQ(Store(Start300()),
              Lines({ "^XA", "^PR3,", "~SD15", "^PW912^LL2400", "^MNN", "^MMT,Y", "^MTD", "^PON",
                      "^LT0", "^LS0", "^LH0,0", "^XZ", "^XA", "^JUS", "^XZ" }));
}

TEST(StoreSettings, RowsFollowThePanel)
{
    struct Case
    {
        const char *name;
        std::function<void(SetupPanelValues &)> edit;
        QByteArray block; // the settings block; Store Settings adds the tail
    };
    const Case cases[] = {
        { "blank speed",
          [](SetupPanelValues &v) {
              v.speed = { 0, "", "" };
          },
          Lines({ "^XA", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0", "^LS0",
                  "^LH0,0" }) },
        { "blank density",
          [](SetupPanelValues &v) {
              v.density = { 0, "", "" };
          },
          Lines({ "^XA", "^PR3,", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0", "^LS0",
                  "^LH0,0" }) },
        { "no speed or density selected",
          [](SetupPanelValues &v) {
              v.speed = { -1, "", "7" };
              v.density = { -1, "", "40" };
          },
          Lines({ "^XA", "^PR,", "~SD", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0",
                  "^LS0", "^LH0,0" }) },
        { "item text, not typed text",
          [](SetupPanelValues &v) {
              v.speed = { 4, "5", "9" };
              v.density = { 31, "30", "99" };
          },
          Lines({ "^XA", "^PR5,", "~SD30", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON",
                  "^LT0", "^LS0", "^LH0,0" }) },
        { "empty width", [](SetupPanelValues &v) { v.width.clear(); },
          Lines({ "^XA", "^PR3,", "~SD15", "^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0",
                  "^LS0", "^LH0,0" }) },
        { "empty height", [](SetupPanelValues &v) { v.height.clear(); },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0", "^LS0",
                  "^LH0,0" }) },
        { "second and third choices",
          [](SetupPanelValues &v) {
              v.mediaSensor.position = 2;
              v.postAction.position = 1;
              v.mediaType.position = 2;
              v.direction.position = 2;
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNW", "^MMR,Y", "^MTT", "^POI",
                  "^LT0", "^LS0", "^LH0,0" }) },
        { "mark sensing, peel off",
          [](SetupPanelValues &v) {
              v.mediaSensor.position = 3;
              v.postAction.position = 3;
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNM", "^MMP,Y", "^MTD", "^PON",
                  "^LT0", "^LS0", "^LH0,0" }) },
        { "blank choices are left out",
          [](SetupPanelValues &v) {
              v.mediaSensor.position = 0;
              v.postAction.position = 0;
              v.mediaType.position = 0;
              v.direction.position = 0;
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^LT0", "^LS0", "^LH0,0" }) },
        { "no selection or past the list",
          [](SetupPanelValues &v) {
              v.mediaSensor.position = -1;
              v.postAction.position = 4;
              v.mediaType.position = 3;
              v.direction.position = -1;
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^LT0", "^LS0", "^LH0,0" }) },
        { "top -15 and shift",
          [](SetupPanelValues &v) {
              v.top = "-15";
              v.shift = "100";
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON",
                  "^LT-120", "^LS800", "^LH0,0" }) },
        { "top out of the caption's range", [](SetupPanelValues &v) { v.top = "20"; },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON",
                  "^LT160", "^LS0", "^LH0,0" }) },
        { "home 12/3 at 300 dpi",
          [](SetupPanelValues &v) {
              v.resolution = Resolution::Dpi300;
              v.homeX = "12";
              v.homeY = "3";
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW912^LL2400", "^MNN", "^MMT,Y", "^MTD", "^PON",
                  "^LT0", "^LS0", "^LH144,36" }) },
        { "3 x 2 inches, offsets stay millimetres",
          [](SetupPanelValues &v) {
              v.unit = LengthUnit::Inch;
              v.width = "3";
              v.height = "2";
              v.top = "1";
              v.homeX = "2";
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW610^LL406", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT8",
                  "^LS0", "^LH16,0" }) },
        { "7.6 x 20 cm",
          [](SetupPanelValues &v) {
              v.unit = LengthUnit::Cm;
              v.width = "7.6";
              v.height = "20";
          },
          Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON",
                  "^LT0", "^LS0", "^LH0,0" }) },
        { "after Clear", [](SetupPanelValues &v) { v = Cleared(); },
          Lines({ "^XA", "^LT0", "^LS0", "^LH0,0" }) },
        { "after Clear, top kept",
          [](SetupPanelValues &v) {
              v = Cleared();
              v.top = "5";
          },
          Lines({ "^XA", "^LT40", "^LS0", "^LH0,0" }) },
    };
    for (const Case &c : cases) {
        SetupPanelValues v = StartSetupValues();
        c.edit(v);
        EXPECT_EQ(BuildSettingsBlock(v, QLocale::c()), c.block) << c.name;
        EXPECT_EQ(Store(v), c.block + Tail) << c.name;
    }
}

TEST(StoreSettings, FirstUnparsableLengthStopsTheBuild)
{
    struct Case
    {
        const char *name;
        std::function<void(SetupPanelValues &)> edit;
        QString error;
    };
    const Case cases[] = {
        { "empty top", [](SetupPanelValues &v) { v.top.clear(); },
          "'' is not a valid floating point value" },
        { "empty shift", [](SetupPanelValues &v) { v.shift.clear(); },
          "'' is not a valid floating point value" },
        { "empty home y", [](SetupPanelValues &v) { v.homeY.clear(); },
          "'' is not a valid floating point value" },
        { "letters in width", [](SetupPanelValues &v) { v.width = "7x6"; },
          "'7x6' is not a valid floating point value" },
        { "height with unit", [](SetupPanelValues &v) { v.height = "200 mm"; },
          "'200 mm' is not a valid floating point value" },
        { "width before top",
          [](SetupPanelValues &v) {
              v.width = "w";
              v.top = "t";
          },
          "'w' is not a valid floating point value" },
        { "home x before home y",
          [](SetupPanelValues &v) {
              v.homeX = "x";
              v.homeY = "y";
          },
          "'x' is not a valid floating point value" },
        { "shift before home",
          [](SetupPanelValues &v) {
              v.shift = "1,5";
              v.homeX = "x";
          },
          "'1,5' is not a valid floating point value" },
    };
    for (const Case &c : cases) {
        SetupPanelValues v = StartSetupValues();
        c.edit(v);
        EXPECT_EQ(ErrorOf([&] { Store(v); }), c.error) << c.name;
        EXPECT_EQ(ErrorOf([&] { Label(v); }), c.error) << c.name;
    }
}

TEST(StoreSettings, CommaLocale)
{
    SetupPanelValues v = StartSetupValues();
    v.width = "76,5";
    v.top = "-1,5";
    const QByteArray out = StoreSettingsCommand(v, QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(out.contains("^PW612^LL1600\r\n")) << out.constData();
    EXPECT_TRUE(out.contains("^LT-12\r\n")) << out.constData();
    v.width = "76.5";
    EXPECT_EQ(ErrorOf([&] { StoreSettingsCommand(v, QLocale(QLocale::German)); }),
              "'76.5' is not a valid floating point value");
}

namespace {
const QByteArray Settings203 = Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y",
                                       "^MTD", "^PON", "^LT0", "^LS0", "^LH0,0" });
} // namespace

TEST(TestLabel, WorkedExamples)
{
    EXPECT_EQ(Label(StartSetupValues()),
              Settings203
                  + Lines({ "^XZ", "^XA", "^CFD,40,20^FO40,40^FDPrinter Test!^FS",
                            "^FO152,120^FDSpeed 3^FS", "^FO152,200^FDDensity 15^FS",
                            "^FO240,1536^FWN,0^SN0001,1,Y^FS", "^PQ1,0,1,N", "^XZ" }));

    SetupPanelValues boxed = StartSetupValues();
    boxed.box = true;
    EXPECT_EQ(Label(boxed),
              Settings203
                  + Lines({ "^XZ", "^XA", "^CFD,40,20^FO40,40^FDPrinter Test!^FS",
                            "^FO152,120^FDSpeed 3^FS", "^FO152,200^FDDensity 15^FS",
                            "^FO240,1536^FWN,0^SN0001,1,Y^FS",
                            "^FO16,16^GB576,1568,8,B,0^FS^PQ1,0,1,N", "^XZ" }));

    const QByteArray settings300 = Lines({ "^XA", "^PR3,", "~SD15", "^PW912^LL2400", "^MNN",
                                           "^MMT,Y", "^MTD", "^PON", "^LT0", "^LS0", "^LH0,0" });
    EXPECT_EQ(Label(Start300()),
              settings300
                  + Lines({ "^XZ", "^XA", "^CFD,40,20^FO60,60^FDPrinter Test!^FS",
                            "^FO228,180^FDSpeed 3^FS", "^FO228,300^FDDensity 15^FS",
                            "^FO360,2304^FWN,0^SN0001,1,Y^FS", "^PQ1,0,1,N", "^XZ" }));
    SetupPanelValues boxed300 = Start300();
    boxed300.box = true;
    EXPECT_TRUE(Label(boxed300).endsWith(Lines(
        { "^FO360,2304^FWN,0^SN0001,1,Y^FS", "^FO24,24^GB864,2352,12,B,0^FS^PQ1,0,1,N", "^XZ" })));
}

TEST(TestLabel, LinesFollowThePanel)
{
    struct Case
    {
        const char *name;
        std::function<void(SetupPanelValues &)> edit;
        QByteArray expected; // must appear in the label format
    };
    const Case cases[] = {
        { "three pieces", [](SetupPanelValues &v) { v.quantity = "3"; }, "\r\n^PQ3,0,1,N\r\n^XZ" },
        { "empty pieces", [](SetupPanelValues &v) { v.quantity.clear(); }, "\r\n^PQ,0,1,N\r\n^XZ" },
        { "pieces as typed", [](SetupPanelValues &v) { v.quantity = "x2"; }, "^PQx2,0,1,N\r\n" },
        { "blank speed item",
          [](SetupPanelValues &v) {
              v.speed = { 0, "", "" };
          },
          "\r\n^FO152,120^FDSpeed ^FS\r\n" },
        { "typed speed and density",
          [](SetupPanelValues &v) {
              v.speed.displayText = "7";
              v.density.displayText = "dark";
          },
          "^FO152,120^FDSpeed 7^FS\r\n^FO152,200^FDDensity dark^FS\r\n" },
        { "odd width", [](SetupPanelValues &v) { v.width = "75.875"; }, // W 607
          "^FO151,120^FDSpeed 3^FS\r\n^FO151,200^FDDensity 15^FS\r\n^FO239,1536^FWN,0" },
        { "negative width", [](SetupPanelValues &v) { v.width = "-10"; }, // W -80
          "^FO-20,120^FDSpeed 3^FS\r\n^FO-20,200^FDDensity 15^FS\r\n^FO-104,1536^FWN,0" },
        { "negative odd width", [](SetupPanelValues &v) { v.width = "-0.875"; }, // W -7
          "^FO-1,120^FDSpeed 3^FS\r\n^FO-1,200^FDDensity 15^FS\r\n^FO-67,1536^FWN,0" },
        { "small label frame",
          [](SetupPanelValues &v) {
              v.box = true;
              v.width = "2";
              v.height = "3";
          },
          "^FO16,16^GB-16,-8,8,B,0^FS^PQ1,0,1,N\r\n" },
        { "3 inch label",
          [](SetupPanelValues &v) {
              v.unit = LengthUnit::Inch;
              v.width = "3";
              v.height = "2";
          },
          "^FO152,120^FDSpeed 3^FS\r\n^FO152,200^FDDensity 15^FS\r\n^FO241,342^FWN,0" },
    };
    for (const Case &c : cases) {
        SetupPanelValues v = StartSetupValues();
        c.edit(v);
        const QByteArray label = Label(v);
        EXPECT_TRUE(label.contains(c.expected)) << c.name << "\n" << label.constData();
        // The settings block and its closing line come first, unchanged.
        EXPECT_TRUE(label.startsWith(BuildSettingsBlock(v, QLocale::c()) + "^XZ\r\n^XA\r\n"))
            << c.name;
    }

    SetupPanelValues blank = StartSetupValues();
    blank.speed = { 0, "", "" };
    EXPECT_FALSE(Label(blank).contains("^PR"));
}

TEST(TestLabel, EmptyLabelSizeStopsAfterTheSettingsBlock)
{
    // The settings block accepts an empty field; the label size does not.
    SetupPanelValues v = StartSetupValues();
    v.height.clear();
    EXPECT_NO_THROW(BuildSettingsBlock(v, QLocale::c()));
    EXPECT_EQ(ErrorOf([&] { Label(v); }), "'' is not a valid floating point value");
    v = StartSetupValues();
    v.width.clear();
    EXPECT_EQ(ErrorOf([&] { Label(v); }), "'' is not a valid floating point value");
}
