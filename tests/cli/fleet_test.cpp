// Fleets through the real programs: tarvolin-cli against real virtual
// printers, its metrics checked by Prometheus's own checker, the textfile a
// collector reads never seen half-written while runs replace it, and a
// printer's settings snapshot, drift and restore proven by the bytes that
// reached it.
#include "cli/cli.h"
#include "cli/profile.h"
#include "commands/configdump.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/pty.h"
#include "support/tcprelay.h"
#include "support/tempfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
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

namespace {

class CliSettingsDrift : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        printer = std::make_unique<PrinterProcess>(
            QStringList { QStringLiteral("--tcp"), QStringLiteral("0") });
        ASSERT_TRUE(printer->IsRunning()) << printer->Error().toStdString();
        relay = std::make_unique<TcpRelay>(printer->TcpPort());
        direct = QStringLiteral("tcp://127.0.0.1:%1").arg(printer->TcpPort());
        watched = QStringLiteral("tcp://127.0.0.1:%1").arg(relay->Port());
    }

    CliRun Cli(const QString &target, const QStringList &args)
    {
        return RunCliProgram(QStringList { QStringLiteral("--to"), target } + args);
    }

    QTemporaryDir dir;
    std::unique_ptr<PrinterProcess> printer;
    std::unique_ptr<TcpRelay> relay;
    QString direct; // straight to the printer
    QString watched; // through the relay, which keeps what was sent
};

TEST_F(CliSettingsDrift, SnapshotDiffAndApplyRestoreOnlyWhatDrifted)
{
    const QByteArray query = ConfigurationQuery().request;
    const QString start = WriteTempFile(dir, QStringLiteral("start.ini"), ExampleProfile());
    ASSERT_EQ(Cli(direct, { QStringLiteral("store-settings"), start }).exitCode, ExitOk);

    // The printer's settings into a profile.
    const QString snap = dir.filePath(QStringLiteral("snap.ini"));
    const CliRun snapshot = Cli(direct, { QStringLiteral("snapshot"), QStringLiteral("-o"), snap });
    ASSERT_EQ(snapshot.exitCode, ExitOk)
        << snapshot.out.toStdString() << snapshot.err.toStdString();
    QFile file(snap);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray profile = file.readAll();
    EXPECT_TRUE(profile.startsWith("# Tarvolin printer profile: the running settings of "
                                   + direct.toUtf8() + "\n# printer: "))
        << profile.toStdString();
    for (const char *line : { "\nresolution = 203dpi\n", "\nspeed = 3\n", "\ndensity = 15\n",
                              "\nwidth = 76\n", "\nheight = 200\n" })
        EXPECT_TRUE(profile.contains(line)) << line << " in\n" << profile.toStdString();
    const CliRun same = Cli(direct, { QStringLiteral("diff"), snap });
    EXPECT_EQ(same.exitCode, ExitOk) << same.out.toStdString();

    // Two settings changed by another route: command text sent as it is.
    ASSERT_EQ(
        Cli(direct, { QStringLiteral("text"), QStringLiteral("~SD22\n^XA^PW640^XZ\n^XA^JUS^XZ") })
            .exitCode,
        ExitOk);
    const CliRun diff = Cli(direct, { QStringLiteral("diff"), snap });
    EXPECT_EQ(diff.exitCode, ExitDrift);
    const QList<QByteArray> lines = diff.out.split('\n');
    ASSERT_EQ(lines.size(), 4) << diff.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(direct.toUtf8() + " DIFFERS: 2 settings differ "));
    EXPECT_EQ(lines[1], "  density: printer 22, profile 15");
    EXPECT_EQ(lines[2], "  width: printer 640 dots, profile 608 dots");

    // --check reads and sends nothing else.
    const CliRun check = Cli(watched, { QStringLiteral("apply"), snap, QStringLiteral("--check") });
    EXPECT_EQ(check.exitCode, ExitDrift) << check.out.toStdString();
    EXPECT_TRUE(check.out.startsWith(watched.toUtf8() + " DIFFERS: would change density, width "))
        << check.out.toStdString();
    EXPECT_EQ(relay->Sent(), std::vector<QByteArray> { query });

    // The two settings, the store command, and the read-back.
    const CliRun apply = Cli(watched, { QStringLiteral("--json"), QStringLiteral("apply"), snap });
    EXPECT_EQ(apply.exitCode, ExitOk) << apply.out.toStdString();
    const QJsonObject report = QJsonDocument::fromJson(apply.out.split('\n').value(0)).object();
    EXPECT_EQ(report.value("result").toString(), "ok");
    EXPECT_TRUE(report.value("changed").toBool());
    EXPECT_TRUE(report.value("verified").toBool());
    EXPECT_EQ(QJsonDocument(report.value("drift").toObject()).toJson(QJsonDocument::Compact),
              R"({"density":{"printer":22,"profile":15},"width":{"printer":640,"profile":608}})");
    // Who the printer is, before and after, so that the read-back is its own.
    const std::vector<QByteArray> sent = relay->Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_EQ(sent[1], query);
    EXPECT_EQ(sent[2], "~HI");
    EXPECT_EQ(sent[3], "^XA\r\n~SD15\r\n^PW608^XZ\r\n^XA\r\n^JUS\r\n^XZ\r\n" + query);
    EXPECT_EQ(sent[4], "~HI");

    // Read again by the other route, and applied again.
    EXPECT_EQ(Cli(direct, { QStringLiteral("diff"), snap }).exitCode, ExitOk);
    const CliRun again = Cli(watched, { QStringLiteral("apply"), snap });
    EXPECT_EQ(again.exitCode, ExitOk);
    EXPECT_TRUE(again.out.startsWith(watched.toUtf8() + " ok 0 B ")) << again.out.toStdString();
    EXPECT_TRUE(again.out.contains(": unchanged\n")) << again.out.toStdString();
    EXPECT_EQ(relay->Sent().size(), 6u);
}

