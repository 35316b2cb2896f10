#pragma once

#include <QByteArray>
#include <QString>

// The LPT and File interfaces: a device or file written whole and closed.
// "LPT1".."LPT4" name the parallel port devices /dev/lp0../dev/lp3, a name
// starting with "/" is a path used as it stands, any other name is taken
// relative to the current directory (File) or /dev (LPT).
QString LptDevicePath(const QString &name);

class SendSource;
class Transfer;

// Opens the existing device for writing (never creates anything; a plain
// file standing in for it is truncated), writes every byte and closes it. Raises EInOutError with
// the system's reason.
//
// With a transfer, the bytes go out in pieces with progress between them; a
// stop (EOperationCancelled) closes the device or file holding exactly the
// bytes written so far.
void WriteToDevice(const QString &path, const QByteArray &data, Transfer *transfer = nullptr);

// Creates or truncates the file, writes every byte and closes it. Raises
// EInOutError with the system's reason.
void WriteToFile(const QString &path, const QByteArray &data, Transfer *transfer = nullptr);

// The same, the bytes read from the source a piece at a time as they go out.
void WriteToDevice(const QString &path, SendSource &source, Transfer *transfer = nullptr);
void WriteToFile(const QString &path, SendSource &source, Transfer *transfer = nullptr);
