// The event thread and the hand-over of received bytes to the owning thread,
// against real pseudo-terminals.

#include "serial/comdatapacket.h"
#include "serial/cport.h"
#include "serialtest.h"
#include "support/pty.h"

#include <gtest/gtest.h>

#include <ctime>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

// The main window's arrangement: the printer port with a packet assembler
// that has no packet end, so every receive batch is one packet.
struct ThreadFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
        port.SetPort(pty.SlavePath());
        ConfigurePrinterPort(port);
        cpdata.SetComPort(&port);
        cpdata.OnPacket = [this](QObject *sender, const QByteArray &text) {
            EXPECT_EQ(sender, &cpdata);
            packets.push_back(text);
        };
    }
    void TearDown() override { SetComExceptionHandler(nullptr); }

    PtyPair pty;
    TComPort port;
    TComDataPacket cpdata;
    std::vector<QByteArray> packets;
};

using ComThreadTest = ThreadFixture;

double ProcessCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

TEST_F(ComThreadTest, ALeftoverReplyArrivesAsOnePacketInsideClosePort)
{
    port.OpenPort();
    ASSERT_TRUE(port.ThreadCreated());
    // The handler holds the main thread (no event loop) from here on.
    ASSERT_TRUE(pty.Write("A"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.DeliveryWaiting(); }));
    ASSERT_TRUE(pty.Write("BC"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 3; }));
    EXPECT_TRUE(packets.empty());
    port.ClosePort();
    EXPECT_EQ(packets, std::vector<QByteArray> { "ABC" });
    EXPECT_FALSE(port.Connected());
    SpinEvents(100); // nothing is delivered after ClosePort
    EXPECT_EQ(packets.size(), 1u);
}

TEST_F(ComThreadTest, AReplyTheHandlerReadMakesNoPacket)
{
    port.OpenPort();
    EXPECT_EQ(port.WriteText("~!F"), 3);
    EXPECT_EQ(pty.ReadExactly(3), "~!F");
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.DeliveryWaiting(); }));
    ASSERT_TRUE(pty.Write("reply"));
    QByteArray reply, chunk;
    ASSERT_TRUE(WaitWithoutEvents([&] {
        port.ReadText(chunk, 1);
        reply += chunk;
        return reply.size() == 5;
    }));
    int txEmpty = 0;
    port.OnTxEmpty = [&](QObject *) {
        ++txEmpty;
    };
    port.ClosePort();
    // The waiting batch was the end of the write, delivered during the close.
    EXPECT_EQ(txEmpty, 1);
    EXPECT_EQ(reply, "reply");
    EXPECT_TRUE(packets.empty());
}

TEST_F(ComThreadTest, EveryBatchIsOnePacketFromTheEventLoop)
{
    port.OpenPort();
    ASSERT_TRUE(pty.Write("abc"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 1; }));
    ASSERT_TRUE(pty.Write("de"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 2; }));
    EXPECT_EQ(packets, (std::vector<QByteArray> { "abc", "de" }));
    EXPECT_EQ(port.InputQueueCount(), 0);
    port.ClosePort();
}

TEST_F(ComThreadTest, NoThreadAndNoPacketWithoutEvents)
{
    port.SetEvents({});
    port.OpenPort();
    EXPECT_FALSE(port.ThreadCreated());
    ASSERT_TRUE(pty.Write("xyz"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 3; }));
    SpinEvents(100);
    port.ClosePort();
    EXPECT_TRUE(packets.empty());
}

TEST_F(ComThreadTest, LinksAndHandlersSeeTheBatchInOrder)
{
    QStringList log;
    TComLink second;
    second.OnLinkRxBuf = [&](QObject *sender, const char *b, int n) {
        EXPECT_EQ(sender, &port);
        log << "second " + QString::fromLatin1(b, n);
    };
    second.OnLinkRx = [&](QObject *, bool on) {
        log << QStringLiteral("rx %1").arg(on);
    };
    port.AttachLink(&second);
    port.OnRxBuf = [&](QObject *, const char *b, int n) {
        log << "OnRxBuf " + QString::fromLatin1(b, n);
    };
    port.OnRxChar = [&](QObject *, int) {
        log << "OnRxChar";
    };
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        log << "packet " + QString::fromLatin1(t);
    };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("hey"));
    ASSERT_TRUE(WaitWithEvents([&] { return log.size() >= 5; }));
    EXPECT_EQ(log, QStringList({ "rx 1", "rx 0", "OnRxBuf hey", "packet hey", "second hey" }));
    port.ClosePort();
    port.DetachLink(&second);

    // No link takes bytes: OnRxChar gets the count and the bytes stay queued.
    cpdata.SetComPort(nullptr);
    EXPECT_FALSE(port.HasLink());
    int counted = 0;
    port.OnRxChar = [&](QObject *, int count) {
        counted = count;
    };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("1234"));
    ASSERT_TRUE(WaitWithEvents([&] { return counted == 4; }));
    EXPECT_EQ(port.InputQueueCount(), 4);
    port.ClosePort();
}

