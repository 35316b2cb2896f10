// Long operations of the printer link as an observer sees them: stages,
// progress, stopping and failures part-way, against a real file, loopback
// listeners and a pseudo-terminal.
#include "core/exceptions.h"
#include "link/netprinter.h"
#include "link/printerlink.h"
#include "link/progress.h"
#include "serial/comdatapacket.h"
#include "serial/cport.h"
#include "support/cupsserver.h"
#include "support/ptyprinter.h"
#include "support/qtprint.h"
#include "support/slowprinters.h"
#include "support/tcpsink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

namespace {

// Keeps what the link reports, lets the event loop turn as the window's
// observer does, and stops when told to.
class RecordingObserver : public ProgressObserver
{
public:
    void Stage(const QString &what, qint64 totalBytes, double) override
    {
        stages << what;
        totals.push_back(totalBytes);
        progress.clear();
    }
    void Progress(qint64 doneBytes) override { progress.push_back(doneBytes); }
    bool CancelRequested() override
    {
        QCoreApplication::processEvents();
        if (onAsked)
            onAsked();
        return stopWhen && stopWhen(progress.empty() ? 0 : progress.back());
    }

    QStringList stages;
    std::vector<qint64> totals;
    std::vector<qint64> progress; // of the current stage
    std::function<bool(qint64 done)> stopWhen;
    std::function<void()> onAsked;
};

QByteArray Payload(qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 131) >> 3);
    return data;
}

// The printer link with one interface chosen and an observer per operation.
class LinkFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ConfigurePrinterPort(port);
        link.SetProgressSource([this] {
            auto observer = std::make_unique<RecordingObserver>();
            observer->stopWhen = stopWhen;
            observer->onAsked = onAsked;
            last = observer.get();
            return std::unique_ptr<ProgressObserver>(std::move(observer));
        });
    }

    // Runs the send; the failure it ends with, if any.
    QString Send()
    {
        try {
            link.SendToPrinter();
        } catch (const ETarvolinError &e) {
            particulars = e.Particulars();
            return e.Message();
        }
        return {};
    }

    QTemporaryDir dir;
    TComPort port;
    LinkTarget target;
    PrinterLink link { &port, [this] {
                          return target;
                      } };
    std::function<bool(qint64)> stopWhen;
    std::function<void()> onAsked;
    RecordingObserver *last = nullptr; // valid while its operation runs
    ErrorParticulars particulars; // of the failure Send() returned
};

using TransferTest = LinkFixture;

} // namespace

TEST_F(TransferTest, AFileIsWrittenWithProgressAndStoppedFileHoldsWhatWasReported)
{
    const QByteArray data = Payload(8 * 1024 * 1024);
    target = LinkTarget::File(dir.filePath("out"));
    const QString file = target.fileName + ".bin";
    link.CommandBuffer = data;
    std::vector<qint64> progress;
    onAsked = [&] {
        progress = last->progress;
        // A window that takes its time to repaint: asked after every piece.
        QThread::msleep(15);
    };
    EXPECT_EQ(Send(), QString());
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll() == data);
    written.close();
    EXPECT_EQ(progress.size(), 8u);
    EXPECT_EQ(progress.back(), data.size());

    stopWhen = [](qint64 done) {
        return done >= 2 * 1024 * 1024;
    };
    try {
        link.SendToPrinter();
        ADD_FAILURE() << "not cancelled";
    } catch (const EOperationCancelled &e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cancelled after %1 of 8,388,608 bytes. The file %2 holds only "
                                 "the bytes written.")
                      .arg(QLocale(QLocale::English).toString(e.DoneBytes()), file));
        EXPECT_GE(e.DoneBytes(), 2 * 1024 * 1024);
        EXPECT_LT(e.DoneBytes(), data.size());
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.readAll() == data.left(e.DoneBytes()));
    }
}

