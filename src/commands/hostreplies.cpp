#include "commands/hostreplies.h"

#include "commands/printertext.h"
#include "commands/statusquery.h"
#include "core/exceptions.h"
#include "files/memorycommands.h"

#include <climits>

namespace {

constexpr char Stx = '\x02';
constexpr char Etx = '\x03';

[[noreturn]] void Bad(const QString &query, const QString &what)
{
    throw ETarvolinError(QStringLiteral("%1: %2").arg(query, what));
}

QString Shown(const QByteArray &field)
{
    QString text = QString::fromLatin1(field.left(24));
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            c = QLatin1Char('?');
    return field.size() > 24 ? text + QStringLiteral("...") : text;
}

// The fields of one host status string, by name, for the messages.
struct Field
{
    const char *name;
    int width; // digits; 0 for one character of any kind
    qint64 max = INT_MAX; // what the field is read into holds no more
};

const Field String1[] = {
    { "interface settings", 3 }, { "paper out", 1 },         { "pause", 1 },
    { "label length", 4 },       { "formats in buffer", 3 }, { "buffer full", 1 },
    { "diagnostic mode", 1 },    { "partial format", 1 },    { "unused", 3 },
    { "corrupt RAM", 1 },        { "under temperature", 1 }, { "over temperature", 1 },
};
const Field String2[] = {
    { "function settings", 3 },
    { "unused", 1 },
    { "head open", 1 },
    { "ribbon out", 1 },
    { "thermal transfer", 1 },
    { "print mode", 0 },
    { "print width mode", 1 },
    { "label waiting", 1 },
    { "labels remaining", 8, LLONG_MAX },
    { "format while printing", 1 },
    { "graphics stored", 3 },
};
const Field String3[] = { { "password", 4 }, { "static RAM", 1 } };

// Checks a string's fields and returns them as numbers (print mode as its
// character code). Widths may differ from the usual ones; digits may not.
template<size_t N>
QList<qint64> Numbers(const QByteArray &frame, const Field (&fields)[N], int string)
{
    const QString query = QStringLiteral("Host status");
    const QList<QByteArray> parts = frame.split(',');
    if (parts.size() != qsizetype(N))
        Bad(query,
            QStringLiteral("string %1 has %2 fields, not %3").arg(string).arg(parts.size()).arg(N));
    QList<qint64> values;
    for (size_t i = 0; i < N; ++i) {
        const QByteArray &part = parts[qsizetype(i)];
        if (fields[i].width == 0) {
            if (part.size() != 1 || !QChar(part[0]).isLetterOrNumber())
                Bad(query,
                    QStringLiteral("field %1 of string %2 (%3) is not a code: '%4'")
                        .arg(i + 1)
                        .arg(string)
                        .arg(QLatin1String(fields[i].name), Shown(part)));
            values << qint64(uchar(part[0]));
            continue;
        }
        const PrinterNumber n = ReadPrinterNumber(part, fields[i].max);
        if (!n.fits)
            Bad(query,
                QStringLiteral("field %1 of string %2 (%3) is %4: '%5'")
                    .arg(i + 1)
                    .arg(string)
                    .arg(QLatin1String(fields[i].name),
                         n.digits ? NotHoldable() : QStringLiteral("not a number"), Shown(part)));
        values << n.value;
    }
    return values;
}

// Whether the reply holds `expected` at `at`: the position after it when it
// does, -1 when the reply ends inside it, -2 when something else stands there.
qsizetype Literal(const QByteArray &reply, qsizetype at, QByteArrayView expected)
{
    for (qsizetype i = 0; i < expected.size(); ++i) {
        if (at + i == reply.size())
            return -1;
        if (reply[at + i] != expected[i])
            return -2;
    }
    return at + expected.size();
}

qsizetype LeadingLineBreaks(const QByteArray &reply)
{
    qsizetype at = 0;
    while (at < reply.size() && (reply[at] == '\r' || reply[at] == '\n'))
        ++at;
    return at;
}

// "DRAM FILES: <names> FLASH FILES: <names>" CR: complete at the line break
// after the FLASH label, however the names are spread.
ReplyStand FileListForm(const QByteArray &reply)
{
    const qsizetype at = Literal(reply, LeadingLineBreaks(reply), "DRAM FILES:");
    if (at == -2)
        return ReplyStand::Foreign;
    if (at == -1)
        return ReplyStand::Incomplete;
    const qsizetype flash = reply.indexOf("FLASH FILES:", at);
    if (flash < 0)
        return ReplyStand::Incomplete;
    for (qsizetype i = flash; i < reply.size(); ++i)
        if (reply[i] == '\r' || reply[i] == '\n')
            return ReplyStand::Complete;
    return ReplyStand::Incomplete;
}

// "DRAM FREE BYTE(KB): <digits>FLASH FREE BYTE(KB): <digits>" CR LF: complete
// at the CR LF after the second figure. The figures are read by their places
// from the reply's start, so nothing may come before it.
ReplyStand FreeMemoryForm(const QByteArray &reply)
{
    qsizetype at = 0;
    for (const QByteArrayView label :
         { QByteArrayView("DRAM FREE BYTE(KB):"), QByteArrayView("FLASH FREE BYTE(KB):") }) {
        at = Literal(reply, at, label);
        if (at < 0)
            return at == -1 ? ReplyStand::Incomplete : ReplyStand::Foreign;
        while (at < reply.size() && reply[at] == ' ')
            ++at;
        const qsizetype digits = at;
        while (at < reply.size() && reply[at] >= '0' && reply[at] <= '9')
            ++at;
        if (at == reply.size())
            return ReplyStand::Incomplete;
        if (at == digits)
            return ReplyStand::Foreign;
    }
    const qsizetype end = Literal(reply, at, "\r\n");
    return end == -1 ? ReplyStand::Incomplete
        : end == -2  ? ReplyStand::Foreign
                     : ReplyStand::Complete;
}

} // namespace

