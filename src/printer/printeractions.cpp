#include "printer/printeractions.h"

#include "printer/generatedlabels.h"
#include "printer/hostreplies.h"
#include "printer/virtualprinter.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace {

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

const CommandEntry *QuantityEntry()
{
    static const CommandEntry *const entry = FindCommand(LabelCommand::Kind::Format, "PQ");
    return entry;
}

} // namespace

const PrinterAction *PrinterActions(qsizetype &count)
{
    using K = LabelCommand::Kind;
    using V = VirtualPrinter;
    constexpr K F = K::Format;
    constexpr K C = K::Control;
    // After the handler, true for a tilde command the printer acts on even
    // inside a format.
    static const PrinterAction actions[] = {
        // Settings the printer keeps, read by the table's rules
        { F, "PR", &V::KeepSetting, false, "speed" },
        { F, "PW", &V::KeepSetting, false, "width" },
        { F, "LL", &V::KeepSetting, false, "length", " (on any media)" },
        { F, "MN", &V::KeepSetting, false, "media sensing" },
        { F, "MM", &V::KeepSetting, false, "post-print", " (pre-peel)" },
        { F, "MT", &V::KeepSetting, false, "media type" },
        { F, "PO", &V::KeepSetting, false, "orientation" },
        { F, "LT", &V::KeepSetting, false, "top" },
        { F, "LS", &V::KeepSetting, false, "shift" },
        { F, "LH", &V::KeepSetting, false, "home" },
        { C, "SD", &V::KeepSetting, true, "darkness" },
        { F, "MU", &V::ChangeUnits },
        // Memory, stored settings and formats, answers
        { F, "JU", &V::StoreSettings },
        { F, "ID", &V::DeleteObjects },
        { F, "DF", &V::KeepFormat },
        { F, "XF", &V::RecallFormat },
        { F, "WD", &V::PrintDirectory },
        { F, "HH", &V::AskForConfiguration },
        { C, "WC", &V::PrintConfiguration, true },
        { C, "JD", &V::StartDump, true },
        { C, "JE", &V::EndDump, true },
        { C, "JA", &V::CancelLabels, true },
        { C, "JR", &V::ResetPrinter, true },
        { C, "HS", &V::AnswerHostStatus },
        { C, "HQ", &V::AnswerHostQuery },
        { C, "HI", &V::AnswerIdentification },
        { C, "!F", &V::AnswerFileList, true },
        { C, "!A", &V::AnswerFreeMemory, true },
    };
    count = qsizetype(std::size(actions));
    return actions;
}

const PrinterAction *FindPrinterAction(const CommandEntry &entry)
{
    // By the entry's place in the table; built once, read by any thread.
    static qsizetype entries = 0;
    static const CommandEntry *const table = CommandTable(entries);
    static const std::vector<const PrinterAction *> index = [] {
        std::vector<const PrinterAction *> byPlace(size_t(entries), nullptr);
        qsizetype count = 0;
        const PrinterAction *actions = PrinterActions(count);
        for (qsizetype i = 0; i < count; ++i) {
            if (const CommandEntry *e = FindCommand(actions[i].kind, actions[i].name))
                byPlace[size_t(e - table)] = &actions[i];
        }
        return byPlace;
    }();
    const qsizetype at = &entry - table;
    return at >= 0 && at < entries ? index[size_t(at)] : nullptr;
}

QString PrinterCommand::Written() const
{
    return QLatin1Char(entry.kind == LabelCommand::Kind::Format ? '^' : '~')
        + QString::fromLatin1(entry.name);
}

QByteArrayView WrittenParams(const QByteArray &format, const LabelCommand &command)
{
    return QByteArrayView(format).sliced(command.argsAt, command.end - command.argsAt);
}

void FormatFacts::Note(const CommandEntry &entry, QByteArrayView params, char delimiter)
{
    if (entry.role == CommandRole::Marks)
        printsLabel = true;
    if (&entry != QuantityEntry())
        return;
    const SettingValues read = ReadSetting(*entry.rule, params, delimiter);
    quantity = PrintQuantity();
    quantityError.clear();
    if (!read.refusal.isEmpty()) {
        quantityError = QStringLiteral("^PQ%1: %2").arg(ShownBytes(params), read.refusal);
        return;
    }
    quantity.labels = std::max(1, read.values[0].value_or(1));
    quantity.replicates = read.values[2].value_or(1);
}

