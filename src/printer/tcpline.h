#pragma once

// The virtual printer's raw TCP port. Like a printer it serves one
// connection at a time: others wait in the listen queue (room for a burst of
// ListenBacklog) until the current one ends. A connection that completes no
// command for the idle time, silent or trickling, is closed so that it cannot
// keep the others out. Each connection's commands stand alone; one that ends
// in the middle of a command leaves the printer ready for the next. A client
// that does not take its replies is read no further until it does.

#include "printer/readhold.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class PrinterLog;
class PrinterSession;
class QSocketNotifier;
class VirtualPrinter;

class TcpLine : public QObject
{
public:
    TcpLine(VirtualPrinter &printer, PrinterLog &log, QObject *parent = nullptr);
    ~TcpLine() override;

    static constexpr int ListenBacklog = 1024;
    // What a connection must send in the idle time to count as sending,
    // even while no command is complete yet (a large download on a slow
    // network).
    static constexpr qint64 ProgressBytes = 64 * 1024;

    // 0: a connection may stay as long as it likes.
    void SetIdleTimeout(int seconds);
    // A numeric IPv4 or IPv6 address; port 0 takes any free port.
    bool Listen(const QString &address, quint16 port, QString *error);
    // Whether the address reaches only this machine.
    static bool IsLoopback(const QString &address);
    // "127.0.0.1:9100" or "[::1]:9100"
    QString Endpoint() const;
    quint16 Port() const { return port_; }

private:
    void OnAcceptable();
    void OnReadable();
    // Hands what was received to the printer while nothing holds.
    void Deliver();
    void OnWritable();
    void Queue(const QByteArray &reply);
    void Flush();
    void Send();
    void CloseClient();
    void OnIdle();

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
    QTimer idle_;
    int idleSeconds_ = 0;
    QString peer_; // "127.0.0.1:40312"
    qint64 sinceProgress_ = 0; // bytes received since the idle time began again
    QByteArray in_; // received, not yet taken in: one read's worth at most
    ReadHold hold_ { 1024 * 1024 };
    QByteArray out_;
    bool peerDone_ = false; // the client sent all it will send
};
