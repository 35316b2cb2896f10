#include "preview/labelrenderer.h"

#include "commands/testlabel.h"
#include "preview/graphicdata.h"
#include "preview/labelimage.h"
#include "support/qtprint.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

RenderResult Render(const QByteArray &commands, int dotsPerMm = 8)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    return RenderLabels(commands, options);
}

// A single label of 400 x 300 dots (on continuous media, where ^LL holds)
// with the given fields.
QImage One(const QByteArray &fields, int dotsPerMm = 8)
{
    const RenderResult result = Render("^XA^MNN^PW400^LL300" + fields + "^XZ", dotsPerMm);
    EXPECT_EQ(result.labels.size(), 1) << fields.constData();
    return result.labels.value(0);
}

QStringList WarningTexts(const RenderResult &result)
{
    QStringList texts;
    for (const RenderWarning &w : result.warnings)
        texts << QStringLiteral("%1:%2 %3").arg(w.line).arg(w.column).arg(w.text);
    return texts;
}

TEST(LabelRenderer, BoxesCoverExactlyTheirDots)
{
    struct Case
    {
        QByteArray box;
        QRect bounds;
        qint64 black;
    };
    const Case cases[] = {
        { "^FO10,20^GB100,50,3^FS", QRect(10, 20, 100, 50), 100 * 50 - 94 * 44 },
        { "^FO10,20^GB100,50,25^FS", QRect(10, 20, 100, 50), 100 * 50 }, // thick: filled
        { "^FO10,20^GB100,50,50^FS", QRect(10, 20, 100, 50), 100 * 50 },
        { "^FO0,0^GB1,80,1^FS", QRect(0, 0, 1, 80), 80 }, // vertical line
        { "^FO5,5^GB200,1^FS", QRect(5, 5, 200, 1), 200 }, // thickness defaults to 1
        { "^FO5,5^GB,,8^FS", QRect(5, 5, 8, 8), 64 }, // width and height default to thickness
        { "^FO5,5^GB4,30,8^FS", QRect(5, 5, 8, 30), 8 * 30 }, // never narrower than its line
        { "^FO390,290^GB100,100,2^FS", QRect(390, 290, 10, 10), 2 * 10 + 2 * 8 }, // cut at the edge
    };
    for (const Case &c : cases) {
        const QImage label = One(c.box);
        EXPECT_EQ(InkBounds(label), c.bounds) << c.box.constData();
        EXPECT_EQ(BlackCount(label), c.black) << c.box.constData();
    }
}

TEST(LabelRenderer, RoundedBoxesStayInsideTheirRectangle)
{
    for (int rounding = 1; rounding <= 8; ++rounding) {
        const QByteArray box = "^FO50,40^GB120,80,6,B," + QByteArray::number(rounding) + "^FS";
        const QImage label = One(box);
        EXPECT_EQ(InkBounds(label), QRect(50, 40, 120, 80)) << box.constData();
        // The corners are cut, the middle of each side is not.
        EXPECT_FALSE(IsBlack(label, 50, 40)) << box.constData();
        EXPECT_FALSE(IsBlack(label, 169, 119)) << box.constData();
        EXPECT_TRUE(IsBlack(label, 110, 40)) << box.constData();
        EXPECT_TRUE(IsBlack(label, 110, 45)) << box.constData();
        EXPECT_FALSE(IsBlack(label, 110, 46)) << box.constData();
    }
}

TEST(LabelRenderer, HomeShiftAndTopMoveFieldsExactly)
{
    struct Case
    {
        QByteArray setup;
        QPoint at;
    };
    const Case cases[] = {
        { "", QPoint(30, 40) },       { "^LH12,7", QPoint(42, 47) },
        { "^LS10", QPoint(20, 40) }, // shifts left
        { "^LS-10", QPoint(40, 40) }, { "^LT16", QPoint(30, 56) },
        { "^LT-16", QPoint(30, 24) }, { "^LH12,7^LS-5^LT3", QPoint(47, 50) },
        { "^LT500", QPoint(30, 40) }, // refused: the printer's range ends at 120
    };
    for (const Case &c : cases) {
        const QImage label = One(c.setup + "^FO30,40^GB20,10,10^FS");
        EXPECT_EQ(InkBounds(label), QRect(c.at, QSize(20, 10))) << c.setup.constData();
    }
    // Settings stay for the next format, as on the printer.
    RenderResult two = Render("^XA^LH100,0^XZ^XA^MNN^PW400^LL300^FO0,0^GB5,5,5^FS^XZ");
    ASSERT_EQ(two.labels.size(), 1);
    EXPECT_EQ(InkBounds(two.labels.at(0)), QRect(100, 0, 5, 5));
}

