#pragma once

#include "link/progress.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>

// One stage of an operation of the printer link, as its observer sees it.
struct TransferStage
{
    QString what; // "Sending 4,194,304 bytes to COM1 (9600 baud)"
    qint64 totalBytes = -1; // -1: not known
    double expectedBytesPerSecond = 0;
    // What the operator is told when they stop the operation in this stage,
    // from the bytes done and the total.
    std::function<QString(qint64 done, qint64 total)> cancelled;
};

// How one operation of the link reports and waits. Every wait of the link
// goes through here, cut into slices of at most SliceMs between which the
// observer learns how far the stage has got and may stop it; without an
// observer the waits are plain.
class Transfer
{
public:
    static constexpr int SliceMs = 40;

    explicit Transfer(ProgressObserver *observer = nullptr)
        : observer_(observer)
    { }

    bool Observed() const { return observer_ != nullptr; }

    void Stage(TransferStage stage);
    // Reports the bytes done in this stage. When the observer wants to stop
    // a stage that is not complete, raises EOperationCancelled with the
    // stage's words and these figures.
    void Progress(qint64 doneBytes);
    // The same without raising: false when the observer wants to stop.
    bool Proceed(qint64 doneBytes);
    // Tells the observer what the operation waits for (empty: no longer).
    void Waiting(const QString &why)
    {
        if (observer_)
            observer_->Waiting(why);
    }
    // Whether the observer has asked to stop.
    bool Stopped() const { return cancelRequested_; }
    // Raises EOperationCancelled for the figures reported last.
    [[noreturn]] void Cancel() const;

    qint64 Done() const { return done_; }
    qint64 Total() const { return stage_.totalBytes; }

    // poll() on one descriptor for up to timeoutMs (-1: no limit): its
    // revents, 0 when the time ran out, -1 (errno set) when poll failed.
    // Between slices: Progress(Done()).
    int Wait(int fd, short events, int timeoutMs);
    // Sleeps, in the same slices.
    void Sleep(int ms);

    // Runs one piece of the stage's work. A failure after some bytes were
    // done says how far it got; one before the first byte keeps its own text.
    template<class Work> void Reporting(Work &&work)
    {
        try {
            work();
        } catch (...) {
            RethrowWithReach(std::current_exception());
        }
    }

private:
    [[noreturn]] void RethrowWithReach(std::exception_ptr failure) const;

    ProgressObserver *observer_;
    TransferStage stage_;
    qint64 done_ = 0;
    QElapsedTimer lastAsked_;
    bool cancelRequested_ = false;
};

// "4,194,304": byte counts as the messages show them.
QString ByteCount(qint64 bytes);
// "4,096 of 2,097,152 bytes", or "4,096 bytes" when the total is not known.
QString BytesReached(qint64 done, qint64 total);
