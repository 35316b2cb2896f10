// One reading of a printer's state through the real programs: every
// condition and mode of the virtual printer, read by tarvolin-cli as the
// status byte, as host status with the extended report, and as metrics. The
// answers agree with each other, and a mode never shows as a condition.
// Then the printers that cannot say everything: one that does not know the
// extended report, and one that is busy with another client.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/tcpclient.h"
#include "support/tcpsink.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

QJsonObject FirstObject(const CliRun &run)
{
    return QJsonDocument::fromJson(run.out.split('\n').value(0)).object();
}

QStringList Keys(const QJsonObject &o, const char *name)
{
    return o.value(QLatin1String(name)).toVariant().toStringList();
}

// The label values of a family's series that are 1.
QStringList SetInMetrics(const QByteArray &text, const QString &family, const QString &label)
{
    const QRegularExpression series(
        QStringLiteral("^%1\\{target=\"[^\"]*\",%2=\"([a-z_]+)\"\\} 1$").arg(family, label),
        QRegularExpression::MultilineOption);
    QStringList set;
    for (auto it = series.globalMatch(QString::fromUtf8(text)); it.hasNext();)
        set << it.next().captured(1);
    return set;
}

TEST(CliStatusModel, EveryConditionAndModeReadsTheSameOnEveryPath)
{
    PrinterProcess printer({ "--pty", "--tcp", "0" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString com = QStringLiteral("com://") + printer.PtyPath();
    const QString tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort());

    const struct
    {
        const char *set; // control command after "status "
        const char *settings; // sent first, when not empty
        QStringList byByte, byHost, modes;
    } cases[] = {
        { "ready", "^XA^MTT^MMT^XZ", {}, {}, { "thermal_transfer", "tear_off" } },
        { "ready", "^XA^MTD^MMC^XZ", {}, {}, { "direct_thermal", "cutter" } },
        // Without a ribbon, ribbon out is nothing to stop for.
        { "ribbon-out", "", { "ribbon_out" }, {}, { "direct_thermal", "cutter" } },
        { "ribbon-out",
          "^XA^MTT^MMP^XZ",
          { "ribbon_out" },
          { "ribbon_out" },
          { "thermal_transfer", "peel_off" } },
        { "head-open", "", { "head_open" }, { "head_open" }, { "thermal_transfer", "peel_off" } },
        { "paper-jam", "", { "paper_jam" }, { "paper_jam" }, { "thermal_transfer", "peel_off" } },
        { "paper-out", "", { "paper_out" }, { "paper_out" }, { "thermal_transfer", "peel_off" } },
        { "pause", "", { "paused" }, { "paused" }, { "thermal_transfer", "peel_off" } },
        { "cover-open", "", { "cover_open" }, { "head_open" }, { "thermal_transfer", "peel_off" } },
        { "other-error",
          "",
          { "other_error" },
          { "other_error" },
          { "thermal_transfer", "peel_off" } },
        { "over-temperature",
          "",
          { "other_error" },
          { "over_temperature" },
          { "thermal_transfer", "peel_off" } },
        { "under-temperature",
          "",
          { "other_error" },
          { "under_temperature" },
          { "thermal_transfer", "peel_off" } },
        { "cutter-fault",
          "",
          { "other_error" },
          { "cutter_fault" },
          { "thermal_transfer", "peel_off" } },
        { "corrupt-ram",
          "",
          { "other_error" },
          { "corrupt_ram" },
          { "thermal_transfer", "peel_off" } },
        { "paper-out,pause",
          "",
          { "paper_out", "paused" },
          { "paper_out", "paused" },
          { "thermal_transfer", "peel_off" } },
    };
    for (const auto &c : cases) {
        const QString set = QLatin1String(c.set);
        SCOPED_TRACE(set.toStdString() + " " + c.settings);
        if (*c.settings) {
            const CliRun sent
                = RunCliProgram({ "--to", tcp, "text", QString::fromLatin1(c.settings) });
            ASSERT_EQ(sent.exitCode, ExitOk) << sent.out.toStdString();
        }
        printer.Control(QStringLiteral("status ") + set);
        ASSERT_FALSE(printer.WaitForLine(QStringLiteral("status ")).isEmpty());

        const CliRun byte = RunCliReadBack({ "--to", com, "--json", "status" }, true);
        const QJsonObject b = FirstObject(byte);
        EXPECT_EQ(Keys(b, "conditions"), c.byByte) << byte.out.toStdString();
        EXPECT_EQ(byte.exitCode, c.byByte.isEmpty() ? ExitOk : ExitNotReady);

        const CliRun host = RunCliProgram({ "--to", tcp, "--json", "host-status" });
        const QJsonObject h = FirstObject(host);
        EXPECT_EQ(Keys(h, "conditions"), c.byHost) << host.out.toStdString();
        EXPECT_EQ(Keys(h, "modes"), c.modes);
        EXPECT_TRUE(Keys(h, "unseen").isEmpty());
        EXPECT_EQ(h.value(QStringLiteral("ready")).toBool(), c.byHost.isEmpty());
        EXPECT_EQ(host.exitCode, c.byHost.isEmpty() ? ExitOk : ExitNotReady);
        // Each path sees a condition where the others do, in its own words;
        // only the status byte cannot tell whether the printer uses a ribbon.
        if (c.byByte != QStringList { "ribbon_out" })
            EXPECT_EQ(c.byByte.isEmpty(), c.byHost.isEmpty());

        const CliRun metrics
            = RunCliProgram({ "--to", tcp, "host-status", "--format", "prometheus" });
        EXPECT_EQ(metrics.exitCode, host.exitCode);
        EXPECT_EQ(SetInMetrics(metrics.out, "tarvolin_printer_condition", "condition"), c.byHost)
            << metrics.out.toStdString();
        EXPECT_EQ(SetInMetrics(metrics.out, "tarvolin_printer_mode", "mode"), c.modes);
        for (const QString &mode : c.modes)
            EXPECT_FALSE(metrics.out.contains("condition=\"" + mode.toUtf8() + '"'));
        EXPECT_TRUE(
            metrics.out.contains("tarvolin_printer_busy{target=\"" + tcp.toUtf8() + "\"} 0\n"));
    }
    // Printing is what the printer does, not a condition.
    printer.Control(QStringLiteral("status printing"));
    ASSERT_FALSE(printer.WaitForLine(QStringLiteral("status 20")).isEmpty());
    const CliRun printing = RunCliReadBack({ "--to", com, "--json", "status" }, true);
    EXPECT_EQ(printing.exitCode, ExitOk) << printing.out.toStdString();
    EXPECT_EQ(Keys(FirstObject(printing), "modes"), QStringList { "printing" });
}

// A network printer of few words: it answers host status (a ready one) and
// nothing else, for any number of connections.
class HostStatusOnlyPrinter
{
public:
    HostStatusOnlyPrinter()
    {
        listen_ = ListenOnLoopback(port_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~HostStatusOnlyPrinter()
    {
        shutdown(listen_, SHUT_RDWR);
        thread_.join();
        close(listen_);
    }
    quint16 Port() const { return port_; }

private:
    void Serve()
    {
        for (;;) {
            const int fd = accept(listen_, nullptr, nullptr);
            if (fd < 0)
                return;
            QByteArray got;
            char buffer[256];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0) {
                got.append(buffer, n);
                if (got.contains("~HS")) {
                    const QByteArray reply = "\x02"
                                             "030,0,0,0414,000,0,0,0,000,0,0,0\x03\r\n\x02"
                                             "001,0,0,0,1,2,6,0,00000000,1,000\x03\r\n\x02"
                                             "1234,0\x03\r\n";
                    (void)!write(fd, reply.constData(), size_t(reply.size()));
                    break;
                }
            }
            // Silent on anything else, until the client gives up.
            while (read(fd, buffer, sizeof buffer) > 0) { }
            close(fd);
        }
    }

    int listen_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
};

TEST(CliStatusModel, APrinterWithoutTheExtendedReportIsReadyOnlyAsFarAsItShows)
{
    HostStatusOnlyPrinter printer;
    const QString tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.Port());
    const CliRun run = RunCliProgram({ "--to", tcp, "host-status" });
    EXPECT_EQ(run.exitCode, ExitOk) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(": Ready as far as it shows; not seen: paper jam, cutter fault "
                                 "and memory errors (no answer to the extended status report)\n"))
        << run.out.toStdString();
    const CliRun json = RunCliProgram({ "--to", tcp, "--json", "host-status" });
    const QJsonObject o = FirstObject(json);
    EXPECT_TRUE(Keys(o, "conditions").isEmpty());
    EXPECT_EQ(Keys(o, "unseen").size(), 1);
    EXPECT_EQ(Keys(o, "modes"), (QStringList { "thermal_transfer", "tear_off" }));
    EXPECT_FALSE(Keys(o, "checked").contains(QStringLiteral("paper_jam")));
}

