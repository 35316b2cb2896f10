#include "cli/hostoperations.h"

#include "cli/usageerror.h"
#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "commands/printertext.h"
#include "core/exceptions.h"
#include "link/discovery.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

OperationPlan Conversing(const QByteArray &request, Conversation converse)
{
    OperationPlan plan;
    plan.next = [request] {
        return TargetCommand { request, QString(), QJsonObject() };
    };
    plan.converse = std::move(converse);
    return plan;
}

void HostStatusReport(PrinterLink &link, const CliTarget &, TargetReport &report)
{
    const HostStatus s = ParseHostStatus(link.Query(HostStatusQuery()));
    report.extra.insert(QStringLiteral("hostStatus"), HostStatusJson(s));
    PrinterStatus status = StatusFromHost(s);
    // Host status has no field for a jam, a cutter fault or a full memory:
    // the extended report has, where the printer knows it.
    try {
        const ExtendedStatus extended = ParseExtendedStatus(link.Query(ExtendedStatusQuery()));
        status.Merge(StatusFromExtended(extended));
        report.extra.insert(QStringLiteral("extendedStatus"), ExtendedStatusJson(extended));
    } catch (const EOperationCancelled &) {
        throw;
    } catch (const ETarvolinError &) {
        status.unseen << UnseenWithoutExtendedReport();
    }
    const QJsonObject fields = StatusJson(status);
    for (auto it = fields.begin(); it != fields.end(); ++it)
        report.extra.insert(it.key(), it.value());
    report.verdict = status.Ready() ? Verdict::Ok : Verdict::NotReady;
    report.detail = StatusLine(status);
    report.moreLines << QStringLiteral("label length %1 dots, %2")
                            .arg(s.labelLengthDots)
                            .arg(StatusCaptions(status.modes))
                     << QStringLiteral("%1 formats in the buffer, %2 labels remaining, %3 "
                                       "graphics stored")
                            .arg(s.formatsInBuffer)
                            .arg(s.labelsRemaining)
                            .arg(s.graphicsStored);
    if (!status.warnings.isEmpty())
        report.moreLines << QStringLiteral("warnings: ") + StatusCaptions(status.warnings);
}

void InfoReport(PrinterLink &link, const CliTarget &, TargetReport &report)
{
    const Identification id = ParseIdentification(link.Query(IdentificationQuery()));
    report.verdict = Verdict::Ok;
    report.detail = QStringLiteral("%1, firmware %2, %3 dots/mm, %4 KB")
                        .arg(ShownText(id.model), ShownText(id.firmware))
                        .arg(id.dotsPerMm)
                        .arg(id.memoryKB);
    if (!id.options.isEmpty())
        report.detail += QStringLiteral(", ") + ShownText(id.options);
    report.extra.insert(QStringLiteral("info"), IdentificationJson(id));
}

void ConfigReport(PrinterLink &link, const CliTarget &, TargetReport &report)
{
    const QList<ConfigSetting> settings = ParseConfiguration(link.Query(ConfigurationQuery()));
    const QList<QPair<QString, QString>> panel = PanelSettings(settings);
    report.verdict = Verdict::Ok;
    report.detail = QStringLiteral("%1 settings").arg(settings.size());
    QJsonArray pairs;
    for (const ConfigSetting &s : settings) {
        pairs.append(QJsonObject { { QStringLiteral("name"), s.name },
                                   { QStringLiteral("value"), s.value } });
        report.moreLines << QStringLiteral("%1: %2").arg(ShownText(s.name),
                                                         ShownText(s.value.trimmed()));
    }
    QJsonObject mapped;
    for (const auto &[key, value] : panel) {
        mapped.insert(key, value);
        report.moreLines << QStringLiteral("profile %1 = %2").arg(key, value);
    }
    report.extra.insert(QStringLiteral("config"), pairs);
    report.extra.insert(QStringLiteral("settings"), mapped);
}