// Progress over the network counts what the printer acknowledged, not what
// this computer has queued: never more than the printer read plus what its
// small receive window can hold.
TEST_F(TransferTest, NetworkProgressCountsAcknowledgedBytes)
{
    constexpr int Window = 16 * 1024;
    SlowTcpPrinter printer({ .bytesPerSecond = 512 * 1024, .receiveBuffer = Window });
    const QByteArray data = Payload(1024 * 1024);
    target = LinkTarget::Ethernet("127.0.0.1");
    link.SetNetworkPort(printer.Port());
    link.CommandBuffer = data;
    qint64 worstAhead = 0;
    std::vector<qint64> progress;
    QStringList seenStages;
    onAsked = [&] {
        progress = last->progress;
        seenStages = last->stages;
        if (!progress.empty())
            worstAhead = std::max(worstAhead, progress.back() - printer.Count());
    };
    EXPECT_EQ(Send(), QString());
    EXPECT_TRUE(printer.Finish() == data);
    const QString address = QStringLiteral("127.0.0.1:%1").arg(printer.Port());
    EXPECT_EQ(seenStages,
              QStringList({ "Connecting to " + address, "Sending 1,048,576 bytes to " + address }));
    ASSERT_GE(progress.size(), 5u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), data.size());
    // Linux doubles a receive buffer for its bookkeeping; allow twice that.
    EXPECT_LE(worstAhead, 4 * Window);
}

// The fault behind this: a printer that stopped reading after a few
// kilobytes got its connection closed with the rest still queued here, and
// the send counted as done.
TEST_F(TransferTest, APrinterThatStopsReadingFailsTheSendWithWhatItTook)
{
    SlowTcpPrinter printer({ .stopAfter = 4096, .receiveBuffer = 4096 });
    const QByteArray data = Payload(2 * 1024 * 1024);
    target = LinkTarget::Ethernet("127.0.0.1");
    link.SetNetworkPort(printer.Port());
    link.SetNetworkStallTimeout(1500);
    link.CommandBuffer = data;
    QElapsedTimer clock;
    clock.start();
    const QString failure = Send();
    EXPECT_LT(clock.elapsed(), 20000);
    const QRegularExpression expected(
        "^Network send error: the printer took nothing more for 1.5 s after ([0-9,]+) of "
        "2,097,152 bytes$");
    const auto match = expected.match(failure);
    ASSERT_TRUE(match.hasMatch()) << failure.toStdString();
    const qint64 took = QLocale(QLocale::English).toLongLong(match.captured(1));
    EXPECT_GE(took, 4096);
    EXPECT_LT(took, data.size() / 4);
    EXPECT_EQ(printer.Finish(), data.left(4096));

    // Unwatched, the backend keeps the same rule.
    SlowTcpPrinter silent({ .stopAfter = 0, .receiveBuffer = 4096 });
    NetPrinter direct;
    direct.SetStallTimeout(500);
    ASSERT_TRUE(direct.KVNetOpen("127.0.0.1", silent.Port()));
    try {
        direct.KVNetSend(data);
        ADD_FAILURE() << "a printer that took nothing counted as a success";
    } catch (const ETarvolinError &e) {
        // Its system took what fits its receive buffer.
        EXPECT_EQ(e.Message(), "Network send error: the printer took nothing more for 0.5 s");
    }
}

TEST_F(TransferTest, AConnectThatHangsCanBeCancelled)
{
    UnansweredListener listener;
    ASSERT_TRUE(listener.Full());
    target = LinkTarget::Ethernet("127.0.0.1");
    link.SetNetworkPort(listener.Port());
    link.CommandBuffer = "^XA^XZ";
    QElapsedTimer clock;
    clock.start();
    QStringList seenStages;
    onAsked = [&] {
        seenStages = last->stages;
    };
    stopWhen = [&](qint64) {
        return clock.elapsed() > 300;
    };
    EXPECT_EQ(Send(), "Connect cancelled");
    EXPECT_LT(clock.elapsed(), 3000); // well before the connect's own time limit
    EXPECT_EQ(seenStages,
              QStringList { QStringLiteral("Connecting to 127.0.0.1:%1").arg(listener.Port()) });
}