TEST(LabelRenderer, InvertedPrintTurnsTheWholeLabel)
{
    const QByteArray fields = "^FO10,20^GB30,40,4^FS^FO100,100^A0N,40^FDAbc^FS";
    const QImage normal = One(fields);
    const QImage inverted = One("^POI" + fields);
    ASSERT_EQ(inverted.size(), QSize(400, 300));
    EXPECT_TRUE(SameDots(inverted, normal.mirrored(true, true)));
    EXPECT_EQ(InkBounds(inverted, QRect(300, 200, 100, 100)), QRect(360, 240, 30, 40));
}

TEST(LabelRenderer, ScalableCapitalsAreThreeQuartersOfTheHeight)
{
    // Capitals stand from the top of the field down to the baseline, three
    // quarters of the height below it; ^FT puts that baseline on its origin.
    for (int height : { 20, 37, 50, 100, 180 }) {
        for (int dotsPerMm : { 8, 12 }) {
            const QByteArray h = QByteArray::number(height);
            const QRect placed = InkBounds(One("^FO40,60^A0N," + h + "^FDHEH^FS", dotsPerMm));
            EXPECT_EQ(placed.top(), 60) << height;
            EXPECT_EQ(placed.height(), height * 3 / 4) << height;
            const QRect typeset = InkBounds(One("^FT40,260^A0N," + h + "^FDHEH^FS", dotsPerMm));
            EXPECT_EQ(typeset.bottom(), 259) << height;
            EXPECT_EQ(typeset.height(), height * 3 / 4) << height;
        }
    }
}

TEST(LabelRenderer, TypesetTextSitsOnItsBaseline)
{
    const QImage label = One("^FT40,100^A0N,50^FDHH^FS");
    const QRect ink = InkBounds(label);
    EXPECT_NEAR(ink.bottom(), 99, 1);
    EXPECT_GE(ink.left(), 40);
    EXPECT_LE(ink.left(), 46);
}

TEST(LabelRenderer, FixedFontsUseWholeMagnifications)
{
    // Font D is 18 dots high in its cell: 40 asks for 2x, 36 dots.
    const QImage label = One("^CFD,40,20^FO10,10^FD\xDB\xDB^FS"); // full blocks in code page 850
    const QRect ink = InkBounds(label);
    EXPECT_EQ(ink.top(), 10);
    EXPECT_EQ(ink.height(), 36);
    // Two cells of 10 + 2 dots, doubled.
    EXPECT_NEAR(ink.width(), 24 + 20, 2);
}

TEST(LabelRenderer, SerialNumberStepsPerLabel)
{
    const RenderResult result = Render("^XA^MNN^PW400^LL300^FO20,20^A0N,40^SN0001,1,Y^FS^PQ3^XZ");
    ASSERT_EQ(result.labels.size(), 3);
    ASSERT_EQ(result.labelsRequested, 3);
    for (int i = 0; i < 3; ++i) {
        const QImage expected = One("^FO20,20^A0N,40^FD000" + QByteArray::number(i + 1) + "^FS");
        EXPECT_TRUE(SameDots(result.labels.at(i), expected)) << i;
    }
}

TEST(LabelRenderer, HexEscapesBecomeTheirBytes)
{
    EXPECT_TRUE(SameDots(One("^FO20,20^A0N,40^FH^FD_41_42c^FS"), One("^FO20,20^A0N,40^FDABc^FS")));
    EXPECT_TRUE(
        SameDots(One("^FO20,20^A0N,40^FH\\^FD\\41_41^FS"), One("^FO20,20^A0N,40^FDA_41^FS")));
    // Without ^FH the escape is printed as written.
    EXPECT_FALSE(SameDots(One("^FO20,20^A0N,40^FD_41^FS"), One("^FO20,20^A0N,40^FDA^FS")));
}