// Settings sent without the store command run until power-off: snapshot
// and diff read the running ones and say what comes back at power-on.
TEST_F(CliSettingsDrift, RunningSettingsThatAreNotStoredAreNamedWithTheirPowerOnValues)
{
    const QString start = WriteTempFile(dir, QStringLiteral("start.ini"), ExampleProfile());
    ASSERT_EQ(Cli(direct, { QStringLiteral("store-settings"), start }).exitCode, ExitOk);
    ASSERT_EQ(
        Cli(direct, { QStringLiteral("text"), QStringLiteral("~SD22\n^XA^PW640^XZ") }).exitCode,
        ExitOk);
    const QByteArray note = "  the printer runs with settings it has not stored; at power-on: "
                            "density 15, width 76 mm\n";

    const QString snap = dir.filePath(QStringLiteral("snap.ini"));
    const CliRun snapshot = Cli(direct, { QStringLiteral("snapshot"), QStringLiteral("-o"), snap });
    ASSERT_EQ(snapshot.exitCode, ExitOk) << snapshot.out.toStdString();
    EXPECT_TRUE(snapshot.out.endsWith(note)) << snapshot.out.toStdString();
    QFile file(snap);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray profile = file.readAll();
    EXPECT_TRUE(profile.contains("\n# not the stored settings: at power-on the printer comes back "
                                 "with density 15, width 76 mm\n"))
        << profile.toStdString();
    EXPECT_TRUE(profile.contains("\ndensity = 22\n")) << profile.toStdString();

    const CliRun diff = Cli(direct, { QStringLiteral("--json"), QStringLiteral("diff"), snap });
    EXPECT_EQ(diff.exitCode, ExitOk) << diff.out.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(diff.out.split('\n').value(0)).object();
    EXPECT_EQ(o.value("stored"), QJsonValue(false));
    EXPECT_EQ(o.value("atPowerOn").toObject(),
              (QJsonObject { { "density", "15" }, { "width", "76" } }));

    // Stored: nothing more to say.
    ASSERT_EQ(Cli(direct, { QStringLiteral("text"), QStringLiteral("^XA^JUS^XZ") }).exitCode,
              ExitOk);
    const CliRun stored = Cli(direct, { QStringLiteral("diff"), snap });
    EXPECT_EQ(stored.exitCode, ExitOk);
    EXPECT_FALSE(stored.out.contains("power-on")) << stored.out.toStdString();
}

TEST_F(CliSettingsDrift, WhatCannotBeComparedIsSaidBeforeAnythingIsSent)
{
    const struct
    {
        QStringList args;
        QByteArray message;
        int exitCode;
    } cases[] = {
        { { QStringLiteral("snapshot") }, "snapshot: -o PROFILE is missing", ExitUsage },
        { { QStringLiteral("diff"), WriteTempFile(dir, QStringLiteral("none.ini"), "unit = cm\n") },
          "none.ini: gives no setting to compare",
          ExitUsage },
        // A 300 dpi profile's lengths are other dots than a 203 dpi printer's.
        { { QStringLiteral("diff"),
            WriteTempFile(dir, QStringLiteral("300.ini"), "resolution = 300dpi\nwidth = 76\n") },
          "FAILED: the profile is for 12 dots per mm, the printer prints at 8",
          ExitFailed },
    };
    for (const auto &c : cases) {
        const CliRun run = Cli(watched, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.message) || run.out.contains(c.message))
            << run.out.toStdString() << run.err.toStdString();
    }
    // Only the last one asked the printer anything, and only that.
    EXPECT_EQ(relay->Sent(), std::vector<QByteArray> { ConfigurationQuery().request });
}

} // namespace

namespace {

// Over the network the host status gives the metrics their figures too.
TEST(CliFleet, HostStatusAsMetricsOverTheNetwork)
{
    QTemporaryDir dir;
    PrinterProcess printer({ QStringLiteral("--tcp"), QStringLiteral("0"),
                             QStringLiteral("--status"), QStringLiteral("paper-out,pause") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QByteArray target = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort()).toUtf8();
    const QString out = dir.filePath(QStringLiteral("printers.prom"));
    const CliRun run
        = RunCliProgram({ QStringLiteral("--to"), QString::fromUtf8(target),
                          QStringLiteral("host-status"), QStringLiteral("--format"),
                          QStringLiteral("prometheus"), QStringLiteral("--output"), out });
    EXPECT_EQ(run.exitCode, ExitNotReady) << run.err.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    for (const QByteArray &series :
         { "tarvolin_printer_up{target=\"" + target + "\"} 1\n",
           "tarvolin_printer_condition{target=\"" + target + "\",condition=\"paper_out\"} 1\n",
           "tarvolin_printer_condition{target=\"" + target + "\",condition=\"paused\"} 1\n",
           "tarvolin_printer_condition{target=\"" + target + "\",condition=\"head_open\"} 0\n",
           "tarvolin_printer_labels_remaining{target=\"" + target + "\"} 0\n" })
        EXPECT_TRUE(text.contains(series)) << series.toStdString() << "\nin\n"
                                           << text.toStdString();
    QByteArray said;
    EXPECT_EQ(PromtoolCheck(out, &said), 0) << said.toStdString();
}

} // namespace
