#include "files/memorycommands.h"

#include "files/downloadcommand.h"

#include <QStringDecoder>

namespace {
const QByteArray CrLf = QByteArrayLiteral("\r\n");

// Where a figure ends: at the other label when that follows, otherwise at
// the end of the line (or the reply).
QByteArray FigureAfter(const QByteArray &reply, const QByteArray &label, const QByteArray &other)
{
    const qsizetype at = reply.indexOf(label);
    if (at < 0)
        return QByteArray();
    const qsizetype start = at + label.size();
    qsizetype end = reply.size();
    for (const QByteArray &stop : { other, CrLf }) {
        const qsizetype found = reply.indexOf(stop, start);
        if (found >= 0 && found < end)
            end = found;
    }
    return reply.mid(start, end - start);
}
} // namespace

QByteArray DirectoryLabelCommand(int devicePosition)
{
    QByteArray command = "^XA";
    const QByteArray device = MemoryDevice(devicePosition);
    if (!device.isEmpty())
        command += "^WD" + device + "*.*" + CrLf;
    command += "^XZ";
    return command;
}

QByteArray FileListRequest()
{
    return "~!F" + CrLf;
}

QByteArray FreeMemoryRequest()
{
    return "CLS" + CrLf + "~!A" + CrLf;
}

ExchangeOptions FileListExchangeOptions()
{
    return { .postWriteWaitMs = 50, .waitBeforeClose = true, .lfAfterCr = true };
}

ExchangeOptions FreeMemoryExchangeOptions()
{
    return { .postWriteWaitMs = 50, .waitBeforeClose = true, .lfAfterCr = false };
}

QByteArray FormatCommand(FormatMemory memory)
{
    switch (memory) {
    case FormatMemory::Dram:
        return R"(KILL "*")" + CrLf;
    case FormatMemory::Flash:
        return R"(KILL F,"*")" + CrLf;
    }
    return QByteArray();
}

QByteArray FileListLayout(QByteArray reply)
{
    const QByteArray dram = "DRAM FILES: ";
    const QByteArray flash = "FLASH FILES: ";
    qsizetype at = reply.indexOf(dram);
    if (at >= 0)
        reply.insert(at + dram.size(), CrLf);
    at = reply.indexOf(flash);
    if (at >= 0) {
        reply.insert(at, CrLf);
        reply.insert(at + CrLf.size() + flash.size(), CrLf);
    }
    return reply;
}

FreeMemoryFigures ParseFreeMemory(const QByteArray &reply)
{
    // The labels without their trailing space: the trimming takes care of it.
    const QByteArray dram = "DRAM FREE BYTE(KB):";
    const QByteArray flash = "FLASH FREE BYTE(KB):";
    return { ReplyText(FigureAfter(reply, dram, flash)).trimmed(),
             ReplyText(FigureAfter(reply, flash, dram)).trimmed() };
}

QString ReplyText(const QByteArray &reply)
{
    // An initial byte order mark is part of what the printer sent: keep it.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(reply);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(reply);
}
