// The port against real pseudo-terminals: the test plays the printer on the
// master end.

#include "serial/cport.h"
#include "serialtest.h"
#include "support/pty.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace {

termios2 SlaveSettings(const PtyPair &pty)
{
    termios2 t {};
    EXPECT_EQ(ioctl(pty.MasterFd(), TCGETS2, &t), 0);
    return t;
}

int OpenDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

struct PortFixture : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
        port.SetPort(pty.SlavePath());
        ConfigurePrinterPort(port);
    }
    PtyPair pty;
    TComPort port;
};

using ComPortTest = PortFixture;

} // namespace

TEST_F(ComPortTest, OpenAndCloseAreIdempotentAndNotifyInOrder)
{
    QStringList log;
    TComLink link;
    link.OnLinkOpen = [&](QObject *, bool on) {
        log << QStringLiteral("link open %1").arg(on);
    };
    link.OnLinkCTS = [&](QObject *, bool on) {
        log << QStringLiteral("link cts %1").arg(on);
    };
    link.OnLinkDSR = [&](QObject *, bool on) {
        log << QStringLiteral("link dsr %1").arg(on);
    };
    link.OnLinkRLSD = [&](QObject *, bool on) {
        log << QStringLiteral("link rlsd %1").arg(on);
    };
    port.AttachLink(&link);
    port.OnBeforeOpen = [&](QObject *s) {
        EXPECT_EQ(s, &port);
        log << "before open";
    };
    port.OnAfterOpen = [&](QObject *) {
        log << "after open";
    };
    port.OnBeforeClose = [&](QObject *) {
        log << "before close";
    };
    port.OnAfterClose = [&](QObject *) {
        log << "after close";
    };
    port.OnCTSChange = [&](QObject *, bool on) {
        log << QStringLiteral("cts %1").arg(on);
    };
    port.OnDSRChange = [&](QObject *, bool on) {
        log << QStringLiteral("dsr %1").arg(on);
    };
    port.OnRLSDChange = [&](QObject *, bool on) {
        log << QStringLiteral("rlsd %1").arg(on);
    };

    port.ClosePort(); // closed: nothing
    EXPECT_TRUE(log.isEmpty());
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
    const int handle = port.Handle();
    port.OpenPort(); // open: nothing, same device
    port.SetConnected(true);
    EXPECT_EQ(port.Handle(), handle);
    // A pseudo-terminal has no modem lines: every line reads off, no error.
    EXPECT_EQ(port.LineSignals(), 0);
    EXPECT_EQ(port.CollectLineErrors(), 0);
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Handle(), -1);
    port.SetConnected(false);
    port.ClosePort();

    const QStringList expected
        = { "before open",  "link open 1", "after open",  "link cts 0", "cts 0",
            "link dsr 0",   "dsr 0",       "link rlsd 0", "rlsd 0",     "link cts 0",
            "link dsr 0",   "link rlsd 0", "cts 0",       "dsr 0",      "rlsd 0",
            "before close", "link open 0", "after close" };
    EXPECT_EQ(log, expected);
    port.DetachLink(&link);
}

