#include "core/exceptions.h"
#include "link/netprinter.h"
#include "support/qtprint.h"
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

TEST(NetPrinter, RefusedOrInvalidAddressDoesNotConnect)
{
    NetPrinter printer;
    EXPECT_FALSE(printer.KVNetOpen("127.0.0.1", ClosedLoopbackPort()));
    EXPECT_FALSE(printer.KVNetOpen("192.168.1", 9100));
    EXPECT_FALSE(printer.KVNetOpen("", 9100));
    EXPECT_THROW(printer.KVNetSend("x"), ETarvolinError);
    printer.KVNetClose(); // closing what never opened is harmless
}

// A printer that resets the connection in the middle of a job: the send
// ends with an error instead of reporting nothing.
TEST(NetPrinter, ResetDuringSendIsReported)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len);

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
    ASSERT_TRUE(printer.KVNetOpen("127.0.0.1", ntohs(addr.sin_port)));
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
