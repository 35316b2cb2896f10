// Long writes that report progress and can be stopped, and the hold that
// keeps deliveries back while an operation lets the event loop turn; against
// real pseudo-terminals.

#include "serial/comdatapacket.h"
#include "serial/cport.h"
#include "serialtest.h"
#include "support/pty.h"
#include "support/slowprinters.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct PacedFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
        ConfigurePrinterPort(port);
        // The payload is binary: Xon/Xoff bytes in it must not stop the line.
        port.FlowControl().SetFlowControl(fcNone);
        port.SetPort(pty.SlavePath());
        cpdata.SetComPort(&port);
        cpdata.OnPacket = [this](QObject *, const QByteArray &text) {
            packets.push_back(text);
        };
    }

    static QByteArray Payload(qsizetype size)
    {
        QByteArray data(size, '\0');
        for (qsizetype i = 0; i < size; ++i)
            data[i] = char((i * 131) >> 3);
        return data;
    }

    PtyPair pty;
    TComPort port;
    TComDataPacket cpdata;
    std::vector<QByteArray> packets;
    std::vector<qint64> reports;
};

using PacedWriteTest = PacedFixture;
using DeliveryHoldTest = PacedFixture;

} // namespace

TEST_F(PacedWriteTest, ReportsRisingCountsAndDeliversEveryByte)
{
    const QByteArray data = Payload(256 * 1024);
    SlowPtyReader reader(pty, 1024 * 1024);
    port.OpenPort();
    const int sent = port.WriteText(data, [&](qint64 n) {
        reports.push_back(n);
        return true;
    });
    port.ClosePort();
    EXPECT_EQ(sent, data.size());
    EXPECT_TRUE(reader.Finish() == data);
    ASSERT_GE(reports.size(), 3u); // a quarter of a second takes several reports
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), data.size());
}

TEST_F(PacedWriteTest, StoppingLeavesExactlyTheReportedPrefix)
{
    const QByteArray data = Payload(1024 * 1024);
    // The count follows the line's rate: fast enough to stop part-way soon.
    port.SetBaudRate(br115200);
    SlowPtyReader reader(pty, 64 * 1024);
    port.OpenPort();
    QElapsedTimer sinceStop;
    const int sent = port.WriteText(data, [&](qint64 n) {
        reports.push_back(n);
        if (n < 16 * 1024)
            return true;
        if (!sinceStop.isValid())
            sinceStop.start();
        return false;
    });
    EXPECT_LT(sinceStop.elapsed(), 2000);
    port.ClosePort();
    EXPECT_GE(sent, 16 * 1024);
    EXPECT_LT(sent, data.size());
    EXPECT_EQ(reports.back(), sent);
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == data.left(sent));
}

// A printer read at 960 bytes a second behind a 9600-baud port: the count
// is what the line carried, not what the pseudo-terminal swallowed (it takes
// kilobytes at once and says nothing of them).
TEST_F(PacedWriteTest, OnASlowLineTheCountFollowsWhatThePrinterRead)
{
    const qint64 capacity = PtyCapacity();
    ASSERT_GT(capacity, 0);
    const QByteArray data = Payload(64 * 1024);
    struct Seen
    {
        qint64 ms;
        qint64 count;
        qint64 read;
    };
    std::vector<Seen> seen;
    QElapsedTimer clock;
    clock.start();
    SlowPtyReader reader(pty, 960);
    port.OpenPort();
    const int sent = port.WriteText(data, [&](qint64 n) {
        seen.push_back({ clock.elapsed(), n, reader.Count() });
        return clock.elapsed() < 6000;
    });
    port.ClosePort();
    ASSERT_GE(seen.size(), 100u);
    qint64 worstAhead = 0;
    // The last report, after the stop, is what the printer gets (below).
    for (size_t i = 0; i + 1 < seen.size(); ++i) {
        SCOPED_TRACE(i);
        if (i > 0) {
            EXPECT_GE(seen[i].count, seen[i - 1].count);
        }
        // Never faster than the line, which began no earlier than the clock.
        EXPECT_LE(seen[i].count, 960 * seen[i].ms / 1000 + 1);
        worstAhead = std::max(worstAhead, seen[i].count - seen[i].read);
    }
    // A quarter of a second of line time is the most written at once.
    EXPECT_LE(worstAhead, capacity + 240);
    const auto at = [&](qint64 ms) {
        return std::find_if(seen.begin(), seen.end(), [&](const Seen &s) { return s.ms >= ms; })
            ->count;
    };
    const double rate = (at(5500) - at(1500)) / 4.0;
    EXPECT_NEAR(rate, 960, 960 * 0.25);

    // Stopped, it tells what the printer gets: a pseudo-terminal delivers
    // what it took, so every byte written, and the count never went down.
    EXPECT_GE(seen.back().count, seen[seen.size() - 2].count);
    EXPECT_LT(sent, data.size());
    EXPECT_EQ(seen.back().count, sent);
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == data.left(sent));
}

