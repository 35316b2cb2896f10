#include "commands/printerstatus.h"

#include "commands/hostreplies.h"
#include "core/exceptions.h"

#include <QJsonArray>

namespace {

const char *const ConditionKeys[] = {
    "head_open",    "paper_jam",   "paper_out",   "ribbon_out",        "paused",
    "cover_open",   "other_error", "corrupt_ram", "under_temperature", "over_temperature",
    "cutter_fault",
};
const char *const WarningKeys[]
    = { "buffer_full", "partial_format", "label_waiting",  "calibrate",
        "clean_head",  "replace_head",   "paper_near_end", "other_warning" };
const char *const PrintModes[] = { "rewind", "peel_off", "tear_off", "cutter", "applicator" };

QStringList Keys(const char *const *keys, size_t count)
{
    QStringList list;
    for (size_t i = 0; i < count; ++i)
        list << QLatin1String(keys[i]);
    return list;
}

// Keeps a list in the order of all its keys, each once.
void AddInOrder(QStringList &list, const QString &key, const QStringList &order)
{
    if (list.contains(key))
        return;
    const qsizetype at = order.indexOf(key);
    qsizetype i = 0;
    while (i < list.size() && at >= 0 && order.indexOf(list[i]) >= 0 && order.indexOf(list[i]) < at)
        ++i;
    list.insert(i, key);
}

void Note(PrinterStatus &s, const char *key, bool set)
{
    AddInOrder(s.checked, QLatin1String(key), StatusConditionKeys());
    if (set)
        AddInOrder(s.conditions, QLatin1String(key), StatusConditionKeys());
}

void Warn(PrinterStatus &s, const char *key, bool set)
{
    if (set)
        AddInOrder(s.warnings, QLatin1String(key), StatusWarningKeys());
}

[[noreturn]] void Bad(const QString &what)
{
    throw ETarvolinError(QStringLiteral("Extended status: ") + what);
}

QByteArray Hex8(quint32 v)
{
    return QByteArray::number(v, 16).toUpper().rightJustified(8, '0');
}

// "   ERRORS:         1 00000000 00000005": the flag and the two groups.
void ReadGroups(const QByteArray &text, const char *name, bool &flag, quint32 &high, quint32 &low)
{
    const QByteArray label = QByteArray(name) + ':';
    const qsizetype at = text.indexOf(label);
    if (at < 0)
        Bad(QStringLiteral("no %1 line").arg(QLatin1String(name)));
    qsizetype end = text.indexOf('\n', at);
    if (end < 0)
        end = text.size();
    const QList<QByteArray> parts
        = text.mid(at + label.size(), end - at - label.size()).simplified().split(' ');
    if (parts.size() != 3)
        Bad(QStringLiteral("the %1 line has %2 fields, not 3")
                .arg(QLatin1String(name))
                .arg(parts.size()));
    if (parts[0] != "0" && parts[0] != "1")
        Bad(QStringLiteral("the %1 flag is not 0 or 1").arg(QLatin1String(name)));
    flag = parts[0] == "1";
    quint32 *groups[2] = { &high, &low };
    for (int i = 0; i < 2; ++i) {
        bool ok = parts[i + 1].size() == 8;
        for (const char c : parts[i + 1])
            ok = ok && std::isxdigit(uchar(c));
        if (!ok)
            Bad(QStringLiteral("a %1 group is not 8 hexadecimal digits").arg(QLatin1String(name)));
        *groups[i] = parts[i + 1].toUInt(nullptr, 16);
    }
}

} // namespace

void PrinterStatus::Merge(const PrinterStatus &other)
{
    for (const QString &k : other.conditions)
        AddInOrder(conditions, k, StatusConditionKeys());
    for (const QString &k : other.checked)
        AddInOrder(checked, k, StatusConditionKeys());
    for (const QString &k : other.warnings)
        AddInOrder(warnings, k, StatusWarningKeys());
    for (const QString &k : other.modes)
        if (!modes.contains(k))
            modes << k;
    for (const QString &u : other.unseen)
        if (!unseen.contains(u))
            unseen << u;
}

const QStringList &StatusConditionKeys()
{
    static const QStringList keys = Keys(ConditionKeys, std::size(ConditionKeys));
    return keys;
}

const QStringList &StatusWarningKeys()
{
    static const QStringList keys = Keys(WarningKeys, std::size(WarningKeys));
    return keys;
}

QStringList StatusModeKeys()
{
    return QStringList { QStringLiteral("thermal_transfer"), QStringLiteral("direct_thermal") }
    + Keys(PrintModes, std::size(PrintModes))
        + QStringList { QStringLiteral("printing"), QStringLiteral("diagnostic") };
}

QString StatusCaption(const QString &key)
{
    static const QHash<QString, QString> special {
        { QStringLiteral("corrupt_ram"), QStringLiteral("Corrupt RAM") },
        { QStringLiteral("paused"), QStringLiteral("Paused") },
    };
    if (const auto it = special.find(key); it != special.end())
        return *it;
    QStringList words = key.split(QLatin1Char('_'));
    for (QString &w : words)
        w[0] = w[0].toUpper();
    return words.join(QLatin1Char(' '));
}

PrinterStatus StatusFromByte(quint8 status)
{
    PrinterStatus s;
    const char *const bits[8] = { "head_open", "paper_jam", "paper_out",  "ribbon_out",
                                  "paused",    nullptr,     "cover_open", "other_error" };
    for (int bit = 0; bit < 8; ++bit)
        if (bits[bit])
            Note(s, bits[bit], (status >> bit) & 1);
    if (status & 0x20)
        s.modes << QStringLiteral("printing");
    return s;
}