TEST(LabelRenderer, UnknownCommandsAreListedWithTheirPlace)
{
    const RenderResult result = Render("^XA\r\n^FO10,10^GB20,20,20^FS\r\n  ^XYZ1,2^FS\r\n^XZ\r\n");
    ASSERT_EQ(result.labels.size(), 1);
    EXPECT_EQ(WarningTexts(result), QStringList { QStringLiteral("3:3 ^XY not rendered") });
}

TEST(LabelRenderer, BrokenFormatsDrawWhatTheyCan)
{
    struct Case
    {
        QByteArray commands;
        int labels;
        QStringList warnings;
    };
    const Case cases[] = {
        { "^XA^FO10,10^GB20,20,20^FS",
          1,
          { "1:1 ^XA without ^XZ: the format is drawn as far as it goes" } },
        { "^XA^FO10,10^GB20,20,20^XZ", 1, { "1:4 field without ^FS" } },
        { "^XA^FO10,10^GB20,20,20^FO50,50^FDx^FS^XZ", 1, { "1:4 field without ^FS" } },
        { "^XA^FO10,10^G",
          0,
          { "1:12 ^G: incomplete command",
            "1:1 ^XA without ^XZ: the format is drawn as far as it goes" } },
        { "^FO10,10^XZ", 0, { "1:1 ^FO outside ^XA … ^XZ ignored", "1:9 ^XZ without ^XA" } },
        { "hello^XA^XZ", 0, { "1:1 text outside any command ignored" } },
        { "^XA^PW99999^PW32000^FO1,1^GB99999,5,5^FS^XZ",
          1,
          { "1:4 ^PW99999: a value from 2 to 32000 is needed; unchanged",
            "1:26 ^GB: width 99999 out of range, 32000 used",
            "1:1 label larger than 32 million dots: cut to 1000 dots long",
            "1:20 field partly outside the label (32000 x 1000 dots): its ink reaches 1 dot "
            "past the right edge" } },
        { "^XA^CI28^FO1,1^FD\xC3\x28^FS^XZ",
          1,
          { "1:9 field data is not UTF-8 (^CI28): shown as replacement marks" } },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render(c.commands);
        EXPECT_EQ(result.labels.size(), c.labels) << c.commands.constData();
        EXPECT_EQ(WarningTexts(result), c.warnings) << c.commands.constData();
    }
}

TEST(LabelRenderer, TestLabelPrintsAtItsPlaces)
{
    const RenderResult result = Render(TestLabelCommand(StartSetupValues()));
    EXPECT_TRUE(result.warnings.isEmpty()) << WarningTexts(result).join('\n').toStdString();
    ASSERT_EQ(result.labels.size(), 1);
    const QImage label = result.labels.at(0);
    EXPECT_EQ(label.size(), QSize(608, 1600));
    EXPECT_EQ(label.dotsPerMeterX(), 8000);
    // "Printer Test!" in font D at 40,40, 36 dots high.
    const QRect title = InkBounds(label, QRect(0, 0, 608, 100));
    EXPECT_NEAR(title.left(), 40, 3);
    EXPECT_NEAR(title.top(), 40, 1);
    EXPECT_LE(title.bottom(), 40 + 36);
    // The serial number at 240,1536.
    const QRect serial = InkBounds(label, QRect(0, 1500, 608, 100));
    EXPECT_NEAR(serial.left(), 240, 3);
    EXPECT_NEAR(serial.top(), 1536, 1);

    QStringList settings;
    for (const RenderSetting &s : result.settings)
        settings << s.command + QLatin1Char(' ') + s.name + QStringLiteral(": ") + s.value;
    EXPECT_EQ(
        settings,
        (QStringList { "^PR Print speed: 3 in/s", "~SD Darkness: 15", "^PW Print width: 608 dots",
                       "^LL Label length: 1600 dots", "^MN Media tracking: Continuous",
                       "^MM Post-print action: Tear off", "^MT Media type: Thermal direct",
                       "^PO Print orientation: Normal", "^LT Label top: 0 dots",
                       "^LS Label shift: 0 dots", "^LH Label home: 0, 0 dots" }));
}

} // namespace

