#include "preview/commandtable.h"
#include "preview/labelrenderer.h"

#include "preview/labelimage.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

RenderResult Render(const QByteArray &commands, int dotsPerMm = 8)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    return RenderLabels(commands, options);
}

QStringList WarningTexts(const RenderResult &result)
{
    QStringList texts;
    for (const RenderWarning &w : result.warnings)
        texts << QStringLiteral("%1:%2 %3").arg(w.line).arg(w.column).arg(w.text);
    return texts;
}

QString SettingValue(const RenderResult &result, const QString &command)
{
    for (const RenderSetting &s : result.settings) {
        if (s.command == command)
            return s.name + QStringLiteral(": ") + s.value;
    }
    return QStringLiteral("(not listed)");
}

TEST(LabelInterpreter, EveryCommandHasOneEntry)
{
    qsizetype count = 0;
    const CommandEntry *table = CommandTable(count);
    QSet<QByteArray> seen;
    for (qsizetype i = 0; i < count; ++i) {
        const QByteArray key
            = (table[i].kind == LabelCommand::Kind::Format ? "^" : "~") + QByteArray(table[i].name);
        EXPECT_FALSE(seen.contains(key)) << key.constData() << " twice";
        seen.insert(key);
        EXPECT_EQ(FindCommand(table[i].kind, table[i].name), &table[i]) << key.constData();
        if (table[i].handler == &LabelInterpreter::ListedSetting) {
            EXPECT_TRUE(table[i].setting && *table[i].setting) << key.constData();
        }
    }
    EXPECT_EQ(FindCommand(LabelCommand::Kind::Format, "QQ"), nullptr);
}

TEST(LabelInterpreter, SettingsAreListedWithTheirValuesNotWarnedAbout)
{
    struct Case
    {
        QByteArray commands;
        QString command;
        QString listed;
    };
    const Case cases[] = {
        { "^XA^MCY^XZ", "^MC", "Map clear: Y" },
        { "^XA^JMA^XZ", "^JM", "Dots per millimetre: A" },
        { "^XA^CVN^XZ", "^CV", "Code validation: N" },
        { "~JSN", "~JS", "Backfeed sequence: N" },
        { "^XA^MFN,N^XZ", "^MF", "Media feed at power-up, head close: N,N" },
        { "^XA^SZ2^XZ", "^SZ", "Label language version: 2" },
        { "^XA^PA0,1,1,0^XZ", "^PA", "Advanced text properties: 0,1,1,0" },
        { "~JO", "~JO", "Dispensing mode: " },
        { "^XA^XB^XZ", "^XB", "Suppress backfeed: " },
        // Outside a format too, and the last value wins.
        { "^MCN^XA^MCY^XZ", "^MC", "Map clear: Y" },
        { "^XA^PR4^XZ", "^PR", "Print speed: 4 in/s" },
        { "~SD20", "~SD", "Darkness: 20" },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render(c.commands);
        EXPECT_EQ(SettingValue(result, c.command), c.listed) << c.commands.constData();
        EXPECT_EQ(WarningTexts(result), QStringList()) << c.commands.constData();
    }
}

TEST(LabelInterpreter, PrinterCommandsChangeNoPictureAndWarnNothing)
{
    const QByteArray label = "^XA^PW100^LL50^FO10,10^GB20,20,20^FS^XZ";
    const RenderResult plain = Render(label);
    const RenderResult mixed
        = Render("~HS~JA" + label.left(label.size() - 3) + "^HH^WDR:*.*^XZ~WC~HI~JR");
    ASSERT_EQ(mixed.labels.size(), 1);
    EXPECT_TRUE(SameDots(mixed.labels.first(), plain.labels.first()));
    EXPECT_EQ(WarningTexts(mixed), QStringList());
}

