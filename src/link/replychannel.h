#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class NetPrinter;
class TComPort;
class Transfer;

// One open two-way connection to a printer, for a query: the request goes
// out, the answer is read back on the same connection. Closed when
// destroyed.
class ReplyChannel
{
public:
    virtual ~ReplyChannel() = default;
    virtual void Write(const QByteArray &data) = 0;
    // Waits up to timeoutMs for bytes and appends those that are there: how
    // many, 0 when the time ran out, -1 when the printer's side closed.
    // Raises ETarvolinError when the line fails.
    virtual qsizetype Read(QByteArray &into, int timeoutMs) = 0;
};

// Over the serial port, opened here and closed when the channel goes. The
// port is not owned.
std::unique_ptr<ReplyChannel> OpenSerialChannel(TComPort &port, Transfer &transfer);

// Over a connected network printer, which the channel then owns.
std::unique_ptr<ReplyChannel> OpenNetChannel(std::unique_ptr<NetPrinter> printer,
                                             Transfer &transfer);

// Over a USB printer device (/dev/usb/lp*) or another character device,
// opened for reading and writing. A device that refuses to be read raises
// ETarvolinError saying so.
std::unique_ptr<ReplyChannel> OpenDeviceChannel(const QString &path, Transfer &transfer);
