// The program run as a script runs it: bad input stops everything before a
// byte is sent, a fleet is served in parallel with failures kept apart,
// deadlines hold, and the serial read-backs name what the printer says.
#include "cli/profile.h"
#include "commands/settingsbuilder.h"
#include "support/cliprocess.h"
#include "support/cupsserver.h"
#include "support/pty.h"
#include "support/ptyprinter.h"
#include "support/qtprint.h"
#include "support/tcpfarm.h"
#include "support/tcpsink.h"
#include "support/tempfile.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

using Behaviour = TcpFarm::Behaviour;

QString Tcp(quint16 port)
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port);
}

QString FileUri(const QTemporaryDir &dir, const QString &name)
{
    return QStringLiteral("file://") + dir.filePath(name);
}

QList<QByteArray> OutputLines(const QByteArray &out)
{
    QList<QByteArray> lines = out.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

TEST(CliProgram, BadInputExitsWithTwoBeforeAnythingIsSent)
{
    QTemporaryDir dir;
    TcpFarm farm({ Behaviour::Record });
    const QString good = WriteTempFile(dir, QStringLiteral("good.ini"), "speed = 4\n");
    const QString bad = WriteTempFile(dir, QStringLiteral("bad.ini"), "speed = 4\nwidth = 7x6\n");
    const QString noHeight = WriteTempFile(dir, QStringLiteral("noheight.ini"), "height =\n");
    const QString badTargets
        = WriteTempFile(dir, QStringLiteral("fleet.txt"), "tcp://10.0.0.7\nprinter 7\n");
    const QString missing = dir.filePath(QStringLiteral("missing.ttf"));
    const QString out = FileUri(dir, QStringLiteral("out.prn"));

    struct Case
    {
        QStringList args;
        QString message;
        bool withTargets = true;
    };
    const Case cases[] = {
        { {}, QStringLiteral("no operation given"), false },
        { { QStringLiteral("test-page") },
          QStringLiteral("no printer given (--to URI or --targets FILE)"),
          false },
        { { QStringLiteral("frobnicate") }, QStringLiteral("unknown operation 'frobnicate'") },
        { { QStringLiteral("--to"), QStringLiteral("tcp://10.0.0.999"),
            QStringLiteral("test-page") },
          QStringLiteral("tcp://10.0.0.999: '10.0.0.999' is not an IPv4 address") },
        { { QStringLiteral("--targets"), badTargets, QStringLiteral("test-page") },
          badTargets
              + QStringLiteral(":2: tcp://printer 7: 'printer 7' is not a host name or IPv4 "
                               "address") },
        { { QStringLiteral("--bogus"), QStringLiteral("test-page") },
          QStringLiteral("unknown option '--bogus'") },
        { { QStringLiteral("test-page"), QStringLiteral("--frame") },
          QStringLiteral("test-page: --frame is not an option of this operation") },
        { { QStringLiteral("test-page"), QStringLiteral("now") },
          QStringLiteral("test-page: unexpected argument 'now'") },
        { { QStringLiteral("store-settings") },
          QStringLiteral("store-settings: PROFILE is missing") },
        { { QStringLiteral("store-settings"), dir.filePath(QStringLiteral("none.ini")) },
          QStringLiteral("store-settings: ") + dir.filePath(QStringLiteral("none.ini"))
              + QStringLiteral(": cannot read the profile") },
        { { QStringLiteral("store-settings"), bad },
          QStringLiteral("store-settings: ") + bad
              + QStringLiteral(":2: width: '7x6' is not a valid floating point value") },
        { { QStringLiteral("test-label"), noHeight },
          QStringLiteral("test-label: ") + noHeight
              + QStringLiteral(":1: height: '' is not a valid floating point value") },
        { { QStringLiteral("test-label"), good, QStringLiteral("--copies"), QStringLiteral("0") },
          QStringLiteral("test-label: --copies: '0' is not a whole number from 1 to 99999999") },
        { { QStringLiteral("-j"), QStringLiteral("0"), QStringLiteral("test-page") },
          QStringLiteral("--jobs: '0' is not a whole number from 1 to 1024") },
        { { QStringLiteral("--timeout"), QStringLiteral("soon"), QStringLiteral("test-page") },
          QStringLiteral("--timeout: 'soon' is not a number of seconds") },
        { { QStringLiteral("set-ip"), QStringLiteral("0.1.2.3") },
          QStringLiteral("set-ip: New IP address is error!Please input a right new IP address!") },
        { { QStringLiteral("set-ip"), QStringLiteral("10.1.2.300") },
          QStringLiteral("set-ip: '10.1.2.300' is not an IPv4 address (A.B.C.D)") },
        { { QStringLiteral("set-ip"), QStringLiteral("10.1.2.30") },
          QStringLiteral("set-ip takes one printer at a time (2 given)") },
        { { QStringLiteral("status") },
          QStringLiteral("status: ") + out
              + QStringLiteral(": A file carries data one way; connect over the network, USB or "
                               "serial to read the printer") },
        { { QStringLiteral("send"), missing },
          QStringLiteral("send: ") + missing + QStringLiteral(": File is no found!") },
        { { QStringLiteral("download"), missing },
          QStringLiteral("download: Cannot open file ") + missing },
        { { QStringLiteral("directory-label"), QStringLiteral("--device"), QStringLiteral("Q:") },
          QStringLiteral("directory-label: --device: 'Q:' is not one of R:, E:, B:, A:, Z:") },
        { { QStringLiteral("format"), QStringLiteral("disk") },
          QStringLiteral("format: 'disk' is not dram or flash") },
        { { QStringLiteral("profile") }, QStringLiteral("profile: --example is missing"), false },
    };
    for (const Case &c : cases) {
        QStringList args = c.args;
        if (c.withTargets)
            args << QStringLiteral("--to") << Tcp(farm.Port(0)) << QStringLiteral("--to") << out;
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const CliRun run = RunCliProgram(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.startsWith("tarvolin-cli: " + c.message.toUtf8()))
            << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
    EXPECT_EQ(farm.Accepted(), 0u);
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.prn"))));
}

TEST(CliProgram, HelpForTheProgramAndEachOperation)
{
    const CliRun all = RunCliProgram({ QStringLiteral("--help") });
    EXPECT_EQ(all.exitCode, 0);
    for (const char *op :
         { "test-page", "store-settings PROFILE", "set-ethernet-id", "free-memory" })
        EXPECT_TRUE(all.out.contains(op)) << op;
    for (const QByteArray &line : OutputLines(all.out))
        EXPECT_LE(line.size(), 80) << line.toStdString();

    const CliRun one = RunCliProgram({ QStringLiteral("test-label"), QStringLiteral("--help") });
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_TRUE(one.out.startsWith(
        "Usage: tarvolin-cli [OPTIONS] --to URI... test-label PROFILE [--copies N] [--frame]\n"));
    EXPECT_EQ(RunCliProgram({ QStringLiteral("help"), QStringLiteral("test-label") }).out, one.out);

    const CliRun example
        = RunCliProgram({ QStringLiteral("profile"), QStringLiteral("--example") });
    EXPECT_EQ(example.exitCode, 0);
    EXPECT_EQ(example.out, ExampleProfile());
    // The example in the source tree is the one the program prints.
    QFile committed(QStringLiteral(TARVOLIN_SOURCE_DIR "/examples/profile.ini"));
    ASSERT_TRUE(committed.open(QIODevice::ReadOnly));
    EXPECT_EQ(committed.readAll(), example.out);
}

TEST(CliProgram, TwoHundredPrintersInOneRunFailuresKeptApart)
{
    constexpr size_t Count = 200;
    std::vector<Behaviour> behaviours(Count, Behaviour::Record);
    const std::set<size_t> resetting { 17, 91, 163 };
    for (size_t i : resetting)
        behaviours[i] = Behaviour::Reset;
    const std::set<size_t> refusing { 50, 150 };
    TcpFarm farm(behaviours);

    QTemporaryDir dir;
    QByteArray fleet = "# loopback fleet\n";
    QStringList uris;
    for (size_t i = 0; i < Count; ++i) {
        uris << Tcp(refusing.count(i) ? ClosedLoopbackPort() : farm.Port(i));
        fleet += uris.last().toUtf8() + "\n";
    }
    const QString targets = WriteTempFile(dir, QStringLiteral("fleet.txt"), fleet);
    const QString profile
        = WriteTempFile(dir, QStringLiteral("line7.ini"),
                        "resolution = 300dpi\nspeed = 5\ndensity = 22\nwidth = 100\n"
                        "height = 150\nmedia-sensor = Web Sensing\ntop = -3\n");
    const QByteArray expected = StoreSettingsCommand(ReadProfile(profile).values);

    const CliRun run
        = RunCliProgram({ QStringLiteral("--targets"), targets, QStringLiteral("--json"),
                          QStringLiteral("store-settings"), profile },
                        120000);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();

    const QList<QByteArray> lines = OutputLines(run.out);
    ASSERT_EQ(lines.size(), qsizetype(Count + 1)) << run.out.toStdString();
    std::map<QString, QJsonObject> byTarget;
    for (qsizetype i = 0; i < lines.size() - 1; ++i) {
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(lines[i], &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[i].toStdString();
        byTarget[o.value(QStringLiteral("target")).toString()] = o;
    }
    ASSERT_EQ(byTarget.size(), Count);
    for (size_t i = 0; i < Count; ++i) {
        SCOPED_TRACE(uris[qsizetype(i)].toStdString());
        const QJsonObject &o = byTarget[uris[qsizetype(i)]];
        const bool fails = resetting.count(i) || refusing.count(i);
        EXPECT_EQ(o.value(QStringLiteral("result")).toString(),
                  fails ? QStringLiteral("failed") : QStringLiteral("ok"));
        if (refusing.count(i)) {
            EXPECT_EQ(o.value(QStringLiteral("error")).toString(), QStringLiteral("Connect error"));
        }
        if (resetting.count(i)) {
            EXPECT_TRUE(o.value(QStringLiteral("error"))
                            .toString()
                            .startsWith(QStringLiteral("Network send error")));
        }
        if (!fails) {
            EXPECT_EQ(o.value(QStringLiteral("bytes")).toInteger(), expected.size());
            const std::vector<QByteArray> jobs = farm.Jobs(i);
            ASSERT_EQ(jobs.size(), 1u);
            EXPECT_EQ(jobs[0], expected);
        }
    }
    const QJsonObject summary = QJsonDocument::fromJson(lines.last())
                                    .object()
                                    .value(QStringLiteral("summary"))
                                    .toObject();
    EXPECT_EQ(summary.value(QStringLiteral("targets")).toInt(), int(Count));
    EXPECT_EQ(summary.value(QStringLiteral("ok")).toInt(), int(Count - 5));
    EXPECT_EQ(summary.value(QStringLiteral("failed")).toInt(), 5);
    // The last object names the failed targets in the order they were given.
    QStringList failedUris;
    for (size_t i = 0; i < Count; ++i)
        if (resetting.count(i) || refusing.count(i))
            failedUris << uris[qsizetype(i)];
    EXPECT_EQ(summary.value(QStringLiteral("failedTargets")).toArray(),
              QJsonArray::fromStringList(failedUris));

    // Without --json the last line names them too.
    const CliRun text = RunCliProgram(
        { QStringLiteral("--targets"), targets, QStringLiteral("store-settings"), profile },
        120000);
    EXPECT_EQ(text.exitCode, 1);
    const QByteArray last = OutputLines(text.out).last();
    EXPECT_TRUE(last.startsWith("200 targets in ")) << last.toStdString();
    EXPECT_TRUE(last.endsWith(": 195 ok, 5 failed: " + failedUris.join(", ").toUtf8()))
        << last.toStdString();
}

TEST(CliProgram, TargetsOnOnePortTakeTurnsOthersOverlap)
{
    // Each printer holds its connection a while after the job, so whatever
    // runs at the same time shows as connections open at once.
    TcpFarm shared({ Behaviour::SlowClose }, 150);
    QStringList args { QStringLiteral("-j"), QStringLiteral("4") };
    // Four spellings of one printer: a URI given twice is served once.
    const QString same = Tcp(shared.Port(0));
    for (const QString &spelling :
         { same, same + "/", "TCP" + same.mid(3), "TCP" + same.mid(3) + "/" })
        args << QStringLiteral("--to") << spelling;
    const CliRun one = RunCliProgram(args << QStringLiteral("reset"));
    EXPECT_EQ(one.exitCode, 0) << one.out.toStdString();
    EXPECT_EQ(shared.Jobs(0).size(), 4u);
    EXPECT_EQ(shared.MaxConcurrent(0), 1);

    TcpFarm several(std::vector<Behaviour>(4, Behaviour::SlowClose), 400);
    args = QStringList { QStringLiteral("-j"), QStringLiteral("4") };
    for (size_t i = 0; i < 4; ++i)
        args << QStringLiteral("--to") << Tcp(several.Port(i));
    const CliRun four = RunCliProgram(args << QStringLiteral("reset"));
    EXPECT_EQ(four.exitCode, 0) << four.out.toStdString();
    EXPECT_GE(several.MaxConcurrentAll(), 2);
}

TEST(CliProgram, ADeadlineEndsAStalledPrinterAndSparesTheOthers)
{
    QTemporaryDir dir;
    TcpFarm farm({ Behaviour::Stall, Behaviour::Record });
    // Far more than a stalled connection's buffers take.
    const QString big
        = WriteTempFile(dir, QStringLiteral("firmware.bin"), QByteArray(32 << 20, 'x'));
    const QString small = WriteTempFile(dir, QStringLiteral("small.prn"), "^XA^XZ");
    const CliRun run
        = RunCliProgram({ QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--to"),
                          Tcp(farm.Port(0)), QStringLiteral("send"), big },
                        20000); // the network's own limit is 30 s
    EXPECT_EQ(run.exitCode, 1);
    // The link stops the transfer at the deadline and says how far it got.
    EXPECT_TRUE(run.out.startsWith(Tcp(farm.Port(0)).toUtf8()
                                   + " FAILED: Timed out after 1 s. Cancelled after "))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(" of 33,554,432 bytes. The printer may be waiting"))
        << run.out.toStdString();
    // A single printer's long transfer shows its progress on the error
    // output, in plain lines when that is not a terminal.
    EXPECT_TRUE(run.err.startsWith(
        "Sending 33,554,432 bytes to 127.0.0.1:" + QByteArray::number(farm.Port(0)) + "\n  0%  "))
        << run.err.toStdString();

    // A device whose opening blocks cannot be stopped: it is given up soon
    // after its deadline, and the program does not wait for it.
    const QString fifo = dir.filePath(QStringLiteral("lp0"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const CliRun stuck
        = RunCliProgram({ QStringLiteral("--timeout"), QStringLiteral("1"), QStringLiteral("--to"),
                          QStringLiteral("lpt://") + fifo, QStringLiteral("test-page") },
                        20000);
    EXPECT_EQ(stuck.exitCode, 1);
    EXPECT_EQ(stuck.out,
              "lpt://" + QFile::encodeName(fifo)
                  + " FAILED: Timed out after 1 s; its interface did not stop, and part "
                    "of the command may have been sent\n");

    // A printer that never reads still takes a small job into its buffers.
    const CliRun both
        = RunCliProgram({ QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--to"),
                          Tcp(farm.Port(0)), QStringLiteral("--to"), Tcp(farm.Port(1)),
                          QStringLiteral("send"), small },
                        20000);
    EXPECT_EQ(both.exitCode, 0) << both.out.toStdString();
    EXPECT_EQ(farm.Jobs(1), std::vector<QByteArray> { "^XA^XZ" });
}

// An installed printer takes each send as one raw job, whole; a queue that
// does not exist is named and the others are served.
TEST(CliProgram, InstalledPrinterQueueGetsTheBytesAsOneRawJob)
{
    CupsServer cups;
    ASSERT_TRUE(cups.Started()) << cups.Error().toStdString();
    TcpFarm farm({ Behaviour::Record });
    QString error;
    ASSERT_TRUE(cups.AddRawQueue(QStringLiteral("Line7"), farm.Port(0), &error))
        << error.toStdString();
    const QString text = QStringLiteral("^XA\n^FO20,20^FDQueue ÄÖ^FS\n^XZ");
    const CliRun run = RunCliProgram({ QStringLiteral("--to"), QStringLiteral("cups://Line7"),
                                       QStringLiteral("--to"), QStringLiteral("cups://NoSuchQueue"),
                                       QStringLiteral("text"), text });
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString();
    const QList<QByteArray> lines = OutputLines(run.out);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QByteArray &l) {
        return l.startsWith("cups://Line7 ok 36 B ");
    })) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("cups://NoSuchQueue FAILED: ")) << run.out.toStdString();
    ASSERT_TRUE(farm.WaitForJobs(1, 30000));
    EXPECT_EQ(farm.Jobs(0),
              std::vector<QByteArray> { "^XA\r\n^FO20,20^FDQueue \xc3\x84\xc3\x96^FS\r\n^XZ\r\n" });
}

