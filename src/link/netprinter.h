#pragma once

#include "core/exceptions.h"

#include <QByteArray>
#include <QString>

class SendSource;
class Transfer;

// A printer on the network, reached by raw TCP (port 9100 by default). One
// connection per send: open, send every byte, close.
class NetPrinter
{
public:
    static constexpr quint16 DefaultPort = 9100;
    static constexpr int ConnectTimeoutMs = 5000;
    // A printer that takes no byte for this long has stopped reading.
    static constexpr int SendStallTimeoutMs = 30000;
    // After our last byte, how long to wait for the printer to close its end.
    static constexpr int CloseGraceMs = 1000;

    // Waits go through the transfer, which reports progress and may stop
    // them (EOperationCancelled); without one they are plain.
    explicit NetPrinter(Transfer *transfer = nullptr)
        : transfer_(transfer)
    { }
    // A connection still open here was not finished: it is reset, so that
    // the printer gets nothing more than was counted.
    ~NetPrinter();
    NetPrinter(const NetPrinter &) = delete;
    NetPrinter &operator=(const NetPrinter &) = delete;

    void SetStallTimeout(int ms) { stallTimeoutMs_ = ms; }

    // Connects to the dotted-decimal address; false when the address is not
    // valid or the printer cannot be reached within the connect timeout.
    bool KVNetOpen(const QString &address, quint16 port = DefaultPort,
                   int timeoutMs = ConnectTimeoutMs);
    // Why the last KVNetOpen failed: the printer and the system's reason.
    const ErrorParticulars &ConnectFailure() const { return connectFailure_; }
    // Sends every byte and returns once the printer has acknowledged them
    // all: a byte still queued in this computer is not sent. Progress counts
    // acknowledged bytes. Raises ETarvolinError when the connection fails or
    // the printer takes nothing for the stall timeout.
    void KVNetSend(const QByteArray &data);
    // The same, the bytes read from the source a piece at a time as the
    // printer takes them.
    void KVNetSend(SendSource &source);
    // Hands every byte to the system without waiting for the printer's
    // acknowledgement: for a query, whose answer shows that it arrived.
    void Write(const QByteArray &data);
    // Waits up to timeoutMs for what the printer sends and appends it: how
    // many bytes, 0 when the time ran out, -1 when the printer closed its end.
    qsizetype Receive(QByteArray &into, int timeoutMs);
    // Ends the job cleanly: our side is shut down first, and whatever the
    // printer still sends is read, so that closing does not reset the
    // connection and cut off the end of the job. Raises ETarvolinError when
    // the printer resets the connection meanwhile (the job was not taken).
    void KVNetClose();

private:
    // "Network send error: <reason>", with the printer it concerns.
    [[noreturn]] void Fail(const QString &reason, int err) const;
    [[noreturn]] void Fail(int err) const;

    Transfer *transfer_;
    QString printer_; // "address:port"
    ErrorParticulars connectFailure_;
    int stallTimeoutMs_ = SendStallTimeoutMs;
    int fd_ = -1;
};