FormatFacts ReadFormatFacts(const QByteArray &format, CommandPrefixes prefixes)
{
    FormatFacts facts;
    ReadFormatCommands(format, prefixes,
                       [&](const LabelCommand &c, const CommandEntry &entry, char delimiter) {
                           facts.Note(entry, WrittenParams(format, c), delimiter);
                       });
    return facts;
}

QString DescribeSetting(const PrinterAction &action, const SettingRule &rule,
                        const PrinterSettings &s)
{
    QString text = QString::fromLatin1(action.setting);
    QChar separator = QLatin1Char(' ');
    for (const SettingParam &param : rule.params) {
        if (param.number || param.letter) {
            text += separator;
            text += param.number ? QString::number(s.*param.number)
                                 : QString(QLatin1Char(s.*param.letter));
            separator = QLatin1Char(',');
        } else if (param.flag && s.*param.flag && action.flagText) {
            text += QLatin1String(action.flagText);
        }
    }
    return text;
}

void VirtualPrinter::KeepSetting(const PrinterCommand &c)
{
    const SettingValues read
        = ReadSetting(*c.entry.rule, c.params, c.delimiter, units_, config_.dotsPerMm);
    ApplySetting(*c.entry.rule, read, settings_);
    if (!read.refusal.isEmpty()) {
        log_.Error(QStringLiteral("%1%2: %3").arg(c.Written(), ShownBytes(c.params), read.refusal));
        return;
    }
    const QString change = DescribeSetting(c.action, *c.entry.rule, settings_);
    if (c.run)
        c.run->done << change;
    else
        log_.Info(QStringLiteral("%1: %2").arg(c.Written(), change));
}

void VirtualPrinter::ChangeUnits(const PrinterCommand &c)
{
    if (!ReadUnits(c.params, c.delimiter, units_))
        log_.Error(
            QStringLiteral("^MU%1: units are D, I or M; unchanged").arg(ShownBytes(c.params)));
}

void VirtualPrinter::StoreSettings(const PrinterCommand &c)
{
    const QByteArray what = c.params.trimmed().toByteArray().toUpper();
    if (what == "S") {
        const PrinterSettings before = std::exchange(stored_, settings_);
        if (SaveState(QStringLiteral("settings")))
            c.run->done << QStringLiteral("settings stored");
        else
            stored_ = before;
    } else if (what == "F") {
        settings_ = PrinterSettings::Factory(config_.dotsPerMm);
        c.run->done << QStringLiteral("factory settings back");
    } else if (what == "R") {
        settings_ = stored_;
        c.run->done << QStringLiteral("stored settings back");
    } else {
        log_.Error(QStringLiteral("^JU%1 is not known; ignored").arg(ShownBytes(c.params)));
    }
}

void VirtualPrinter::DeleteObjects(const PrinterCommand &c)
{
    QChar device;
    QString pattern;
    if (ParseObjectPattern(c.params.toByteArray(), device, pattern))
        Delete(device, pattern, QStringLiteral("^ID%1").arg(ShownBytes(c.params)));
    else
        log_.Error(QStringLiteral("^ID%1: unknown memory device").arg(ShownBytes(c.params)));
}

void VirtualPrinter::KeepFormat(const PrinterCommand &c)
{
    c.run->storeAs = QString::fromLatin1(c.params.trimmed());
    c.run->storeCommands.append({ c.offset, c.end });
}

void VirtualPrinter::RecallFormat(const PrinterCommand &c)
{
    QChar device;
    QString name;
    const StoredFile *stored = ParseObjectPattern(c.params.toByteArray(), device, name)
        ? memory_.Find(device, name)
        : nullptr;
    if (!stored) {
        log_.Error(QStringLiteral("^XF%1: no such stored format").arg(ShownBytes(c.params)));
        return;
    }
    // The stored format's fields stand where ^XF stood.
    FormatRun &run = *c.run;
    const qsizetype offset = run.printable.size() - run.format.size() + c.offset;
    run.printable.replace(offset, c.end - c.offset, stored->data);
    run.recalled = true;
}