TEST(CliProgram, TextOutputAndExitStatus)
{
    QTemporaryDir dir;
    const QString out = FileUri(dir, QStringLiteral("printer.prn"));
    const quint16 closed = ClosedLoopbackPort();
    const CliRun mixed = RunCliProgram({ QStringLiteral("--to"), out, QStringLiteral("--to"),
                                         Tcp(closed), QStringLiteral("dump-mode") });
    EXPECT_EQ(mixed.exitCode, 1);
    const QList<QByteArray> lines = OutputLines(mixed.out);
    ASSERT_EQ(lines.size(), 6) << mixed.out.toStdString();
    // The failure's particulars follow it, indented, as the window shows
    // them below its message.
    const qsizetype failed = lines.indexOf(Tcp(closed).toUtf8() + " FAILED: Connect error");
    ASSERT_GE(failed, 0) << mixed.out.toStdString();
    EXPECT_EQ(lines.mid(failed + 1, 2),
              (QList<QByteArray> { "  Printer: 127.0.0.1:" + QByteArray::number(closed),
                                   "  System: " + QByteArray(std::strerror(ECONNREFUSED)) }));
    EXPECT_TRUE(lines[failed + 3].startsWith("  Is the printer switched on"));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const QByteArray &l) {
        return l.startsWith(out.toUtf8() + " ok 15 B ");
    }));
    EXPECT_TRUE(lines.last().startsWith("2 targets in ")) << lines.last().toStdString();
    EXPECT_TRUE(lines.last().endsWith(": 1 ok, 1 failed: " + Tcp(closed).toUtf8()));

    // A failure says what it concerns and what to try, as the window does
    // below its message.
    const QString missing = dir.filePath(QStringLiteral("lp9"));
    const CliRun advised
        = RunCliProgram({ QStringLiteral("--to"), QStringLiteral("lpt://") + missing,
                          QStringLiteral("test-page") });
    EXPECT_EQ(advised.exitCode, 1);
    EXPECT_TRUE(advised.out.startsWith("lpt://" + missing.toUtf8()
                                       + " FAILED: File not found\n  Device: " + missing.toUtf8()
                                       + "\n"))
        << advised.out.toStdString();

    // A short transfer shows no progress.
    const CliRun single
        = RunCliProgram({ QStringLiteral("--to"), out, QStringLiteral("dump-mode") });
    EXPECT_EQ(single.exitCode, 0);
    EXPECT_EQ(single.err, QByteArray());

    const CliRun quiet = RunCliProgram(
        { QStringLiteral("-q"), QStringLiteral("--to"), out, QStringLiteral("reset") });
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.out, QByteArray());

    const CliRun dry = RunCliProgram({ QStringLiteral("--dry-run"), QStringLiteral("-v"),
                                       QStringLiteral("set-ip"), QStringLiteral("16.20.5.9") });
    EXPECT_EQ(dry.exitCode, 0);
    EXPECT_EQ(dry.out, QByteArray("\x1f\x1b\x1f\x91\x00IP\x10\x14\x05\x05\x09", 12));
    EXPECT_TRUE(dry.err.contains("1f 1b 1f 91 00 49 50 10 14 05 05 09")) << dry.err.toStdString();
}