TEST(CliStatusModel, APrinterHeldByAnotherClientIsBusyNotDown)
{
    PrinterProcess printer({ "--tcp", "0" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort());
    const int holder = ConnectLoopback(printer.TcpPort());
    ASSERT_GE(holder, 0);

    const CliRun json = RunCliProgram({ "--to", tcp, "--json", "host-status" });
    EXPECT_EQ(json.exitCode, ExitBusy) << json.out.toStdString();
    const QJsonObject o = FirstObject(json);
    EXPECT_TRUE(o.value(QStringLiteral("busy")).toBool());
    EXPECT_TRUE(o.value(QStringLiteral("error"))
                    .toString()
                    .startsWith(QStringLiteral("Host status: busy: the printer took the "
                                               "connection but did not answer within 5 s")))
        << json.out.toStdString();

    const CliRun metrics = RunCliProgram(
        { "--to", tcp, "--to", "tcp://127.0.0.1:1", "host-status", "--format", "prometheus" });
    // One busy and one that cannot be reached: a failure like any other.
    EXPECT_EQ(metrics.exitCode, ExitFailed);
    EXPECT_TRUE(metrics.out.contains("tarvolin_printer_busy{target=\"" + tcp.toUtf8() + "\"} 1\n"))
        << metrics.out.toStdString();
    EXPECT_TRUE(metrics.out.contains("tarvolin_printer_up{target=\"" + tcp.toUtf8() + "\"} 0\n"));
    EXPECT_TRUE(metrics.out.contains("tarvolin_printer_busy{target=\"tcp://127.0.0.1:1\"} 0\n"));
    close(holder);

    // Free again, it answers.
    EXPECT_EQ(RunCliProgram({ "--to", tcp, "host-status" }).exitCode, ExitOk);
}

} // namespace