namespace {

QByteArray Z64(const QByteArray &raw)
{
    // qCompress puts a 4-byte length before the zlib stream.
    const QByteArray text = qCompress(raw).mid(4).toBase64();
    return ":Z64:" + text + ':'
        + QByteArray::number(GraphicCrc(text), 16).rightJustified(4, '0').toUpper();
}

TEST(LabelRenderer, GraphicFieldsInEveryFormGiveTheSameDots)
{
    // Five rows of four bytes.
    const QByteArray raw = QByteArray::fromHex("FF00FF00"
                                               "FF00FF00"
                                               "0000000F"
                                               "FF000000"
                                               "00FFFFFF");
    const QByteArray plain = "^FO10,10^GFA,20,20,4," + raw.toHex().toUpper() + "^FS";
    const QImage expected = One(plain);
    EXPECT_EQ(InkBounds(expected), QRect(10, 10, 32, 5));
    EXPECT_EQ(BlackCount(expected), 8 * 4 + 4 + 8 + 24);

    const QByteArray forms[] = {
        "^FO10,10^GFA,20,20,4,HFH0HFH0:M0F\nHF,\rH0!^FS", // repeat letters, ":", ",", "!"
        "^FO10,10^GFA,20,20,4,hF^FS", // hF: too many digits, the rest is cut
        "^FO10,10^GFA,20,20,4," + Z64(raw) + "^FS",
        "^FO10,10^GFB,20,20,4," + raw + "^FS",
        "~DGR:LOGO.GRF,20,4," + raw.toHex() + "^XA^MNN^PW400^LL300^FO10,10^XGR:LOGO.GRF,1,1^FS^XZ",
    };
    for (const QByteArray &form : forms) {
        if (form.startsWith("~DG")) {
            const RenderResult result = Render(form);
            ASSERT_EQ(result.labels.size(), 1);
            EXPECT_TRUE(SameDots(result.labels.at(0), expected)) << form.constData();
            continue;
        }
        if (form.contains("hF")) {
            // 40 F digits fill all five rows of eight digits.
            EXPECT_EQ(BlackCount(One(form)), 32 * 5) << form.constData();
            continue;
        }
        EXPECT_TRUE(SameDots(One(form), expected)) << form.constData();
    }
    // Magnified recall doubles every dot.
    const RenderResult big = Render("~DGLOGO," + QByteArray::number(raw.size()) + ",4,"
                                    + raw.toHex() + "^XA^MNN^PW400^LL300^FO10,10^XGLOGO,2,3^FS^XZ");
    ASSERT_EQ(big.labels.size(), 1);
    EXPECT_EQ(BlackCount(big.labels.at(0)), BlackCount(expected) * 6);
}

TEST(LabelRenderer, GraphicsClaimingTooMuchAreRefusedOrCut)
{
    struct Case
    {
        QByteArray commands;
        QString warning;
    };
    const Case cases[] = {
        { "^XA^FO0,0^GFA,9999999999,9999999999,4,FF^FS^XZ",
          "1:10 ^GF: graphic of 9999999999 bytes is larger than a printer takes" },
        { "^XA^FO0,0^GFA,10,10,99999,FF^FS^XZ",
          "1:10 ^GF: graphic: 99999 bytes per row is not a size a printer takes" },
        { "^XA^FO0,0^GFB,100,100,10,abc", "1:10 ^GF: 100 bytes announced, the input ends before" },
        { "^XA^FO0,0^XGR:NONE.GRF^FS^XZ", "1:10 ^XG: R:NONE.GRF is not in printer memory" },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render(c.commands);
        EXPECT_TRUE(WarningTexts(result).contains(c.warning))
            << c.commands.constData() << "\n"
            << WarningTexts(result).join('\n').toStdString();
    }
}

} // namespace

