// "render" draws what the window's Label Preview draws, pixel for pixel.
#include "preview/labelrenderer.h"
#include "support/cliprocess.h"
#include "support/tempfile.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

bool SamePixels(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return false;
    const QImage x = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage y = b.convertToFormat(QImage::Format_Grayscale8);
    for (int row = 0; row < x.height(); ++row)
        if (memcmp(x.constScanLine(row), y.constScanLine(row), size_t(x.width())) != 0)
            return false;
    return true;
}

TEST(CliRender, DrawsWhatThePreviewDraws)
{
    QTemporaryDir dir;
    const QByteArray label = "^XA^PW400^LL300^CF0,40^FO20,20^FDTarvolin^FS^FO20,80^GB300,100,6^FS"
                             "^FO30,200^BY2^BCN,60,Y,N,N^FD12345^FS^PQ2^XZ";
    const QString file = WriteTempFile(dir, QStringLiteral("label.prn"), label);
    for (int dpi : { 203, 300 }) {
        SCOPED_TRACE(dpi);
        const QString out = dir.filePath(QStringLiteral("out%1.png").arg(dpi));
        const CliRun run = RunCliProgram({ QStringLiteral("render"), file, QStringLiteral("-o"),
                                           out, QStringLiteral("--dpi"), QString::number(dpi) });
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        RenderOptions options;
        options.dotsPerMm = DotsPerMmForDpi(dpi);
        const RenderResult expected = RenderLabels(label, options);
        ASSERT_EQ(expected.labels.size(), 2);
        EXPECT_TRUE(SamePixels(QImage(out), expected.labels[0]));
        EXPECT_TRUE(SamePixels(QImage(dir.filePath(QStringLiteral("out%1-2.png").arg(dpi))),
                               expected.labels[1]));
        EXPECT_TRUE(run.out.startsWith(out.toUtf8() + " 400 x 300 dots\n"))
            << run.out.toStdString();
    }
}

TEST(CliRender, WarningsNamedNoLabelFailsBadDpiIsRefused)
{
    QTemporaryDir dir;
    const QString odd
        = WriteTempFile(dir, QStringLiteral("odd.prn"), "^XA\n^FO10,10^FDx^FS^QQ1^XZ");
    const CliRun warned = RunCliProgram(
        { QStringLiteral("render"), odd, QStringLiteral("-o"), dir.filePath("odd.png") });
    EXPECT_EQ(warned.exitCode, 0);
    EXPECT_EQ(warned.err, odd.toUtf8() + ":2:16: ^QQ not rendered\n");

    const QString none = WriteTempFile(dir, QStringLiteral("none.prn"), "~WC\r\n");
    const CliRun empty = RunCliProgram(
        { QStringLiteral("render"), none, QStringLiteral("-o"), dir.filePath("none.png") });
    EXPECT_EQ(empty.exitCode, 1);
    EXPECT_TRUE(empty.err.contains("prints no label")) << empty.err.toStdString();

    const CliRun dpi
        = RunCliProgram({ QStringLiteral("render"), odd, QStringLiteral("-o"),
                          dir.filePath("x.png"), QStringLiteral("--dpi"), QStringLiteral("600") });
    EXPECT_EQ(dpi.exitCode, 2);
    EXPECT_EQ(dpi.err,
              "tarvolin-cli: render: --dpi: '600' is not 203 or 300\nTry 'tarvolin-cli --help'.\n");
    const CliRun noOut = RunCliProgram({ QStringLiteral("render"), odd });
    EXPECT_EQ(noOut.exitCode, 2);
}

} // namespace