void VirtualPrinter::StoreFormat(const FormatRun &run)
{
    QChar device;
    QString name;
    const QString &storeAs = *run.storeAs;
    if (!ParseObjectPattern(storeAs.toLatin1(), device, name) || name.contains(QLatin1Char('*'))
        || name.contains(QLatin1Char('?'))) {
        log_.Error(QStringLiteral("^DF%1: not a name to store a format under").arg(storeAs));
        return;
    }
    if (!name.contains(QLatin1Char('.')))
        name += QStringLiteral(".ZPL");
    // Kept without ^DF and the outer ^XA and ^XZ: a recalling format
    // supplies its own.
    QByteArray body;
    qsizetype from = 0;
    for (const auto &[start, end] : run.storeCommands) {
        body += QByteArrayView(run.format).sliced(from, start - from);
        from = end;
    }
    body += QByteArrayView(run.format).sliced(from);
    if (body.toUpper().startsWith("^XA"))
        body.remove(0, 3);
    const qsizetype end = body.toUpper().lastIndexOf("^XZ");
    if (end >= 0)
        body.truncate(end);
    Store(device, StoredFile { name, body, 0 }, QStringLiteral("format"));
}

void VirtualPrinter::PrintDirectory(const PrinterCommand &c)
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
    c.run->done << QStringLiteral("directory label of %1:%2").arg(device, pattern);
    PrintGenerated(PrintJob::Kind::Directory, label, length);
}

void VirtualPrinter::AskForConfiguration(const PrinterCommand &c)
{
    c.run->askedForConfiguration = true;
}

void VirtualPrinter::PrintConfiguration(const PrinterCommand &)
{
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
}

void VirtualPrinter::StartDump(const PrinterCommand &)
{
    dumpMode_ = true;
    log_.Info(QStringLiteral("~JD: dump mode on; what follows is shown, not acted on, until ~JE"));
}

void VirtualPrinter::EndDump(const PrinterCommand &)
{
    FlushDump();
    dumpMode_ = false;
    log_.Info(QStringLiteral("~JE: dump mode off"));
}

void VirtualPrinter::CancelLabels(const PrinterCommand &)
{
    log_.Info(QStringLiteral("~JA: %1 labels not printed").arg(CancelAll()));
}

void VirtualPrinter::ResetPrinter(const PrinterCommand &)
{
    PowerCycle();
}

void VirtualPrinter::AnswerHostStatus(const PrinterCommand &c)
{
    const QByteArray answer = HostStatusReply(*this);
    log_.Info(QStringLiteral("~HS: answered"));
    (*c.reply)(answer);
}

void VirtualPrinter::AnswerHostQuery(const PrinterCommand &c)
{
    if (c.params.toByteArray().trimmed().toUpper() != "ES") {
        log_.Error(
            QStringLiteral("~HQ%1: only ~HQES is answered; ignored").arg(ShownBytes(c.params)));
        return;
    }
    const QByteArray answer = ExtendedStatusReply(*this);
    log_.Info(QStringLiteral("~HQES: answered"));
    (*c.reply)(answer);
}

void VirtualPrinter::AnswerIdentification(const PrinterCommand &c)
{
    const QByteArray answer = IdentificationReply(*this);
    log_.Info(QStringLiteral("~HI: answered"));
    (*c.reply)(answer);
}

void VirtualPrinter::AnswerFileList(const PrinterCommand &c)
{
    const QByteArray answer = FileListReply();
    log_.Info(QStringLiteral("~!F: file list: %1").arg(QString::fromLatin1(answer).trimmed()));
    (*c.reply)(answer);
}

void VirtualPrinter::AnswerFreeMemory(const PrinterCommand &c)
{
    const QByteArray answer = FreeMemoryReply();
    log_.Info(QStringLiteral("~!A: free memory: DRAM %1 KB, FLASH %2 KB")
                  .arg(memory_.FreeKb(QLatin1Char('R')))
                  .arg(memory_.FreeKb(QLatin1Char('E'))));
    (*c.reply)(answer);
}

bool ActsInsideFormats(QByteArrayView name)
{
    const CommandEntry *entry = FindCommand(LabelCommand::Kind::Control, name.toByteArray());
    const PrinterAction *action = entry ? FindPrinterAction(*entry) : nullptr;
    return action && action->inFormat;
}