namespace {

TEST(LabelRenderer, ReverseFieldsFlipExactlyTheirDots)
{
    // A black box, half covered by a reversed box: the overlap turns white.
    const QImage boxes = One("^FO10,10^GB100,60,60^FS^FO50,30^FR^GB100,20,20^FS");
    EXPECT_EQ(BlackCount(boxes), 100 * 60 - 60 * 20 + 40 * 20);
    EXPECT_EQ(BlackCount(boxes, QRect(50, 30, 60, 20)), 0);
    EXPECT_EQ(BlackCount(boxes, QRect(110, 30, 40, 20)), 40 * 20);
    EXPECT_EQ(BlackCount(boxes, QRect(10, 10, 40, 60)), 40 * 60);

    // Reversed text over a box: every dot of the text flips, nothing else.
    const QImage box = One("^FO10,10^GB200,60,60^FS");
    const QImage text = One("^FO20,20^A0N,40^FDHi!^FS");
    const QImage both = One("^FO10,10^GB200,60,60^FS^FO20,20^A0N,40^FR^FDHi!^FS");
    ASSERT_GT(BlackCount(text), 100);
    qint64 differences = 0;
    for (int y = 0; y < both.height(); ++y) {
        for (int x = 0; x < both.width(); ++x)
            differences += IsBlack(both, x, y) != (IsBlack(box, x, y) != IsBlack(text, x, y));
    }
    EXPECT_EQ(differences, 0);
    // ^LRY reverses every field of the format.
    EXPECT_TRUE(SameDots(One("^LRY^FO10,10^GB200,60,60^FS^FO20,20^A0N,40^FDHi!^FS"),
                         One("^FO10,10^FR^GB200,60,60^FS^FO20,20^A0N,40^FR^FDHi!^FS")));
}

TEST(LabelRenderer, FieldBlocksWrapJustifyAndClip)
{
    const QByteArray words = "^FDaa bb cc dd ee ff gg hh ii jj kk ll mm nn^FS";
    const auto block = [&](const QByteArray &justify, int lines = 3, int indent = 0) {
        return One("^FO10,10^A0N,30,30^FB200," + QByteArray::number(lines) + ",5," + justify + ","
                   + QByteArray::number(indent) + words);
    };
    // Three lines 35 dots apart, none wider than the block.
    const QImage left = block("L");
    for (int line = 0; line < 3; ++line) {
        const QRect ink = InkBounds(left, QRect(0, 10 + line * 35, 400, 30));
        ASSERT_FALSE(ink.isEmpty()) << line;
        EXPECT_GE(ink.left(), 10) << line;
        EXPECT_LE(ink.right(), 209) << line;
        EXPECT_LE(ink.left(), 14) << line;
    }
    // The text that does not fit is printed over the last line, nothing below it.
    EXPECT_EQ(BlackCount(left, QRect(0, 10 + 3 * 35 - 5, 400, 100)), 0);
    EXPECT_LE(InkBounds(left).right(), 209);

    const QImage right = block("R");
    const QImage centre = block("C");
    const QImage justified = block("J", 4);
    for (int line = 0; line < 2; ++line) {
        const QRect band(0, 10 + line * 35, 400, 30);
        EXPECT_GE(InkBounds(right, band).right(), 203) << line;
        const QRect c = InkBounds(centre, band);
        EXPECT_NEAR(c.left() - 10, 209 - c.right(), 4) << line;
        // Justified lines reach both sides.
        EXPECT_LE(InkBounds(justified, band).left(), 14) << line;
        EXPECT_GE(InkBounds(justified, band).right(), 203) << line;
    }
    // "\&" breaks the line; a hanging indent moves every line after the first.
    const QImage broken = One("^FO10,10^A0N,30,30^FB300,2,0,L,40^FDaa\\&bb^FS");
    EXPECT_LE(InkBounds(broken, QRect(0, 10, 400, 30)).left(), 14);
    EXPECT_GE(InkBounds(broken, QRect(0, 40, 400, 30)).left(), 50);
    EXPECT_LE(InkBounds(broken, QRect(0, 40, 400, 30)).left(), 54);
}

} // namespace