// Identity, host status and configuration on one link, within the one
// deadline: what a fleet's inventory keeps of each printer.
void FactsReport(PrinterLink &link, const CliTarget &target, TargetReport &report)
{
    TargetReport info, config;
    InfoReport(link, target, info);
    HostStatusReport(link, target, report);
    ConfigReport(link, target, config);
    report.detail = info.detail + QStringLiteral("; ")
        + (report.detail.isEmpty() ? QStringLiteral("no condition") : report.detail);
    report.moreLines += config.moreLines;
    for (const QJsonObject &part : { info.extra, config.extra })
        for (auto it = part.begin(); it != part.end(); ++it)
            report.extra.insert(it.key(), it.value());
}

} // namespace

QJsonObject HostStatusJson(const HostStatus &s)
{
    const QJsonValue printMode = s.printMode.isDigit() ? QJsonValue(s.printMode.digitValue())
                                                       : QJsonValue(QString(s.printMode));
    return {
        { QStringLiteral("paperOut"), s.paperOut },
        { QStringLiteral("paused"), s.paused },
        { QStringLiteral("labelLengthDots"), s.labelLengthDots },
        { QStringLiteral("formatsInBuffer"), s.formatsInBuffer },
        { QStringLiteral("bufferFull"), s.bufferFull },
        { QStringLiteral("partialFormat"), s.partialFormat },
        { QStringLiteral("corruptRam"), s.corruptRam },
        { QStringLiteral("underTemperature"), s.underTemperature },
        { QStringLiteral("overTemperature"), s.overTemperature },
        { QStringLiteral("headOpen"), s.headOpen },
        { QStringLiteral("ribbonOut"), s.ribbonOut },
        { QStringLiteral("thermalTransfer"), s.thermalTransfer },
        { QStringLiteral("printMode"), printMode },
        { QStringLiteral("labelWaiting"), s.labelWaiting },
        { QStringLiteral("labelsRemaining"), double(s.labelsRemaining) },
        { QStringLiteral("graphicsStored"), s.graphicsStored },
    };
}

QJsonObject ExtendedStatusJson(const ExtendedStatus &e)
{
    const auto hex = [](quint32 high, quint32 low) {
        return QString::number((quint64(high) << 32) | low, 16)
            .rightJustified(16, QLatin1Char('0'));
    };
    return {
        { QStringLiteral("errors"), hex(e.errorsHigh, e.errors) },
        { QStringLiteral("warnings"), hex(e.warningsHigh, e.warnings) },
    };
}

QJsonObject IdentificationJson(const Identification &id)
{
    return {
        { QStringLiteral("model"), id.model },         { QStringLiteral("firmware"), id.firmware },
        { QStringLiteral("dotsPerMm"), id.dotsPerMm }, { QStringLiteral("memoryKB"), id.memoryKB },
        { QStringLiteral("options"), id.options },
    };
}