PrinterStatus StatusFromHost(const HostStatus &h)
{
    PrinterStatus s;
    Note(s, "head_open", h.headOpen);
    Note(s, "paper_out", h.paperOut);
    Note(s, "ribbon_out", h.RibbonOutMatters());
    Note(s, "paused", h.paused);
    Note(s, "corrupt_ram", h.corruptRam);
    Note(s, "under_temperature", h.underTemperature);
    Note(s, "over_temperature", h.overTemperature);
    Warn(s, "buffer_full", h.bufferFull);
    Warn(s, "partial_format", h.partialFormat);
    Warn(s, "label_waiting", h.labelWaiting);
    s.modes << (h.thermalTransfer ? QStringLiteral("thermal_transfer")
                                  : QStringLiteral("direct_thermal"));
    const int code = h.printMode.digitValue();
    s.modes << (code >= 0 && code < int(std::size(PrintModes))
                    ? QString::fromLatin1(PrintModes[code])
                    : QStringLiteral("print_mode_") + h.printMode.toLower());
    if (h.diagnosticMode)
        s.modes << QStringLiteral("diagnostic");
    return s;
}

PrinterQuery ExtendedStatusQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Extended status");
    q.request = "~HQES";
    q.frames = 1;
    q.maxBytes = 1024;
    // A printer that does not know the question says nothing: the status
    // waits for it no longer than it must.
    q.deadlineMs = 2000;
    return q;
}

QByteArray ExtendedStatusText(const ExtendedStatus &s)
{
    return "\x02\r\n  PRINTER STATUS\r\n   ERRORS:         " + QByteArray(s.anyError ? "1" : "0")
        + ' ' + Hex8(s.errorsHigh) + ' ' + Hex8(s.errors)
        + "\r\n   WARNINGS:       " + QByteArray(s.anyWarning ? "1" : "0") + ' '
        + Hex8(s.warningsHigh) + ' ' + Hex8(s.warnings) + "\r\n\x03\r\n";
}

ExtendedStatus ParseExtendedStatus(const QByteArray &reply)
{
    const QList<QByteArray> frames = ReplyFrames(reply, QStringLiteral("Extended status"));
    if (frames.size() != 1)
        Bad(QStringLiteral("%1 frames, not one").arg(frames.size()));
    const QByteArray &text = frames[0];
    if (!text.contains("PRINTER STATUS"))
        Bad(QStringLiteral("no PRINTER STATUS heading"));
    ExtendedStatus s;
    ReadGroups(text, "ERRORS", s.anyError, s.errorsHigh, s.errors);
    ReadGroups(text, "WARNINGS", s.anyWarning, s.warningsHigh, s.warnings);
    return s;
}

PrinterStatus StatusFromExtended(const ExtendedStatus &e)
{
    using namespace extended;
    PrinterStatus s;
    const quint32 known = PaperOut | RibbonOut | HeadOpen | CutterFault | HeadOverTemperature
        | MotorOverTemperature | HeadUnderTemperature | PaperJam | Paused | CorruptRam
        | MemoryError;
    Note(s, "head_open", e.errors & HeadOpen);
    Note(s, "paper_jam", e.errors & PaperJam);
    Note(s, "paper_out", e.errors & PaperOut);
    Note(s, "ribbon_out", e.errors & RibbonOut);
    Note(s, "paused", e.errors & Paused);
    Note(s, "other_error",
         (e.errors & (MemoryError | ~known)) || e.errorsHigh
             || (e.anyError && !e.errors && !e.errorsHigh));
    Note(s, "corrupt_ram", e.errors & CorruptRam);
    Note(s, "under_temperature", e.errors & HeadUnderTemperature);
    Note(s, "over_temperature", e.errors & (HeadOverTemperature | MotorOverTemperature));
    Note(s, "cutter_fault", e.errors & CutterFault);
    const quint32 knownWarnings = Calibrate | CleanHead | ReplaceHead | PaperNearEnd;
    Warn(s, "calibrate", e.warnings & Calibrate);
    Warn(s, "clean_head", e.warnings & CleanHead);
    Warn(s, "replace_head", e.warnings & ReplaceHead);
    Warn(s, "paper_near_end", e.warnings & PaperNearEnd);
    Warn(s, "other_warning", (e.warnings & ~knownWarnings) || e.warningsHigh);
    return s;
}

QString UnseenWithoutExtendedReport()
{
    return QStringLiteral(
        "paper jam, cutter fault and memory errors (no answer to the extended status report)");
}

QJsonObject StatusJson(const PrinterStatus &s)
{
    return {
        { QStringLiteral("ready"), s.Ready() },
        { QStringLiteral("conditions"), QJsonArray::fromStringList(s.conditions) },
        { QStringLiteral("warnings"), QJsonArray::fromStringList(s.warnings) },
        { QStringLiteral("modes"), QJsonArray::fromStringList(s.modes) },
        { QStringLiteral("checked"), QJsonArray::fromStringList(s.checked) },
        { QStringLiteral("unseen"), QJsonArray::fromStringList(s.unseen) },
    };
}

QString StatusCaptions(const QStringList &keys)
{
    QStringList captions;
    for (const QString &k : keys)
        captions << StatusCaption(k);
    return captions.join(QStringLiteral(", "));
}

QString StatusLine(const PrinterStatus &s)
{
    if (!s.Ready())
        return StatusCaptions(s.conditions);
    return s.unseen.isEmpty() ? QStringLiteral("Ready")
                              : QStringLiteral("Ready as far as it shows; not seen: ")
            + s.unseen.join(QStringLiteral("; "));
}