TEST(CliProgram, EveryPrinterOfAFleetGetsItsOwnEthernetId)
{
    QTemporaryDir dir;
    QStringList args { QStringLiteral("--seed"), QStringLiteral("7") };
    for (int i = 0; i < 40; ++i)
        args << QStringLiteral("--to") << FileUri(dir, QStringLiteral("p%1").arg(i));
    const CliRun run = RunCliProgram(args << QStringLiteral("set-ethernet-id"));
    ASSERT_EQ(run.exitCode, 0);
    QSet<QByteArray> ids;
    for (int i = 0; i < 40; ++i) {
        QFile f(dir.filePath(QStringLiteral("p%1").arg(i)));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray sent = f.readAll();
        EXPECT_TRUE(sent.startsWith(QByteArray("\x1f\x1b\x1f\x91\x00ID\x00\x4b\x56", 10)));
        ids.insert(sent);
    }
    EXPECT_EQ(ids.size(), 40);
    // The same seed gives the same IDs, in target order.
    const CliRun again = RunCliProgram(args);
    for (const QByteArray &line : OutputLines(run.out))
        if (line.contains("Ethernet ID")) {
            EXPECT_TRUE(again.out.contains(line.mid(line.indexOf("Ethernet ID"))))
                << line.toStdString();
        }
}