PrinterQuery HostStatusQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Host status");
    q.request = "~HS";
    q.frames = 3;
    q.maxBytes = 1024;
    return q;
}

PrinterQuery IdentificationQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Identification");
    q.request = "~HI";
    q.frames = 1;
    q.maxBytes = 1024;
    return q;
}

PrinterQuery StatusByteQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Status");
    q.request = StatusRequestCommand();
    q.replyBytes = 1;
    return q;
}

PrinterQuery FileListQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("File list");
    q.request = FileListRequest();
    q.form = FileListForm;
    return q;
}

PrinterQuery FreeMemoryQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Free memory");
    q.request = FreeMemoryRequest();
    q.form = FreeMemoryForm;
    return q;
}

QList<QByteArray> ReplyFrames(const QByteArray &reply, const QString &query)
{
    QList<QByteArray> frames;
    qsizetype i = 0;
    for (;;) {
        while (i < reply.size() && (reply[i] == '\r' || reply[i] == '\n'))
            ++i;
        if (i == reply.size())
            return frames;
        if (reply[i] != Stx)
            Bad(query,
                frames.isEmpty()
                    ? QStringLiteral("the reply does not begin with STX")
                    : QStringLiteral("unexpected bytes after frame %1").arg(frames.size()));
        const qsizetype end = reply.indexOf(Etx, i + 1);
        if (end < 0)
            Bad(query, QStringLiteral("frame %1 is cut short (no ETX)").arg(frames.size() + 1));
        const QByteArray text = reply.mid(i + 1, end - i - 1);
        if (text.contains(Stx))
            Bad(query,
                QStringLiteral("frame %1 is cut short (STX before its ETX)")
                    .arg(frames.size() + 1));
        frames << text;
        i = end + 1;
    }
}

bool HostStatus::AnyError() const
{
    return paperOut || paused || bufferFull || corruptRam || underTemperature || overTemperature
        || headOpen || RibbonOutMatters();
}

bool operator==(const HostStatus &a, const HostStatus &b)
{
    return a.interfaceSettings == b.interfaceSettings && a.paperOut == b.paperOut
        && a.paused == b.paused && a.labelLengthDots == b.labelLengthDots
        && a.formatsInBuffer == b.formatsInBuffer && a.bufferFull == b.bufferFull
        && a.diagnosticMode == b.diagnosticMode && a.partialFormat == b.partialFormat
        && a.corruptRam == b.corruptRam && a.underTemperature == b.underTemperature
        && a.overTemperature == b.overTemperature && a.functionSettings == b.functionSettings
        && a.headOpen == b.headOpen && a.ribbonOut == b.ribbonOut
        && a.thermalTransfer == b.thermalTransfer && a.printMode == b.printMode
        && a.printWidthMode == b.printWidthMode && a.labelWaiting == b.labelWaiting
        && a.labelsRemaining == b.labelsRemaining && a.graphicsStored == b.graphicsStored
        && a.password == b.password && a.staticRam == b.staticRam;
}

