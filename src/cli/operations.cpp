#include "cli/operations.h"

#include "cli/graphicop.h"
#include "cli/hostoperations.h"
#include "cli/inputfile.h"
#include "cli/profile.h"
#include "cli/settingsops.h"
#include "cli/usageerror.h"
#include "commands/functioncommands.h"
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "commands/printertext.h"
#include "commands/settingsbuilder.h"
#include "commands/statusquery.h"
#include "commands/testlabel.h"
#include "files/downloadcheck.h"
#include "files/downloadcommand.h"
#include "files/fileread.h"
#include "files/memorycommands.h"
#include "network/addresscommands.h"
#include "tool/commandfile.h"

#include <QFileInfo>

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace {

// Every target gets the same bytes.
OperationPlan Fixed(const QByteArray &bytes)
{
    OperationPlan plan;
    plan.next = [bytes] {
        return TargetCommand { bytes, QString(), QJsonObject() };
    };
    return plan;
}

// The "Memory Device:" position of a device letter ("E:" or "E").
int DevicePosition(const CommandLine &line)
{
    QString device = line.Value(QStringLiteral("device"), QStringLiteral("E:")).toUpper();
    if (!device.endsWith(QLatin1Char(':')))
        device += QLatin1Char(':');
    for (int position = 0;; ++position) {
        const QByteArray known = MemoryDevice(position);
        if (known.isEmpty())
            break;
        if (QString::fromLatin1(known) == device)
            return position;
    }
    throw EUsageError(QStringLiteral("--device: '%1' is not one of R:, E:, B:, A:, Z:")
                          .arg(line.Value(QStringLiteral("device"))));
}

OperationPlan StoreSettingsPlan(const CommandLine &line)
{
    return Fixed(StoreSettingsCommand(ReadProfile(line.operands[0]).values));
}

OperationPlan TestLabelPlan(const CommandLine &line)
{
    Profile profile = ReadProfile(line.operands[0]);
    RequireLabelSize(profile);
    // The window's "Pices" field and "BOX" check box.
    profile.values.quantity = QString::number(
        OptionNumber(QStringLiteral("copies"),
                     line.Value(QStringLiteral("copies"), profile.values.quantity), 1, 99999999));
    profile.values.box = line.Has(QStringLiteral("frame"));
    return Fixed(TestLabelCommand(profile.values));
}

DownloadFileType TypeOf(const CommandLine &line, const QString &path)
{
    const QString type = line.Value(QStringLiteral("type")).toLower();
    if (type == QLatin1String("font"))
        return DownloadFileType::Font;
    if (type == QLatin1String("bin"))
        return DownloadFileType::Bin;
    if (type == QLatin1String("data"))
        return DownloadFileType::Data;
    if (!type.isEmpty())
        throw EUsageError(QStringLiteral("--type: '%1' is not one of font, bin, data")
                              .arg(line.Value(QStringLiteral("type"))));
    // As the window's file type list and its dialog's filters pair them.
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("ttf") || suffix == QLatin1String("otf"))
        return DownloadFileType::Font;
    if (suffix == QLatin1String("bin"))
        return DownloadFileType::Bin;
    return DownloadFileType::Data;
}