struct StatusCase
{
    QByteArray reply;
    const char *says;
    int exitCode;
};

TEST(CliProgram, StatusOverSerialNamesTheConditions)
{
    const StatusCase cases[] = {
        { QByteArray(1, '\0'), " ok 3 B ", 0 },
        { "\x05", " NOT READY: Head Open, Out of Paper ", 3 },
        { "\xff",
          " NOT READY: Head Open, Paper Jam, Out of Paper, Out of Ribbon, Pause, Printing, "
          "Cover Open, Other Error ",
          3 },
        // Printing is what a printer does, not a condition.
        { "\x20\r\n", " ok 3 B ", 0 },
        { QByteArray(), " FAILED: Connect Error\n  Device: ", 1 },
    };
    for (const StatusCase &c : cases) {
        SCOPED_TRACE(c.says);
        PtyPrinter printer;
        ASSERT_TRUE(printer.IsValid());
        printer.SetReply(c.reply);
        const QString uri
            = QStringLiteral("com://") + printer.SlavePath() + QStringLiteral("?baud=19200");
        const CliRun run = RunCliReadBack({ QStringLiteral("--to"), uri, QStringLiteral("status") },
                                          !c.reply.isEmpty());
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        EXPECT_TRUE(run.out.startsWith(uri.toUtf8() + c.says)) << run.out.toStdString();
        if (c.exitCode == 0) {
            EXPECT_TRUE(run.out.endsWith(c.reply.startsWith('\0') ? " ms: Ready\n"
                                                                  : " ms: Printing\n"))
                << run.out.toStdString();
        }
        const QByteArray received = printer.Received(3);
        EXPECT_TRUE(!received.isEmpty() && received.size() % 3 == 0
                    && received == QByteArray("\x1b!?").repeated(received.size() / 3))
            << received.toStdString();
    }
}

