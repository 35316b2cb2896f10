#include "serial/linemeasure.h"

#include <algorithm>
#include <cmath>

LineCarriedCount::LineCarriedCount(double lineBytesPerSecond, Clock::time_point start)
    : bytesPerSecond_(std::max(1.0, lineBytesPerSecond))
    , last_(start)
    , lastRise_(start)
{ }

qint64 LineCarriedCount::Update(qint64 leftDriver, Clock::time_point now)
{
    const double seconds = std::chrono::duration<double>(now - last_).count();
    if (seconds > 0)
        last_ = now;
    const double allowed = carried_ + bytesPerSecond_ * std::max(0.0, seconds);
    const double next = std::min(double(leftDriver), allowed);
    if (std::floor(next) > std::floor(carried_))
        lastRise_ = now;
    carried_ = std::max(carried_, next);
    return Count();
}

LineHold HoldOf(bool queueSeen, int queued, bool xonXoffOut, bool ctsFlow)
{
    // A UART empties its queue at the line rate unless flow control holds it.
    return queueSeen && queued > 0 && xonXoffOut && !ctsFlow ? LineHold::Xoff
                                                             : LineHold::NotDraining;
}
