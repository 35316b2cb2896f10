// tarvolin-cli render, which has no time limit, counts warnings of one kind
// rather than listing them again and again.
#include "cli/cli.h"
#include "support/cliprocess.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(CliRenderCount, RenderCountsWarningsOfOneKind)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("warned.txt");
    {
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("^XA^ZZ^XZ\n").repeated(3000));
        f.write("^XA^FO10,10^GB50,50,5^FS^PQ3^XZ\n");
    }
    const CliRun run = RunCliProgram({ "render", input, "-o", dir.filePath("label.png") });
    EXPECT_EQ(run.exitCode, ExitOk) << run.err.toStdString();
    EXPECT_EQ(run.out.count('\n'), 3);
    const QString err = QString::fromUtf8(run.err);
    EXPECT_EQ(err.count("^ZZ not rendered\n"), 20);
    EXPECT_TRUE(err.contains(input + ":21:4: ^ZZ not rendered (2980 more times, not listed)\n"))
        << err.right(500).toStdString();
}