TEST_F(TransferTest, ComSendStoppedPartWayLeavesExactlyTheReportedPrefix)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    port.FlowControl().SetFlowControl(fcNone);
    port.SetPort(pty.SlavePath());
    // The count follows the line's rate: fast enough to stop part-way soon.
    port.SetBaudRate(br115200);
    target = LinkTarget::Com(port.Port());
    const QByteArray data = Payload(1024 * 1024);
    link.CommandBuffer = data;
    SlowPtyReader reader(pty, 64 * 1024);
    QStringList seenStages;
    onAsked = [&] {
        seenStages = last->stages;
    };
    stopWhen = [](qint64 done) {
        return done >= 16 * 1024;
    };
    try {
        link.SendToPrinter();
        ADD_FAILURE() << "not cancelled";
    } catch (const EOperationCancelled &e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cancelled after %1 of 1,048,576 bytes. The printer may be "
                                 "waiting for the rest of the command: switch it off and on "
                                 "before the next command.")
                      .arg(QLocale(QLocale::English).toString(e.DoneBytes())));
        const QByteArray got = reader.Finish();
        EXPECT_EQ(got.size(), e.DoneBytes());
        EXPECT_TRUE(got == data.left(e.DoneBytes()));
    }
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(seenStages,
              QStringList { "Sending 1,048,576 bytes to " + pty.SlavePath() + " (115200 baud)" });
}

TEST_F(TransferTest, ADeviceThatGoesAwayPartWaySaysHowFarTheSendGot)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    port.FlowControl().SetFlowControl(fcNone);
    port.SetPort(pty.SlavePath());
    target = LinkTarget::Com(port.Port());
    link.CommandBuffer = Payload(1024 * 1024);
    bool unplugged = false;
    onAsked = [&] {
        if (!unplugged && !last->progress.empty() && last->progress.back() > 0) {
            pty.ReleaseSlave();
            pty.CloseMaster();
            unplugged = true;
        }
    };
    const QString failure = Send();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^WriteFile function failed \\(win error code: "
                                                  "%1\\) after [0-9,]+ of 1,048,576 bytes$")
                                       .arg(EIO))
                    .match(failure)
                    .hasMatch())
        << failure.toStdString();
    // Saying how far it got keeps what the failure concerns.
    EXPECT_EQ(particulars.subject, ErrorParticulars::Subject::SerialDevice);
    EXPECT_EQ(particulars.name, pty.SlavePath());
    EXPECT_EQ(particulars.systemError, EIO);
    EXPECT_FALSE(port.Connected());
}

// While the exchange lets the event loop turn, the port's deliveries wait:
// the reply is the exchange's own, whole, and no packet is made of it.
TEST_F(TransferTest, AnExchangeReplyIsTheSameWatchedOrNot)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    port.SetPort(printer.SlavePath());
    target = LinkTarget::Com(port.Port());
    TComDataPacket cpdata;
    cpdata.SetComPort(&port);
    std::vector<QByteArray> packets;
    cpdata.OnPacket = [&](QObject *, const QByteArray &p) {
        packets.push_back(p);
    };
    const QByteArray reply = "DRAM FILES: A.FNT B.FNT\rFLASH FILES: C.FNT D.FNT E.FNT\r";
    printer.SetReply(reply, 0, 2); // a byte every 2 ms: slower than the line, faster than the reads
    const ExchangeOptions options { .postWriteWaitMs = 50,
                                    .waitBeforeClose = true,
                                    .lfAfterCr = true };
    QByteArray expected = reply;
    expected.replace("\r", "\r\n");

    link.CommandBuffer = "~!F\r\n";
    const auto watched = link.SerialExchange(options);
    // Unwatched, as before.
    link.SetProgressSource({});
    const auto plain = link.SerialExchange(options);
    EXPECT_EQ(watched, expected);
    EXPECT_EQ(plain, expected);
    EXPECT_TRUE(packets.empty());
    EXPECT_FALSE(port.Connected());
}