// A single label of 400 x 400 dots with the given fields.
QImage One(const QByteArray &fields, int dotsPerMm = 8)
{
    const RenderResult result = Render("^XA^PW400^LL400" + fields + "^XZ", dotsPerMm);
    EXPECT_EQ(result.labels.size(), 1) << fields.constData();
    EXPECT_EQ(WarningTexts(result), QStringList()) << fields.constData();
    return result.labels.value(0);
}

TEST(LabelInterpreter, DiagonalsReachTheirWidthPastTheCorner)
{
    struct Case
    {
        QByteArray line;
        QRect bounds;
        QRect firstRow; // ink of the top row
    };
    const Case cases[] = {
        { "^FO100,100^GD200,200,6,B,L^FS", QRect(100, 100, 206, 200), QRect(100, 100, 6, 1) },
        { "^FO100,100^GD200,200,6,B,R^FS", QRect(100, 100, 206, 200), QRect(300, 100, 6, 1) },
        { "^FO50,20^GD300,100,4,B,L^FS", QRect(50, 20, 304, 100), QRect(50, 20, 4, 1) },
        { "^FO50,20^GD100,300,10,B,/^FS", QRect(50, 20, 110, 300), QRect(150, 20, 10, 1) },
    };
    for (const Case &c : cases) {
        const QImage label = One(c.line);
        const QRect bounds = InkBounds(label);
        // The band's slanted edges fall on whole dots: for a shallow line
        // the first row starts up to two dots in, as the printer's does.
        EXPECT_LE(std::abs(bounds.left() - c.bounds.left()), 2) << c.line.constData();
        EXPECT_LE(std::abs(bounds.right() - c.bounds.right()), 2) << c.line.constData();
        EXPECT_EQ(bounds.top(), c.bounds.top()) << c.line.constData();
        EXPECT_EQ(bounds.bottom(), c.bounds.bottom()) << c.line.constData();
        const QRect top = InkBounds(label, QRect(0, c.bounds.top(), 400, 1));
        EXPECT_LE(std::abs(top.left() - c.firstRow.left()), 2) << c.line.constData();
        EXPECT_LE(std::abs(top.width() - c.firstRow.width()), 1) << c.line.constData();
    }
}

TEST(LabelInterpreter, DiagonalRowsHoldTheThicknessLessDotsCentredOnAnEdge)
{
    struct Case
    {
        QByteArray line;
        int rowWidth; // black dots in every row
        int firstDot; // where the top row starts
    };
    const Case cases[] = {
        // At 45 degrees (and at a slope of 3 below) both edges run through
        // dot centres; those dots stay white.
        { "^FO50,50^GD200,200,5,B,L^FS", 4, 51 },   { "^FO50,50^GD200,200,5,B,R^FS", 4, 250 },
        { "^FO50,50^GD283,283,6,B,L^FS", 5, 51 },   { "^FO20,100^GD346,200,6,B,L^FS", 6, 21 },
        { "^FO100,50^GD200,346,6,B,R^FS", 6, 300 }, { "^FO50,20^GD300,100,4,B,L^FS", 3, 52 },
    };
    for (const Case &c : cases) {
        const QImage label = One(c.line);
        const QRect bounds = InkBounds(label);
        for (int y = bounds.top(); y <= bounds.bottom(); ++y)
            ASSERT_EQ(BlackCount(label, QRect(0, y, 400, 1)), c.rowWidth)
                << c.line.constData() << " row " << y;
        EXPECT_EQ(InkBounds(label, QRect(0, bounds.top(), 400, 1)).left(), c.firstDot)
            << c.line.constData();
    }
}

TEST(LabelInterpreter, SizesBelowTheLineThicknessAreTheThicknessWithoutAWarning)
{
    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        { "^FO10,10^GB0,100,4^FS", QRect(10, 10, 4, 100) }, // vertical line
        { "^FO10,10^GB100,0,3^FS", QRect(10, 10, 100, 3) }, // horizontal line
        { "^FO10,10^GB,,0^FS", QRect(10, 10, 1, 1) }, // thickness 0 is 1
        { "^FO10,10^GC0,2^FS", QRect(10, 10, 3, 3) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(One(c.field)), c.bounds) << c.field.constData();
}