TEST_F(ComThreadTest, AFailingDeliveryEndsTheThreadSilently)
{
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        packets.push_back(t);
        throw std::runtime_error("handler failed");
    };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("one"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 1; }));
    ASSERT_TRUE(pty.Write("two"));
    SpinEvents(200);
    EXPECT_EQ(packets, std::vector<QByteArray> { "one" });
    EXPECT_EQ(port.InputQueueCount(), 3);
    EXPECT_TRUE(port.Connected());
    port.ClosePort();

    // A fresh open brings a fresh thread.
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        packets.push_back(t);
    };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("three"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 2; }));
    EXPECT_EQ(packets.back(), "three");
    port.ClosePort();
}

TEST_F(ComThreadTest, ClosingFromInsideADeliveryDoesNotDeadlock)
{
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        packets.push_back(t);
        port.ClosePort();
    };
    port.OpenPort();
    ASSERT_TRUE(pty.Write("bye"));
    ASSERT_TRUE(WaitWithEvents([&] { return !port.Connected(); }));
    EXPECT_EQ(packets, std::vector<QByteArray> { "bye" });
    EXPECT_FALSE(port.ThreadCreated());
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
}

// The batch ClosePort delivers on its way out reaches a handler that closes
// the port itself (and, in the second case, opens it again): the inner close
// stops and destroys the thread object the outer close is still inside.
TEST_F(ComThreadTest, AHandlerClosingThePortInsideClosePortsDelivery)
{
    for (const bool reopen : { false, true }) {
        SCOPED_TRACE(reopen ? "closed and reopened" : "closed");
        packets.clear();
        int handled = 0;
        cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
            packets.push_back(t);
            if (handled++ == 0) {
                port.ClosePort();
                if (reopen)
                    port.OpenPort();
            }
        };
        port.OpenPort();
        ASSERT_TRUE(pty.Write("last"));
        ASSERT_TRUE(WaitWithoutEvents([&] { return port.DeliveryWaiting(); }));
        ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 4; }));
        port.ClosePort();
        EXPECT_EQ(packets, std::vector<QByteArray> { "last" });
        EXPECT_FALSE(port.Connected());
        EXPECT_FALSE(port.ThreadCreated());

        // The port still works afterwards.
        port.OpenPort();
        ASSERT_TRUE(pty.Write("next"));
        ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 2; }));
        EXPECT_EQ(packets.back(), "next");
        port.ClosePort();
    }
}

TEST_F(ComThreadTest, WithoutSynchronisationHandlersRunOnTheEventThread)
{
    std::mutex mutex;
    std::vector<std::thread::id> threads;
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        std::lock_guard lock(mutex);
        packets.push_back(t);
        threads.push_back(std::this_thread::get_id());
    };
    port.SetSyncMethod(smNone);
    port.OpenPort();
    ASSERT_TRUE(pty.Write("direct"));
    ASSERT_TRUE(WaitWithoutEvents([&] {
        std::lock_guard lock(mutex);
        return !packets.empty();
    }));
    port.ClosePort();
    ASSERT_EQ(threads.size(), 1u);
    EXPECT_NE(threads[0], std::this_thread::get_id());
    EXPECT_EQ(packets, std::vector<QByteArray> { "direct" });
}

TEST_F(ComThreadTest, WindowDeliveryReportsFailuresAndCarriesOn)
{
    std::vector<QString> reported;
    SetComExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception &x) {
            reported.push_back(QString::fromUtf8(x.what()));
        }
    });
    cpdata.OnPacket = [&](QObject *, const QByteArray &t) {
        packets.push_back(t);
        if (t == "bad")
            throw std::runtime_error("bad packet");
    };
    port.SetSyncMethod(smWindowSync);
    port.OpenPort();
    ASSERT_TRUE(pty.Write("bad"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 1; }));
    ASSERT_TRUE(pty.Write("good"));
    ASSERT_TRUE(WaitWithEvents([&] { return packets.size() == 2; }));
    port.ClosePort();
    EXPECT_EQ(packets, (std::vector<QByteArray> { "bad", "good" }));
    EXPECT_EQ(reported, std::vector<QString> { "bad packet" });
}

TEST_F(ComThreadTest, AHungUpDeviceNeitherSpinsNorBlocksTheClose)
{
    port.OpenPort();
    pty.ReleaseSlave();
    pty.CloseMaster();
    SpinEvents(50);
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    // A spinning event thread would burn about as much CPU time as passed.
    EXPECT_LT(ProcessCpuSeconds() - before, 0.25);
    EXPECT_NO_THROW(port.ClosePort());
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComThreadTest, TheEndOfAWriteIsReported)
{
    QStringList log;
    TComLink link;
    link.OnLinkTx = [&](QObject *, bool on) {
        log << QStringLiteral("tx %1").arg(on);
    };
    link.OnLinkTxEmpty = [&](QObject *) {
        log << "tx empty";
    };
    port.AttachLink(&link);
    port.OnTxEmpty = [&](QObject *) {
        log << "OnTxEmpty";
    };
    port.OpenPort();
    EXPECT_EQ(port.WriteText("^XA^XZ"), 6);
    ASSERT_TRUE(WaitWithEvents([&] { return log.size() == 4; }));
    EXPECT_EQ(log, QStringList({ "tx 1", "tx 0", "tx empty", "OnTxEmpty" }));
    EXPECT_EQ(pty.ReadExactly(6), "^XA^XZ");
    port.ClosePort();
    port.DetachLink(&link);
}
