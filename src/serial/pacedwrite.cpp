// The watched write of the serial port: paced, counted as the line carries
// it, stoppable, and telling when the printer takes nothing.

#include "serial/comthread.h"
#include "serial/cport.h"
#include "serial/linemeasure.h"
#include "serial/posix_port.h"

#include <algorithm>
#include <thread>

namespace {

// A device with modem lines is a real serial line; a pseudo-terminal has none.
bool IsRealLine(int fd)
{
    TComSignals lines;
    bool supported = false;
    return posixport::ModemLines(fd, lines, supported) == 0 && supported;
}

} // namespace

int TCustomComPort::WriteText(const QByteArray &str, const Proceed &proceed)
{
    return WriteText(str, proceed, Stalled());
}

int TCustomComPort::WriteText(const QByteArray &str, const Proceed &proceed, const Stalled &stalled)
{
    using posixport::Clock;
    if (str.isEmpty())
        return 0;
    NotifyLinks(&TComLink::OnLinkTx, true);
    const posixport::Deadline limit = stalled ? std::nullopt : WriteDeadline(str.size());
    const Clock::time_point deadline = limit.value_or(Clock::time_point::max());
    const qsizetype length = str.size();
    // The most that may wait in the device: a quarter of a second of line
    // time. A device that swallows a whole piece at once (a pseudo-terminal
    // has no line and never reports anything queued) gets bigger pieces, and
    // its queue is looked at only now and then, so that pacing costs it
    // nothing.
    const qsizetype lineQuarter = std::max<qsizetype>(1, qsizetype(LineBytesPerSecond() / 4));
    constexpr qsizetype MaxPiece = qsizetype(1) << 20;
    qsizetype piece = lineQuarter;
    qsizetype written = 0;
    int queued = 0;
    bool deviceQueues = true; // until seen otherwise
    bool queueSeen = false; // the device has shown bytes waiting in it
    const auto pace = std::chrono::milliseconds(PaceMs);
    const auto start = Clock::now();
    auto lastAsked = start;
    auto lastLooked = start - pace;
    auto lastStallTold = start;
    bool stallTold = false;
    bool stopped = false;
    LineCarriedCount carried(LineBytesPerSecond(), start);

    // What the printer gets of a write that ends before it is complete.
    const auto reach = [&] {
        return std::max<qint64>(carried.Count(), written - queued);
    };
    const auto fail = [&](int err) {
        proceed(reach());
        throw WriteFailure(err);
    };
    const auto lookAtQueue = [&] {
        if (int err = posixport::OutputQueued(handle_, queued))
            fail(err);
        queueSeen = queueSeen || queued > 0;
        lastLooked = Clock::now();
    };
    const auto untilDeadline = [&](Clock::duration wanted) {
        if (deadline == Clock::time_point::max())
            return wanted;
        return std::min(wanted, std::max(Clock::duration::zero(), deadline - Clock::now()));
    };
    const auto tellStall = [&](Clock::time_point now) {
        if (!stalled)
            return;
        const auto quiet = now - carried.LastRise();
        if (quiet >= std::chrono::milliseconds(StallAfterMs)) {
            if (stallTold && now - lastStallTold < std::chrono::seconds(1))
                return;
            stallTold = true;
            lastStallTold = now;
            stalled(
                std::chrono::duration_cast<std::chrono::milliseconds>(quiet).count(),
                HoldOf(queueSeen, queued, flowControl_->XonXoffOut(), flowControl_->OutCTSFlow())
                    == LineHold::Xoff);
        } else if (stallTold) {
            stallTold = false;
            stalled(0, false);
        }
    };

    for (;;) {
        const auto now = Clock::now();
        if (deviceQueues || written == length || now - lastLooked >= pace)
            lookAtQueue();
        carried.Update(written - queued, now);
        if (written == length && queued == 0)
            break;
        if (now >= deadline)
            break;
        if (now - lastAsked >= pace) {
            lastAsked = now;
            tellStall(now);
            if (!proceed(carried.Count())) {
                stopped = true;
                break;
            }
        }
        const qsizetype room = std::max(piece, lineQuarter) - queued;
        if (written < length && room > 0) {
            const qsizetype want = std::min(room, length - written);
            qsizetype accepted = 0;
            if (int err = posixport::WriteSome(handle_, str.constData() + written, want, accepted))
                fail(err);
            written += accepted;
            if (accepted == want) {
                if (want == piece && piece < MaxPiece) {
                    lookAtQueue();
                    deviceQueues = queued > 0;
                    if (!deviceQueues)
                        piece *= 2;
                }
                continue;
            }
            // Full, or the far end sent Xoff: wait for room before the next
            // write rather than find out again.
            if (int err = posixport::WaitWritable(handle_, untilDeadline(pace)))
                fail(err);
            continue;
        }
        // Everything allowed is queued: let the line take some of it.
        const auto drain = std::chrono::duration<double>(queued / LineBytesPerSecond() / 2);
        std::this_thread::sleep_for(untilDeadline(
            std::clamp<Clock::duration>(std::chrono::duration_cast<Clock::duration>(drain),
                                        std::chrono::milliseconds(1), pace)));
    }
    if (stopped) {
        // The piece under way may finish; a line held by Xoff does not.
        const auto giveUp = Clock::now() + std::chrono::milliseconds(300);
        while (queued > 0 && Clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            if (posixport::OutputQueued(handle_, queued))
                break;
        }
        posixport::OutputQueued(handle_, queued);
        posixport::DiscardQueues(handle_, false, true);
    }
    if (!stopped && written == length && queued == 0 && IsRealLine(handle_)) {
        // A serial adapter may hold kilobytes it does not report: what it
        // took is on its way for as long as the line needs to carry it.
        while (carried.Count() < length) {
            std::this_thread::sleep_for(pace);
            carried.Update(length, Clock::now());
            if (!proceed(carried.Count()))
                break;
        }
    }
    if (stallTold)
        stalled(0, false);
    const qsizetype sent = written - queued;
    proceed(std::max<qint64>(carried.Count(), sent));
    if (sent == length && eventThread_)
        eventThread_->NoteTxEmpty();
    NotifyLinks(&TComLink::OnLinkTxBuf, str.constData(), int(written));
    return int(sent);
}
