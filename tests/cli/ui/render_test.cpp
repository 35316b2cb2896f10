// "render" draws what the window's Label Preview draws, pixel for pixel.
#include "preview/labelrenderer.h"
#include "support/cliprocess.h"
#include "support/tempfile.h"

#include <QFile>
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
    const QByteArray label
        = "^XA^MNN^PW400^LL300^CF0,40^FO20,20^FDTarvolin^FS^FO20,80^GB300,100,6^FS"
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

TEST(CliRender, EveryLabelOfAFileIsDrawnAndAnIncompleteOneFails)
{
    QTemporaryDir dir;
    // More labels than the window's preview shows, each its own picture;
    // a name without ".png" gets it.
    const QString many = WriteTempFile(
        dir, QStringLiteral("many.prn"),
        "^XA^MNN^PW200^LL100^FO10,10^A0N,30,30^SN001,1,Y^FS^PQ120^XZ\n^XA^FO10,10^GB50,50,4^FS^XZ");
    const CliRun all = RunCliProgram(
        { QStringLiteral("render"), many, QStringLiteral("-o"), dir.filePath("m") });
    EXPECT_EQ(all.exitCode, 0) << all.err.toStdString();
    EXPECT_EQ(all.out.count('\n'), 121);
    EXPECT_TRUE(all.out.startsWith(dir.filePath("m.png").toUtf8() + " 200 x 100 dots\n"));
    EXPECT_TRUE(all.out.endsWith(dir.filePath("m-121.png").toUtf8() + " 200 x 100 dots\n"))
        << all.out.right(200).toStdString();
    EXPECT_EQ(QImage(dir.filePath("m-120.png")).size(), QSize(200, 100));
    EXPECT_FALSE(QFile::exists(dir.filePath("m-122.png")));
    EXPECT_FALSE(QFile::exists(dir.filePath("m")));
    EXPECT_EQ(all.err, QByteArray());
    // Serial numbers counted on to the last label.
    EXPECT_NE(QImage(dir.filePath("m-119.png")), QImage(dir.filePath("m-120.png")));

    // A QR symbol pushed below the label is named, and the render fails.
    const QString below = WriteTempFile(dir, QStringLiteral("below.prn"),
                                        "^XA^MNN^PW400^LL300\n^FO20,20^A0N,30,30^FDTop^FS\n"
                                        "^FO20,320^BQN,2,4^FDQA,12345^FS\n^XZ\n");
    const CliRun off = RunCliProgram(
        { QStringLiteral("render"), below, QStringLiteral("-o"), dir.filePath("below.png") });
    EXPECT_EQ(off.exitCode, 1);
    EXPECT_TRUE(off.err.startsWith(below.toUtf8()
                                   + ":3:1: field wholly outside the label (400 x 300 dots): its "
                                     "ink reaches "))
        << off.err.toStdString();
    EXPECT_TRUE(
        off.err.endsWith("tarvolin-cli: render: " + below.toUtf8()
                         + ": 1 of 1 labels drawn, not every one whole (see the warnings above)\n"))
        << off.err.toStdString();
    EXPECT_TRUE(QFile::exists(dir.filePath("below.png")));
}

} // namespace
