#include "link/cupsprinter.h"

#include "core/exceptions.h"
#include "link/transfer.h"

#include <cups/cups.h>

#include <algorithm>

namespace {

QString LastCupsReason()
{
    const char *reason = cupsLastErrorString();
    return QString::fromUtf8(reason ? reason : "unknown error");
}

ErrorParticulars AboutQueue(const QString &printerName)
{
    return { ErrorParticulars::Subject::InstalledPrinter, printerName, 0, {} };
}

[[noreturn]] void ThrowCupsError(const QString &printerName,
                                 const QString &reason = LastCupsReason())
{
    throw With(ETarvolinError(QStringLiteral("Printer \"%1\": %2").arg(printerName, reason)),
               AboutQueue(printerName));
}

} // namespace

QStringList InstalledPrinters()
{
    QStringList names;
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += QLatin1Char('/') + QString::fromUtf8(dests[i].instance);
        names << name;
    }
    cupsFreeDests(count, dests);
    return names;
}

void SendRawJob(const QString &printerName, const QByteArray &data, Transfer *transfer)
{
    const QByteArray full = printerName.toUtf8();
    // "queue/instance" names an instance; the job goes to the queue.
    const qsizetype slash = full.indexOf('/');
    const QByteArray queue = slash < 0 ? full : full.left(slash);
    const QByteArray instance = slash < 0 ? QByteArray() : full.mid(slash + 1);

    // Creating a job on an unknown queue fails with a misleading reason, so
    // the queue is looked up first. An empty name would mean the default
    // printer to CUPS; here it means that no printer is selected.
    cups_dest_t *dest = queue.isEmpty()
        ? nullptr
        : cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(),
                           instance.isEmpty() ? nullptr : instance.constData());
    if (!dest) {
        if (queue.isEmpty() || cupsLastError() <= IPP_STATUS_OK_EVENTS_COMPLETE
            || cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND)
            throw With(ETarvolinError(
                           QStringLiteral("Printer \"%1\": The printer or class does not exist.")
                               .arg(printerName)),
                       AboutQueue(printerName));
        ThrowCupsError(printerName);
    }
    cupsFreeDests(1, dest);
    // CUPS refuses a job without data; an empty send has nothing to print
    // once the queue is known to exist.
    if (data.isEmpty())
        return;

    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.constData(), "Tarvolin", 0, nullptr);
    if (job <= 0)
        ThrowCupsError(printerName);
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, "Tarvolin", CUPS_FORMAT_RAW, 1)
        != HTTP_STATUS_CONTINUE) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        ThrowCupsError(printerName);
    }
    const auto withdraw = [&] {
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
    };
    const qsizetype piece = transfer ? 64 * 1024 : data.size();
    for (qsizetype done = 0; done < data.size();) {
        const qsizetype n = std::min(piece, data.size() - done);
        if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, data.constData() + done, static_cast<size_t>(n))
            != HTTP_STATUS_CONTINUE) {
            // The reason is read before withdrawing the job overwrites it.
            const QString reason = LastCupsReason();
            withdraw();
            ThrowCupsError(printerName, reason);
        }
        done += n;
        if (transfer && !transfer->Proceed(done)) {
            withdraw();
            transfer->Cancel();
        }
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        ThrowCupsError(printerName);
}