OperationPlan DownloadPlan(const CommandLine &line)
{
    const QString path = line.operands[0];
    DownloadRequest request;
    request.fileType = int(TypeOf(line, path));
    request.device = DevicePosition(line);
    request.fileNameText = FileNamePart(path);
    request.path = path;
    CheckDownloadFile(path);
    // Raw and binary downloads are the file's bytes as they stand, sent as
    // they are read as `send` does; a font's are encoded, so it is built
    // whole. The window's open error comes before anything is sent.
    if (request.fileType != int(DownloadFileType::Font) && !line.Has(QStringLiteral("dry-run"))
        && !line.Has(QStringLiteral("verbose"))) {
        {
            const ReadOnlyFile opened(path);
        }
        OperationPlan plan;
        plan.next = [path] {
            return TargetCommand { QByteArray(), QString(), QJsonObject(), path };
        };
        return plan;
    }
    OperationPlan plan = Fixed(DownloadCommand(request));
    if (request.fileType != int(DownloadFileType::Font))
        return plan;
    // Where the printer can answer, its file list tells whether it kept the font.
    const QByteArray device = MemoryDevice(request.device);
    const QString name = FontNameOf(request.fileNameText) + QStringLiteral(".FNT");
    const qint64 size = QFileInfo(path).size();
    plan.converse
        = [device, name, size](PrinterLink &link, const CliTarget &target, TargetReport &report) {
              link.SendToPrinter(PrinterLink::FileNaming::AsTyped);
              report.bytes = link.CommandBuffer.size();
              report.verdict = Verdict::Ok;
              if (target.kind == CliTarget::Kind::Cups || target.kind == CliTarget::Kind::File)
                  return;
              report.detail = VerifyDownloadStored(link, device, name, size);
              report.extra.insert(QStringLiteral("stored"), !report.detail.isEmpty());
          };
    return plan;
}

OperationPlan FormatPlan(const CommandLine &line)
{
    const QString memory = line.operands[0].toLower();
    if (memory == QLatin1String("dram"))
        return Fixed(FormatCommand(FormatMemory::Dram));
    if (memory == QLatin1String("flash"))
        return Fixed(FormatCommand(FormatMemory::Flash));
    throw EUsageError(QStringLiteral("'%1' is not dram or flash").arg(line.operands[0]));
}

OperationPlan SetIpPlan(const CommandLine &line)
{
    const QString address = line.operands[0];
    // What the window's address box can hold: four numbers from 0 to 255.
    static const QRegularExpression dotted(
        QStringLiteral("^([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})\\.([0-9]{1,3})$"));
    const QRegularExpressionMatch m = dotted.match(address);
    IPv4Octets octets {};
    for (int i = 0; m.hasMatch() && i < 4; ++i)
        octets[i] = m.captured(i + 1).toInt();
    if (!m.hasMatch() || std::any_of(octets.begin(), octets.end(), [](int o) { return o > 255; }))
        throw EUsageError(QStringLiteral("'%1' is not an IPv4 address (A.B.C.D)").arg(address));
    if (!IsAcceptableNewAddress(octets))
        throw EUsageError(
            QStringLiteral("New IP address is error!Please input a right new IP address!"));
    OperationPlan plan = Fixed(BuildNewAddressCommand(octets));
    // Two printers with one address would both be lost.
    plan.maxTargets = 1;
    return plan;
}

OperationPlan SetEthernetIdPlan(const CommandLine &line)
{
    const EthernetIdDraw draw = line.Has(QStringLiteral("seed"))
        ? SeededEthernetIdDraw(quint32(OptionNumber(
            QStringLiteral("seed"), line.Value(QStringLiteral("seed")), 0, 0xFFFFFFFFLL)))
        : TimeSeededEthernetIdDraw();
    // One generator for the whole run, and no ID twice: each printer of a
    // fleet needs its own.
    auto given = std::make_shared<QSet<int>>();
    OperationPlan plan;
    plan.next = [draw, given] {
        EthernetId id;
        int key = 0;
        do {
            id = DrawEthernetId(draw);
            key = (id.id3 << 16) | (id.id4 << 8) | id.id5;
        } while (given->contains(key));
        given->insert(key);
        const QString text = QStringList { QStringLiteral("0"),       EthernetIdBoxText(id.id1),
                                           EthernetIdBoxText(id.id2), EthernetIdBoxText(id.id3),
                                           EthernetIdBoxText(id.id4), EthernetIdBoxText(id.id5) }
                                 .join(QLatin1Char(' '));
        QJsonObject extra;
        extra.insert(QStringLiteral("ethernetId"), text);
        return TargetCommand { BuildEthernetIdCommand(id), QStringLiteral("Ethernet ID ") + text,
                               extra };
    };
    return plan;
}

