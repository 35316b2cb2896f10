#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Installed printers, through the CUPS client library.

// The CUPS destinations in the order CUPS returns them; empty when there
// are none or no CUPS server answers.
QStringList InstalledPrinters();

class SendSource;
class Transfer;

// Sends the bytes as one raw (unfiltered) job to the named queue and returns
// once CUPS has accepted it. Raises ETarvolinError with CUPS's reason when
// the queue does not exist, no server answers, or the job is refused. An
// empty buffer only checks the queue: CUPS takes no job without data.
// With a transfer the job's data goes out in pieces with progress between
// them; a stop withdraws the job.
void SendRawJob(const QString &printerName, const QByteArray &data, Transfer *transfer = nullptr);
// The same, the bytes read from the source a piece at a time.
void SendRawJob(const QString &printerName, SendSource &source, Transfer *transfer = nullptr);