TEST_F(ComPortTest, MissingOrBusyDeviceRaisesCodeOne)
{
    QTemporaryDir dir;
    const QString regularFile = dir.filePath(QStringLiteral("not-a-tty"));
    QFile f(regularFile);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();

    TComPort holder;
    holder.SetPort(pty.SlavePath());
    holder.SetEvents({});
    holder.OpenPort();

    const struct
    {
        QString port;
        int errnoValue;
    } cases[] = {
        { QStringLiteral("/dev/tarvolin-no-such-device"), ENOENT },
        { QStringLiteral("tarvolin-no-such-device"), ENOENT },
        { pty.SlavePath(), EBUSY }, // held by the other port
        { regularFile, ENOTTY }, // opens, but is no terminal: closed again
    };
    for (const auto &c : cases) {
        TComPort p;
        p.SetPort(c.port);
        const int before = OpenDescriptors();
        try {
            p.OpenPort();
            ADD_FAILURE() << "opened " << c.port.toStdString();
        } catch (const EComPort &e) {
            EXPECT_EQ(e.PortCode(), 1);
            EXPECT_EQ(e.SystemCode(), c.errnoValue);
            EXPECT_EQ(
                e.Message(),
                QStringLiteral("Unable to open com port (win error code: %1)").arg(c.errnoValue));
        }
        EXPECT_FALSE(p.Connected());
        EXPECT_FALSE(p.ThreadCreated());
        EXPECT_EQ(OpenDescriptors(), before) << c.port.toStdString();
    }
    holder.ClosePort();
    port.OpenPort(); // free again
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortTest, SettingsReachTheDevice)
{
    struct Case
    {
        const char *name;
        std::function<void(TComPort &)> set;
        unsigned cbaud, speed, parity, cstopb, crtscts, iflag;
    };
    const Case cases[] = {
        { "printer line", [](TComPort &) {}, B9600, 9600, 0, 0, 0, IXON | IXOFF },
        { "115200", [](TComPort &p) { p.SetBaudRate(br115200); }, B115200, 115200, 0, 0, 0,
          IXON | IXOFF },
        { "14400 through the arbitrary rate", [](TComPort &p) { p.SetBaudRate(br14400); }, BOTHER,
          14400, 0, 0, 0, IXON | IXOFF },
        { "custom",
          [](TComPort &p) {
              p.SetBaudRate(brCustom);
              p.SetCustomBaudRate(31250);
          },
          BOTHER, 31250, 0, 0, 0, IXON | IXOFF },
        { "7O2",
          [](TComPort &p) {
              p.SetDataBits(dbSeven);
              p.Parity().SetBits(prOdd);
              p.SetStopBits(sbTwoStopBits);
          },
          B9600, 9600, PARENB | PARODD, CSTOPB, 0, IXON | IXOFF },
        { "5 bits, mark, 1.5 stop",
          [](TComPort &p) {
              p.SetDataBits(dbFive);
              p.Parity().SetBits(prMark);
              p.SetStopBits(sbOne5StopBits);
          },
          B9600, 9600, PARENB | PARODD | CMSPAR, CSTOPB, 0, IXON | IXOFF },
        { "hardware flow, parity check",
          [](TComPort &p) {
              p.FlowControl().SetFlowControl(fcHardware);
              p.Parity().SetCheck(true);
          },
          B9600, 9600, 0, 0, CRTSCTS, INPCK },
        { "Xon/Xoff characters",
          [](TComPort &p) {
              p.FlowControl().SetXonChar('Q');
              p.FlowControl().SetXoffChar('S');
          },
          B9600, 9600, 0, 0, 0, IXON | IXOFF },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (bool whileOpen : { false, true }) {
            TComPort p;
            p.SetPort(pty.SlavePath());
            ConfigurePrinterPort(p);
            p.SetEvents({});
            if (whileOpen) {
                p.OpenPort();
                c.set(p); // applied at once
            } else {
                c.set(p); // applied by the open
                p.OpenPort();
            }
            const termios2 t = SlaveSettings(pty);
            EXPECT_EQ(t.c_cflag & CBAUD, c.cbaud);
            EXPECT_EQ(t.c_ospeed, c.speed);
            // A pseudo-terminal always reports 8 data bits and parity off;
            // the rest of the framing sticks.
            EXPECT_EQ(t.c_cflag & CSIZE, unsigned(CS8));
            EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.parity & (PARODD | CMSPAR));
            EXPECT_EQ(t.c_cflag & CSTOPB, c.cstopb);
            EXPECT_EQ(t.c_cflag & CRTSCTS, c.crtscts);
            EXPECT_EQ(t.c_cflag & (CREAD | CLOCAL), unsigned(CREAD | CLOCAL));
            EXPECT_EQ(t.c_iflag, c.iflag);
            EXPECT_EQ(t.c_oflag, 0u);
            EXPECT_EQ(t.c_lflag, 0u); // raw: no echo, no line editing, no signals
            EXPECT_EQ(t.c_cc[VSTART], p.FlowControl().XonChar());
            EXPECT_EQ(t.c_cc[VSTOP], p.FlowControl().XoffChar());
            EXPECT_EQ(t.c_cc[VMIN], 1);
            EXPECT_EQ(t.c_cc[VTIME], 0);
            p.ClosePort();
        }
    }
}