OperationPlan SendFilePlan(const CommandLine &line)
{
    const QString path = line.operands[0];
    if (!CommandFileExists(path))
        throw EUsageError(QStringLiteral("%1: File is no found!").arg(path));
    // Sent as it is read, so that a file of any size takes only a buffer,
    // unless the bytes are shown first or several printers would share one
    // pipe's stream between them.
    if (line.Has(QStringLiteral("dry-run")) || line.Has(QStringLiteral("verbose"))
        || !StreamableInput(path, line))
        return Fixed(ReadInputFile(path, line));
    OperationPlan plan;
    plan.next = [path] {
        return TargetCommand { QByteArray(), QString(), QJsonObject(), path };
    };
    return plan;
}

OperationPlan TextPlan(const CommandLine &line)
{
    // As if the text were the command tool's page: its line breaks become
    // CR LF, and one more ends it.
    return Fixed(BuildSendTextCommand(DecodeCommandFile(line.operands[0].toUtf8())));
}

// A failed read-back says which port and line settings were tried, as the
// window's failures say what they concern.
void Unanswered(const QString &error, const CliTarget &target, TargetReport &report)
{
    report.verdict = Verdict::Failed;
    report.error = error;
    report.moreLines = NoReplyAdvice(target);
    report.extra.insert(QStringLiteral("advice"), report.moreLines.join(QLatin1Char('\n')));
}

void NoReply(const CliTarget &target, TargetReport &report)
{
    Unanswered(QStringLiteral("No reply from the printer"), target, report);
}

// A reply that is not the answer asked for fails, showing what came: bytes
// that are not printable ASCII as <XX>, so none can act on a terminal.
void Unparsable(const QByteArray &reply, const QString &answer, TargetReport &report)
{
    constexpr qsizetype Shown = 80;
    QString text;
    for (qsizetype i = 0; i < reply.size() && i < Shown; ++i) {
        const auto c = static_cast<unsigned char>(reply[i]);
        text += c >= 0x20 && c < 0x7F
            ? QString(QLatin1Char(char(c)))
            : QStringLiteral("<%1>").arg(c, 2, 16, QLatin1Char('0')).toUpper();
    }
    if (reply.size() > Shown)
        text += QStringLiteral("...");
    report.verdict = Verdict::Failed;
    report.error = QStringLiteral("The printer's reply is not %1: \"%2\" (%3 bytes)")
                       .arg(answer, text)
                       .arg(reply.size());
    report.extra.insert(QStringLiteral("reply"), text);
}

OperationPlan StatusPlan(const CommandLine &)
{
    OperationPlan plan = Fixed(StatusRequestCommand());
    plan.exchange = StatusExchangeOptions();
    plan.query = StatusByteQuery();
    plan.evaluate = [](const QByteArray &reply, const CliTarget &target, TargetReport &report) {
        const StatusLamps lamps = EvaluateStatusReply(reply);
        const QStringList lit = LitCaptions(lamps);
        report.extra.insert(QStringLiteral("status"), QJsonArray::fromStringList(lit));
        if (lamps.connectError)
            return Unanswered(ConnectErrorCaption(), target, report);
        report.extra.insert(QStringLiteral("statusByte"), int(quint8(reply.front())));
        const PrinterStatus status = StatusFromByte(quint8(reply.front()));
        const QJsonObject fields = StatusJson(status);
        for (auto it = fields.begin(); it != fields.end(); ++it)
            report.extra.insert(it.key(), it.value());
        // Printing alone is no condition: the printer is doing its work.
        report.verdict = status.Ready() ? Verdict::Ok : Verdict::NotReady;
        report.detail = lit.join(QStringLiteral(", "));
    };
    return plan;
}

OperationPlan FilesPlan(const CommandLine &)
{
    OperationPlan plan = Fixed(FileListRequest());
    plan.exchange = FileListExchangeOptions();
    plan.query = FileListQuery();
    plan.evaluate = [](const QByteArray &reply, const CliTarget &target, TargetReport &report) {
        if (reply.isEmpty())
            return NoReply(target, report);
        if (!reply.contains("DRAM FILES:") || !reply.contains("FLASH FILES:"))
            return Unparsable(reply, QStringLiteral("a file list"), report);
        // Laid out as the window's file list shows it.
        const QString text = ReplyText(FileListLayout(reply));
        report.extra.insert(QStringLiteral("files"), text);
        static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
        for (const QString &l : text.split(lineEnd, Qt::SkipEmptyParts))
            report.moreLines << ShownText(l);
    };
    return plan;
}

