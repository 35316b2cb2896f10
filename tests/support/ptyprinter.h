#pragma once

#include "support/pty.h"

#include <QByteArray>

#include <atomic>
#include <mutex>
#include <thread>

// A serial printer on a pseudo-terminal: records every byte it receives and
// answers each request with a scripted reply, one byte at a time at a given
// pace. The program opens SlavePath() as its serial device.
class PtyPrinter
{
public:
    PtyPrinter();
    ~PtyPrinter();

    bool IsValid() const { return pty_.IsValid(); }
    QString SlavePath() const { return pty_.SlavePath(); }

    // The answer to every request from now on: sent `delayMs` after the
    // request's first byte, `byteIntervalMs` between bytes (0: all at once).
    // endless: keep sending the reply again and again until the next request.
    void SetReply(const QByteArray &reply, int delayMs = 0, int byteIntervalMs = 0,
                  bool endless = false);

    // Everything received so far, after waiting (bounded) until at least
    // `count` bytes are there.
    QByteArray Received(qsizetype count = 0, int timeoutMs = 5000);
    int Requests() const { return requests_.load(); }

    // Writes bytes towards the program without a request.
    bool Send(const QByteArray &data) { return pty_.Write(data); }

private:
    void Run();

    PtyPair pty_;
    int stopPipe_[2] = { -1, -1 };
    std::thread thread_;
    std::mutex mutex_;
    QByteArray received_;
    QByteArray reply_;
    int delayMs_ = 0;
    int byteIntervalMs_ = 0;
    bool endless_ = false;
    std::atomic<int> requests_ { 0 };
};
