#include "files/downloadcheck.h"

#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "core/exceptions.h"
#include "files/memorycommands.h"
#include "link/printerlink.h"

QStringList ListedFiles(const QByteArray &reply, const QByteArray &device)
{
    const QString text = QString::fromLatin1(reply);
    const qsizetype dram = text.indexOf(QLatin1String("DRAM FILES:"));
    const qsizetype flash = text.indexOf(QLatin1String("FLASH FILES:"));
    if (dram < 0 || flash < dram)
        return {};
    const QString part = device == "R:" ? text.mid(dram + 11, flash - dram - 11)
        : device == "E:"                ? text.mid(flash + 12)
                                        : QString();
    return part.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString VerifyDownloadStored(PrinterLink &link, const QByteArray &device, const QString &name,
                             qint64 bytes)
{
    if (device != "R:" && device != "E:")
        return {};
    const QString file = QString::fromLatin1(device) + name;
    const QByteArray list = link.Query(FileListQuery());
    if (!list.contains("DRAM FILES:") || !list.contains("FLASH FILES:"))
        throw ETarvolinError(QStringLiteral("%1: the printer's file list could not be read back "
                                            "to see whether it was stored")
                                 .arg(file));
    if (ListedFiles(list, device).contains(name))
        return file + QStringLiteral(" stored");

    QStringList reasons;
    try {
        const PrinterStatus status
            = StatusFromExtended(ParseExtendedStatus(link.Query(ExtendedStatusQuery())));
        QStringList captions;
        for (const QString &key : status.conditions)
            captions << StatusCaption(key);
        if (!captions.isEmpty())
            reasons << QStringLiteral("the printer reports %1")
                           .arg(captions.join(QStringLiteral(", ")));
    } catch (const EOperationCancelled &) {
        throw;
    } catch (const ETarvolinError &) {
        // An older printer: the free memory may still tell.
    }
    try {
        const FreeMemoryFigures free = ParseFreeMemory(link.Query(FreeMemoryQuery()));
        const QString figure = (device == "R:" ? free.dram : free.flash).trimmed();
        bool ok = false;
        const qint64 kb = figure.toLongLong(&ok);
        if (ok)
            reasons << QStringLiteral("%1 has %2 KB free, the download needs %3 KB")
                           .arg(device == "R:" ? QStringLiteral("DRAM") : QStringLiteral("FLASH"))
                           .arg(kb)
                           .arg((bytes + 1023) / 1024);
    } catch (const EOperationCancelled &) {
        throw;
    } catch (const ETarvolinError &) { }
    if (reasons.isEmpty())
        reasons << QStringLiteral("the printer does not list it and gives no reason");
    throw ETarvolinError(
        QStringLiteral("%1 was not stored: %2").arg(file, reasons.join(QStringLiteral("; "))));
}
