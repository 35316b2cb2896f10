// The virtual printer draws its labels with the preview's interpreter: for
// the same bytes, every label it prints is the preview's picture, dot for dot.
#include "preview/labelrenderer.h"
#include "printer/labelprinter.h"
#include "support/qtprint.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class QuietLog : public PrinterLog
{
public:
    void Info(const QString &) override { }
    void Error(const QString &) override { }
};

QList<QImage> Printed(const QByteArray &bytes, int dotsPerMm)
{
    QTemporaryDir dir;
    QuietLog log;
    LabelPrinter output(log, dir.path());
    PrinterConfig config;
    config.dotsPerMm = dotsPerMm;
    VirtualPrinter printer(config, log, output);
    {
        const auto session = printer.OpenSession([](const QByteArray &) {});
        session->Feed(bytes);
        session->EndOfInput();
    }
    EXPECT_TRUE(output.WaitIdle(60000));
    QList<QImage> labels;
    for (int n = 1;; ++n) {
        const QImage image(
            dir.filePath(QStringLiteral("label-%1.png").arg(n, 4, 10, QLatin1Char('0'))));
        if (image.isNull())
            return labels;
        labels << image.convertToFormat(QImage::Format_Grayscale8);
    }
}

QList<QImage> Previewed(const QByteArray &bytes, int dotsPerMm)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    // The virtual printer's label until a format sets another: 104 x 152 mm.
    options.defaultLabelSize = QSize(104 * dotsPerMm, 152 * dotsPerMm);
    QList<QImage> labels;
    for (const QImage &image : RenderLabels(bytes, options).labels)
        labels << image.convertToFormat(QImage::Format_Grayscale8);
    return labels;
}

TEST(SamePicture, VirtualPrinterLabelsAreThePreviewsDotForDot)
{
    const QByteArray formats[] = {
        "^XA^PW400^LL300^FO20,20^A0N,40,40^FDHello^FS^FO20,80^GB200,60,4^FS^XZ",
        "^XA^LH30,20^LT10^LS5^FO0,0^GB50,50,50^FS^FT10,200^ADN,36,20^FDTyped^FS^XZ",
        "^XA^PW300^LL200^POI^FO10,10^GB100,20,20^FS^XZ",
        "^XA^PW400^LL200^FO10,10^BY2^BCN,60,Y,N,N^FD12345678^FS^XZ",
        "^XA^PW400^LL200^FO10,10^BQN,2,4^FDQA,virtual printer^FS^XZ",
        "^XA^PW400^LL120^FO10,10^A0N,30^SN0001,1,Y^FS^FO200,10^FDsame^FS^PQ3^XZ",
        "^XA^PW400^LL120^FO10,10^A0N,30^SN7,-2,N^FS^PQ4,0,2^XZ",
        "^XA^PW300^LL300^FO10,10^FB200,3,0,C^A0N,30^FDa block of text that wraps^FS^XZ",
        "^XA^PW200^LL100^FO10,10^GFA,8,8,1,FF00FF00FF00FF00^FS^FO50,10^GD60,60,3^FS^XZ",
        "~CC+\r\n+XA+PW200+LL100+FO10,10+GB40,40,40+FS+FO60,10+FDa^b+FS+XZ",
        "^XA^PW200^LL100^CC%%FO10,10%GB40,40,40%FS%XZ",
        "^XA^PW200^LL100~CC%%FO10,10%GB40,40,40%FS%PQ2%XZ",
        "^XA^PW200^LL100~CT#^FO10,10^GB40,40,40^FS#CC%%PQ2%XZ",
        "^XA^PW400^LL120^FT10,40^ADN^FDNo.^FS^FT^ADN^SN5,1^FS^PQ2^XZ",
        "^XA^DFR:T.ZPL^FS^PW300^LL100^FO10,10^A0N,30^FN1^FS^FO150,10^GB40,40,40^FS^XZ"
        "^XA^XFR:T.ZPL^FN1^FDrecalled^FS^XZ",
        "^XA^PW300^LL100^FWR^FO50,10^A0,30^FDturned^FS^LRY^FO150,10^GB80,80,80^FS^XZ",
    };
    for (int dotsPerMm : { 8, 12 }) {
        for (const QByteArray &format : formats) {
            const QList<QImage> printed = Printed(format, dotsPerMm);
            const QList<QImage> previewed = Previewed(format, dotsPerMm);
            ASSERT_FALSE(previewed.isEmpty()) << format.constData();
            ASSERT_EQ(printed.size(), previewed.size()) << format.constData();
            for (qsizetype i = 0; i < printed.size(); ++i)
                EXPECT_TRUE(printed.at(i) == previewed.at(i))
                    << format.constData() << " label " << i + 1 << " at " << dotsPerMm
                    << " dots/mm";
        }
    }
}

} // namespace
