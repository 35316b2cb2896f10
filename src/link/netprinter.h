#pragma once

#include <QByteArray>
#include <QString>

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

    NetPrinter() = default;
    ~NetPrinter();
    NetPrinter(const NetPrinter &) = delete;
    NetPrinter &operator=(const NetPrinter &) = delete;

    // Connects to the dotted-decimal address; false when the address is not
    // valid or the printer cannot be reached within the connect timeout.
    bool KVNetOpen(const QString &address, quint16 port = DefaultPort,
                   int timeoutMs = ConnectTimeoutMs);
    // Sends every byte. Raises ETarvolinError when the connection fails.
    void KVNetSend(const QByteArray &data);
    // Ends the job cleanly: our side is shut down first, and whatever the
    // printer still sends is read, so that closing does not reset the
    // connection and cut off the end of the job.
    void KVNetClose();

private:
    int fd_ = -1;
};
