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
    quint8 bits = status::StatusByteOf(conditions_);
    if (output_.Printing())
        bits |= status::Printing;
    if (StoreError())
        bits |= status::OtherError;
    return bits;
}

quint32 VirtualPrinter::ShownConditions() const
{
    return conditions_ | (output_.Printing() ? status::Printing : 0)
        | (StoreError() ? status::OtherError : 0);
}

bool VirtualPrinter::StopsPrinting() const
{
    const quint32 ribbon = settings_.mediaType == 'T' ? status::RibbonOut : 0;
    return conditions_ & ((status::All & ~status::Printing & ~status::RibbonOut) | ribbon);
}

void VirtualPrinter::SetConditions(quint32 bits)
{
    conditions_ = bits & status::All;
    ReleaseHeld();
}

qint64 VirtualPrinter::LabelsHeld() const
{
    qint64 labels = 0;
    for (const PrintJob &job : held_)
        labels += job.quantity.labels;
    return labels;
}

qint64 VirtualPrinter::CancelAll()
{
    const qint64 held = LabelsHeld();
    held_.clear();
    heldBytes_ = 0;
    return held + output_.CancelAll();
}

void VirtualPrinter::Dispatch(PrintJob job)
{
    if (!StopsPrinting() && held_.empty()) {
        output_.Print(job);
        return;
    }
    if (held_.empty())
        log_.Info(QStringLiteral("%1: formats wait in the buffer until the printer may print")
                      .arg(status::DescribeConditions(conditions_)));
    heldBytes_ += job.format.size();
    held_.push_back(std::move(job));
}

void VirtualPrinter::ReleaseHeld()
{
    if (StopsPrinting() || held_.empty())
        return;
    log_.Info(QStringLiteral("resumed: %1 held format%2 printing")
                  .arg(held_.size())
                  .arg(held_.size() == 1 ? "" : "s"));
    while (!held_.empty()) {
        output_.Print(held_.front());
        held_.pop_front();
    }
    heldBytes_ = 0;
}

void VirtualPrinter::PowerCycle()
{
    const qint64 dropped = CancelAll();
    FlushDump();
    dumpMode_ = false;
    memory_.Clear(QLatin1Char('R'));
    render_.reset();
    memoryFull_ = false;
    settings_ = stored_;
    units_ = LengthUnits();
    prefixes_ = CommandPrefixes();
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
                 .arg(status::DescribeConditions(ShownConditions()),
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

void VirtualPrinter::Format(const QByteArray &format, CommandPrefixes prefixes, const Reply &reply)
{
    FormatRun run(format);
    ActOn(run, prefixes);
    if (run.askedForConfiguration) {
        log_.Info(QStringLiteral("^HH: configuration answered"));
        reply(ConfigurationReply(*this));
    }
}

void VirtualPrinter::ActOn(FormatRun &run, CommandPrefixes prefixes)
{
    const QByteArray &format = run.format;
    const FormatStart start { settings_, units_, prefixes.format, prefixes.control };
    FormatFacts facts;
    ReadFormatCommands(
        format, prefixes, [&](const LabelCommand &c, const CommandEntry &entry, char delimiter) {
            const QByteArrayView params = WrittenParams(format, c);
            facts.Note(entry, params, delimiter);
            if (const PrinterAction *action = FindPrinterAction(entry))
                (this->*action->act)(
                    PrinterCommand { entry, *action, params, c.offset, c.end, delimiter, &run });
        });
    if (run.storeAs) {
        StoreFormat(run);
        return;
    }
    // Only a recalled format changes what prints.
    if (run.recalled)
        facts = ReadFormatFacts(run.printable, prefixes);
    if (!facts.printsLabel) {
        log_.Info(QStringLiteral("format (%1 bytes)%2%3")
                      .arg(format.size())
                      .arg(run.done.isEmpty() ? QString() : QStringLiteral(": "))
                      .arg(run.done.join(QStringLiteral(", "))));
        return;
    }
    PrintJob job;
    job.format = run.printable;
    job.settings = settings_;
    job.start = start;
    job.render = RenderSnapshot();
    job.dotsPerMm = config_.dotsPerMm;
    job.quantity = facts.quantity;
    if (!facts.quantityError.isEmpty()) {
        log_.Error(QStringLiteral("%1; the format (%2 bytes) prints nothing")
                       .arg(facts.quantityError)
                       .arg(format.size()));
        return;
    }
    if (log_.WantsInfo()) {
        run.done << QStringLiteral("%1 label%2")
                        .arg(job.quantity.labels)
                        .arg(job.quantity.labels == 1 ? "" : "s");
        log_.Info(QStringLiteral("format (%1 bytes): %2")
                      .arg(format.size())
                      .arg(run.done.join(QStringLiteral(", "))));
    }
    Dispatch(std::move(job));
}

void VirtualPrinter::PrintGenerated(PrintJob::Kind kind, const QByteArray &format, int lengthDots)
{
    PrintJob job;
    job.kind = kind;
    job.format = format;
    job.settings = settings_;
    job.render = RenderSnapshot();
    // As long as its text, whatever the media.
    job.settings.lengthDots = std::max(settings_.Page().height(), lengthDots);
    job.settings.lengthForced = true;
    job.settings.homeX = job.settings.homeY = 0;
    job.start.kept = job.settings;
    job.dotsPerMm = config_.dotsPerMm;
    Dispatch(std::move(job));
}

void VirtualPrinter::Tilde(const QByteArray &name, const QByteArray &params, const Reply &reply)
{
    const CommandEntry *entry = FindCommand(LabelCommand::Kind::Control, name);
    const PrinterAction *action = entry ? FindPrinterAction(*entry) : nullptr;
    if (!action) {
        log_.Error(QStringLiteral("~%1%2 is not known; ignored")
                       .arg(QString::fromLatin1(name), ShownBytes(params)));
        return;
    }
    (this->*action->act)(
        PrinterCommand { *entry, *action, params, 0, params.size(), ',', nullptr, &reply });
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
    // As long as the preview waits: a format that takes longer is drawn as
    // far as it got, and the log says so.
    options->timeLimitMs = 1000;
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
{
    // A prefix changed on one connection holds on the next.
    stream_.SharePrefixes(printer.prefixes_);
}

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
