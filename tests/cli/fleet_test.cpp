// Fleets through the real programs: tarvolin-cli against real virtual
// printers, its metrics checked by Prometheus's own checker, the textfile a
// collector reads never seen half-written while runs replace it, and a
// printer's settings snapshot, drift and restore proven by the bytes that
// reached it.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/pty.h"
#include "support/tempfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

namespace {

// promtool reads metrics from its standard input only.
int PromtoolCheck(const QString &file, QByteArray *said)
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    if (promtool.isEmpty()) {
        *said = "promtool (Debian's prometheus package) is not installed";
        return -1;
    }
    ChildProcess check;
    if (!check.Start(QStringLiteral("sh"),
                     { QStringLiteral("-c"), QStringLiteral("exec \"$0\" check metrics < \"$1\""),
                       promtool, file },
                     true))
        return -1;
    if (!check.WaitForExit(60000))
        return -1;
    *said = check.TakeOutput();
    return check.ExitCode();
}

TEST(CliFleet, StatusAsMetricsIntoATextfileThatIsAlwaysWhole)
{
    QTemporaryDir dir;
    PrinterProcess paperOut(
        { QStringLiteral("--pty"), QStringLiteral("--status"), QStringLiteral("paper-out") });
    PrinterProcess ready({ QStringLiteral("--pty") });
    ASSERT_TRUE(paperOut.IsRunning()) << paperOut.Error().toStdString();
    ASSERT_TRUE(ready.IsRunning()) << ready.Error().toStdString();
    const QString out = dir.filePath(QStringLiteral("printers.prom"));
    const QString gone = dir.filePath(QStringLiteral("no-such-pty"));
    const QStringList args = { QStringLiteral("--to"),
                               QStringLiteral("com://") + paperOut.PtyPath(),
                               QStringLiteral("--to"),
                               QStringLiteral("com://") + ready.PtyPath(),
                               QStringLiteral("--to"),
                               QStringLiteral("com://") + gone,
                               QStringLiteral("status"),
                               QStringLiteral("--format"),
                               QStringLiteral("prometheus"),
                               QStringLiteral("--output"),
                               out };

    const QByteArray p = "com://" + paperOut.PtyPath().toUtf8();
    const QByteArray r = "com://" + ready.PtyPath().toUtf8();
    QByteArray text;
    // A busy machine may run a printer too late for the serial answer's
    // window: ask again then.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const CliRun first = RunCliProgram(args);
        EXPECT_EQ(first.exitCode, ExitFailed) << first.err.toStdString(); // the missing port
        EXPECT_TRUE(first.out.isEmpty()) << first.out.toStdString();
        QFile f(out);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        text = f.readAll();
        if (text.contains("tarvolin_printer_up{target=\"" + p + "\"} 1\n")
            && text.contains("tarvolin_printer_up{target=\"" + r + "\"} 1\n"))
            break;
    }
    for (const QByteArray &series :
         { "tarvolin_printer_up{target=\"" + p + "\"} 1\n",
           "tarvolin_printer_up{target=\"" + r + "\"} 1\n",
           "tarvolin_printer_up{target=\"com://" + gone.toUtf8() + "\"} 0\n",
           "tarvolin_printer_condition{target=\"" + p + "\",condition=\"paper_out\"} 1\n",
           "tarvolin_printer_condition{target=\"" + p + "\",condition=\"head_open\"} 0\n",
           "tarvolin_printer_condition{target=\"" + r + "\",condition=\"paper_out\"} 0\n" })
        EXPECT_TRUE(text.contains(series)) << series.toStdString() << "\nin\n"
                                           << text.toStdString();
    QByteArray said;
    EXPECT_EQ(PromtoolCheck(out, &said), 0) << said.toStdString();

    // Standard output gets the same text when no file is named.
    const CliRun plain = RunCliProgram(args.mid(0, 4) + args.mid(6, 3));
    EXPECT_EQ(plain.exitCode, ExitNotReady) << plain.err.toStdString();
    EXPECT_TRUE(plain.out.startsWith("# HELP tarvolin_printer_up ")) << plain.out.toStdString();

    // Runs replace the file while a reader reads it in a loop: every read is
    // a whole run's text.
    std::atomic<bool> done { false };
    std::thread runs([&] {
        for (int i = 0; i < 8; ++i)
            RunCliProgram(args);
        done = true;
    });
    int reads = 0;
    int partial = 0;
    while (!done) {
        QFile again(out);
        if (!again.open(QIODevice::ReadOnly)) {
            ++partial; // missing for a moment is as bad as half-written
            continue;
        }
        const QByteArray got = again.readAll();
        // The last series is the missing port's query time.
        const qsizetype last = got.lastIndexOf("tarvolin_printer_query_seconds{target=\"com://"
                                               + gone.toUtf8() + "\"} ");
        if (!got.startsWith("# HELP tarvolin_printer_up ") || last < 0
            || got.indexOf('\n', last) != got.size() - 1)
            ++partial;
        ++reads;
    }
    runs.join();
    EXPECT_EQ(partial, 0) << "of " << reads << " reads";

    // A folder that does not exist is named, and the run says it failed.
    const CliRun nowhere
        = RunCliProgram(args.mid(0, 10) + QStringList { dir.filePath(QStringLiteral("x/y.prom")) });
    EXPECT_EQ(nowhere.exitCode, ExitFailed);
    EXPECT_TRUE(nowhere.err.contains("Cannot create file " + dir.filePath("x/y.prom").toUtf8()
                                     + ": No such file or directory"))
        << nowhere.err.toStdString();
}

