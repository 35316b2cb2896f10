// tarvolin-cli sends files as it reads them: an input that never ends stops
// at --timeout, and a big file arrives whole while the program holds only a
// buffer of it.
#include "support/childprocess.h"
#include "support/cliprocess.h"
#include "support/slowprinters.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

// Runs tarvolin-cli and follows its peak resident size (kilobytes) while
// it runs: the size the kernel keeps for the process, read before it ends.
struct MeasuredRun
{
    int exitCode = -1;
    QByteArray out;
    long peakKb = 0;
};

MeasuredRun RunMeasured(const QStringList &arguments)
{
    MeasuredRun run;
    ChildProcess cli;
    if (!cli.Start(QStringLiteral(TARVOLIN_CLI_PROGRAM), arguments)) {
        ADD_FAILURE() << cli.Error().toStdString();
        return run;
    }
    const QString status = QStringLiteral("/proc/%1/status").arg(cli.Pid());
    QElapsedTimer clock;
    clock.start();
    while (cli.Running() && clock.elapsed() < 60000) {
        QFile f(status);
        if (f.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : f.readAll().split('\n'))
                if (line.startsWith("VmHWM:"))
                    run.peakKb = std::max(run.peakKb, line.mid(6).trimmed().split(' ')[0].toLong());
        }
        cli.Read(20);
    }
    EXPECT_TRUE(cli.WaitForExit(5000)) << "tarvolin-cli did not finish";
    run.exitCode = cli.ExitCode();
    run.out = cli.TakeOutput();
    return run;
}

// Byte-exact comparison of two files a piece at a time.
bool SameFiles(const QString &a, const QString &b)
{
    QFile fa(a), fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly) || fa.size() != fb.size())
        return false;
    while (!fa.atEnd())
        if (fa.read(1 << 20) != fb.read(1 << 20))
            return false;
    return true;
}

} // namespace

TEST(CliStreaming, AnInputThatNeverEndsStopsAtTheTimeoutInBoundedMemory)
{
    const MeasuredRun run
        = RunMeasured({ "--timeout", "3", "--to", "file:///dev/null", "send", "/dev/zero" });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        run.out.startsWith("file:///dev/null FAILED: Timed out after 3 s. Cancelled after "))
        << run.out.toStdString();
    // Far more than 300 MB went through; the address sanitizer keeps freed
    // memory back for a while, so its figure says nothing.
#ifndef __SANITIZE_ADDRESS__
    EXPECT_GT(run.peakKb, 0);
    EXPECT_LT(run.peakKb, 300L * 1024);
#endif
}

TEST(CliStreaming, ABigFileArrivesWholeWhileTheProgramHoldsOnlyABuffer)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("big.prn");
    constexpr qint64 size = 200LL * 1024 * 1024 + 12345;
    {
        // Every piece differs, so that a piece sent twice or skipped shows.
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        QByteArray piece(1 << 20, Qt::Uninitialized);
        for (qint64 done = 0, n = 0; done < size; done += piece.size(), ++n) {
            for (qsizetype i = 0; i < piece.size(); i += 8)
                std::memcpy(piece.data() + i, &n, sizeof n);
            piece.truncate(qsizetype(std::min<qint64>(piece.size(), size - done)));
            ASSERT_EQ(f.write(piece), piece.size());
        }
    }
    const QString output = dir.filePath("printer.bin");
    SlowTcpPrinter printer(SlowTcpPrinter::Options {});
    const QString tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.Port());
    const MeasuredRun run = RunMeasured({ "--to", "file://" + output, "--to", tcp, "send", input });
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(run.out.count(" ok 200.0 MB "), 2) << run.out.toStdString();
    EXPECT_TRUE(SameFiles(input, output));
    const QByteArray received = printer.Finish();
    QFile f(input);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(received == f.readAll());
#ifndef __SANITIZE_ADDRESS__
    EXPECT_GT(run.peakKb, 0);
    EXPECT_LT(run.peakKb, 64L * 1024);
#endif
}

TEST(CliStreaming, ARawDownloadArrivesWholeWhileTheProgramHoldsOnlyABuffer)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("logo.bin");
    {
        QFile f(input);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (int n = 0; n < 60; ++n)
            ASSERT_EQ(f.write(QByteArray(1 << 20, char('A' + n % 26))), 1 << 20);
        ASSERT_EQ(f.write("tail"), 4);
    }
    const QString output = dir.filePath("printer.bin");
    const MeasuredRun run
        = RunMeasured({ "--to", "file://" + output, "download", "--type", "data", input });
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(SameFiles(input, output));
#ifndef __SANITIZE_ADDRESS__
    EXPECT_GT(run.peakKb, 0);
    EXPECT_LT(run.peakKb, 48L * 1024);
#endif
}
