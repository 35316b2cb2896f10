#pragma once

#include "support/pty.h"

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// Printers that take their time, for long transfers: each keeps every byte
// it reads, paced at a given rate, and can be told to take the rest at full
// speed. Every wait is bounded.

// The far end of a serial line on a pseudo-terminal, read at about
// bytesPerSecond.
class SlowPtyReader
{
public:
    SlowPtyReader(PtyPair &pty, int bytesPerSecond);
    ~SlowPtyReader();
    SlowPtyReader(const SlowPtyReader &) = delete;
    SlowPtyReader &operator=(const SlowPtyReader &) = delete;

    qint64 Count() const { return count_.load(); }
    // Stops pacing, reads whatever is still on its way until the line has
    // been quiet for quietMs, and returns everything read.
    QByteArray Finish(int quietMs = 300);

private:
    void Run();

    PtyPair &pty_;
    const int bytesPerSecond_;
    std::atomic<bool> stop_ { false };
    std::atomic<qint64> count_ { 0 };
    std::mutex mutex_;
    QByteArray received_;
    std::thread thread_;
};

// A network printer on 127.0.0.1 for one connection: reads at about
// bytesPerSecond (0: as fast as it can), stops reading for good after
// stopAfter bytes (-1: never), with a receive buffer of receiveBuffer bytes
// (0: the system's).
class SlowTcpPrinter
{
public:
    struct Options
    {
        int bytesPerSecond = 0;
        qint64 stopAfter = -1;
        int receiveBuffer = 0;
    };
    explicit SlowTcpPrinter(Options options);
    ~SlowTcpPrinter();
    SlowTcpPrinter(const SlowTcpPrinter &) = delete;
    SlowTcpPrinter &operator=(const SlowTcpPrinter &) = delete;

    quint16 Port() const { return port_; }
    qint64 Count() const { return count_.load(); }
    // Waits (bounded) until the sender has closed or reset the connection and
    // returns what arrived; a printer that stopped reading reads no more.
    QByteArray Finish(int timeoutMs = 10000);

private:
    void Run();

    const Options options_;
    int listenFd_ = -1;
    int stopPipe_[2] = { -1, -1 };
    quint16 port_ = 0;
    std::atomic<qint64> count_ { 0 };
    std::atomic<bool> ended_ { false };
    std::mutex mutex_;
    QByteArray received_;
    std::thread thread_;
};

// A listener on 127.0.0.1 whose queue of connections is full and that never
// accepts: a connect to it waits for an answer that does not come, as one
// to a printer that is switched off does.
class UnansweredListener
{
public:
    UnansweredListener();
    ~UnansweredListener();
    UnansweredListener(const UnansweredListener &) = delete;
    UnansweredListener &operator=(const UnansweredListener &) = delete;

    // Whether a connect was seen to go unanswered.
    bool Full() const { return full_; }
    quint16 Port() const { return port_; }

private:
    int listener_ = -1;
    quint16 port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};
