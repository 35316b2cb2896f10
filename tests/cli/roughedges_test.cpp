// What a fleet's operator meets first: lines in the order the printers were
// given, quiet runs that still name what they changed, address lists without
// schemes, every mistake of a profile at once, a suggestion for a mistyped
// operation, and a discovery that found nothing saying why.
#include "cli/commandline.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/tcpfarm.h"
#include "support/tcpsink.h"
#include "support/tempfile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString Tcp(quint16 port)
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port);
}

// The first word of each line that starts with a target.
QStringList TargetsInOrder(const QByteArray &out, bool json)
{
    QStringList targets;
    for (const QByteArray &line : out.split('\n')) {
        if (json) {
            const QString t = QJsonDocument::fromJson(line).object().value("target").toString();
            if (!t.isEmpty())
                targets << t;
        } else if (line.startsWith("tcp://")) {
            targets << QString::fromUtf8(line.left(line.indexOf(' ')));
        }
    }
    return targets;
}

TEST(CliRoughEdges, FleetLinesComeInTheOrderTheTargetsWereGiven)
{
    // The first printer takes its time (it never reads: the deadline ends
    // it); the others answer at once, refused or served.
    TcpFarm farm({ TcpFarm::Behaviour::Stall, TcpFarm::Behaviour::Record });
    const QStringList given { Tcp(farm.Port(0)), Tcp(ClosedLoopbackPort()), Tcp(farm.Port(1)) };
    for (bool json : { false, true }) {
        SCOPED_TRACE(json ? "json" : "text");
        QStringList args { QStringLiteral("--timeout"), QStringLiteral("2") };
        if (json)
            args << QStringLiteral("--json");
        for (const QString &uri : given)
            args << QStringLiteral("--to") << uri;
        // Enough bytes that the stalled printer's window fills.
        QTemporaryDir dir;
        const QString big
            = WriteTempFile(dir, QStringLiteral("big.prn"), QByteArray(8 * 1024 * 1024, 'x'));
        const CliRun run = RunCliProgram(args << QStringLiteral("send") << big);
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_EQ(TargetsInOrder(run.out, json), given) << run.out.toStdString();
    }
}

TEST(CliRoughEdges, QuietApplyNamesThePrintersItChanged)
{
    PrinterProcess printer({ QStringLiteral("--tcp"), QStringLiteral("0") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString uri = Tcp(printer.TcpPort());
    QTemporaryDir dir;
    const QString profile = WriteTempFile(dir, QStringLiteral("p.ini"), "density = 22\n");
    const CliRun changed = RunCliProgram(
        { QStringLiteral("-q"), QStringLiteral("--to"), uri, QStringLiteral("apply"), profile });
    EXPECT_EQ(changed.exitCode, 0) << changed.err.toStdString();
    EXPECT_TRUE(changed.out.startsWith(uri.toUtf8() + " ok ")) << changed.out.toStdString();
    EXPECT_TRUE(changed.out.contains(": changed density")) << changed.out.toStdString();
    EXPECT_TRUE(changed.out.endsWith("\n  density: printer 10, profile 22\n"))
        << changed.out.toStdString();
    // Nothing to change: nothing to say.
    const CliRun again = RunCliProgram(
        { QStringLiteral("-q"), QStringLiteral("--to"), uri, QStringLiteral("apply"), profile });
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, QByteArray());
}

TEST(CliRoughEdges, ATargetsFileTakesBareAddresses)
{
    TcpFarm farm({ TcpFarm::Behaviour::Record, TcpFarm::Behaviour::Record });
    QTemporaryDir dir;
    const QString list = WriteTempFile(dir, QStringLiteral("hall.txt"),
                                       QStringLiteral("127.0.0.1:%1   # bench\n%2\n")
                                           .arg(farm.Port(0))
                                           .arg(Tcp(farm.Port(1)))
                                           .toUtf8());
    const CliRun run = RunCliProgram(
        { QStringLiteral("--targets"), list, QStringLiteral("--json"), QStringLiteral("reset") });
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(TargetsInOrder(run.out, true), QStringList({ Tcp(farm.Port(0)), Tcp(farm.Port(1)) }));
    ASSERT_TRUE(farm.WaitForJobs(2));
    EXPECT_EQ(farm.Jobs(0).size(), 1u);

    // A bare name that is no address is named as a network printer's.
    const QString bad = WriteTempFile(dir, QStringLiteral("bad.txt"), "10.0.0.7\n/dev/ttyS0\n");
    const CliRun refused
        = RunCliProgram({ QStringLiteral("--targets"), bad, QStringLiteral("reset") });
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.startsWith("tarvolin-cli: " + bad.toUtf8()
                                       + ":2: tcp:///dev/ttyS0: a network printer is named by "
                                         "host and port only\n"))
        << refused.err.toStdString();
}

