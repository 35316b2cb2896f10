#pragma once

#include <QtGlobal>

#include <chrono>

// How many bytes of a write the line has carried, as far as can be known:
// never more than have left the driver (written minus what its output queue
// still holds) and never more than the line's rate allows, counted from the
// last report so that a line that stood still does not seem to catch up in
// one jump. It never goes down.
//
// The rate bound is what keeps the count true where the driver's queue says
// nothing: a pseudo-terminal reports an empty queue whatever waits in it, and
// some USB serial adapters hold kilobytes beyond what they report.
class LineCarriedCount
{
public:
    using Clock = std::chrono::steady_clock;

    LineCarriedCount(double lineBytesPerSecond, Clock::time_point start);

    // Takes what has left the driver by `now` and returns the count.
    qint64 Update(qint64 leftDriver, Clock::time_point now);
    qint64 Count() const { return qint64(carried_); }
    // When the count last went up (the start until it first does).
    Clock::time_point LastRise() const { return lastRise_; }

private:
    double bytesPerSecond_;
    double carried_ = 0;
    Clock::time_point last_;
    Clock::time_point lastRise_;
};

// Why a write has carried nothing for a while, as far as the system shows.
// A line held by the printer's Xoff shows as bytes waiting in the driver's
// queue that do not move while Xon/Xoff output control is on and nothing else
// (CTS) may hold the line; a device that reports no queue (a
// pseudo-terminal) shows no cause at all.
enum class LineHold { NotDraining, Xoff };
LineHold HoldOf(bool queueSeen, int queued, bool xonXoffOut, bool ctsFlow);