TEST(LabelInterpreter, UnitsAreMillimetresInchesOrDotsOfAnotherResolution)
{
    struct Case
    {
        QByteArray fields;
        int dotsPerMm;
        QRect bounds;
    };
    const Case cases[] = {
        { "^MUM^FO10,5^GB20,10,1.5^FS", 8, QRect(80, 40, 160, 80) },
        { "^MUM^FO10,5^GB20,10,1.5^FS", 12, QRect(120, 60, 240, 120) },
        { "^MUI^FO0.5,0.25^GB1,0.5,0.1^FS", 8, QRect(102, 51, 203, 102) },
        { "^MUD,150,300^FO50,50^GB100,40,4^FS", 8, QRect(100, 100, 200, 80) },
        // Lengths that follow ^MU in the same format, label home included.
        { "^MUM^LH5,5^FO1,1^GB2,2,2^FS", 8, QRect(48, 48, 16, 16) },
        // Back to dots.
        { "^MUM^MUD^FO10,5^GB20,10,2^FS", 8, QRect(10, 5, 20, 10) },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render("^XA^PW400^LL400" + c.fields + "^XZ", c.dotsPerMm);
        ASSERT_EQ(result.labels.size(), 1) << c.fields.constData();
        EXPECT_EQ(WarningTexts(result), QStringList()) << c.fields.constData();
        EXPECT_EQ(InkBounds(result.labels.first()), c.bounds)
            << c.fields.constData() << " at " << c.dotsPerMm;
    }
}

TEST(LabelInterpreter, TextBlocksWrapInTheirWidthAndCutAtTheirHeight)
{
    // Two words do not fit in 60 dots; two lines of 30 fit in 70 dots, the
    // third is cut, not printed over the second.
    struct Case
    {
        QByteArray block;
        QByteArray same;
    };
    const Case cases[] = {
        { "^FO20,20^A0N,30,30^TBN,60,70^FDAB CD EF^FS",
          "^FO20,20^A0N,30,30^FDAB^FS^FO20,50^A0N,30,30^FDCD^FS" },
        // ^FT places the block by its bottom edge.
        { "^FT20,200^A0N,30,30^TBN,60,70^FDAB CD EF^FS",
          "^FO20,130^A0N,30,30^FDAB^FS^FO20,160^A0N,30,30^FDCD^FS" },
        // Millimetres, as every length.
        { "^MUM^FO2.5,2.5^A0N,3.75,3.75^TBN,7.5,8.75^FDAB CD EF^FS",
          "^FO20,20^A0N,30,30^FDAB^FS^FO20,50^A0N,30,30^FDCD^FS" },
    };
    for (const Case &c : cases)
        EXPECT_TRUE(SameDots(One(c.block), One(c.same))) << c.block.constData();
}

TEST(LabelInterpreter, FieldBlocksOnTheirBaselineInEveryOrientation)
{
    // ^FT places a block by its last line's baseline: a one-line text in a
    // block of two stands one line pitch (40 + 10) above it.
    struct Case
    {
        QByteArray block;
        QByteArray same;
    };
    const Case cases[] = {
        { "^FT20,200^A0N,40,40^FB300,2,10^FDtext^FS", "^FT20,150^A0N,40,40^FDtext^FS" },
        { "^FWB^FT300,350^A0,40,40^FB300,2,10^FDtext^FS", "^FWB^FT250,350^A0,40,40^FDtext^FS" },
        { "^FT100,20^A0R,40,40^FB300,2,10^FDtext^FS", "^FT150,20^A0R,40,40^FDtext^FS" },
        // A scalable font given its width alone is as high as wide.
        { "^FWB^FT300,350^A0,,40^FB300,2,10^FDtext^FS", "^FWB^FT250,350^A0,40,40^FDtext^FS" },
    };
    for (const Case &c : cases) {
        const QImage block = One(c.block);
        EXPECT_GT(BlackCount(block), 100) << c.block.constData();
        EXPECT_TRUE(SameDots(block, One(c.same))) << c.block.constData();
    }
}