TEST(CliProgram, FileListAndFreeMemoryOverSerial)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    const QString uri = QStringLiteral("com://") + printer.SlavePath();
    printer.SetReply("DRAM FILES: A.FNT B.FNT FLASH FILES: C.FNT\r");
    const CliRun files
        = RunCliReadBack({ QStringLiteral("--to"), uri, QStringLiteral("files") }, true);
    EXPECT_EQ(files.exitCode, 0);
    EXPECT_TRUE(files.out.endsWith("\n  DRAM FILES: \n  A.FNT B.FNT \n  FLASH FILES: \n  C.FNT\n"))
        << files.out.toStdString();

    printer.SetReply("DRAM FREE BYTE(KB): 512FLASH FREE BYTE(KB): 4096\r\n");
    const CliRun free = RunCliReadBack(
        { QStringLiteral("--json"), QStringLiteral("--to"), uri, QStringLiteral("free-memory") },
        true);
    EXPECT_EQ(free.exitCode, 0);
    const QJsonObject o = QJsonDocument::fromJson(OutputLines(free.out).value(0)).object();
    EXPECT_EQ(o.value(QStringLiteral("dramFreeKB")), QJsonValue(512));
    EXPECT_EQ(o.value(QStringLiteral("flashFreeKB")), QJsonValue(4096));
    // Each request as the window sends it (a retried run asks again).
    const QByteArray received = printer.Received(15);
    EXPECT_TRUE(received.startsWith("~!F\r\n") && received.endsWith("CLS\r\n~!A\r\n"))
        << received.toStdString();

    printer.SetReply(QByteArray());
    const CliRun silent
        = RunCliProgram({ QStringLiteral("--to"), uri, QStringLiteral("free-memory") });
    EXPECT_EQ(silent.exitCode, 1);
    // What was tried and what to check, as for every other failure.
    EXPECT_EQ(silent.out,
              uri.toUtf8()
                  + " FAILED: No reply from the printer\n  Device: " + printer.SlavePath().toUtf8()
                  + " (9600 baud, 8 data bits, no parity, 1 stop bit, Xon/Xoff)\n  The printer "
                    "sent nothing back. Is it switched on, is its cable in this port, and is it "
                    "set to the same speed? A USB serial adapter may have another name after "
                    "being plugged in again.\n");
}

} // namespace

