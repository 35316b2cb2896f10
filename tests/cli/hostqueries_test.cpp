// tarvolin-cli host-status, info, config and discover against the real
// tarvolin-printer over TCP, over a pseudo-terminal given as a USB printer
// device, and on UDP: every JSON field is what the printer was set to.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QJsonObject FirstObject(const CliRun &run)
{
    return QJsonDocument::fromJson(run.out.split('\n').value(0)).object();
}

CliRun Cli(QStringList args)
{
    return RunCliProgram(args);
}

TEST(CliHostQueries, HostStatusInfoAndConfigAreWhatThePrinterWasSetTo)
{
    PrinterProcess printer({ QStringLiteral("--pty"), QStringLiteral("--tcp"), QStringLiteral("0"),
                             QStringLiteral("--discovery"), QStringLiteral("0"),
                             QStringLiteral("--status"), QStringLiteral("paper-out,pause") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort());
    const QString lpt = QStringLiteral("lpt://") + printer.PtyPath();

    const CliRun set = Cli({ QStringLiteral("--to"), tcp, QStringLiteral("text"),
                             QStringLiteral("^XA^PR3~SD5^PW600^LL400^MNM^MTD^MMP^LT12^LS-16^XZ") });
    ASSERT_EQ(set.exitCode, ExitOk) << set.out.toStdString();
    ASSERT_FALSE(printer.WaitForLine(QStringLiteral("format")).isEmpty());

    for (const QString &target : { tcp, lpt }) {
        SCOPED_TRACE(target.toStdString());
        const CliRun status = Cli({ QStringLiteral("--json"), QStringLiteral("--to"), target,
                                    QStringLiteral("host-status") });
        EXPECT_EQ(status.exitCode, ExitNotReady) << status.out.toStdString();
        const QJsonObject hs = FirstObject(status).value(QStringLiteral("hostStatus")).toObject();
        const QJsonObject expected {
            { "paperOut", true },         { "paused", true },
            { "labelLengthDots", 400 },   { "formatsInBuffer", 0 },
            { "bufferFull", false },      { "partialFormat", false },
            { "corruptRam", false },      { "underTemperature", false },
            { "overTemperature", false }, { "headOpen", false },
            { "ribbonOut", false },       { "thermalTransfer", false },
            { "printMode", 1 },           { "labelWaiting", false },
            { "labelsRemaining", 0 },     { "graphicsStored", 0 },
        };
        EXPECT_EQ(hs, expected) << status.out.toStdString();

        const CliRun info = Cli(
            { QStringLiteral("--json"), QStringLiteral("--to"), target, QStringLiteral("info") });
        EXPECT_EQ(info.exitCode, ExitOk) << info.out.toStdString();
        EXPECT_EQ(FirstObject(info).value(QStringLiteral("info")).toObject(),
                  (QJsonObject { { "model", "TARVOLIN VP-200dpi" },
                                 { "firmware", "V1.01VP" },
                                 { "dotsPerMm", 8 },
                                 { "memoryKB", 8192 },
                                 { "options", "" } }));

        const CliRun config = Cli(
            { QStringLiteral("--json"), QStringLiteral("--to"), target, QStringLiteral("config") });
        EXPECT_EQ(config.exitCode, ExitOk) << config.out.toStdString();
        const QJsonObject o = FirstObject(config);
        EXPECT_EQ(o.value(QStringLiteral("settings")).toObject(),
                  (QJsonObject { { "resolution", "203dpi" },
                                 { "speed", "3" },
                                 { "density", "5" },
                                 { "width", "75" },
                                 { "height", "50" },
                                 { "media-sensor", "Mark Sensing" },
                                 { "media-type", "Thermal Direct" },
                                 { "post-print-action", "Peel off" },
                                 { "top", "1.5" },
                                 { "shift", "-2" } }));
        EXPECT_TRUE(
            o.value(QStringLiteral("config"))
                .toArray()
                .contains(QJsonObject { { "name", "LEFT POSITION" }, { "value", "-0016" } }))
            << config.out.toStdString();
    }

    // Ready again: exit status 0.
    printer.Control(QStringLiteral("status ready"));
    ASSERT_FALSE(printer.WaitForLine(QStringLiteral("status 00 (ready)")).isEmpty());
    const CliRun ready = Cli({ QStringLiteral("--to"), tcp, QStringLiteral("host-status") });
    EXPECT_EQ(ready.exitCode, ExitOk) << ready.out.toStdString();
    EXPECT_TRUE(ready.out.startsWith(tcp.toUtf8() + " ok 0 B ")) << ready.out.toStdString();
}

TEST(CliHostQueries, QueuesAndFilesCannotAnswerAndNothingIsSent)
{
    const CliRun run = Cli(
        { QStringLiteral("--to"), QStringLiteral("cups://Hall"), QStringLiteral("host-status") });
    EXPECT_EQ(run.exitCode, ExitUsage);
    EXPECT_TRUE(run.err.contains("host-status: cups://Hall: A print queue carries data one way; "
                                 "connect over the network, USB or serial to read the printer"))
        << run.err.toStdString();
}

// A free UDP port on a loopback address, for the printers to share.
quint16 FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

TEST(CliDiscover, FindsThreePrintersWithTheirNamesAndSerialNumbersSortedByAddress)
{
    const quint16 port = FreeUdpPort();
    std::vector<std::unique_ptr<PrinterProcess>> printers;
    // Three loopback addresses, given out of order.
    for (int host : { 13, 11, 12 }) {
        printers.push_back(std::make_unique<PrinterProcess>(QStringList {
            QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--bind"),
            QStringLiteral("127.0.0.%1").arg(host), QStringLiteral("--discovery"),
            QString::number(port), QStringLiteral("--name"), QStringLiteral("hall-%1").arg(host),
            QStringLiteral("--serial"), QStringLiteral("4200%1").arg(host) }));
        ASSERT_TRUE(printers.back()->IsRunning()) << printers.back()->Error().toStdString();
    }
    const CliRun run = Cli(
        { QStringLiteral("discover"), QStringLiteral("--timeout"), QStringLiteral("1500"),
          QStringLiteral("--port-discovery"), QString::number(port), QStringLiteral("--address"),
          QStringLiteral("127.0.0.12"), QStringLiteral("--address"), QStringLiteral("127.0.0.13"),
          QStringLiteral("--address"), QStringLiteral("127.0.0.11"), QStringLiteral("--verbose") });
    EXPECT_EQ(run.exitCode, ExitOk) << run.err.toStdString();
    EXPECT_EQ(run.out,
              "127.0.0.11 hall-11 TARVOLIN VP-200dpi serial 420011 firmware V1.01VP\n"
              "127.0.0.12 hall-12 TARVOLIN VP-200dpi serial 420012 firmware V1.01VP\n"
              "127.0.0.13 hall-13 TARVOLIN VP-200dpi serial 420013 firmware V1.01VP\n");
    EXPECT_TRUE(run.err.contains("3 printers found; 0 answers")) << run.err.toStdString();

    // The sweep finds the printing port of one and asks who it is.
    const CliRun swept = Cli(
        { QStringLiteral("discover"), QStringLiteral("--json"), QStringLiteral("--timeout"),
          QStringLiteral("200"), QStringLiteral("--port-discovery"), QString::number(FreeUdpPort()),
          QStringLiteral("--sweep"), QStringLiteral("127.0.0.8/29"), QStringLiteral("--sweep-port"),
          QString::number(printers[1]->TcpPort()) });
    EXPECT_EQ(swept.exitCode, ExitOk) << swept.err.toStdString();
    EXPECT_EQ(FirstObject(swept),
              (QJsonObject { { "address", "127.0.0.11" },
                             { "firmware", "V1.01VP" },
                             { "found", "sweep" },
                             { "model", "TARVOLIN VP-200dpi" },
                             { "name", "" },
                             { "serialNumber", "" } }))
        << swept.out.toStdString();

    // Nobody answers: exit status 1.
    const CliRun none
        = Cli({ QStringLiteral("discover"), QStringLiteral("--timeout"), QStringLiteral("200"),
                QStringLiteral("--port-discovery"), QString::number(FreeUdpPort()) });
    EXPECT_EQ(none.exitCode, ExitFailed);
    EXPECT_EQ(none.out, "");
}

} // namespace