std::vector<Operation> HostOperations()
{
    return {
        Operation {
            .name = QStringLiteral("host-status"),
            .options = QStringList { QStringLiteral("format"), QStringLiteral("output") },
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read the printer's host status"),
            .description = QStringLiteral(
                "Asks for the printer's host status (~HS) and its extended error and warning "
                "report (~HQES), and names the conditions that stop it printing: Head Open, "
                "Paper Jam, Paper Out, Ribbon Out (with a ribbon only), Paused, Other Error "
                "(a full memory among them), Corrupt RAM, Under or Over Temperature, Cutter "
                "Fault. A printer that does not answer ~HQES is said to be Ready only as far "
                "as host status shows, naming what it could not see. Then the modes (print "
                "method and mode), label length, formats waiting, labels remaining, graphics "
                "stored and warnings (Buffer Full, Partial Format, Label Waiting, ...). With "
                "--json, \"conditions\", \"warnings\" and \"modes\" list them by key "
                "(paper_out, thermal_transfer, ...); modes are never conditions. Exits with 0 "
                "when no condition is set, 3 when one is. --format prometheus writes the "
                "conditions, modes and figures as metrics instead, to standard output or, with "
                "--output, into a file that is replaced whole."),
            .plan =
                [](const CommandLine &) {
                    return Conversing(HostStatusQuery().request, HostStatusReport);
                } },
        Operation {
            .name = QStringLiteral("info"),
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read the printer's model, firmware and memory"),
            .description = QStringLiteral(
                "Asks the printer to identify itself (~HI): model, firmware version, dots per "
                "millimetre, memory in KB and options such as a cutter."),
            .plan =
                [](const CommandLine &) {
                    return Conversing(IdentificationQuery().request, InfoReport);
                } },
        Operation {
            .name = QStringLiteral("config"),
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read the printer's configuration"),
            .description = QStringLiteral(
                "Asks for the printer's configuration as text (^HH) and prints every setting "
                "as the printer names it, then the setup panel's values found in it under the "
                "keys of a profile (width and height in millimetres)."),
            .plan =
                [](const CommandLine &) {
                    return Conversing(ConfigurationQuery().request, ConfigReport);
                } },
        Operation {
            .name = QStringLiteral("facts"),
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read identity, host status and configuration"),
            .description = QStringLiteral(
                "Asks what info, host-status and config ask, one after the other within one "
                "--timeout, and reports them together (with --json: info, hostStatus, config "
                "and settings in one object). Exits as host-status does: 3 when an error "
                "condition is set."),
            .plan =
                [](const CommandLine &) {
                    return Conversing(IdentificationQuery().request, FactsReport);
                } },
        Operation {
            .name = QStringLiteral("discover"),
            .options
            = QStringList { QStringLiteral("address"), QStringLiteral("sweep"),
                            QStringLiteral("port-discovery"), QStringLiteral("sweep-port") },
            .kind = Operation::Kind::Local,
            .summary = QStringLiteral("find printers on the network"),
            .description = QStringLiteral(
                "Sends the network discovery probe (UDP port 4201, or --port-discovery) to the "
                "broadcast address of every IPv4 interface and to each --address, and collects "
                "the answers until --timeout (here in milliseconds; 3000 unless given). With "
                "--sweep A.B.C.D/N it also tries the raw printing port (9100, or --sweep-port) "
                "of every address in that subnet, 64 at a time, and counts a port as a printer "
                "only when it identifies itself; --timeout ends the sweep too, and the addresses "
                "not done by then are counted. A printer is the address its answer came from "
                "(an answer naming another address is listed with it), listed once; at most "
                "4096 are listed. One line per printer, sorted by address: "
                "address, name, model, serial number and firmware. Exits with 0 when a printer "
                "was found, 1 when none was. --verbose also counts the answers that were not "
                "discovery replies.") },
    };
}

std::vector<OptionInfo> HostOperationOptions()
{
    return {
        { QStringLiteral("address"), QChar(), QStringLiteral("A.B.C.D"),
          QStringLiteral("discover: also probe this address (repeatable)") },
        { QStringLiteral("sweep"), QChar(), QStringLiteral("CIDR"),
          QStringLiteral("discover: try the printing port of every address in the subnet") },
        { QStringLiteral("port-discovery"), QChar(), QStringLiteral("N"),
          QStringLiteral("discover: the UDP port of the probe (4201)") },
        { QStringLiteral("sweep-port"), QChar(), QStringLiteral("N"),
          QStringLiteral("discover: the TCP port the sweep tries (9100)") },
    };
}

namespace {

// What discover says when no printer answered: where it asked, and what to try.
QString NothingFound(const DiscoveryOptions &options, const DiscoveryResult &found)
{
    QStringList asked = options.broadcast ? BroadcastAddresses() : QStringList();
    asked += options.addresses;
    const QString within = options.timeoutMs % 1000 == 0
        ? QStringLiteral("%1 s").arg(options.timeoutMs / 1000)
        : QStringLiteral("%1 ms").arg(options.timeoutMs);
    QString text
        = QStringLiteral("tarvolin-cli: discover: no printer answered within %1").arg(within);
    if (asked.isEmpty())
        text += QStringLiteral(": no network interface is up to send the probe on");
    else
        text += QStringLiteral(": the probe went to %1 (UDP port %2)")
                    .arg(asked.join(QStringLiteral(", ")))
                    .arg(options.port);
    if (!options.sweep.isEmpty())
        text += QStringLiteral("; no address of %1 answered on port %2 as a printer")
                    .arg(options.sweep)
                    .arg(options.sweepPort);
    if (found.malformedReplies > 0)
        text += QStringLiteral("; %1 answers were not discovery replies")
                    .arg(found.malformedReplies);
    text += QStringLiteral(
        ".\nA printer answers the probe only on its own network (routers do not pass it on), "
        "and some have discovery switched off: give a printer's address with --address "
        "A.B.C.D, try the printing port of every address of a subnet with --sweep "
        "A.B.C.D/N, or wait longer with --timeout MS.\n");
    return text;
}

} // namespace

