// tarvolin-cli render of a file with more labels than can be drawn in the
// time given: every label is counted, the warning that reading stopped is
// kept however many others come first, and warnings of one kind are counted
// rather than listed again and again.
#include "cli/cli.h"
#include "support/cliprocess.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CliRenderCount, LabelsBeyondTheDrawingTimeAreCountedAndTheStopIsSaid)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("many.txt");
    {
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        // 3000 warnings of one kind first, then 400,000 formats of one
        // label and one of 5: far more than a second draws.
        f.write(QByteArray("^XA^ZZ^XZ\n").repeated(3000));
        f.write(QByteArray("^XA^FO10,10^GB50,50,5^FS^XZ\n").repeated(400'000));
        f.write("^XA^FO10,10^GB50,50,5^FS^PQ5^XZ\n^XA^DFE:KEEP.ZPL^FS^FO1,1^GB5,5,5^FS^XZ\n");
    }
    const CliRun run = RunCliProgram({ "render", input, "-o", dir.filePath("label.png") });
    EXPECT_EQ(run.exitCode, ExitOk) << run.err.toStdString();
    const QString out = QString::fromUtf8(run.out);
    const QRegularExpressionMatch notDrawn
        = QRegularExpression("^([0-9]+) more labels not drawn$", QRegularExpression::MultilineOption)
              .match(out);
    ASSERT_TRUE(notDrawn.hasMatch()) << out.right(300).toStdString();
    const qint64 drawn = out.count(QRegularExpression("^.*label(-[0-9]+)?\\.png ",
                                                      QRegularExpression::MultilineOption));
    EXPECT_EQ(notDrawn.captured(1).toLongLong() + drawn, 400'005);

    const QString err = QString::fromUtf8(run.err);
    EXPECT_TRUE(err.contains(QRegularExpression(
        ":[0-9]+:[0-9]+: reading stopped after one second: the rest is not drawn\n")))
        << err.right(500).toStdString();
    EXPECT_EQ(err.count("^ZZ not rendered\n"), 20);
    EXPECT_TRUE(err.contains(input + ":21:4: ^ZZ not rendered (2980 more times, not listed)\n"))
        << err.right(500).toStdString();
}