// A printer that takes nothing: the write says so once it has carried
// nothing for ten seconds, about every second after that, waits beyond its
// write time limit for whoever watches it, and hears when the line moves
// again.
TEST_F(PacedWriteTest, APrinterThatTakesNothingIsToldOfAndWaitedFor)
{
    port.SetBaudRate(br115200);
    // Without someone watching, this write would end after two seconds.
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(2000);
    const QByteArray data = Payload(256 * 1024);
    struct Told
    {
        qint64 ms;
        qint64 quietMs;
        bool xoff;
    };
    std::vector<Told> told;
    QElapsedTimer clock;
    clock.start();
    qint64 lastRise = 0;
    qint64 lastCount = -1;
    bool reading = false;
    port.OpenPort();
    const int sent = port.WriteText(
        data,
        [&](qint64 n) {
            if (n > lastCount) {
                lastCount = n;
                lastRise = clock.elapsed();
            }
            if (reading)
                pty.ReadAvailable();
            // Read again once the stall has been told three times; stop a
            // while after the line moved again, or at a fault.
            if (!reading && told.size() >= 3)
                reading = true;
            return clock.elapsed() < 40000
                && !(reading && !told.empty() && told.back().quietMs == 0
                     && clock.elapsed() - told.back().ms > 500);
        },
        [&](qint64 quietMs, bool xoff) {
            told.push_back({ clock.elapsed(), quietMs, xoff });
        });
    port.ClosePort();
    ASSERT_GE(told.size(), 4u);
    // Told within 15 s of the last byte the line took, not a cause it cannot
    // see, and then once a second or so.
    EXPECT_GE(told[0].quietMs, 10000);
    EXPECT_LT(told[0].quietMs, 15000);
    EXPECT_FALSE(told[0].xoff);
    for (size_t i = 1; i + 1 < told.size(); ++i) {
        EXPECT_GE(told[i].ms - told[i - 1].ms, 900) << i;
        EXPECT_LE(told[i].ms - told[i - 1].ms, 2000) << i;
        EXPECT_GT(told[i].quietMs, told[i - 1].quietMs) << i;
    }
    EXPECT_EQ(told.back().quietMs, 0) << "not told that the line moved again";
    EXPECT_GT(clock.elapsed(), 12000) << "gave up by itself";
    EXPECT_GT(sent, lastCount - 1);
    EXPECT_LT(clock.elapsed(), 40000);
}

// A printer that answered Xoff takes nothing: stopping still ends the write.
TEST_F(PacedWriteTest, StoppingALinePausedByXoff)
{
    port.FlowControl().SetFlowControl(fcSoftware);
    port.OpenPort();
    // Xoff, then a marker: once the marker is queued the Xoff has been acted on.
    ASSERT_TRUE(pty.Write("\x13M"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 1; }));
    QByteArray marker;
    port.ReadText(marker, 1);
    QElapsedTimer clock;
    clock.start();
    const int sent = port.WriteText("^XA^FDpaused^FS^XZ", [&](qint64 n) {
        reports.push_back(n);
        return clock.elapsed() < 200;
    });
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(sent, 0);
    port.ClosePort();
    ASSERT_TRUE(pty.Write("\x11"));
    EXPECT_EQ(pty.ReadUntilQuiet(100, 1000), QByteArray());
}

