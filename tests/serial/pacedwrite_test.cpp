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
    SlowPtyReader reader(pty, 64 * 1024);
    port.OpenPort();
    QElapsedTimer sinceStop;
    const int sent = port.WriteText(data, [&](qint64 n) {
        reports.push_back(n);
        if (n < 96 * 1024)
            return true;
        if (!sinceStop.isValid())
            sinceStop.start();
        return false;
    });
    EXPECT_LT(sinceStop.elapsed(), 2000);
    port.ClosePort();
    EXPECT_GE(sent, 96 * 1024);
    EXPECT_LT(sent, data.size());
    EXPECT_EQ(reports.back(), sent);
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == data.left(sent));
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