namespace {

TEST(LabelRenderer, RightToLeftTextRunsFromTheRight)
{
    // Alef (tall) then beh (low): read from the right, the alef stands right.
    const QImage label = One("^CI28^FO20,20^A0N,80^FD\xD8\xA7\xD8\xA8^FS");
    const QRect all = InkBounds(label);
    const QRect tall = InkBounds(label, QRect(0, 20, 400, 25));
    ASSERT_FALSE(all.isEmpty());
    ASSERT_FALSE(tall.isEmpty());
    EXPECT_GT(tall.center().x(), all.center().x());
    EXPECT_GE(all.left(), 20);
}

} // namespace

namespace {

TEST(LabelRenderer, DownloadedFontsDrawTheirFields)
{
    QFile file(QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray font = file.readAll();
    const QByteArray fields = "^FO20,20^A1N,60,60^FDSerif Ag^FS^XZ";

    // Downloaded the way the File Manager sends a font, used through ^CW.
    const RenderResult downloaded
        = Render("~DUE:DEMO," + QByteArray::number(font.size()) + ",\r\n" + font.toHex().toUpper()
                 + "\r\n^XA^MNN^PW400^LL300^CW1,E:DEMO.FNT" + fields);
    EXPECT_TRUE(downloaded.warnings.isEmpty()) << WarningTexts(downloaded).join('\n').toStdString();
    ASSERT_EQ(downloaded.labels.size(), 1);

    // Already in printer memory, by name.
    RenderOptions options;
    options.fonts.insert(QStringLiteral("E:DEMO.TTF"), font);
    const RenderResult byName = RenderLabels(
        "^XA^MNN^PW400^LL300^FO20,20^A@N,60,60,E:DEMO.TTF^FDSerif Ag^FS^XZ", options);
    ASSERT_EQ(byName.labels.size(), 1);
    EXPECT_TRUE(SameDots(downloaded.labels.at(0), byName.labels.at(0)));

    // Not font 0, and a font that is not there is font 0 with a warning.
    const QImage font0 = One("^FO20,20^A0N,60,60^FDSerif Ag^FS");
    EXPECT_FALSE(SameDots(downloaded.labels.at(0), font0));
    const RenderResult missing = Render("^XA^MNN^PW400^LL300^CW1,E:NONE.FNT" + fields);
    ASSERT_EQ(missing.labels.size(), 1);
    EXPECT_TRUE(SameDots(missing.labels.at(0), font0));
    EXPECT_EQ(WarningTexts(missing),
              QStringList { "1:35 font E:NONE.FNT is not in printer memory: font 0 used" });
}

} // namespace

namespace {

TEST(LabelRenderer, EveryLabelAskedForGetsAPictureWithinTheLimits)
{
    // 100 long labels with a serial number would need 400 MB: the first are
    // drawn whole, the rest show the part all labels share, with a warning.
    const RenderResult result = Render("^XA^MNN^PW1200^LL30000^FO0,0^GB100,100,100^FS"
                                       "^FO0,200^A0N,50^SN0001,1,Y^FS^PQ100^XZ");
    ASSERT_EQ(result.labels.size(), 100);
    EXPECT_EQ(result.labelsRequested, 100);
    // On a busy machine the one-second drawing budget may run out as well:
    // that is the same limit at work, and says so.
    QStringList warnings = WarningTexts(result);
    warnings.removeIf([](const QString &w) { return w.contains(QLatin1String("one second")); });
    ASSERT_EQ(warnings.size(), 2) << WarningTexts(result).join('\n').toStdString();
    EXPECT_TRUE(warnings.at(1).contains(QLatin1String("without their serial numbers")))
        << warnings.at(1).toStdString();
    const QImage &last = result.labels.constLast();
    EXPECT_EQ(InkBounds(last), QRect(0, 0, 100, 100));
    EXPECT_GT(BlackCount(result.labels.constFirst(), QRect(0, 200, 400, 60)), 0);

    // Past 100 labels, the rest are counted, not drawn.
    const RenderResult many = Render("^XA^FO0,0^GB10,10,10^FS^PQ500^XZ");
    EXPECT_EQ(many.labels.size(), 100);
    EXPECT_EQ(many.labelsRequested, 500);
}

} // namespace
