#include "link/cupsprinter.h"

#include "core/exceptions.h"
#include "link/sendsource.h"
#include "link/transfer.h"

#include <cups/cups.h>

#include <algorithm>
#include <dlfcn.h>
#include <limits>
#include <type_traits>

namespace {

// The print system's client library is opened on first use rather than
// linked: with the libraries it brings (TLS, Kerberos, service discovery) it
// takes about as long to load as the window takes to appear. Its first use,
// the installed-printer list, runs in the background once the window is up.
struct CupsLibrary
{
    decltype(&::cupsGetDests2) getDests2 = nullptr;
    decltype(&::cupsFreeDests) freeDests = nullptr;
    decltype(&::cupsGetNamedDest) getNamedDest = nullptr;
    decltype(&::cupsCreateJob) createJob = nullptr;
    decltype(&::cupsStartDocument) startDocument = nullptr;
    decltype(&::cupsWriteRequestData) writeRequestData = nullptr;
    decltype(&::cupsFinishDocument) finishDocument = nullptr;
    decltype(&::cupsCancelJob2) cancelJob2 = nullptr;
    decltype(&::cupsLastError) lastError = nullptr;
    decltype(&::cupsLastErrorString) lastErrorString = nullptr;
    QString missing; // why it cannot be used; empty when it can
};

const CupsLibrary &Cups()
{
    static const CupsLibrary library = [] {
        CupsLibrary l;
        // Kept open for the life of the program.
        void *handle = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            l.missing = QString::fromLocal8Bit(::dlerror());
            return l;
        }
        const auto load = [&](auto &function, const char *name) {
            function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
                ::dlsym(handle, name));
            if (!function && l.missing.isEmpty())
                l.missing = QStringLiteral("libcups.so.2 has no %1").arg(QLatin1String(name));
        };
        load(l.getDests2, "cupsGetDests2");
        load(l.freeDests, "cupsFreeDests");
        load(l.getNamedDest, "cupsGetNamedDest");
        load(l.createJob, "cupsCreateJob");
        load(l.startDocument, "cupsStartDocument");
        load(l.writeRequestData, "cupsWriteRequestData");
        load(l.finishDocument, "cupsFinishDocument");
        load(l.cancelJob2, "cupsCancelJob2");
        load(l.lastError, "cupsLastError");
        load(l.lastErrorString, "cupsLastErrorString");
        return l;
    }();
    return library;
}

QString LastCupsReason()
{
    const char *reason = Cups().lastErrorString();
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
    if (!Cups().missing.isEmpty())
        return names;
    cups_dest_t *dests = nullptr;
    const int count = Cups().getDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += QLatin1Char('/') + QString::fromUtf8(dests[i].instance);
        names << name;
    }
    Cups().freeDests(count, dests);
    return names;
}

void SendRawJob(const QString &printerName, const QByteArray &data, Transfer *transfer)
{
    BufferSource source(data);
    SendRawJob(printerName, source, transfer);
}

void SendRawJob(const QString &printerName, SendSource &source, Transfer *transfer)
{
    if (!Cups().missing.isEmpty()) {
        ThrowCupsError(
            printerName,
            QStringLiteral("the CUPS client library cannot be loaded (%1)").arg(Cups().missing));
    }
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
        : Cups().getNamedDest(CUPS_HTTP_DEFAULT, queue.constData(),
                              instance.isEmpty() ? nullptr : instance.constData());
    if (!dest) {
        if (queue.isEmpty() || Cups().lastError() <= IPP_STATUS_OK_EVENTS_COMPLETE
            || Cups().lastError() == IPP_STATUS_ERROR_NOT_FOUND)
            throw With(ETarvolinError(
                           QStringLiteral("Printer \"%1\": The printer or class does not exist.")
                               .arg(printerName)),
                       AboutQueue(printerName));
        ThrowCupsError(printerName);
    }
    Cups().freeDests(1, dest);
    // CUPS refuses a job without data; an empty send has nothing to print
    // once the queue is known to exist.
    Transfer plain;
    Transfer &reading = transfer ? *transfer : plain;
    const qsizetype piece = transfer ? 64 * 1024 : std::numeric_limits<qsizetype>::max();
    QByteArray data = source.Next(piece, reading);
    if (data.isEmpty())
        return;

    const int job = Cups().createJob(CUPS_HTTP_DEFAULT, queue.constData(), "Tarvolin", 0, nullptr);
    if (job <= 0)
        ThrowCupsError(printerName);
    if (Cups().startDocument(CUPS_HTTP_DEFAULT, queue.constData(), job, "Tarvolin", CUPS_FORMAT_RAW,
                             1)
        != HTTP_STATUS_CONTINUE) {
        Cups().cancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
        ThrowCupsError(printerName);
    }
    const auto withdraw = [&] {
        Cups().finishDocument(CUPS_HTTP_DEFAULT, queue.constData());
        Cups().cancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 0);
    };
    qint64 done = 0;
    while (!data.isEmpty()) {
        const qsizetype n = data.size();
        if (Cups().writeRequestData(CUPS_HTTP_DEFAULT, data.constData(), static_cast<size_t>(n))
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
        try {
            data = source.Next(piece, reading);
        } catch (...) {
            withdraw();
            throw;
        }
    }
    if (Cups().finishDocument(CUPS_HTTP_DEFAULT, queue.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        ThrowCupsError(printerName);
}
