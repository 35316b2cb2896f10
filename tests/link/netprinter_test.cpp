#include "core/exceptions.h"
#include "link/netprinter.h"
#include "support/qtprint.h"
#include "support/slowprinters.h"
#include "support/tcpsink.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

TEST(NetPrinter, DeliversEveryByteAndClosesCleanly)
{
    TcpSink sink;
    QByteArray big(3 * 1024 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    NetPrinter printer;
    ASSERT_TRUE(printer.KVNetOpen("127.0.0.1", sink.Port()));
    printer.KVNetSend(big);
    printer.KVNetClose();
    // An empty send is a connection that carries nothing.
    ASSERT_TRUE(printer.KVNetOpen("127.0.0.1", sink.Port()));
    printer.KVNetSend(QByteArray());
    printer.KVNetClose();
    const auto jobs = sink.WaitForJobs(2);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_TRUE(jobs[0] == big);
    EXPECT_EQ(jobs[1], QByteArray());
}

TEST(NetPrinter, RefusedUnansweredOrInvalidAddressDoesNotConnectAndSaysWhy)
{
    using Subject = ErrorParticulars::Subject;
    NetPrinter printer;
    const quint16 closed = ClosedLoopbackPort();
    EXPECT_FALSE(printer.KVNetOpen("127.0.0.1", closed));
    const ErrorParticulars refused = printer.ConnectFailure();
    EXPECT_EQ(refused.subject, Subject::NetworkPrinter);
    EXPECT_EQ(refused.name, QStringLiteral("127.0.0.1:%1").arg(closed));
    EXPECT_EQ(refused.systemError, ECONNREFUSED);

    EXPECT_FALSE(printer.KVNetOpen("192.168.1", 9100));
    EXPECT_EQ(printer.ConnectFailure().name, "192.168.1:9100");
    EXPECT_EQ(printer.ConnectFailure().systemError, EINVAL);
    EXPECT_EQ(printer.ConnectFailure().reason, "not an address of the form A.B.C.D");
    EXPECT_FALSE(printer.KVNetOpen("", 9100));
    EXPECT_EQ(printer.ConnectFailure().systemError, EINVAL);

    UnansweredListener off;
    ASSERT_TRUE(off.Full());
    EXPECT_FALSE(printer.KVNetOpen("127.0.0.1", off.Port(), 200));
    EXPECT_EQ(printer.ConnectFailure().systemError, ETIMEDOUT);
    EXPECT_EQ(printer.ConnectFailure().reason, "no answer within 0.2 s");

    EXPECT_THROW(printer.KVNetSend("x"), ETarvolinError);
    printer.KVNetClose(); // closing what never opened is harmless

    // A connect that works leaves nothing of the last failure behind.
    TcpSink sink;
    ASSERT_TRUE(printer.KVNetOpen("127.0.0.1", sink.Port()));
    EXPECT_EQ(printer.ConnectFailure().subject, Subject::None);
    printer.KVNetClose();
}

// A printer that resets the connection in the middle of a job: the send
// ends with an error instead of reporting nothing.
TEST(NetPrinter, ResetDuringSendIsReported)
{
    quint16 port = 0;
    const int listener = ListenOnLoopback(port);

    std::thread peer([listener] {
        const int conn = ::accept(listener, nullptr, nullptr);
        // Read a little, then reset the connection with data still unread.
        char buf[1024];
        [[maybe_unused]] ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        linger hard { 1, 0 };
        ::setsockopt(conn, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        ::close(conn);
    });
    NetPrinter printer;
    ASSERT_TRUE(printer.KVNetOpen("127.0.0.1", port));
    QByteArray big(64 * 1024 * 1024, 'x');
    QElapsedTimer clock;
    clock.start();
    try {
        printer.KVNetSend(big);
        ADD_FAILURE() << "a reset connection was not reported";
    } catch (const ETarvolinError &e) {
        EXPECT_TRUE(e.Message().startsWith("Network send error: ")) << e.Message().toStdString();
    }
    EXPECT_LT(clock.elapsed(), 20000);
    peer.join();
    ::close(listener);
}
