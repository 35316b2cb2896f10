// The count of what the line carried: bounded by what left the driver and by
// the line's rate, never going down, and never catching up in one jump after
// the line stood still.

#include "serial/linemeasure.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Clock = LineCarriedCount::Clock;
using std::chrono::milliseconds;

TEST(LineCarriedCount, FollowsTheLowerOfTheDriverAndTheLineRate)
{
    struct Step
    {
        int atMs;
        qint64 leftDriver;
        qint64 count;
    };
    struct Case
    {
        const char *what;
        std::vector<Step> steps;
    };
    // 960 bytes a second: 9600 baud with ten bits a byte.
    const Case cases[] = {
        { "a pseudo-terminal takes everything at once: the line rate counts",
          { { 0, 8192, 0 }, { 500, 8192, 480 }, { 1000, 16384, 960 }, { 10000, 16384, 9600 } } },
        { "a driver that shows its queue: what left it counts",
          { { 250, 100, 100 }, { 500, 300, 300 }, { 1000, 700, 700 } } },
        { "a driver whose count goes back (a queue read after a write): the count stays",
          { { 1000, 900, 900 }, { 1100, 850, 900 }, { 1200, 990, 990 } } },
        { "a line that stood still does not catch up in one jump",
          { { 1000, 960, 960 }, { 5000, 960, 960 }, { 5100, 9000, 1056 }, { 6000, 9000, 1920 } } },
        { "time that goes nowhere adds nothing", { { 0, 5000, 0 }, { 0, 5000, 0 } } },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point start {};
        LineCarriedCount count(960, start);
        for (const Step &s : c.steps) {
            EXPECT_EQ(count.Update(s.leftDriver, start + milliseconds(s.atMs)), s.count)
                << "at " << s.atMs << " ms";
        }
    }
}

TEST(LineCarriedCount, KnowsWhenItLastRose)
{
    const Clock::time_point start {};
    LineCarriedCount count(960, start);
    count.Update(500, start + milliseconds(1000));
    count.Update(500, start + milliseconds(4000));
    EXPECT_EQ(count.LastRise(), start + milliseconds(1000));
    count.Update(501, start + milliseconds(4500));
    EXPECT_EQ(count.LastRise(), start + milliseconds(4500));
}

TEST(LineHold, XoffOnlyWhereTheQueueShowsItAndNothingElseHoldsTheLine)
{
    struct Case
    {
        bool queueSeen;
        int queued;
        bool xonXoffOut;
        bool ctsFlow;
        LineHold hold;
    };
    const Case cases[] = {
        { true, 120, true, false, LineHold::Xoff },
        { true, 0, true, false, LineHold::NotDraining }, // nothing waits in the driver
        { false, 0, true, false, LineHold::NotDraining }, // a device that shows no queue
        { true, 120, false, false, LineHold::NotDraining }, // Xon/Xoff off
        { true, 120, true, true, LineHold::NotDraining }, // CTS may hold it too
    };
    for (const Case &c : cases)
        EXPECT_EQ(HoldOf(c.queueSeen, c.queued, c.xonXoffOut, c.ctsFlow), c.hold)
            << c.queueSeen << c.queued << c.xonXoffOut << c.ctsFlow;
}

} // namespace