TEST(CliRoughEdges, AProfileWithSeveralBadLinesNamesThemAll)
{
    QTemporaryDir dir;
    const QString profile = WriteTempFile(dir, QStringLiteral("p.ini"),
                                          "speed = 9\n"
                                          "density = 15\n"
                                          "dencity = 12\n"
                                          "top = 99\n"
                                          "width = 7x6\n");
    const CliRun run
        = RunCliProgram({ QStringLiteral("--to"), QStringLiteral("file:///dev/null"),
                          QStringLiteral("apply"), QStringLiteral("--check"), profile });
    EXPECT_EQ(run.exitCode, 2);
    const QByteArray p = profile.toUtf8();
    EXPECT_EQ(run.err,
              "tarvolin-cli: apply: " + p + ":1: speed: '9' is not one of 2, 3, 4, 5 (or empty)\n"
                  + p
                  + ":3: unknown key 'dencity' (known: resolution, unit, speed, density, "
                    "width, height, media-sensor, media-type, post-print-action, "
                    "direction, top, shift, home-x, home-y)\n"
                  + p + ":4: top: 99 is outside the window's range -15 to 15 mm at 203dpi\n" + p
                  + ":5: width: '7x6' is not a valid floating point value\n"
                    "Try 'tarvolin-cli --help'.\n");
}

TEST(CliRoughEdges, AMistypedNameGetsASuggestion)
{
    const QStringList names { "status", "host-status", "store-settings", "reset",
                              "render", "info",        "apply" };
    const struct
    {
        const char *typed;
        const char *suggestion;
    } cases[] = {
        { "stauts", " (did you mean 'status'?)" },
        { "hoststatus", " (did you mean 'host-status'?)" },
        { "store-setting", " (did you mean 'store-settings'?)" },
        { "Reset", " (did you mean 'reset'?)" },
        { "inf", " (did you mean 'info'?)" },
        { "rest", " (did you mean 'reset'?)" },
        { "rendr", " (did you mean 'render'?)" },
        { "print", "" }, // another word
        { "xyzzy", "" },
        { "inof", " (did you mean 'info'?)" },
        { "", "" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(DidYouMean(QString::fromLatin1(c.typed), names), QLatin1String(c.suggestion));
    }
    const CliRun run = RunCliProgram(
        { QStringLiteral("--to"), QStringLiteral("file:///dev/null"), QStringLiteral("stauts") });
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err,
              "tarvolin-cli: unknown operation 'stauts' (did you mean 'status'?)\n"
              "Try 'tarvolin-cli --help'.\n");
    const CliRun option = RunCliProgram({ QStringLiteral("--timout"), QStringLiteral("3") });
    EXPECT_EQ(option.err,
              "tarvolin-cli: unknown option '--timout' (did you mean '--timeout'?)\n"
              "Try 'tarvolin-cli --help'.\n");
}

TEST(CliRoughEdges, ADiscoveryThatFindsNothingSaysWhyAndWhatToTry)
{
    const CliRun run = RunCliProgram(
        { QStringLiteral("discover"), QStringLiteral("--timeout"), QStringLiteral("300"),
          QStringLiteral("--address"), QStringLiteral("127.0.0.1"),
          QStringLiteral("--port-discovery"), QString::number(ClosedLoopbackPort()) });
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, QByteArray());
    EXPECT_TRUE(run.err.startsWith("tarvolin-cli: discover: no printer answered within 300 ms: "
                                   "the probe went to "))
        << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("127.0.0.1 (UDP port ")) << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith("give a printer's address with --address A.B.C.D, try the "
                                 "printing port of every address of a subnet with --sweep "
                                 "A.B.C.D/N, or wait longer with --timeout MS.\n"))
        << run.err.toStdString();
}

} // namespace