TEST(LabelInterpreter, StoredFormatsAreRecalledWithTheirNumberedFields)
{
    const QByteArray stored = "^XA^DFR:SHIP.ZPL^FS^FO10,10^A0N,30^FN1^FS"
                              "^FO10,60^A0N,30^FN2^FDdefault^FS^FO200,10^GB50,50,50^FS^XZ";
    const QByteArray printed = "^XA^PW400^LL400^FO10,10^A0N,30^FDHello^FS"
                               "^FO10,60^A0N,30^FD%1^FS^FO200,10^GB50,50,50^FS^XZ";
    struct Case
    {
        QByteArray recall;
        QByteArray second; // the second field's text
    };
    const Case cases[] = {
        { "^XA^PW400^LL400^XFR:SHIP.ZPL^FN1^FDHello^FS^XZ", "default" },
        { "^XA^PW400^LL400^XFSHIP^FN2^FDthere^FS^FN1^FDHello^FS^XZ", "there" },
        // Data given before the recall waits for its field.
        { "^XA^PW400^LL400^FN1^FDHello^FS^XFE:SHIP.ZPL^XZ", "default" },
    };
    for (const Case &c : cases) {
        const RenderResult result = Render(stored + c.recall);
        ASSERT_EQ(result.labels.size(), 1) << c.recall.constData(); // ^DF prints nothing
        EXPECT_EQ(WarningTexts(result), QStringList()) << c.recall.constData();
        const RenderResult expected = Render(QByteArray(printed).replace("%1", c.second));
        EXPECT_TRUE(SameDots(result.labels.first(), expected.labels.first()))
            << c.recall.constData();
    }
    const RenderResult missing = Render("^XA^XFR:NONE.ZPL^FO1,1^GB5,5,5^FS^XZ");
    EXPECT_EQ(WarningTexts(missing),
              QStringList { QStringLiteral("1:4 ^XF: R:NONE.ZPL is not in printer memory") });
    // A format cut short while being stored keeps nothing from the next call.
    LabelRenderer renderer;
    renderer.Render("^XA^DFR:CUT.ZPL^FO1,1^GB5,5,5^FS");
    const RenderResult next = renderer.Render("^PW300^XA^FO1,1^GB5,5,5^FS^XZ");
    ASSERT_EQ(next.labels.size(), 1);
    EXPECT_EQ(next.labels.first().width(), 300);
    // A stored format that recalls itself stops.
    const RenderResult loop = Render("^XA^DFR:LOOP.ZPL^XFR:LOOP.ZPL^XZ^XA^XFR:LOOP.ZPL^XZ");
    EXPECT_FALSE(WarningTexts(loop).isEmpty());
}

TEST(LabelInterpreter, GraphicSymbolsFillTheirCells)
{
    struct Case
    {
        QByteArray field;
        QRect bounds; // of the ink, to a dot
    };
    const Case cases[] = {
        { "^FO10,10^GS,64,64^FDD^FS", QRect(10, 10, 64, 64) }, // approval mark: the whole cell
        { "^FO10,10^GS,64,64^FDA^FS", QRect(10, 10, 40, 40) }, // registered: five eighths
        { "^FO10,10^GS,64,64^FDB E^FS", QRect(10, 10, 64 * 2 + 64, 64) }, // a space is a cell
        { "^CF0,48^FO10,10^GS^FDE^FS", QRect(10, 10, 48, 48) }, // the ^CF size
    };
    for (const Case &c : cases) {
        const QRect bounds = InkBounds(One(c.field));
        EXPECT_LE(std::abs(bounds.left() - c.bounds.left()), 1) << c.field.constData();
        EXPECT_LE(std::abs(bounds.top() - c.bounds.top()), 1) << c.field.constData();
        EXPECT_LE(std::abs(bounds.right() - c.bounds.right()), 1) << c.field.constData();
        EXPECT_LE(std::abs(bounds.bottom() - c.bounds.bottom()), 1) << c.field.constData();
    }
    const QImage mark = One("^FO10,10^GS,64,64^FDC^FS"); // trade mark: letters at the top
    EXPECT_GT(BlackCount(mark), 200);
    EXPECT_LT(InkBounds(mark).bottom(), 10 + 48);
    const RenderResult unknown = Render("^XA^FO10,10^GS^FDX^FS^XZ");
    EXPECT_EQ(WarningTexts(unknown),
              QStringList { QStringLiteral("1:4 ^GS: no symbol X, only A to E") });
}