OperationPlan FreeMemoryPlan(const CommandLine &)
{
    OperationPlan plan = Fixed(FreeMemoryRequest());
    plan.exchange = FreeMemoryExchangeOptions();
    plan.query = FreeMemoryQuery();
    plan.evaluate = [](const QByteArray &reply, const CliTarget &target, TargetReport &report) {
        if (reply.isEmpty())
            return NoReply(target, report);
        const FreeMemoryFigures figures = ParseFreeMemory(reply);
        const PrinterNumber dram = ReadPrinterNumber(figures.dram);
        const PrinterNumber flash = ReadPrinterNumber(figures.flash);
        if (!dram.digits || !flash.digits)
            return Unparsable(reply, QStringLiteral("a free-memory answer"), report);
        if (!dram.fits || !flash.fits) {
            report.verdict = Verdict::Failed;
            report.error = QStringLiteral("Free memory: the %1 figure '%2' is %3")
                               .arg(dram.fits ? QStringLiteral("FLASH") : QStringLiteral("DRAM"),
                                    dram.fits ? figures.flash : figures.dram, NotHoldable());
            return;
        }
        report.extra.insert(QStringLiteral("dramFreeKB"), dram.value);
        report.extra.insert(QStringLiteral("flashFreeKB"), flash.value);
        report.detail
            = QStringLiteral("DRAM %1 KB free, FLASH %2 KB free").arg(dram.value).arg(flash.value);
    };
    return plan;
}

} // namespace

QStringList NoReplyAdvice(const CliTarget &target)
{
    return { QStringLiteral("Device: %1 (%2 baud, 8 data bits, no parity, 1 stop bit, Xon/Xoff)")
                 .arg(ComDevicePath(target.device))
                 .arg(target.baudRate),
             QStringLiteral("The printer sent nothing back. Is it switched on, is its cable in "
                            "this port, and is it set to the same speed? A USB serial adapter may "
                            "have another name after being plugged in again.") };
}