// A serial printer that takes nothing: the progress says why the program
// waits, and --timeout still ends it.
TEST(CliProgram, ASerialPrinterThatTakesNothingIsNamedUntilTheTimeout)
{
    PtyPair pty; // the printer never reads
    ASSERT_TRUE(pty.IsValid());
    QTemporaryDir dir;
    const QString file
        = WriteTempFile(dir, QStringLiteral("font.bin"), QByteArray(256 * 1024, 'F'));
    const QString uri = QStringLiteral("com://") + pty.SlavePath() + QStringLiteral("?baud=115200");
    const CliRun run = RunCliProgram({ QStringLiteral("--to"), uri, QStringLiteral("--timeout"),
                                       QStringLiteral("14"), QStringLiteral("send"), file },
                                     60000);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(
        run.out.startsWith(uri.toUtf8() + " FAILED: Timed out after 14 s. Cancelled after "))
        << run.out.toStdString();
    QList<QByteArray> said;
    for (const QByteArray &line : run.err.split('\n'))
        if (line.startsWith("Waiting for the printer"))
            said << line;
    ASSERT_EQ(said.size(), 1) << run.err.toStdString();
    EXPECT_TRUE(QRegularExpression("^Waiting for the printer: it has taken nothing for 1[0-3] s "
                                   "\\(the line is not draining\\)\\.$")
                    .match(QString::fromUtf8(said[0]))
                    .hasMatch())
        << said[0].toStdString();
}
