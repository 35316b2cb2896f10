#include "link/transfer.h"

#include "core/exceptions.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>

namespace {
// Observers hear of progress no more often than this.
constexpr qint64 ReportEveryMs = 10;
} // namespace

QString ByteCount(qint64 bytes)
{
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(bytes);
}

QString BytesReached(qint64 done, qint64 total)
{
    if (total < 0)
        return QStringLiteral("%1 bytes").arg(ByteCount(done));
    return QStringLiteral("%1 of %2 bytes").arg(ByteCount(done), ByteCount(total));
}

void Transfer::Stage(TransferStage stage)
{
    stage_ = std::move(stage);
    done_ = 0;
    if (observer_) {
        observer_->Stage(stage_.what, stage_.totalBytes, stage_.expectedBytesPerSecond);
        lastAsked_.invalidate();
    }
}

bool Transfer::Proceed(qint64 doneBytes)
{
    done_ = doneBytes;
    if (!observer_ || cancelRequested_)
        return !cancelRequested_;
    const bool last = stage_.totalBytes >= 0 && doneBytes >= stage_.totalBytes;
    if (lastAsked_.isValid() && lastAsked_.elapsed() < ReportEveryMs && !last)
        return true;
    lastAsked_.start();
    observer_->Progress(doneBytes);
    cancelRequested_ = observer_->CancelRequested();
    return !cancelRequested_;
}

void Transfer::Progress(qint64 doneBytes)
{
    // Once every byte is through, what is left (a pause, a close) runs to
    // its end: the operation did complete.
    const bool complete = stage_.totalBytes >= 0 && doneBytes >= stage_.totalBytes;
    if (!Proceed(doneBytes) && !complete)
        Cancel();
}

void Transfer::Cancel() const
{
    const QString text = stage_.cancelled
        ? stage_.cancelled(done_, stage_.totalBytes)
        : QStringLiteral("Cancelled after %1").arg(BytesReached(done_, stage_.totalBytes));
    throw EOperationCancelled(text, done_, stage_.totalBytes);
}

int Transfer::Wait(int fd, short events, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        int slice = timeoutMs;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
            slice = int(std::max<qint64>(0, left.count()));
        }
        if (observer_ && (slice < 0 || slice > SliceMs))
            slice = SliceMs;
        pollfd p { fd, events, 0 };
        const int r = ::poll(&p, 1, slice);
        if (r < 0 && errno != EINTR)
            return -1;
        if (r > 0)
            return p.revents;
        Progress(done_);
        if (timeoutMs >= 0 && Clock::now() >= end)
            return 0;
    }
}

void Transfer::Sleep(int ms)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        auto left = end - Clock::now();
        if (observer_)
            left = std::min<Clock::duration>(left, std::chrono::milliseconds(SliceMs));
        if (left > Clock::duration::zero())
            std::this_thread::sleep_for(left);
        Progress(done_);
        if (Clock::now() >= end)
            return;
    }
}

void Transfer::RethrowWithReach(std::exception_ptr failure) const
{
    try {
        std::rethrow_exception(failure);
    } catch (const EOperationCancelled &) {
        throw;
    } catch (const ETarvolinError &e) {
        if (done_ <= 0)
            throw;
        throw With(ETarvolinError(QStringLiteral("%1 after %2")
                                      .arg(e.Message(), BytesReached(done_, stage_.totalBytes))),
                   e.Particulars());
    }
}