HostStatus ParseHostStatus(const QByteArray &reply)
{
    const QString query = QStringLiteral("Host status");
    const QList<QByteArray> frames = ReplyFrames(reply, query);
    if (frames.size() != 3)
        Bad(query, QStringLiteral("%1 of 3 strings").arg(frames.size()));
    const QList<qint64> a = Numbers(frames[0], String1, 1);
    const QList<qint64> b = Numbers(frames[1], String2, 2);
    const QList<qint64> c = Numbers(frames[2], String3, 3);
    // Flags are 0 or 1; anything else is not a reply to trust.
    const auto flag = [&](const QList<qint64> &v, int i, int string, const Field *fields) {
        if (v[i] > 1)
            Bad(query,
                QStringLiteral("field %1 of string %2 (%3) is not 0 or 1: %4")
                    .arg(i + 1)
                    .arg(string)
                    .arg(QLatin1String(fields[i].name))
                    .arg(v[i]));
        return v[i] == 1;
    };
    HostStatus s;
    s.interfaceSettings = int(a[0]);
    s.paperOut = flag(a, 1, 1, String1);
    s.paused = flag(a, 2, 1, String1);
    s.labelLengthDots = int(a[3]);
    s.formatsInBuffer = int(a[4]);
    s.bufferFull = flag(a, 5, 1, String1);
    s.diagnosticMode = flag(a, 6, 1, String1);
    s.partialFormat = flag(a, 7, 1, String1);
    s.corruptRam = flag(a, 9, 1, String1);
    s.underTemperature = flag(a, 10, 1, String1);
    s.overTemperature = flag(a, 11, 1, String1);
    s.functionSettings = int(b[0]);
    s.headOpen = flag(b, 2, 2, String2);
    s.ribbonOut = flag(b, 3, 2, String2);
    s.thermalTransfer = flag(b, 4, 2, String2);
    s.printMode = QChar(char16_t(b[5]));
    s.printWidthMode = int(b[6]);
    s.labelWaiting = flag(b, 7, 2, String2);
    s.labelsRemaining = b[8];
    s.graphicsStored = int(b[10]);
    s.password = QString::fromLatin1(frames[2].split(',')[0]);
    s.staticRam = flag(c, 1, 3, String3);
    return s;
}

QList<HostCondition> HostConditions(const HostStatus &s)
{
    return {
        { QStringLiteral("Ready"), !s.AnyError(), false },
        { QStringLiteral("Paper Out"), s.paperOut, true },
        { QStringLiteral("Paused"), s.paused, true },
        { QStringLiteral("Head Open"), s.headOpen, true },
        { QStringLiteral("Ribbon Out"), s.RibbonOutMatters(), true },
        { QStringLiteral("Buffer Full"), s.bufferFull, true },
        { QStringLiteral("Corrupt RAM"), s.corruptRam, true },
        { QStringLiteral("Under Temperature"), s.underTemperature, true },
        { QStringLiteral("Over Temperature"), s.overTemperature, true },
        { QStringLiteral("Partial Format"), s.partialFormat, false },
        { QStringLiteral("Label Waiting"), s.labelWaiting, false },
    };
}

bool operator==(const Identification &a, const Identification &b)
{
    return a.model == b.model && a.firmware == b.firmware && a.dotsPerMm == b.dotsPerMm
        && a.memoryKB == b.memoryKB && a.options == b.options;
}

Identification ParseIdentification(const QByteArray &reply)
{
    const QString query = QStringLiteral("Identification");
    QByteArray text;
    if (reply.contains(Stx) || reply.contains(Etx)) {
        const QList<QByteArray> frames = ReplyFrames(reply, query);
        if (frames.size() != 1)
            Bad(query, QStringLiteral("%1 frames, not one").arg(frames.size()));
        text = frames[0];
    } else {
        text = reply;
        while (text.endsWith('\n') || text.endsWith('\r'))
            text.chop(1);
    }
    const QList<QByteArray> parts = text.split(',');
    if (parts.size() < 4 || parts.size() > 5)
        Bad(query, QStringLiteral("%1 fields, not 4 or 5").arg(parts.size()));
    Identification id;
    // Text as the printer wrote it; UTF-8 stays UTF-8.
    id.model = ReplyText(parts[0]).trimmed();
    id.firmware = ReplyText(parts[1]).trimmed();
    if (id.model.isEmpty())
        Bad(query, QStringLiteral("no model"));
    const PrinterNumber perMm = ReadPrinterNumber(parts[2].trimmed(), INT_MAX);
    if (!perMm.fits || perMm.value <= 0 || perMm.value > 100)
        Bad(query,
            QStringLiteral("dots per mm is %1: '%2'")
                .arg(perMm.digits ? NotHoldable() : QStringLiteral("not a number"),
                     Shown(parts[2])));
    id.dotsPerMm = int(perMm.value);
    QByteArray memory = parts[3].trimmed();
    if (memory.endsWith("KB"))
        memory.chop(2);
    const PrinterNumber kb = ReadPrinterNumber(memory, INT_MAX);
    if (!kb.fits)
        Bad(query,
            QStringLiteral("memory is %1: '%2'")
                .arg(kb.digits ? NotHoldable() : QStringLiteral("not a size in KB"),
                     Shown(parts[3])));
    id.memoryKB = int(kb.value);
    if (parts.size() == 5)
        id.options = ReplyText(parts[4]).trimmed();
    return id;
}