// A write from a thread that blocks every signal (as some workers do) is
// still watched and can be stopped while the printer takes nothing, and the
// thread's signal mask is as it was afterwards.
TEST_F(PacedWriteTest, AThreadThatBlocksSignalsCanStillStopAStuckWrite)
{
    const QByteArray data = Payload(1024 * 1024);
    port.OpenPort();
    int sent = -1;
    int asked = 0;
    bool maskKept = false;
    std::thread writer([&] {
        sigset_t all, before, after;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &before);
        pthread_sigmask(SIG_BLOCK, nullptr, &before);
        // Nobody reads the far end: the pseudo-terminal fills and then takes
        // nothing.
        sent = port.WriteText(data, [&](qint64) { return ++asked < 10; });
        pthread_sigmask(SIG_BLOCK, nullptr, &after);
        maskKept = true;
        for (int sig = 1; sig <= SIGRTMAX; ++sig)
            maskKept = maskKept && sigismember(&before, sig) == sigismember(&after, sig);
    });
    writer.join();
    port.ClosePort();
    EXPECT_GE(asked, 10);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, data.size());
    EXPECT_TRUE(maskKept);
    EXPECT_TRUE(pty.ReadExactly(sent) == data.left(sent));
}

TEST_F(PacedWriteTest, AFarEndThatGoesAwayFailsTheWriteWithTheCountSoFar)
{
    const QByteArray data = Payload(1024 * 1024);
    port.OpenPort();
    bool closed = false;
    try {
        port.WriteText(data, [&](qint64 n) {
            reports.push_back(n);
            if (n > 0 && !closed) {
                pty.ReleaseSlave();
                pty.CloseMaster();
                closed = true;
            }
            return true;
        });
        ADD_FAILURE() << "no error";
    } catch (const EComPort &e) {
        EXPECT_EQ(e.PortCode(), pcWrite);
    }
    EXPECT_TRUE(closed);
    EXPECT_GT(reports.back(), 0);
    EXPECT_LT(reports.back(), data.size());
    port.ClosePort();
}

TEST_F(DeliveryHoldTest, AHeldBatchWaitsForClosePort)
{
    port.OpenPort();
    {
        TCustomComPort::DeliveryHold hold(&port);
        ASSERT_TRUE(pty.Write("late"));
        ASSERT_TRUE(WaitWithEvents([&] { return port.DeliveryWaiting(); }));
        SpinEvents(200);
        EXPECT_TRUE(packets.empty());
        EXPECT_EQ(port.InputQueueCount(), 4);
        port.ClosePort();
        EXPECT_EQ(packets, std::vector<QByteArray> { "late" });
    }
    SpinEvents(50);
    EXPECT_EQ(packets.size(), 1u);
}

// An operation that fails with the port still open leaves it as a handler
// did: once the operation is over, every batch is delivered from the loop.
TEST_F(DeliveryHoldTest, TheEndOfTheHoldDeliversWhatWaited)
{
    port.OpenPort();
    {
        TCustomComPort::DeliveryHold outer(&port);
        {
            TCustomComPort::DeliveryHold inner(&port);
            ASSERT_TRUE(pty.Write("one"));
            ASSERT_TRUE(WaitWithEvents([&] { return port.DeliveryWaiting(); }));
        }
        SpinEvents(100);
        EXPECT_TRUE(packets.empty());
    }
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 1; }));
    ASSERT_TRUE(pty.Write("two"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 2; }));
    EXPECT_EQ(packets, (std::vector<QByteArray> { "one", "two" }));
    port.ClosePort();
}
