#include "printer/virtualprinter.h"

#include "printer/hostreplies.h"

#include "preview/graphicdata.h"
#include "printer/generatedlabels.h"

#include <QRegularExpression>

#include <utility>

namespace {

QString OctetsText(const std::array<quint8, 4> &o)
{
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

// What a settings command set, in words.
QString Change(const CaretCommand &c, const PrinterSettings &s)
{
    if (c.Is("PR"))
        return QStringLiteral("speed %1").arg(s.speed);
    if (c.Is("PW"))
        return QStringLiteral("width %1").arg(s.widthDots);
    if (c.Is("LL"))
        return QStringLiteral("length %1").arg(s.lengthDots);
    if (c.Is("MN"))
        return QStringLiteral("media sensing %1").arg(QLatin1Char(s.mediaSensing));
    if (c.Is("MM"))
        return QStringLiteral("post-print %1%2")
            .arg(QLatin1Char(s.postPrint))
            .arg(s.prePeel ? QStringLiteral(" (pre-peel)") : QString());
    if (c.Is("MT"))
        return QStringLiteral("media type %1").arg(QLatin1Char(s.mediaType));
    if (c.Is("PO"))
        return QStringLiteral("orientation %1").arg(QLatin1Char(s.orientation));
    if (c.Is("LT"))
        return QStringLiteral("top %1").arg(s.top);
    if (c.Is("LS"))
        return QStringLiteral("shift %1").arg(s.shift);
    return QStringLiteral("home %1,%2").arg(s.homeX).arg(s.homeY);
}

// "E:NAME.EXT" (device R: when none) with * and ? allowed in the name.
bool ParseObjectPattern(const QByteArray &text, QChar &device, QString &pattern)
{
    QString t = QString::fromLatin1(text.trimmed());
    device = QLatin1Char('R');
    if (t.size() >= 2 && t.at(1) == QLatin1Char(':')) {
        device = t.at(0).toUpper();
        t = t.mid(2);
    }
    pattern = t.isEmpty() ? QStringLiteral("*") : t;
    return PrinterMemory::IsDevice(device);
}

} // namespace

VirtualPrinter::VirtualPrinter(const PrinterConfig &config, PrinterLog &log, LabelOutput &output)
    : config_(config)
    , log_(log)
    , output_(output)
    , settings_(PrinterSettings::Factory(config.dotsPerMm))
    , stored_(settings_)
    , conditions_(config.conditions)
{
    if (!config.stateDir.isEmpty())
        stateFile_.emplace(config.stateDir);
    memory_.SetCapacityKb(QLatin1Char('R'), config.dramKb);
    memory_.SetCapacityKb(QLatin1Char('E'), config.flashKb);
}

VirtualPrinter::~VirtualPrinter() = default;

bool VirtualPrinter::LoadState(QString *error)
{
    if (!stateFile_)
        return true;
    if (!stateFile_->Load(stored_, identity_, memory_, error))
        return false;
    settings_ = stored_;
    render_.reset();
    return true;
}

std::unique_ptr<PrinterSession> VirtualPrinter::OpenSession(Reply reply)
{
    return std::make_unique<PrinterSession>(*this, std::move(reply));
}

quint8 VirtualPrinter::StatusByte() const
{
    quint8 bits = conditions_;
    if (output_.Printing())
        bits |= status::Printing;
    if (memoryFull_ || storeFailed_)
        bits |= status::OtherError;
    return bits;
}

void VirtualPrinter::PowerCycle()
{
    const qint64 dropped = output_.CancelAll();
    FlushDump();
    dumpMode_ = false;
    memory_.Clear(QLatin1Char('R'));
    render_.reset();
    memoryFull_ = false;
    settings_ = stored_;
    log_.Info(
        QStringLiteral("reset: stored settings back, DRAM emptied%1")
            .arg(dropped > 0 ? QStringLiteral(", %1 labels not printed").arg(dropped) : QString()));
}

QString VirtualPrinter::Describe() const
{
    QStringList lines;
    lines << QStringLiteral("identity: IP address %1, Ethernet ID %2")
                 .arg(identity_.IpText(), identity_.EthernetIdText());
    lines << QStringLiteral("settings: %1").arg(settings_.Describe());
    lines << QStringLiteral("stored settings: %1")
                 .arg(stored_ == settings_ ? QStringLiteral("the same") : stored_.Describe());
    for (QChar device : PrinterMemory::DeviceLetters()) {
        const QStringList names = memory_.Names(device);
        lines << QStringLiteral("%1: %2 KB free of %3 KB; %4")
                     .arg(device)
                     .arg(memory_.FreeKb(device))
                     .arg(memory_.CapacityBytes(device) / 1024)
                     .arg(names.isEmpty() ? QStringLiteral("no files")
                                          : names.join(QLatin1Char(' ')));
    }
    lines << QStringLiteral("status: %1%2")
                 .arg(status::DescribeConditions(StatusByte()),
                      dumpMode_ ? QStringLiteral(" (dump mode)") : QString());
    return lines.join(QLatin1Char('\n'));
}

QByteArray VirtualPrinter::FileListReply() const
{
    QByteArray reply = "DRAM FILES: ";
    for (const StoredFile &f : memory_.Files(QLatin1Char('R')))
        reply += f.name.toLatin1() + ' ';
    reply += "FLASH FILES: ";
    QByteArrayList flash;
    for (const StoredFile &f : memory_.Files(QLatin1Char('E')))
        flash << f.name.toLatin1();
    return reply + flash.join(' ') + '\r';
}

QByteArray VirtualPrinter::FreeMemoryReply() const
{
    return "DRAM FREE BYTE(KB): " + QByteArray::number(memory_.FreeKb(QLatin1Char('R')))
        + "FLASH FREE BYTE(KB): " + QByteArray::number(memory_.FreeKb(QLatin1Char('E'))) + "\r\n";
}

void VirtualPrinter::Format(const QByteArray &format, CommandPrefixes prefixes)
{
    const std::vector<CaretCommand> commands
        = SplitFormat(format, prefixes.format, prefixes.control);
    QStringList done;
    QString error;
    std::optional<QString> storeAs;
    QByteArray printable = format;
    bool recalled = false;
    for (const CaretCommand &c : commands) {
        error.clear();
        if (ApplySettingsCommand(c, settings_, &error)) {
            if (error.isEmpty())
                done << Change(c, settings_);
            else
                log_.Error(error);
        } else if (c.Is("JU")) {
            const QByteArray what = c.params.trimmed().toByteArray().toUpper();
            if (what == "S") {
                const PrinterSettings before = std::exchange(stored_, settings_);
                if (SaveState(QStringLiteral("settings")))
                    done << QStringLiteral("settings stored");
                else
                    stored_ = before;
            } else if (what == "F") {
                settings_ = PrinterSettings::Factory(config_.dotsPerMm);
                done << QStringLiteral("factory settings back");
            } else if (what == "R") {
                settings_ = stored_;
                done << QStringLiteral("stored settings back");
            } else {
                log_.Error(QStringLiteral("^JU%1 is not known; ignored").arg(ShownBytes(c.params)));
            }
        } else if (c.Is("WD")) {
            PrintDirectory(c, done);
        } else if (c.Is("ID")) {
            QChar device;
            QString pattern;
            if (ParseObjectPattern(c.params.toByteArray(), device, pattern))
                Delete(device, pattern, QStringLiteral("^ID%1").arg(ShownBytes(c.params)));
            else
                log_.Error(
                    QStringLiteral("^ID%1: unknown memory device").arg(ShownBytes(c.params)));
        } else if (c.Is("DF")) {
            storeAs = QString::fromLatin1(c.params.trimmed());
        } else if (c.Is("XF")) {
            QChar device;
            QString name;
            const StoredFile *stored = ParseObjectPattern(c.params.toByteArray(), device, name)
                ? memory_.Find(device, name)
                : nullptr;
            if (!stored) {
                log_.Error(
                    QStringLiteral("^XF%1: no such stored format").arg(ShownBytes(c.params)));
                continue;
            }
            // The stored format's fields stand where ^XF stood.
            QByteArray body = stored->data;
            const qsizetype offset = printable.size() - format.size() + c.offset;
            printable.replace(offset, c.length, body);
            recalled = true;
        }
    }

    if (storeAs) {
        StoreFormat(format, *storeAs);
        return;
    }

    // Only a recalled format changes what prints.
    const std::vector<CaretCommand> printed
        = recalled ? SplitFormat(printable, prefixes.format, prefixes.control) : commands;
    if (!PrintsLabel(printed)) {
        log_.Info(QStringLiteral("format (%1 bytes)%2%3")
                      .arg(format.size())
                      .arg(done.isEmpty() ? QString() : QStringLiteral(": "))
                      .arg(done.join(QStringLiteral(", "))));
        return;
    }
    error.clear();
    PrintJob job;
    job.format = printable;
    job.settings = settings_;
    job.prefixes = prefixes;
    job.render = RenderSnapshot();
    job.dotsPerMm = config_.dotsPerMm;
    job.quantity = ParseQuantity(printed, &error);
    if (!error.isEmpty()) {
        log_.Error(QStringLiteral("%1; the format (%2 bytes) prints nothing")
                       .arg(error)
                       .arg(format.size()));
        return;
    }
    if (log_.WantsInfo()) {
        done << QStringLiteral("%1 label%2")
                    .arg(job.quantity.labels)
                    .arg(job.quantity.labels == 1 ? "" : "s");
        log_.Info(QStringLiteral("format (%1 bytes): %2")
                      .arg(format.size())
                      .arg(done.join(QStringLiteral(", "))));
    }
    output_.Print(job);
}

void VirtualPrinter::PrintDirectory(const CaretCommand &c, QStringList &done)
{
    QChar device;
    QString pattern;
    QByteArray params = c.params.trimmed().toByteArray();
    if (params.isEmpty())
        params = "R:*.*";
    if (!ParseObjectPattern(params, device, pattern)) {
        log_.Error(QStringLiteral("^WD%1: unknown memory device").arg(ShownBytes(c.params)));
        return;
    }
    QStringList lines { QStringLiteral("Directory %1:%2").arg(device, pattern) };
    const QStringList names = memory_.Names(device, pattern);
    for (const QString &name : names)
        lines << QStringLiteral("%1  %2 bytes")
                     .arg(name)
                     .arg(memory_.Find(device, name)->data.size());
    lines << QStringLiteral("%1 files, %2 KB free of %3 KB")
                 .arg(names.size())
                 .arg(memory_.FreeKb(device))
                 .arg(memory_.CapacityBytes(device) / 1024);
    int length = 0;
    const QByteArray label = TextLinesFormat(lines, config_.dotsPerMm, &length);
    done << QStringLiteral("directory label of %1:%2").arg(device, pattern);
    PrintGenerated(PrintJob::Kind::Directory, label, length);
}

void VirtualPrinter::StoreFormat(const QByteArray &format, const QString &storeAs)
{
    QChar device;
    QString name;
    if (!ParseObjectPattern(storeAs.toLatin1(), device, name) || name.contains(QLatin1Char('*'))
        || name.contains(QLatin1Char('?'))) {
        log_.Error(QStringLiteral("^DF%1: not a name to store a format under").arg(storeAs));
        return;
    }
    if (!name.contains(QLatin1Char('.')))
        name += QStringLiteral(".ZPL");
    // Kept without ^DF and the outer ^XA and ^XZ: a recalling format
    // supplies its own.
    static const QRegularExpression dfCommand(QStringLiteral("\\^DF[^\\^]*"),
                                              QRegularExpression::CaseInsensitiveOption);
    QByteArray body = QString::fromLatin1(format).remove(dfCommand).toLatin1();
    if (body.toUpper().startsWith("^XA"))
        body.remove(0, 3);
    const qsizetype end = body.toUpper().lastIndexOf("^XZ");
    if (end >= 0)
        body.truncate(end);
    Store(device, StoredFile { name, body, 0 }, QStringLiteral("format"));
}

void VirtualPrinter::PrintGenerated(PrintJob::Kind kind, const QByteArray &format, int lengthDots)
{
    PrintJob job;
    job.kind = kind;
    job.format = format;
    job.settings = settings_;
    job.render = RenderSnapshot();
    job.settings.lengthDots = std::max(settings_.lengthDots, lengthDots);
    job.settings.homeX = job.settings.homeY = 0;
    job.dotsPerMm = config_.dotsPerMm;
    output_.Print(job);
}

void VirtualPrinter::Tilde(const QByteArray &name, const QByteArray &params, const Reply &reply)
{
    if (name == "SD") {
        QString error;
        if (ApplyDarkness(params, settings_, &error))
            log_.Info(QStringLiteral("~SD: darkness %1").arg(settings_.darkness));
        else
            log_.Error(error);
    } else if (name == "WC") {
        log_.Info(QStringLiteral("~WC: configuration label"));
        QStringList lines { QStringLiteral("PRINTER CONFIGURATION"),
                            QStringLiteral("IP address %1").arg(identity_.IpText()),
                            QStringLiteral("Ethernet ID %1").arg(identity_.EthernetIdText()),
                            QStringLiteral("Resolution %1 dots/mm").arg(config_.dotsPerMm) };
        for (const QString &part : settings_.Describe().split(QStringLiteral(", ")))
            lines << part.left(1).toUpper() + part.mid(1);
        for (QChar device : PrinterMemory::DeviceLetters())
            lines << QStringLiteral("%1 %2 KB free of %3 KB")
                         .arg(PrinterMemory::DeviceName(device))
                         .arg(memory_.FreeKb(device))
                         .arg(memory_.CapacityBytes(device) / 1024);
        lines << QStringLiteral("Settings %1")
                     .arg(stored_ == settings_ ? QStringLiteral("stored")
                                               : QStringLiteral("not stored"));
        lines << QStringLiteral("Status %1").arg(status::DescribeConditions(StatusByte()));
        int length = 0;
        const QByteArray label = TextLinesFormat(lines, config_.dotsPerMm, &length);
        PrintGenerated(PrintJob::Kind::Configuration, label, length);
    } else if (name == "JD") {
        dumpMode_ = true;
        log_.Info(
            QStringLiteral("~JD: dump mode on; what follows is shown, not acted on, until ~JE"));
    } else if (name == "JE") {
        FlushDump();
        dumpMode_ = false;
        log_.Info(QStringLiteral("~JE: dump mode off"));
    } else if (name == "JA") {
        log_.Info(QStringLiteral("~JA: %1 labels not printed").arg(output_.CancelAll()));
    } else if (name == "JR") {
        PowerCycle();
    } else if (name == "HS" || name == "HI") {
        const QByteArray answer
            = name == "HS" ? HostStatusReply(*this) : IdentificationReply(*this);
        log_.Info(QStringLiteral("~%1: answered").arg(QString::fromLatin1(name)));
        reply(answer);
    } else if (name == "!F") {
        const QByteArray answer = FileListReply();
        log_.Info(QStringLiteral("~!F: file list: %1").arg(QString::fromLatin1(answer).trimmed()));
        reply(answer);
    } else if (name == "!A") {
        const QByteArray answer = FreeMemoryReply();
        log_.Info(QStringLiteral("~!A: free memory: DRAM %1 KB, FLASH %2 KB")
                      .arg(memory_.FreeKb(QLatin1Char('R')))
                      .arg(memory_.FreeKb(QLatin1Char('E'))));
        reply(answer);
    } else {
        log_.Error(QStringLiteral("~%1%2 is not known; ignored")
                       .arg(QString::fromLatin1(name), ShownBytes(params)));
    }
}

void VirtualPrinter::AnswerFormat(const QByteArray &format, CommandPrefixes prefixes,
                                  const Reply &reply)
{
    if (AsksForConfiguration(format, prefixes.format, prefixes.control)) {
        log_.Info(QStringLiteral("^HH: configuration answered"));
        reply(ConfigurationReply(*this));
    }
}

bool VirtualPrinter::DownloadStart(const DownloadHeader &h)
{
    if (!NameAllowed(h.name, h.Describe()))
        return false;
    if (memory_.HasRoomFor(h.device, h.name, h.size))
        return true;
    memoryFull_ = true;
    log_.Error(QStringLiteral("%1 (%2 bytes): memory full, %3 KB free on %4; not stored")
                   .arg(h.Describe())
                   .arg(h.size)
                   .arg(memory_.FreeKb(h.device))
                   .arg(PrinterMemory::DeviceName(h.device)));
    return false;
}

void VirtualPrinter::DownloadEnd(const DownloadHeader &h, QByteArray data)
{
    Store(h.device, StoredFile { h.name, data, h.rowBytes },
          h.hex ? QStringLiteral("%1, hexadecimal").arg(h.Describe())
                : QStringLiteral("%1, binary").arg(h.Describe()));
}

bool VirtualPrinter::Store(QChar device, const StoredFile &file, const QString &how)
{
    if (!NameAllowed(file.name, QStringLiteral("%1:%2").arg(device).arg(file.name)))
        return false;
    const StoredFile *old = memory_.Find(device, file.name);
    const std::optional<StoredFile> previous = old ? std::optional(*old) : std::nullopt;
    bool replaced = false;
    if (!memory_.Store(device, file, &replaced)) {
        memoryFull_ = true;
        log_.Error(QStringLiteral("%1:%2 (%3 bytes): memory full, %4 KB free on %5; not stored")
                       .arg(device)
                       .arg(file.name)
                       .arg(file.data.size())
                       .arg(memory_.FreeKb(device))
                       .arg(PrinterMemory::DeviceName(device)));
        return false;
    }
    if (PrinterMemory::KeepsFilesAtPowerOff(device)
        && !SaveState(
            QStringLiteral("%1:%2 (%3 bytes)").arg(device).arg(file.name).arg(file.data.size()))) {
        // What could not be kept is not stored at all: memory and disk agree.
        memory_.Delete(device, file.name);
        if (previous)
            memory_.Store(device, *previous);
        return false;
    }
    render_.reset();
    log_.Info(QStringLiteral("%1:%2 %3: %4 bytes (%5); %6 KB free on %7")
                  .arg(device)
                  .arg(file.name, replaced ? QStringLiteral("replaced") : QStringLiteral("stored"))
                  .arg(file.data.size())
                  .arg(how)
                  .arg(memory_.FreeKb(device))
                  .arg(PrinterMemory::DeviceName(device)));
    return true;
}

bool VirtualPrinter::NameAllowed(const QString &name, const QString &what)
{
    QString why;
    if (PrinterMemory::CheckName(name, &why))
        return true;
    storeFailed_ = true;
    log_.Error(QStringLiteral("%1: not stored: %2").arg(what, why));
    return false;
}

std::shared_ptr<const RenderOptions> VirtualPrinter::RenderSnapshot()
{
    if (render_)
        return render_;
    auto options = std::make_shared<RenderOptions>();
    options->dotsPerMm = config_.dotsPerMm;
    options->maxLabels = 1;
    for (QChar device : PrinterMemory::DeviceLetters()) {
        for (const StoredFile &f : memory_.Files(device)) {
            const QString name = QString(device) + QLatin1Char(':') + f.name;
            if (f.rowBytes > 0) {
                QString problem;
                const QImage picture = DecodeGraphic(
                    GraphicData { 'B', f.data.size(), f.rowBytes, f.data }, 32000, problem);
                if (!picture.isNull())
                    options->graphics.insert(name, picture);
            } else {
                // The renderer takes what is a font and leaves the rest.
                options->fonts.insert(name, f.data);
            }
        }
    }
    render_ = std::move(options);
    return render_;
}

void VirtualPrinter::Delete(QChar device, const QString &pattern, const QString &what)
{
    const PrinterMemory before = memory_;
    const QStringList gone = memory_.Delete(device, pattern);
    if (PrinterMemory::KeepsFilesAtPowerOff(device) && !gone.isEmpty() && !SaveState(what)) {
        memory_ = before;
        return;
    }
    render_.reset();
    if (!gone.isEmpty())
        memoryFull_ = false;
    log_.Info(QStringLiteral("%1: %2 file%3 deleted from %4%5")
                  .arg(what)
                  .arg(gone.size())
                  .arg(gone.size() == 1 ? "" : "s")
                  .arg(PrinterMemory::DeviceName(device))
                  .arg(gone.isEmpty() ? QString()
                                      : QStringLiteral(" (%1)").arg(gone.join(QLatin1Char(' ')))));
}

bool VirtualPrinter::SaveState(const QString &what)
{
    QString error;
    if (stateFile_ && !stateFile_->Save(stored_, identity_, memory_, &error)) {
        storeFailed_ = true;
        log_.Error(QStringLiteral("%1: not stored: %2").arg(what, error));
        return false;
    }
    storeFailed_ = false;
    return true;
}

void VirtualPrinter::StatusQuery(const Reply &reply)
{
    const quint8 bits = StatusByte();
    log_.Info(QStringLiteral("status query: %1 (%2)")
                  .arg(bits, 2, 16, QLatin1Char('0'))
                  .arg(status::DescribeConditions(bits)));
    reply(QByteArray(1, char(bits)));
}

void VirtualPrinter::NewAddress(const std::array<quint8, 4> &octets)
{
    const PrinterIdentity before = identity_;
    identity_.ipAddress = octets;
    if (!SaveState(QStringLiteral("the IP address %1").arg(OctetsText(octets)))) {
        identity_ = before;
        return;
    }
    log_.Info(QStringLiteral("new IP address: %1 -> %2").arg(before.IpText(), OctetsText(octets)));
}

void VirtualPrinter::NewEthernetId(const std::array<quint8, 6> &id)
{
    const PrinterIdentity before = identity_;
    identity_.ethernetId = id;
    if (!SaveState(QStringLiteral("the Ethernet ID %1").arg(identity_.EthernetIdText()))) {
        identity_ = before;
        return;
    }
    log_.Info(QStringLiteral("new Ethernet ID: %1 -> %2")
                  .arg(before.EthernetIdText(), identity_.EthernetIdText()));
}

void VirtualPrinter::Line(const QByteArray &line)
{
    const QByteArray text = line.trimmed();
    if (text.toUpper() == "CLS") {
        log_.Info(QStringLiteral("CLS: image buffer cleared"));
        return;
    }
    // KILL "pattern" deletes from the DRAM, KILL F,"pattern" from the FLASH.
    static const QRegularExpression kill(QStringLiteral("^KILL\\s*(F\\s*,)?\\s*\"([^\"]*)\"$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = kill.match(QString::fromLatin1(text));
    if (m.hasMatch()) {
        const QChar device = m.capturedLength(1) > 0 ? QLatin1Char('E') : QLatin1Char('R');
        Delete(device, m.captured(2).isEmpty() ? QStringLiteral("*") : m.captured(2),
               QString::fromLatin1(text));
        return;
    }
    log_.Error(QStringLiteral("\"%1\" is no command; ignored").arg(ShownBytes(text, 64)));
}

void VirtualPrinter::DumpBytes(QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qsizetype take = std::min(bytes.size(), DumpPageBytes - dump_.size());
        dump_ += bytes.first(take);
        bytes = bytes.sliced(take);
        if (dump_.size() == DumpPageBytes)
            FlushDump();
    }
}

void VirtualPrinter::FlushDump()
{
    if (dump_.isEmpty())
        return;
    output_.Dump(dump_);
    dump_.clear();
}

PrinterSession::PrinterSession(VirtualPrinter &printer, VirtualPrinter::Reply reply)
    : printer_(printer)
    , reply_(std::move(reply))
    , stream_(*this)
{ }

void PrinterSession::EndOfInput()
{
    stream_.EndOfInput();
    printer_.FlushDump();
}

void PrinterSession::OnReset()
{
    printer_.PowerCycle();
}

void PrinterSession::OnError(const QString &message)
{
    printer_.log_.Error(message);
}