namespace {

// Every operation sends what the window's button sends; see each help text.
Operation Send(const QString &name, const QString &summary, const QString &button,
               const QByteArray &bytes)
{
    return { .name = name,
             .summary = summary,
             .description = QStringLiteral("Sends what \"%1\" sends.").arg(button),
             .plan = [bytes](const CommandLine &) {
                 return Fixed(bytes);
             } };
}

std::vector<Operation> MakeOperations()
{
    return {
        Send(QStringLiteral("test-page"), QStringLiteral("print the printer's own test page"),
             QStringLiteral("Print Test Page"), PrintTestPageCommand()),
        Send(QStringLiteral("factory-default"),
             QStringLiteral("restore and store the factory settings"),
             QStringLiteral("Factory Default"), FactoryDefaultCommand()),
        Send(QStringLiteral("dump-mode"),
             QStringLiteral("switch the printer into dump (diagnostic) mode"),
             QStringLiteral("Dump Mode"), DumpModeCommand()),
        Send(QStringLiteral("reset"), QStringLiteral("reset the printer"),
             QStringLiteral("Reset Printer"), ResetPrinterCommand()),
        Operation {
            .name = QStringLiteral("store-settings"),
            .operands = QStringLiteral("PROFILE"),
            .operandCount = 1,
            .summary = QStringLiteral("send a profile's settings for the printer to keep"),
            .description = QStringLiteral(
                "Sends what \"Store Settings\" sends for the setup panel values in PROFILE "
                "(see 'tarvolin-cli profile --example'). A value the window would refuse is "
                "named with its line, and nothing is sent."),
            .plan = StoreSettingsPlan },
        Operation {
            .name = QStringLiteral("test-label"),
            .operands = QStringLiteral("PROFILE"),
            .operandCount = 1,
            .options = QStringList { QStringLiteral("copies"), QStringLiteral("frame") },
            .summary = QStringLiteral("print test labels with a profile's settings"),
            .description = QStringLiteral(
                "Sends what \"Pint Label\" sends for the values in PROFILE: the settings, "
                "then a label with \"Printer Test!\", the speed, the density and a serial "
                "number. --copies is the window's \"Pices\" field (1 unless given), --frame "
                "its hidden \"BOX\" check box. The label is laid out from the width and "
                "height, so the profile must give both."),
            .plan = TestLabelPlan },
        Operation {
            .name = QStringLiteral("download"),
            .operands = QStringLiteral("FILE"),
            .operandCount = 1,
            .options = QStringList { QStringLiteral("device"), QStringLiteral("type") },
            .summary = QStringLiteral("put a font or file into printer memory"),
            .description = QStringLiteral(
                "Sends what the File Manager's \"Download\" sends. A font (*.ttf, *.otf, or "
                "--type font) travels as a download command in hexadecimal text and is stored "
                "on --device (E: unless given) under its file name before the first \".\", in "
                "capitals; a BIN or data file (--type bin or data; the default for other "
                "names) is sent as it is. Over the network, USB or serial the printer's file "
                "list is then read back: a font it did not store (on R: or E:, the devices the "
                "list shows) fails with the printer's reason, its error report and free "
                "memory."),
            .plan = DownloadPlan },
        Operation { .name = QStringLiteral("directory-label"),
                    .options = QStringList { QStringLiteral("device") },
                    .summary = QStringLiteral("print a label listing a memory device's files"),
                    .description = QStringLiteral(
                        "Sends what \"File (s)\" sends for --device (E: unless given)."),
                    .plan =
                        [](const CommandLine &line) {
                            return Fixed(DirectoryLabelCommand(DevicePosition(line)));
                        } },
        Operation { .name = QStringLiteral("format"),
                    .operands = QStringLiteral("dram|flash"),
                    .operandCount = 1,
                    .summary = QStringLiteral("delete every file in DRAM or FLASH memory"),
                    .description = QStringLiteral(
                        "Sends what \"Format\" sends for the chosen memory. Nothing asks first."),
                    .plan = FormatPlan },
        Operation {
            .name = QStringLiteral("set-ip"),
            .operands = QStringLiteral("A.B.C.D"),
            .operandCount = 1,
            .summary = QStringLiteral("give one printer a new IP address"),
            .description = QStringLiteral(
                "Sends what \"Set New IP Address\" sends. The first number must lie in 1 to "
                "223 and the last in 2 to 254, as in the window. Takes exactly one target: "
                "two printers with one address would both be lost."),
            .plan = SetIpPlan },
        Operation {
            .name = QStringLiteral("set-ethernet-id"),
            .options = QStringList { QStringLiteral("seed") },
            .summary = QStringLiteral("give each printer a new random Ethernet ID"),
            .description = QStringLiteral(
                "Sends what \"Set New Ethernet ID\" sends: 0, 75, 86 and three random values. "
                "Each target gets an ID of its own, which the report shows. --seed N makes "
                "the draws repeatable; without it they are seeded from the time of day, as in "
                "the window."),
            .plan = SetEthernetIdPlan },
        Operation {
            .name = QStringLiteral("send"),
            .operands = QStringLiteral("FILE"),
            .operandCount = 1,
            .summary = QStringLiteral("send a file unchanged"),
            .description = QStringLiteral(
                "Sends what the Command Tool's \"Send File\" sends: the file, byte for byte."),
            .plan = SendFilePlan },
        Operation {
            .name = QStringLiteral("text"),
            .operands = QStringLiteral("STRING"),
            .operandCount = 1,
            .summary = QStringLiteral("send command text"),
            .description = QStringLiteral(
                "Sends what the Command Tool's \"Send Text\" sends with STRING on its page: "
                "the text in UTF-8, its line breaks as CR LF, and CR LF at the end."),
            .plan = TextPlan },
        Operation {
            .name = QStringLiteral("status"),
            .options = QStringList { QStringLiteral("format"), QStringLiteral("output") },
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read the printer's status byte"),
            .description = QStringLiteral(
                "Asks as \"Get Status\" does and names the conditions: Ready, or Head Open, "
                "Paper Jam, Out of Paper, Out of Ribbon, Pause, Printing, Cover Open, Other "
                "Error; Connect Error when nothing comes back. Printing is what the printer "
                "does, not a condition. Exits with 0 when no printer is in a condition, 3 "
                "when every printer answered but some are in one; with --json \"conditions\", "
                "\"warnings\" and \"modes\" name them as host-status does. "
                "--format prometheus writes the conditions as metrics instead, to standard "
                "output or, with --output, into a file that is replaced whole."),
            .plan = StatusPlan },
        Operation {
            .name = QStringLiteral("files"),
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("read the list of stored files"),
            .description = QStringLiteral(
                "Asks as \"Get File(s) Information\" does and prints the list as the window "
                "lays it out."),
            .plan = FilesPlan },
        Operation { .name = QStringLiteral("free-memory"),
                    .kind = Operation::Kind::ReadBack,
                    .summary = QStringLiteral("read the free DRAM and FLASH"),
                    .description
                    = QStringLiteral("Asks as \"Free Memory\" does and prints both figures in KB."),
                    .plan = FreeMemoryPlan },
        Operation {
            .name = QStringLiteral("render"),
            .operands = QStringLiteral("FILE"),
            .operandCount = 1,
            .options = QStringList { QStringLiteral("output"), QStringLiteral("dpi"),
                                     QStringLiteral("width"), QStringLiteral("length") },
            .kind = Operation::Kind::Local,
            .summary = QStringLiteral("draw the labels a command file prints"),
            .description = QStringLiteral(
                "Draws every label the printer commands in FILE print, as the window's Label "
                "Preview does, at 203 or 300 dpi (203 unless given): the first into OUT.png, "
                "the next into OUT-2.png, OUT-3.png and so on (.png is added to a name without "
                "it). Every label is drawn, however many and however long they take. What the "
                "preview cannot draw, and every field whose ink falls outside the label, is "
                "named on the error output with its line and column; a label incomplete that "
                "way exits with 1. No printer is needed. "
                "--width and --length give the media the printer holds (a fresh virtual "
                "printer's, 104 x 152 mm, when not given): the page is as wide as the media "
                "until ^PW says otherwise, and as long as the media on gap and mark media.") },
        Operation {
            .name = QStringLiteral("profile"),
            .options = QStringList { QStringLiteral("example") },
            .kind = Operation::Kind::Local,
            .summary = QStringLiteral("print a commented example profile"),
            .description = QStringLiteral(
                "With --example, prints a profile holding the window's start values, each key "
                "explained. Keys left out of a profile keep these values.") },
        Operation { .name = QStringLiteral("help"),
                    .operands = QStringLiteral("[OPERATION]"),
                    .operandCount = 1,
                    .kind = Operation::Kind::Local,
                    .summary = QStringLiteral("show this help, or an operation's"),
                    .description = QStringLiteral("The same as --help.") },
    };
}

} // namespace