TEST(CliFleet, FormatAndOutputAreCheckedBeforeAnythingIsAsked)
{
    const struct
    {
        QStringList args;
        QByteArray message;
    } cases[] = {
        { { QStringLiteral("status"), QStringLiteral("--format"), QStringLiteral("xml") },
          "--format: 'xml' is not one of text, prometheus" },
        { { QStringLiteral("status"), QStringLiteral("--output"), QStringLiteral("x.prom") },
          "--output: only with --format prometheus" },
    };
    for (const auto &c : cases) {
        const CliRun run = RunCliProgram(
            QStringList { QStringLiteral("--to"), QStringLiteral("com:///dev/null") } + c.args);
        EXPECT_EQ(run.exitCode, ExitUsage);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
}

} // namespace

namespace {

// On a terminal a fleet run shows how far it got below its lines, and
// takes the count away again; the lines themselves stay as they are.
TEST(CliFleet, ProgressOnATerminalLeavesOnlyTheLines)
{
    QTemporaryDir dir;
    PtyPair terminal;
    ASSERT_TRUE(terminal.IsValid()) << terminal.Error().toStdString();
    const QString a = QStringLiteral("file://") + dir.filePath(QStringLiteral("a"));
    const QString b = QStringLiteral("file://") + dir.filePath(QStringLiteral("b"));
    const QString gone = QStringLiteral("file://") + dir.filePath(QStringLiteral("x/c"));
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(QStringLiteral("sh"),
                          { QStringLiteral("-c"),
                            QStringLiteral("exec \"$0\" \"$@\" 2>\"$1\"")
                                .replace(QStringLiteral("$1"), terminal.SlavePath()),
                            QStringLiteral(TARVOLIN_CLI_PROGRAM), QStringLiteral("--jobs"),
                            QStringLiteral("1"), QStringLiteral("--to"), a, QStringLiteral("--to"),
                            b, QStringLiteral("--to"), gone, QStringLiteral("test-page") }));
    ASSERT_TRUE(cli.WaitForExit(60000));
    const QByteArray out = cli.TakeOutput();
    const QByteArray shown = terminal.ReadUntilQuiet(200, 5000);
    EXPECT_EQ(cli.ExitCode(), 1) << out.toStdString();
    EXPECT_EQ(shown, "1 of 3 printers\r\x1b[K2 of 3 printers\r\x1b[K") << shown.toStdString();
    EXPECT_TRUE(out.startsWith(a.toUtf8() + " ok 11 B ")) << out.toStdString();

    // Not on a terminal: nothing but the lines.
    const CliRun piped = RunCliProgram(
        { QStringLiteral("--to"), a, QStringLiteral("--to"), b, QStringLiteral("test-page") });
    EXPECT_EQ(piped.exitCode, ExitOk);
    EXPECT_TRUE(piped.err.isEmpty()) << piped.err.toStdString();
}

} // namespace
