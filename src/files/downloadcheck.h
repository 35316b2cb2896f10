#pragma once

// Whether a download was stored, asked of the printer where the connection
// carries answers back: its file list is read back after the download.

#include <QByteArray>
#include <QString>
#include <QStringList>

class PrinterLink;

// The names a file list reply gives for DRAM (R:) or FLASH (E:); the other
// devices are not listed.
QStringList ListedFiles(const QByteArray &fileListReply, const QByteArray &device);

// Reads the file list back and raises ETarvolinError "<device><name> was not
// stored: <the printer's reason>" when the file is missing from it. The
// reason is what the printer tells: its extended error report and its free
// memory against the size of the download. Devices the file list does not
// show are not checked. Returns what it found: "E:DEMO.FNT stored" or an
// empty string when it could not check.
QString VerifyDownloadStored(PrinterLink &link, const QByteArray &device, const QString &name,
                             qint64 bytes);
