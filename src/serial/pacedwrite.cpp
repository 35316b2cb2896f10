// The watched write of the serial port: paced, counted as the line carries
// it, stoppable, and telling when the printer takes nothing.

#include "serial/comthread.h"
#include "serial/cport.h"
#include "serial/linemeasure.h"
#include "serial/posix_port.h"

#include <algorithm>
#include <optional>
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
    // time. A device that shows nothing queued after the first piece (a
    // pseudo-terminal has no line and never reports anything queued) gets
    // writes that wait in the kernel for room, as a plain write does, each
    // ended by a timer at the next look, in pieces that double while it
    // takes them whole (so that it fills as it always has); its queue is
    // looked at only at those looks, so watching it costs next to nothing.
    const qsizetype lineQuarter = std::max<qsizetype>(1, qsizetype(LineBytesPerSecond() / 4));
    constexpr qsizetype MaxPiece = qsizetype(1) << 20;
    qsizetype piece = lineQuarter;
    qsizetype written = 0;
    int queued = 0;
    bool deviceQueues = true; // until seen otherwise
    bool probed = false; // the first piece has shown whether it does
    std::optional<posixport::WaitingWriter> waiting;
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
        if (queued > 0)
            deviceQueues = true;
        if (!deviceQueues && written < length) {
            if (!waiting)
                waiting.emplace();
            const auto untilLook = std::min(lastAsked, lastLooked) + pace - Clock::now();
            const qsizetype want = std::min(piece, length - written);
            qsizetype accepted = 0;
            if (waiting->Usable()) {
                if (int err = waiting->Write(handle_, str.constData() + written, want,
                                             untilDeadline(untilLook), accepted))
                    fail(err);
            } else if (int err
                       = posixport::WriteSome(handle_, str.constData() + written, want, accepted)) {
                fail(err);
            }
            written += accepted;
            if (accepted == want) {
                piece = std::min(piece * 2, MaxPiece);
            } else if (!waiting->Usable()) {
                if (int err = posixport::WaitWritable(handle_, untilDeadline(untilLook)))
                    fail(err);
            }
            continue;
        }
        const qsizetype room = lineQuarter - queued;
        if (written < length && room > 0) {
            const qsizetype want = std::min(room, length - written);
            qsizetype accepted = 0;
            if (int err = posixport::WriteSome(handle_, str.constData() + written, want, accepted))
                fail(err);
            written += accepted;
            if (!probed) {
                probed = true;
                lookAtQueue();
                deviceQueues = queued > 0;
                if (!deviceQueues && accepted == want)
                    piece *= 2;
                continue;
            }
            if (accepted == want)
                continue;
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
