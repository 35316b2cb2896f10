// tarvolin-cli discover on a hostile network: a flood of replies from ever
// new addresses and from one address naming ever new ones, replies that name
// an address other than their sender's, and a sweep of addresses that take
// the connection and never answer. All of it on loopback addresses.
#include "cli/cli.h"
#include "link/discovery.h"
#include "support/cliprocess.h"

#include <QElapsedTimer>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 MemoryLimitKb = 64 * 1024;

QString Dotted(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xff)
        .arg((a >> 8) & 0xff)
        .arg(a & 0xff);
}

QByteArray Reply(quint32 stated, int serial)
{
    DiscoveredPrinter p;
    p.address = Dotted(stated);
    p.productNumber = QStringLiteral("1001");
    p.productName = QStringLiteral("FLOOD");
    p.firmware = QStringLiteral("V1");
    p.serialNumber = QString::number(serial);
    p.systemName = QStringLiteral("fake");
    p.subnetMask = QStringLiteral("255.0.0.0");
    p.gateway = QStringLiteral("127.0.0.1");
    p.macAddress = QStringLiteral("00:00:00:00:00:01");
    return BuildDiscoveryReply(p);
}

// A datagram whose source is any loopback address, chosen per datagram.
void SendFrom(int fd, quint32 source, const sockaddr_in &to, const QByteArray &datagram)
{
    iovec part { const_cast<char *>(datagram.constData()), size_t(datagram.size()) };
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr m {};
    m.msg_name = const_cast<sockaddr_in *>(&to);
    m.msg_namelen = sizeof to;
    m.msg_iov = &part;
    m.msg_iovlen = 1;
    m.msg_control = control;
    m.msg_controllen = sizeof control;
    cmsghdr *c = CMSG_FIRSTHDR(&m);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info {};
    info.ipi_spec_dst.s_addr = htonl(source);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    sendmsg(fd, &m, MSG_NOSIGNAL);
}

// A UDP socket on 127.0.0.1 at a free port.
int BoundLoopbackUdp(quint16 *port)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    *port = ntohs(a.sin_port);
    return fd;
}

// Answers the probe on 127.0.0.1 with a flood that lasts until it is
// stopped: first a few replies that lie about their address, then replies
// from ever new addresses, and between them replies from one address that
// names a new address each time.
class Flood
{
public:
    Flood()
        : fd_(BoundLoopbackUdp(&port_))
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~Flood()
    {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    quint16 Port() const { return port_; }
    qint64 Sent() const { return sent_; }

private:
    void Run()
    {
        pollfd p { fd_, POLLIN, 0 };
        if (poll(&p, 1, 10000) <= 0)
            return;
        char probe[64];
        sockaddr_in asker {};
        socklen_t length = sizeof asker;
        recvfrom(fd_, probe, sizeof probe, 0, reinterpret_cast<sockaddr *>(&asker), &length);
        constexpr quint32 Loopback = 0x7f000000;
        SendFrom(fd_, Loopback + 6, asker, Reply(0xffffffff, 6));
        SendFrom(fd_, Loopback + 7, asker, Reply(0x08080808, 7));
        for (quint32 i = 0; !stop_ && i < 10'000'000; ++i) {
            SendFrom(fd_, Loopback + 9, asker, Reply(0x0a000000 + i, 9));
            SendFrom(fd_, Loopback + 0x10000 + i, asker, Reply(Loopback + 0x10000 + i, int(i)));
            sent_ += 2;
        }
    }

    quint16 port_ = 0;
    int fd_ = -1;
    std::atomic<bool> stop_ { false };
    std::atomic<qint64> sent_ { 0 };
    std::thread thread_;
};

quint16 FreeUdpPort()
{
    quint16 port = 0;
    close(BoundLoopbackUdp(&port));
    return port;
}

} // namespace

TEST(CliDiscoverHostile, AFloodEndsAtTheTimeoutWithOneEntryPerSenderAndACap)
{
    Flood flood;
    ChildProcess cli;
    ASSERT_TRUE(cli.Start(QStringLiteral(TARVOLIN_CLI_PROGRAM),
                          { "discover", "--timeout", "2000", "--port-discovery",
                            QString::number(flood.Port()), "--address", "127.0.0.1" }));
    QElapsedTimer clock;
    clock.start();
    const bool ended = cli.WaitForExit(30000);
    const qint64 took = clock.elapsed();
    if (!ended)
        cli.Stop(SIGKILL, 5000);
    ASSERT_TRUE(ended) << "discover went on under the flood";
    EXPECT_LT(took, 15000);
    EXPECT_EQ(cli.ExitCode(), ExitOk);
    const QStringList lines = QString::fromUtf8(cli.TakeOutput()).split('\n', Qt::SkipEmptyParts);
    const QString errors = QString::fromUtf8(cli.Errors());
    ASSERT_GT(flood.Sent(), MaxDiscoveredPrinters);

    // The sender is the printer: what a reply says of its address is noted.
    EXPECT_EQ(lines.filter(QRegularExpression("^127\\.0\\.0\\.6 ")),
              QStringList { "127.0.0.6 fake FLOOD serial 6 firmware V1 (its reply gives the "
                            "address 255.255.255.255)" });
    EXPECT_EQ(lines.filter(QRegularExpression("^127\\.0\\.0\\.7 ")),
              QStringList { "127.0.0.7 fake FLOOD serial 7 firmware V1 (its reply gives the "
                            "address 8.8.8.8)" });
    EXPECT_EQ(lines.filter(QRegularExpression("^127\\.0\\.0\\.9 ")).size(), 1);
    EXPECT_TRUE(lines.filter(QRegularExpression("^(8\\.|10\\.|255\\.)")).isEmpty());
    // Ever new senders fill the list up to its cap, and the rest is counted.
    EXPECT_EQ(lines.size(), MaxDiscoveredPrinters);
    EXPECT_TRUE(errors.contains(QRegularExpression(
        "^tarvolin-cli: discover: 4096 printers listed, the most one search keeps; [1-9][0-9]* "
        "more addresses answered$",
        QRegularExpression::MultilineOption)))
        << errors.toStdString();
    RecordProperty("peakMemoryKb", int(cli.PeakMemoryKb()));
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(cli.PeakMemoryKb(), MemoryLimitKb);
#endif
}

TEST(CliDiscoverHostile, TheSweepEndsAtTheTimeoutWhereNobodyAnswers)
{
    // 127.0.1.1 to .254 take a connection on one port and never answer.
    std::vector<int> listeners;
    quint16 port = 0;
    for (quint32 host = 1; host <= 254; ++host) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(0x7f000100 + host);
        socklen_t length = sizeof a;
        ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a), 0) << strerror(errno);
        ASSERT_EQ(listen(fd, 4), 0);
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
        port = ntohs(a.sin_port);
        listeners.push_back(fd);
    }
    QElapsedTimer clock;
    clock.start();
    // Four rounds of 64, each waiting a second for an answer, unless the
    // timeout ends it.
    const CliRun run = RunCliProgram({ "discover", "--timeout", "500", "--port-discovery",
                                       QString::number(FreeUdpPort()), "--sweep", "127.0.1.0/24",
                                       "--sweep-port", QString::number(port) });
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(run.exitCode, ExitFailed);
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(
        QRegularExpression("tarvolin-cli: discover: the sweep reached --timeout with [1-9][0-9]* "
                           "addresses not done; a longer --timeout sweeps them all\n")))
        << run.err.toStdString();
    for (int fd : listeners)
        close(fd);
}