CliOutcome RunDiscover(const CommandLine &line, const CliStreams &io)
{
    DiscoveryOptions options;
    if (line.Has(QStringLiteral("timeout")))
        options.timeoutMs = int(OptionNumber(QStringLiteral("timeout"),
                                             line.Value(QStringLiteral("timeout")), 1, 600000));
    options.addresses = line.Values(QStringLiteral("address"));
    options.sweep = line.Value(QStringLiteral("sweep"));
    if (line.Has(QStringLiteral("port-discovery")))
        options.port
            = quint16(OptionNumber(QStringLiteral("port-discovery"),
                                   line.Value(QStringLiteral("port-discovery")), 1, 65535));
    if (line.Has(QStringLiteral("sweep-port")))
        options.sweepPort = quint16(OptionNumber(
            QStringLiteral("sweep-port"), line.Value(QStringLiteral("sweep-port")), 1, 65535));
    DiscoveryResult found;
    try {
        found = DiscoverPrinters(options);
    } catch (const ETarvolinError &e) {
        throw EUsageError(QStringLiteral("discover: ") + e.Message());
    }
    const bool json = line.Has(QStringLiteral("json"));
    for (const DiscoveredPrinter &p : found.printers) {
        const QString model = p.swept ? p.model : p.productName;
        QByteArray text;
        if (json) {
            QJsonObject o {
                { QStringLiteral("address"), p.address },
                { QStringLiteral("name"), p.systemName },
                { QStringLiteral("model"), model },
                { QStringLiteral("serialNumber"), p.serialNumber },
                { QStringLiteral("firmware"), p.firmware },
                { QStringLiteral("found"),
                  p.swept ? QStringLiteral("sweep") : QStringLiteral("probe") },
            };
            if (!p.statedAddress.isEmpty())
                o.insert(QStringLiteral("statedAddress"), p.statedAddress);
            text = QJsonDocument(o).toJson(QJsonDocument::Compact);
        } else {
            // What a printer calls itself is its own text: escaped, so that
            // it cannot make a line of its own.
            QStringList parts { p.address };
            if (!p.systemName.isEmpty())
                parts << ShownText(p.systemName);
            parts << ShownText(model);
            if (!p.serialNumber.isEmpty())
                parts << QStringLiteral("serial ") + ShownText(p.serialNumber);
            parts << QStringLiteral("firmware ") + ShownText(p.firmware);
            if (!p.statedAddress.isEmpty())
                parts << QStringLiteral("(its reply gives the address %1)").arg(p.statedAddress);
            text = parts.join(QLatin1Char(' ')).toUtf8();
        }
        std::fputs(text.append('\n').constData(), io.out);
    }
    if (line.Has(QStringLiteral("verbose")))
        std::fprintf(io.err,
                     "%d printers found; %d answers that were not discovery replies ignored\n",
                     int(found.printers.size()), found.malformedReplies);
    if (found.unkeptPrinters > 0)
        std::fprintf(io.err,
                     "tarvolin-cli: discover: %d printers listed, the most one search keeps; %d "
                     "more addresses answered\n",
                     int(found.printers.size()), found.unkeptPrinters);
    if (found.unsweptAddresses > 0)
        std::fprintf(io.err,
                     "tarvolin-cli: discover: the sweep reached --timeout with %d addresses not "
                     "done; a longer --timeout sweeps them all\n",
                     found.unsweptAddresses);
    std::fflush(io.out);
    if (found.printers.empty()) {
        std::fputs(NothingFound(options, found).toUtf8().constData(), io.err);
        std::fflush(io.err);
    }
    return { found.printers.empty() ? ExitFailed : ExitOk, false };
}
