#pragma once

#include <QByteArray>

#include <mutex>
#include <thread>
#include <vector>

// Stands between a program and a network printer on 127.0.0.1: each
// connection it accepts is carried on to the printer's port both ways, and
// what the program sent on it is kept, byte for byte, so a test sees exactly
// what reached the printer.
class TcpRelay
{
public:
    explicit TcpRelay(quint16 printerPort);
    ~TcpRelay();

    quint16 Port() const { return port_; }
    // What each connection sent to the printer, in the order they came;
    // waits (bounded) for every connection so far to end.
    std::vector<QByteArray> Sent(int timeoutMs = 10000);

private:
    void Run();
    void Carry(int client);

    quint16 printerPort_;
    quint16 port_ = 0;
    int listenFd_ = -1;
    int stopPipe_[2] = { -1, -1 };
    std::thread thread_;
    std::mutex mutex_;
    std::vector<QByteArray> sent_;
    int open_ = 0;
};