TEST_F(TransferTest, AnExchangeShowsItsStagesAndCanBeStoppedWhileTheReplyComes)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    port.SetPort(printer.SlavePath());
    target = LinkTarget::Com(port.Port());
    printer.SetReply("0123456789", 0, 2, true);
    link.CommandBuffer = "~!F\r\n";
    QStringList seenStages;
    onAsked = [&] {
        seenStages = last->stages;
    };
    stopWhen = [&](qint64 done) {
        return last->stages.size() == 2 && done >= 3;
    };
    try {
        link.SerialExchange({ .postWriteWaitMs = 50, .waitBeforeClose = true, .lfAfterCr = true });
        ADD_FAILURE() << "not cancelled";
    } catch (const EOperationCancelled &e) {
        EXPECT_TRUE(QRegularExpression("^Cancelled while reading the printer's reply, after [0-9]+ "
                                       "bytes\\.$")
                        .match(e.Message())
                        .hasMatch())
            << e.Message().toStdString();
    }
    EXPECT_EQ(seenStages,
              QStringList({ "Sending 5 bytes to " + printer.SlavePath() + " (9600 baud)",
                            "Reading the printer's reply" }));
    EXPECT_FALSE(port.Connected());
}

TEST_F(TransferTest, APrinterThatResetsPartWaySaysHowFarTheSendGot)
{
    quint16 port = 0;
    const int listener = ListenOnLoopback(port);
    std::thread peer([listener] {
        const int conn = ::accept(listener, nullptr, nullptr);
        // Takes some, then resets the connection with data still unread.
        char buf[65536];
        for (qint64 got = 0; got < 256 * 1024;) {
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            got += n;
        }
        const linger reset { 1, 0 };
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        ::close(conn);
    });
    target = LinkTarget::Ethernet("127.0.0.1");
    link.SetNetworkPort(port);
    link.CommandBuffer = Payload(64 * 1024 * 1024);
    const QString failure = Send();
    peer.join();
    ::close(listener);
    EXPECT_TRUE(QRegularExpression("^Network send error: .+ after ([0-9,]+) of 67,108,864 bytes$")
                    .match(failure)
                    .hasMatch())
        << failure.toStdString();
    EXPECT_EQ(particulars.subject, ErrorParticulars::Subject::NetworkPrinter);
    EXPECT_EQ(particulars.name, QStringLiteral("127.0.0.1:%1").arg(port));
    EXPECT_TRUE(particulars.systemError == ECONNRESET || particulars.systemError == EPIPE)
        << particulars.systemError;
}

// A print server that goes away in the middle of a job: the send fails with
// CUPS's reason and how far it got.
TEST_F(TransferTest, APrintServerThatGoesAwayPartWaySaysHowFarTheSendGot)
{
    CupsServer cups;
    ASSERT_TRUE(cups.Started()) << cups.Error().toStdString();
    SlowTcpPrinter printer({ .bytesPerSecond = 0 });
    QString error;
    ASSERT_TRUE(cups.AddRawQueue("Slow", printer.Port(), &error)) << error.toStdString();
    target = LinkTarget::Driver("Slow");
    link.CommandBuffer = Payload(8 * 1024 * 1024);
    bool killed = false;
    onAsked = [&] {
        if (!killed && !last->progress.empty() && last->progress.back() > 0) {
            cups.Kill();
            killed = true;
        }
    };
    const QString failure = Send();
    EXPECT_TRUE(killed);
    EXPECT_TRUE(QRegularExpression("^Printer \"Slow\": .+ after ([0-9,]+) of 8,388,608 bytes$")
                    .match(failure)
                    .hasMatch())
        << failure.toStdString();
}