TEST(LabelInterpreter, NumbersAreReadAsThePrinterReadsThem)
{
    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        { "^FOB50,60^GB20,10,10^FS", QRect(50, 60, 20, 10) }, // letters before: passed over
        { "^FO50x,60^GB20,10,10^FS", QRect(50, 60, 20, 10) }, // after: ignored
        { "^FO+50,60^GB20mm,10,10^FS", QRect(50, 60, 20, 10) },
        { "^FO50,60^GB,,7^FS", QRect(50, 60, 7, 7) }, // none: the default
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(One(c.field)), c.bounds) << c.field.constData();
}

} // namespace

TEST(LabelInterpreter, TypesetFieldsWithoutCoordinatesFollowThePreviousField)
{
    // A coordinate left out of ^FT is where the previous field's baseline
    // ended; the first field of a label starts at the label home.
    struct Case
    {
        QByteArray follows;
        QByteArray same;
    };
    const Case cases[] = {
        { "^FT20,100^ADN^FDAB^FS^FT^ADN^FDCD^FS", "^FT20,100^ADN^FDABCD^FS" },
        { "^FT100,20^ADR^FDAB^FS^FT^ADR^FDCD^FS", "^FT100,20^ADR^FDABCD^FS" },
        { "^FT20,100^ADN^FDAB^FS^FT200^ADN^FDCD^FS",
          "^FT20,100^ADN^FDAB^FS^FT200,100^ADN^FDCD^FS" },
        { "^LH30,60^FT^ADN^FDAB^FS", "^LH30,60^FT0,0^ADN^FDAB^FS" },
        // Fields of ^FO go on as well.
        { "^FO20,100^GB40,30,30^FS^FT^ADN^FDCD^FS",
          "^FO20,100^GB40,30,30^FS^FT60,130^ADN^FDCD^FS" },
    };
    for (const Case &c : cases) {
        const QImage follows = One(c.follows);
        EXPECT_GT(BlackCount(follows), 50) << c.follows.constData();
        EXPECT_TRUE(SameDots(follows, One(c.same))) << c.follows.constData();
    }

    // A serial number after the fields every label shares follows them on
    // each label.
    const RenderResult serial
        = Render("^XA^PW400^LL400^FT20,100^ADN^FDAB^FS^FT^ADN^SN1,1^FS^PQ2^XZ");
    ASSERT_EQ(serial.labels.size(), 2);
    EXPECT_TRUE(SameDots(serial.labels.at(1), One("^FT20,100^ADN^FDAB2^FS")));
}

TEST(LabelInterpreter, WarningsOfAFieldPointAtItsFirstCommand)
{
    const struct
    {
        QByteArray format;
        QStringList warnings;
    } cases[] = {
        { "^XA\n^BCN,50,N^FD1^DFR:X.ZPL^XZ", { "2:1 field without ^FS" } },
        { "^XA\n  ^GFA,1,1,1,FF^XZ", { "2:3 field without ^FS" } },
        { "^XA^FO1,1\n^FDx^XZ", { "1:4 field without ^FS" } },
    };
    for (const auto &c : cases)
        EXPECT_EQ(WarningTexts(Render(c.format)), c.warnings) << c.format.constData();
}
