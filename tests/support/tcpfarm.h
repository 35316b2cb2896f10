#pragma once

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Many network printer stand-ins on 127.0.0.1, all served by one thread.
// Each listener has a port of its own and one way of behaving.
class TcpFarm
{
public:
    enum class Behaviour {
        Record, // reads every byte until the sender closes, then closes
        Reset, // drops the job unread as soon as it arrives: the sender sees a reset
        Stall, // accepts and never reads
        SlowClose, // records like Record, then waits slowCloseMs before closing
    };

    explicit TcpFarm(const std::vector<Behaviour> &behaviours, int slowCloseMs = 0);
    ~TcpFarm();
    TcpFarm(const TcpFarm &) = delete;
    TcpFarm &operator=(const TcpFarm &) = delete;

    size_t Size() const { return listeners_.size(); }
    quint16 Port(size_t listener) const { return listeners_[listener].port; }

    // What each finished connection to the listener delivered, in order.
    std::vector<QByteArray> Jobs(size_t listener);
    // Waits (bounded) until `count` jobs have been recorded in all.
    bool WaitForJobs(size_t count, int timeoutMs = 10000);
    // The most connections the listener had open at one time.
    int MaxConcurrent(size_t listener);
    // The most connections open at one time across all listeners.
    int MaxConcurrentAll();
    // Connections accepted so far, on all listeners.
    size_t Accepted();

private:
    struct Listener
    {
        int fd = -1;
        quint16 port = 0;
        Behaviour behaviour = Behaviour::Record;
        int open = 0;
        int maxOpen = 0;
        std::vector<QByteArray> jobs;
    };
    struct Connection
    {
        int fd = -1;
        size_t listener = 0;
        QByteArray data;
        qint64 closeAtMs = -1; // SlowClose: when to close after the sender has
    };

    void Run();
    void Close(Connection &c);

    std::vector<Listener> listeners_;
    std::vector<Connection> connections_;
    int slowCloseMs_ = 0;
    int stopPipe_[2] = { -1, -1 };
    std::mutex mutex_;
    std::atomic<size_t> recorded_ { 0 };
    int open_ = 0;
    int maxOpen_ = 0;
    size_t accepted_ = 0;
    std::thread thread_;
};