const std::vector<Operation> &Operations()
{
    static const std::vector<Operation> ops = [] {
        std::vector<Operation> all = MakeOperations();
        // After the serial read-backs, before the local operations.
        std::vector<Operation> host = HostOperations();
        // Then the settings operations that build on them.
        const std::vector<Operation> settings = SettingsOperations();
        host.insert(host.end(), settings.begin(), settings.end());
        const auto at = std::find_if(all.begin(), all.end(), [](const Operation &o) {
            return o.name == QLatin1String("render");
        });
        all.insert(at, host.begin(), host.end());
        const auto render = std::find_if(all.begin(), all.end(), [](const Operation &o) {
            return o.name == QLatin1String("render");
        });
        all.insert(render, GraphicOperation());
        return all;
    }();
    return ops;
}

const Operation *FindOperation(const QString &name)
{
    for (const Operation &op : Operations())
        if (op.name == name)
            return &op;
    return nullptr;
}

namespace {

const std::vector<OptionInfo> &GlobalOptions()
{
    static const std::vector<OptionInfo> options = {
        { QStringLiteral("to"), QChar(), QStringLiteral("URI"),
          QStringLiteral("a printer to serve; may be given many times") },
        { QStringLiteral("targets"), QChar(), QStringLiteral("FILE"),
          QStringLiteral("printer URIs or addresses from FILE, one a line") },
        { QStringLiteral("jobs"), QLatin1Char('j'), QStringLiteral("N"),
          QStringLiteral("serve at most N printers at once (16)") },
        { QStringLiteral("timeout"), QChar(), QStringLiteral("SECONDS"),
          QStringLiteral("end the whole operation after SECONDS (60)") },
        { QStringLiteral("json"), QChar(), QString(),
          QStringLiteral("one JSON object per line instead of text") },
        { QStringLiteral("quiet"), QLatin1Char('q'), QString(),
          QStringLiteral("only printers that are not fine as they were") },
        { QStringLiteral("verbose"), QLatin1Char('v'), QString(),
          QStringLiteral("hex dump of what is sent, on stderr") },
        { QStringLiteral("dry-run"), QLatin1Char('n'), QString(),
          QStringLiteral("write the bytes out instead of sending") },
        { QStringLiteral("help"), QLatin1Char('h'), QString(), QStringLiteral("show this help") },
        { QStringLiteral("version"), QChar(), QString(), QStringLiteral("show the version") },
    };
    return options;
}

const std::vector<OptionInfo> &OperationOptions()
{
    static const std::vector<OptionInfo> options = {
        { QStringLiteral("copies"), QChar(), QStringLiteral("N"),
          QStringLiteral("number of labels (1)") },
        { QStringLiteral("frame"), QChar(), QString(),
          QStringLiteral("draw a frame around the label") },
        { QStringLiteral("device"), QChar(), QStringLiteral("R:|E:|B:|A:|Z:"),
          QStringLiteral("memory device (E:)") },
        { QStringLiteral("type"), QChar(), QStringLiteral("font|bin|data"),
          QStringLiteral("how to send the file (from its name)") },
        { QStringLiteral("seed"), QChar(), QStringLiteral("N"),
          QStringLiteral("seed of the random draws, for repeatable IDs") },
        { QStringLiteral("example"), QChar(), QString(),
          QStringLiteral("print a commented example profile") },
        { QStringLiteral("output"), QLatin1Char('o'), QStringLiteral("FILE"),
          QStringLiteral("render: the first label's picture (OUT.png); status: the metrics; "
                         "graphic: the commands") },
        { QStringLiteral("check"), QChar(), QString(),
          QStringLiteral("send nothing; say what would change") },
        { QStringLiteral("format"), QChar(), QStringLiteral("text|prometheus"),
          QStringLiteral("how to write the report (text)") },
        { QStringLiteral("dpi"), QChar(), QStringLiteral("203|300"),
          QStringLiteral("the printer's resolution (203)") },
        { QStringLiteral("length"), QChar(), QStringLiteral("LENGTH"),
          QStringLiteral("render: the media's label length, in dots or with a unit") },
    };
    static const std::vector<OptionInfo> all = [] {
        std::vector<OptionInfo> more = options;
        const std::vector<OptionInfo> host = HostOperationOptions();
        more.insert(more.end(), host.begin(), host.end());
        const std::vector<OptionInfo> graphic = GraphicOptions();
        more.insert(more.end(), graphic.begin(), graphic.end());
        return more;
    }();
    return all;
}

} // namespace

const std::vector<OptionInfo> &AllOptions()
{
    static const std::vector<OptionInfo> options = [] {
        std::vector<OptionInfo> all = GlobalOptions();
        all.insert(all.end(), OperationOptions().begin(), OperationOptions().end());
        return all;
    }();
    return options;
}

const OptionInfo *FindOption(const QString &name)
{
    for (const OptionInfo &o : AllOptions())
        if (o.name == name)
            return &o;
    return nullptr;
}

bool IsGlobalOption(const QString &name)
{
    return std::any_of(GlobalOptions().begin(), GlobalOptions().end(),
                       [&](const OptionInfo &o) { return o.name == name; });
}
