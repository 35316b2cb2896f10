#include "preview/code128.h"
#include "preview/labelrenderer.h"

#include "preview/barcodescan.h"
#include "preview/labelimage.h"

#include <gtest/gtest.h>

namespace {

QImage Label(const QByteArray &fields, QList<QString> *warnings = nullptr)
{
    RenderOptions options;
    options.dotsPerMm = 8;
    const RenderResult result = RenderLabels("^XA^PW800^LL800" + fields + "^XZ", options);
    EXPECT_EQ(result.labels.size(), 1) << fields.constData();
    for (const RenderWarning &w : result.warnings) {
        if (warnings)
            warnings->append(w.text);
        else
            ADD_FAILURE() << fields.constData() << ": " << w.text.toStdString();
    }
    return result.labels.value(0).convertToFormat(QImage::Format_Grayscale8);
}

TEST(Code128, SubsetsChangeOnlyWhereTheDataSays)
{
    struct Case
    {
        QByteArray data;
        char mode;
        std::vector<int> values; // without check and stop
        QString text;
    };
    const Case cases[] = {
        // Digits stay in subset B unless the data switches.
        { "123456", 'N', { 104, 17, 18, 19, 20, 21, 22 }, "123456" },
        { ">;123456", 'N', { 105, 12, 34, 56 }, "123456" },
        { ">;12>6AB", 'N', { 105, 12, 100, 33, 34 }, "12AB" },
        { "AB>51234>6C", 'N', { 104, 33, 34, 99, 12, 34, 100, 35 }, "AB1234C" },
        // Function code 1, a literal ">", and the lone ">" at the end.
        { ">8AB", 'N', { 104, 102, 33, 34 }, "AB" },
        { "A><B>", 'N', { 104, 33, 30, 34, 30 }, "A>B>" },
        // Subset A reads digit pairs as code values.
        { ">952", 'N', { 103, 52 }, "T" },
        // Automatic: invocation codes are data, digit runs go to subset C.
        { ">;1234", 'A', { 104, 30, 27, 99, 12, 34 }, ">;1234" },
        // Case mode: function code 1, 19 digits filled up with zeros, check digit.
        { "12", 'U', { 105, 102, 12, 0, 0, 0, 0, 0, 0, 0, 0, 5 }, "12000000000000000005" },
        // Application identifiers: brackets and blanks are not encoded.
        { "(01) 12345678901231",
          'D',
          { 105, 102, 1, 12, 34, 56, 78, 90, 12, 31 },
          "0112345678901231" },
    };
    for (const Case &c : cases) {
        const Code128Symbol symbol = EncodeCode128(c.data, c.mode);
        ASSERT_GE(symbol.values.size(), 2u) << c.data.constData();
        const std::vector<int> values(symbol.values.begin(), symbol.values.end() - 2);
        EXPECT_EQ(values, c.values) << c.data.constData();
        EXPECT_EQ(symbol.values.back(), 106);
        EXPECT_EQ(symbol.text, c.text) << c.data.constData();
        EXPECT_TRUE(symbol.problem.isEmpty()) << c.data.constData();
    }
    EXPECT_FALSE(EncodeCode128(">;12A", 'N').problem.isEmpty()); // no letters in subset C
}

TEST(Code128, WidthsFollowTheModuleAndData)
{
    struct Case
    {
        QByteArray field;
        int width;
    };
    const Case cases[] = {
        { "^BY2^FO40,40^BCN,60,N^FD123456^FS", 202 }, // subset B: 101 modules
        { "^BY3^FO40,40^BCN,60,N^FD123456^FS", 303 },
        { "^BY2^FO40,40^BCN,60,N^FD>;123456^FS", 136 }, // subset C: 68 modules
        { "^BY2^FO40,40^BCN,60,N^FD>;12>8>6AB^FS", 180 }, // function code 1 drawn
        { "^BY1^FO40,40^BCN,60,N,N,N,U^FD00123^FS", 156 },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(Label(c.field)).width(), c.width) << c.field.constData();

    // The interpretation line stays outside the bars: below, or above the origin.
    const QRect below = InkBounds(Label("^BY2^FO40,100^BCN,60,Y^FD>;1234^FS"));
    EXPECT_EQ(below.top(), 100);
    EXPECT_EQ(below.bottom(), 100 + 60 + 6 + 14 - 1);
    const QRect above = InkBounds(Label("^BY2^FO40,100^BCN,60,Y,Y^FD>;1234^FS"));
    EXPECT_EQ(above.top(), 100 - 26);
    EXPECT_EQ(above.bottom(), 159);
}

TEST(Barcodes, FurtherSymbologiesScan)
{
    struct Case
    {
        QByteArray field;
        QString decoded;
    };
    const Case cases[] = {
        { "^FO50,50^BY2^BKN,N,80,N,N,B,D^FDA9876B^FS", "Codabar:B9876D" },
        { "^FO50,50^BY2^BLN,80^FDTAR42^FS", "CODE-39:TAR42T" },
        { "^FO50,50^BY2^B9N,80,Y^FD123456^FS", "UPC-E:01234565" },
        { "^FO50,50^BRN,1,2,1,100^FD2401234567890^FS", "DataBar:0124012345678905" },
        { "^FO50,50^BRN,3,3,2,100^FD2401234567890^FS", "DataBar:0124012345678905" },
        { "^FO50,50^BRN,6,2,2^FD0104012345678901>815210101^FS",
          "DataBar-Exp:010401234567890115210101" },
        { "^FO50,50^BY2^B2N,80,N^FD>;123456^FS", "I2/5:123456" },
        { "^FO50,50^BY2^BCN,80,N,N,N,D^FD(01)09501101530003>8(10)ABC^FS",
          "CODE-128:0109501101530003\x1d"
          "10ABC" },
        // QR: the first three characters are never data.
        { "^FO50,50^BQN,2,4^FDLABEL 7^FS", "QR-Code:EL 7" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(Zbar(Label(c.field)), QStringList { c.decoded }) << c.field.constData();
}

TEST(Barcodes, FurtherSymbologiesHaveThePrintersSize)
{
    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        // Two-width codes at ^BY2 (ratio 3): wide elements 6 dots.
        { "^FO50,50^BY2^BIN,100,N^FD12345678^FS", QRect(50, 50, 262, 100) },
        { "^FO50,50^BY2^BJN,100,N^FD12345678^FS", QRect(50, 50, 242, 100) },
        { "^FO50,50^BY2^B1N,N,100,N^FD12345^FS", QRect(50, 50, 178, 100) },
        { "^FO50,50^BY2,2^BMN,A,100,N^FD12345678^FS", QRect(50, 50, 206, 100) },
        { "^FO50,50^BY2^BKN,N,100,N^FD12345^FS", QRect(50, 50, 174, 100) },
        // Postal bars: one module wide, five dots apart, short ones 40 %.
        { "^FO50,50^BY2^BZN,100^FD12345^FS", QRect(50, 50, 157, 100) },
        { "^FO50,50^BY2^B5N,100^FD12345678901^FS", QRect(50, 50, 307, 100) },
        // Extensions alone, EAN guard bars below the others.
        { "^FO50,50^BY2^BSN,80,N^FD42^FS", QRect(50, 50, 40, 80) },
        { "^FO50,50^BY2^BSN,80,N^FD51999^FS", QRect(50, 50, 94, 80) },
        { "^FO50,50^BY2^BEN,100,N^FD123456789012^FS", QRect(50, 50, 190, 113) },
        { "^FO50,50^BY2^B9N,100,N^FD012345^FS", QRect(50, 50, 102, 113) },
        // Stacked and matrix symbols: whole modules, the printer's row heights.
        { "^FO50,50^BRN,5,2,2,100^FD0112345678901^FS", QRect(52, 50, 146, 20) },
        { "^FO50,50^BRN,2,2,2,100^FD0112345678901^FS", QRect(52, 50, 190, 26) },
        { "^FO50,50^BRN,4,2,2,100^FD0112345678901^FS", QRect(50, 50, 100, 144) },
        { "^FO50,50^BY2^BFN,2,0^FD1234^FS", QRect(50, 50, 76, 22) },
        { "^FO50,50^B0N,4,N,N,N,N^FDTarvolin^FS", QRect(50, 50, 60, 60) },
        // PDF417 without columns: the fewest that keep it no taller than wide.
        { "^FO50,50^BY2^B7N,10,1,0^FD1234567890^FS", QRect(50, 50, 172, 100) },
        { "^FO50,50^BY2^B7N,4,0,0^FD1234567890^FS", QRect(50, 50, 172, 32) },
        // Data Matrix sized for its data one character per code word.
        { "^FO50,50^BXN,5,200^FDLabel preview X^FS", QRect(50, 50, 90, 90) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(Label(c.field)), c.bounds) << c.field.constData();

    // Short postal bars stand on the bottom line: frame, 1 (00011), check 9 (10100).
    const QImage postnet = Label("^FO50,50^BY2^BZN,100^FD1^FS");
    QList<int> heights;
    for (int x = 50; x < 100; x += 5)
        heights << InkBounds(postnet, QRect(x, 0, 2, 800)).height();
    EXPECT_EQ(heights, QList<int>({ 100, 40, 40, 40, 100, 100, 100, 40, 100, 40 }));
}

TEST(Barcodes, QrPlacement)
{
    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        // ^FO: the ^BY bar height in force (10 unless set) above the symbol.
        { "^FO100,100^BQN,2,5^FDMA,HELLO WORLD^FS", QRect(100, 110, 105, 105) },
        { "^BY3,2,60^FO100,100^BQN,2,5^FDMA,HELLO WORLD^FS", QRect(100, 160, 105, 105) },
        // ^FT: three modules between the symbol and the baseline; ^BY moves nothing.
        { "^FT100,400^BQN,2,5^FDMA,HELLO WORLD^FS", QRect(100, 280, 105, 105) },
        { "^BY3,2,60^FT100,400^BQN,2,5^FDMA,HELLO WORLD^FS", QRect(100, 280, 105, 105) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(Label(c.field)), c.bounds) << c.field.constData();
}

// The correction level a QR symbol's format information names.
char QrCorrection(const QImage &label, QPoint origin, int module)
{
    const auto dot = [&](int row, int column) {
        return IsBlack(label, origin.x() + column * module + module / 2,
                       origin.y() + row * module + module / 2);
    };
    const QPoint bits[]
        = { { 8, 0 }, { 8, 1 }, { 8, 2 }, { 8, 3 }, { 8, 4 }, { 8, 5 }, { 8, 7 }, { 8, 8 },
            { 7, 8 }, { 5, 8 }, { 4, 8 }, { 3, 8 }, { 2, 8 }, { 1, 8 }, { 0, 8 } };
    int format = 0;
    for (QPoint b : bits)
        format = format * 2 + (dot(b.x(), b.y()) ? 1 : 0);
    format ^= 0b101010000010010;
    return "MLHQ"[format >> 13];
}

TEST(Barcodes, QrCorrectionRisesWhileTheDataFitsTheSameSize)
{
    struct Case
    {
        QByteArray data;
        int modules; // symbol size
        char correction;
    };
    const Case cases[] = {
        // Eleven letters take version 1 at M; Q still holds them, H not.
        { "MA,HELLO WORLD", 21, 'Q' },
        { "LA,HELLO WORLD", 21, 'Q' },
        // Nine fit even at H.
        { "MA,HELLO WOR", 21, 'H' },
        { "HA,HELLO WORLD", 25, 'H' },
        // Twenty-five take version 2 at Q, which at H holds only twenty.
        { "QA,HELLO WORLD 1234567890ABC", 25, 'Q' },
        { "MA,HELLO WORLD 1234567890ABC", 25, 'Q' },
    };
    for (const Case &c : cases) {
        const QImage label = Label("^FO100,100^BQN,2,5^FD" + c.data + "^FS");
        const QRect bounds = InkBounds(label);
        EXPECT_EQ(bounds.width(), c.modules * 5) << c.data.constData();
        EXPECT_EQ(QrCorrection(label, bounds.topLeft(), 5), c.correction) << c.data.constData();
        EXPECT_EQ(Zbar(label), QStringList { "QR-Code:" + QString::fromLatin1(c.data.mid(3)) })
            << c.data.constData();
    }
}

TEST(Barcodes, EanDigitsUnderTheirGroups)
{
    const QImage label = Label("^FO60,50^BY2^BEN,100,Y^FD400638133393^FS");
    EXPECT_EQ(Zbar(label), QStringList { "EAN-13:4006381333931" });
    // The number system digit stands left of the bars, the groups between
    // the guards, as high as the guards reach.
    const QRect first = InkBounds(label, QRect(0, 151, 60, 40));
    EXPECT_LT(first.right(), 60 - 2);
    EXPECT_EQ(first.height(), 14);
    const QRect groups = InkBounds(label, QRect(60, 164, 190, 40));
    EXPECT_GT(groups.left(), 60 + 6);
    EXPECT_LT(groups.right(), 60 + 184);
    EXPECT_EQ(InkBounds(label).bottom(), first.bottom());
}

TEST(Barcodes, RefusedDataOfFurtherSymbologiesIsAWarning)
{
    QList<QString> warnings;
    const QImage label = Label("^FO50,50^BRN,5,2,2,100^FD9999999999999^FS", &warnings);
    EXPECT_TRUE(InkBounds(label).isEmpty());
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings.at(0).startsWith(QStringLiteral("bar code not drawn:")))
        << warnings.at(0).toStdString();
}

} // namespace
