#pragma once

// The virtual printer's raw TCP port. Like a printer it serves one
// connection at a time: others wait in the listen queue until the current
// one ends. Each connection's commands stand alone; one that ends in the
// middle of a command leaves the printer ready for the next.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

class PrinterLog;
class PrinterSession;
class QSocketNotifier;
class VirtualPrinter;

class TcpLine : public QObject
{
public:
    TcpLine(VirtualPrinter &printer, PrinterLog &log, QObject *parent = nullptr);
    ~TcpLine() override;

    // A numeric IPv4 or IPv6 address; port 0 takes any free port.
    bool Listen(const QString &address, quint16 port, QString *error);
    // "127.0.0.1:9100" or "[::1]:9100"
    QString Endpoint() const;
    quint16 Port() const { return port_; }

private:
    void OnAcceptable();
    void OnReadable();
    void OnWritable();
    void Queue(const QByteArray &reply);
    void Flush();
    void CloseClient();

    VirtualPrinter &printer_;
    PrinterLog &log_;
    int listen_ = -1;
    int client_ = -1;
    QString address_;
    quint16 port_ = 0;
    std::unique_ptr<QSocketNotifier> acceptNotifier_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<PrinterSession> session_;
    QTimer backlog_; // looks again whether the printer takes more
    std::vector<char> buffer_;
    QByteArray out_;
    bool peerDone_ = false; // the client sent all it will send
};