TEST_F(ComPortTest, ReadsNeverWait)
{
    port.OpenPort();
    QByteArray text = "stale";
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(port.ReadText(text, 1), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(port.ReadText(text, 100), 0);
    EXPECT_LT(timer.elapsed(), 1000); // did not wait for data

    ASSERT_TRUE(pty.Write("ABC"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 3; }));
    EXPECT_EQ(port.ReadText(text, 1), 1);
    EXPECT_EQ(text, "A");
    EXPECT_EQ(port.InputQueueCount(), 2);
    char buffer[10];
    EXPECT_EQ(port.ReadBytes(buffer, 10), 2);
    EXPECT_EQ(QByteArray(buffer, 2), "BC");
    EXPECT_EQ(port.ReadText(text, 5), 0);
    EXPECT_TRUE(text.isEmpty());
}

TEST_F(ComPortTest, EmptyWriteAndZeroCountReadStartNothing)
{
    QStringList log;
    TComLink link;
    link.OnLinkTx = [&](QObject *, bool on) {
        log << QStringLiteral("tx %1").arg(on);
    };
    link.OnLinkTxBuf = [&](QObject *, const char *b, int n) {
        log << "txbuf " + QString::fromLatin1(b, n);
    };
    link.OnLinkRx = [&](QObject *, bool on) {
        log << QStringLiteral("rx %1").arg(on);
    };
    port.AttachLink(&link);
    port.OpenPort();
    ASSERT_TRUE(pty.Write("Z"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 1; }));

    EXPECT_EQ(port.WriteText(QByteArray()), 0);
    QByteArray text = "x";
    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(port.ReadText(text, -1), 0);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(port.InputQueueCount(), 1);
    EXPECT_TRUE(pty.ReadUntilQuiet(50).isEmpty());

    // A real transfer, for contrast.
    EXPECT_EQ(port.WriteText("hi"), 2);
    EXPECT_EQ(port.ReadText(text, 1), 1);
    EXPECT_EQ(log, QStringList({ "tx 1", "txbuf hi", "rx 0" }));
    EXPECT_EQ(pty.ReadExactly(2), "hi");
    port.ClosePort();
    port.DetachLink(&link);
}

TEST_F(ComPortTest, WriteWaitsWhileTheFarEndHoldsXoff)
{
    port.SetEvents({});
    port.Timeouts().SetWriteTotalConstant(20000);
    port.OpenPort();
    // Xoff, then a marker: once the marker is queued the Xoff before it has
    // been acted on.
    ASSERT_TRUE(pty.Write("\x13M"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 1; }));
    QByteArray marker;
    port.ReadText(marker, 1);
    ASSERT_EQ(marker, "M");

    std::atomic<bool> quietBeforeXon { false };
    QByteArray received;
    std::thread printer([&] {
        quietBeforeXon = pty.ReadUntilQuiet(300, 3000).isEmpty();
        pty.Write("\x11");
        received = pty.ReadExactly(10, 10000);
    });
    const int sent = port.WriteText("0123456789");
    printer.join();
    EXPECT_EQ(sent, 10);
    EXPECT_TRUE(quietBeforeXon.load());
    EXPECT_EQ(received, "0123456789");
}

TEST_F(ComPortTest, WriteEndsAtTheTimeoutWithTheCountSent)
{
    port.SetEvents({});
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(300);
    port.OpenPort();

    // Held by Xoff: nothing leaves.
    ASSERT_TRUE(pty.Write("\x13M"));
    ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 1; }));
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(port.WriteText("held"), 0);
    EXPECT_LT(timer.elapsed(), 10000);
    ASSERT_TRUE(pty.Write("\x11"));
    EXPECT_TRUE(pty.ReadUntilQuiet(200).isEmpty());

    // A far end that stops reading: the count is what it can still read.
    QByteArray data(256 * 1024, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char('a' + i % 26);
    const int sent = port.WriteText(data);
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, data.size());
    const QByteArray arrived = pty.ReadUntilQuiet(200, 10000);
    EXPECT_EQ(arrived.size(), sent);
    EXPECT_EQ(arrived, data.left(sent));
}

TEST_F(ComPortTest, ClosePortDiscardsWhatIsQueued)
{
    for (const TComEvents events : { TComEvents(), TComEvents::All() }) {
        SCOPED_TRACE(events.Bits());
        port.SetEvents(events);
        port.OpenPort();
        EXPECT_EQ(port.ThreadCreated(), !events.IsEmpty());
        ASSERT_TRUE(pty.Write("unread"));
        ASSERT_TRUE(WaitWithoutEvents([&] { return port.InputQueueCount() == 6; }));
        port.ClosePort();
        EXPECT_FALSE(port.ThreadCreated());
        EXPECT_EQ(pty.SlaveInputQueued(), 0);
    }
}

