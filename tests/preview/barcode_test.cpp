#include "preview/labelrenderer.h"

#include "preview/labelimage.h"
#include "support/qtprint.h"

#include <QList>
#include <QString>

#include "preview/barcodescan.h"

#include <gtest/gtest.h>

namespace {

QImage Label(const QByteArray &fields, int dotsPerMm = 8)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    const RenderResult result = RenderLabels("^XA^PW800^LL600" + fields + "^XZ", options);
    EXPECT_EQ(result.labels.size(), 1) << fields.constData();
    for (const RenderWarning &w : result.warnings)
        ADD_FAILURE() << fields.constData() << ": " << w.text.toStdString();
    return result.labels.value(0).convertToFormat(QImage::Format_Grayscale8);
}

TEST(Barcodes, ScanToTheirFieldData)
{
    struct Case
    {
        QByteArray field;
        QString decoded;
    };
    const Case cases[] = {
        { "^FO60,60^BY2^BCN,100,Y,N,N^FDTarvolin-128^FS", "CODE-128:Tarvolin-128" },
        { "^FO60,60^BY3^BCN,80,N^FD>;12345678>6AB^FS", "CODE-128:12345678AB" },
        { "^FO60,60^BY2^BCR,120^FDTurned^FS", "CODE-128:Turned" },
        { "^FO60,60^BY2^BCI,120^FH^FD_54o_70^FS", "CODE-128:Top" },
        { "^FO60,60^BY2,3^B3N,N,100,Y,N^FDTAR-39 X^FS", "CODE-39:TAR-39 X" },
        { "^FO60,60^BY3,2.5^B3N,N,100^FD12AB^FS", "CODE-39:12AB" },
        { "^FO60,60^BY3^BEN,100^FD400638133393^FS", "EAN-13:4006381333931" },
        { "^FO60,60^BY3^BUN,100^FD03600029145^FS", "UPC-A:036000291452" },
        { "^FO60,60^BQN,2,5^FDQA,https://example.org/label?id=42^FS",
          "QR-Code:https://example.org/label?id=42" },
        { "^FO60,60^BQN,2,4^FDHM,N0123456789^FS", "QR-Code:0123456789" },
        { "^FT60,400^BY2^BCN,100^FDBaseline^FS", "CODE-128:Baseline" },
    };
    for (const Case &c : cases) {
        for (int dotsPerMm : { 8, 12 }) {
            const QImage label = Label(c.field, dotsPerMm);
            EXPECT_EQ(Zbar(label), QStringList { c.decoded }) << c.field.constData();
        }
    }
}

TEST(Barcodes, DataMatrixScans)
{
    for (const QByteArray &field : { QByteArray("^FO60,60^BXN,6,200^FDTarvolin DM 123^FS"),
                                     QByteArray("^FO60,60^BXN,8,200,20,20^FD0042^FS"),
                                     QByteArray("^FO60,60^BXR,5,200^FH^FDA_42C^FS") }) {
        const QByteArray expected = field.contains("0042") ? "0042"
            : field.contains("A_42C")                      ? "ABC"
                                                           : "Tarvolin DM 123";
        EXPECT_EQ(Dmtx(Label(field)), expected) << field.constData();
    }
}

TEST(Barcodes, ModulesAndHeightsAreWholeDotsAsAsked)
{
    struct Case
    {
        QByteArray field;
        QRect bounds;
    };
    const Case cases[] = {
        // "AB12" is 79 modules of Code 128 (with start, check and stop).
        { "^FO10,20^BY3^BCN,50,N^FDAB12^FS", QRect(10, 20, 79 * 3, 50) },
        { "^FO10,20^BY1^BCN,33,N^FDAB12^FS", QRect(10, 20, 79, 33) },
        { "^FO10,20^BY2^BCR,50,N^FDAB12^FS", QRect(10, 20, 50, 79 * 2) },
        { "^BY2,3,70^FO10,20^BCN,,N^FDAB12^FS", QRect(10, 20, 79 * 2, 70) }, // height from ^BY
        // QR version 1 is 21 modules, drawn the ^BY bar height (10) below ^FO.
        { "^FO10,20^BQN,2,4^FDQA,HELLO^FS", QRect(10, 30, 84, 84) },
        // Data Matrix "ABC" is 10 x 10 modules.
        { "^FO10,20^BXN,5,200^FDABC^FS", QRect(10, 20, 50, 50) },
        { "^FO10,20^BXN,5,200,16,16^FDABC^FS", QRect(10, 20, 80, 80) },
    };
    for (const Case &c : cases)
        EXPECT_EQ(InkBounds(Label(c.field)), c.bounds) << c.field.constData();

    // Code 39 at ratio 2.5 with 2-dot modules: every bar 2 or 5 dots wide.
    const QImage label = Label("^FO10,20^BY2,2.5^B3N,N,40,N^FDA1^FS");
    QList<int> widths;
    int run = 0;
    for (int x = 0; x < label.width(); ++x) {
        if (IsBlack(label, x, 30)) {
            ++run;
        } else if (run > 0) {
            widths << run;
            run = 0;
        }
    }
    ASSERT_EQ(widths.size(), 4 * 5); // four characters of five bars
    for (int w : widths)
        EXPECT_TRUE(w == 2 || w == 5) << w;
}

TEST(Barcodes, RefusedDataIsAWarning)
{
    RenderOptions options;
    const RenderResult result
        = RenderLabels("^XA^FO10,10^BEN,100^FDABC^FS^FO10,200^BCN^FS^XZ", options);
    ASSERT_EQ(result.warnings.size(), 2);
    EXPECT_TRUE(result.warnings.at(0).text.startsWith(QStringLiteral("bar code not drawn:")))
        << result.warnings.at(0).text.toStdString();
    EXPECT_EQ(result.warnings.at(0).column, 4);
    EXPECT_EQ(result.warnings.at(1).text, QStringLiteral("bar code without data"));
}

} // namespace
