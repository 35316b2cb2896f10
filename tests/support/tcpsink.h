#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A network printer stand-in on 127.0.0.1: accepts connections on a free
// port, records everything each connection sends until the sender closes,
// then closes its end.
class TcpSink
{
public:
    TcpSink();
    ~TcpSink();

    quint16 Port() const { return port_; }

    // Waits (bounded) until at least `count` connections have ended, then
    // returns what each delivered, in order.
    std::vector<QByteArray> WaitForJobs(size_t count, int timeoutMs = 10000);
    size_t AcceptedCount() const { return accepted_.load(); }

private:
    void Run();

    int listenFd_ = -1;
    int stopPipe_[2] = { -1, -1 };
    quint16 port_ = 0;
    std::thread thread_;
    std::atomic<size_t> accepted_ { 0 };
    std::mutex mutex_;
    std::vector<QByteArray> jobs_;
};

// A socket listening on 127.0.0.1 at a free port, which is stored in `port`.
// Throws std::runtime_error when the system refuses.
int ListenOnLoopback(quint16 &port);

// The next connection to `listenFd`; -1 once `stopFd` is readable (or
// polling fails).
int AcceptUnlessStopped(int listenFd, int stopFd);

// A free loopback port that nothing listens on (refuses connections).
quint16 ClosedLoopbackPort();