TEST_F(ComPortTest, ChangingThePortWhileOpenMovesToTheNewDevice)
{
    PtyPair other;
    ASSERT_TRUE(other.IsValid());
    port.SetPort(other.SlavePath()); // closed: only stored
    EXPECT_FALSE(port.Connected());
    port.SetPort(pty.SlavePath());
    port.OpenPort();
    port.SetPort(other.SlavePath());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteText("moved"), 5);
    EXPECT_EQ(other.ReadExactly(5), "moved");
    EXPECT_TRUE(pty.ReadUntilQuiet(50).isEmpty());
    TComPort first; // the first device is free again
    first.SetPort(pty.SlavePath());
    EXPECT_NO_THROW(first.OpenPort());
}

TEST_F(ComPortTest, SyncMethodIsRefusedWhileConnected)
{
    port.SetSyncMethod(smNone);
    port.SetSyncMethod(smThreadSync);
    port.OpenPort();
    try {
        port.SetSyncMethod(smWindowSync);
        ADD_FAILURE() << "changed while connected";
    } catch (const EComPort &e) {
        EXPECT_EQ(e.PortCode(), 14);
        EXPECT_EQ(e.Message(), "Cannot set property while connected");
        EXPECT_EQ(e.SystemCode(), -1);
    }
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.SetSyncMethod(smThreadSync); // unchanged: no complaint
}

TEST_F(ComPortTest, LinksRegisterOnce)
{
    TComLink plain, receiver;
    receiver.OnLinkRxBuf = [](QObject *, const char *, int) {
    };
    port.AttachLink(&plain);
    EXPECT_FALSE(port.HasLink());
    port.AttachLink(&receiver);
    EXPECT_TRUE(port.HasLink());

    const auto expectCode18 = [](const std::function<void()> &f) {
        try {
            f();
            ADD_FAILURE() << "no error";
        } catch (const EComPort &e) {
            EXPECT_EQ(e.PortCode(), 18);
            EXPECT_EQ(e.Message(), "Link (un)registration failed");
        }
    };
    expectCode18([&] { port.AttachLink(&plain); });
    port.DetachLink(&receiver);
    EXPECT_FALSE(port.HasLink());
    expectCode18([&] { port.DetachLink(&receiver); });
    port.DetachLink(&plain);
}

TEST_F(ComPortTest, LoadingDefersTheOpen)
{
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_FALSE(port.Connected());
    port.EndLoading();
    EXPECT_TRUE(port.Connected());
    port.ClosePort();

    // A failing open after loading goes to the application, not to the loader.
    std::vector<QString> reported;
    SetComExceptionHandler([&](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const EComPort &c) {
            reported.push_back(c.Message());
        }
    });
    TComPort missing;
    missing.SetPort(QStringLiteral("/dev/tarvolin-no-such-device"));
    missing.BeginLoading();
    missing.SetConnected(true);
    EXPECT_NO_THROW(missing.EndLoading());
    SetComExceptionHandler(nullptr);
    EXPECT_FALSE(missing.Connected());
    EXPECT_EQ(reported, std::vector<QString> { "Unable to open com port (win error code: 2)" });
}

TEST_F(ComPortTest, FailuresOfAGoneFarEnd)
{
    port.SetEvents({});
    port.OpenPort();
    pty.ReleaseSlave();
    pty.CloseMaster();
    try {
        port.WriteText("lost");
        ADD_FAILURE() << "write to a hung-up line succeeded";
    } catch (const EComPort &e) {
        EXPECT_EQ(e.PortCode(), 2);
        EXPECT_EQ(e.Message(), "WriteFile function failed (win error code: 5)");
    }
    QByteArray text = "x";
    try {
        port.ReadText(text, 10);
        ADD_FAILURE() << "read from a hung-up line succeeded";
    } catch (const EComPort &e) {
        EXPECT_EQ(e.PortCode(), 3);
        EXPECT_EQ(e.Message(), "ReadFile function failed (win error code: 5)");
    }
    EXPECT_TRUE(text.isEmpty());
    EXPECT_TRUE(port.Connected());
    EXPECT_NO_THROW(port.ClosePort());
}
