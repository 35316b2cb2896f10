// The virtual printer's TCP port against clients that misbehave: silent,
// trickling, a burst of connects, bytes meant for a terminal; where it
// listens; and a quantity too large to keep pictures of.
#include "support/printerprocess.h"
#include "support/tcpclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

qsizetype CountLines(PrinterProcess &printer, const QString &text)
{
    return printer.Lines().filter(text).size();
}

} // namespace

TEST(PrinterTcp, ASilentClientIsClosedAndTheNextPrints)
{
    PrinterProcess printer({ "--tcp", "0", "--idle-timeout", "1" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const int silent = ConnectLoopback(printer.TcpPort());
    ASSERT_GE(silent, 0);
    QElapsedTimer clock;
    clock.start();
    // Waits behind the silent one, then prints.
    TcpExchange(printer.TcpPort(), "^XA^FO10,10^FDnext^FS^XZ");
    EXPECT_FALSE(printer.WaitForLine("label 1:", 6000).isEmpty());
    EXPECT_LT(clock.elapsed(), 1000 + 5000);
    const QStringList closed = printer.Lines().filter("completed no command in 1 s; closed");
    ASSERT_EQ(closed.size(), 1);
    EXPECT_TRUE(closed[0].startsWith("error: TCP client 127.0.0.1:")) << closed[0].toStdString();
    QByteArray rest;
    EXPECT_TRUE(ReadUntilClosed(silent, rest, 5000));
    close(silent);
}

TEST(PrinterTcp, ATricklingClientIsClosedButCompleteCommandsKeepAClient)
{
    PrinterProcess printer({ "--tcp", "0", "--idle-timeout", "1" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();

    // One complete command every half second: never idle.
    const int steady = ConnectLoopback(printer.TcpPort());
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(send(steady, "\x1B!?", 3, MSG_NOSIGNAL), 3);
        usleep(500 * 1000);
    }
    EXPECT_EQ(CountLines(printer, "completed no command"), 0);
    shutdown(steady, SHUT_WR);
    QByteArray answers;
    EXPECT_TRUE(ReadUntilClosed(steady, answers));
    EXPECT_EQ(answers, QByteArray(5, '\0'));
    close(steady);

    // A byte every 200 ms of a format that never ends.
    const int trickle = ConnectLoopback(printer.TcpPort());
    QElapsedTimer clock;
    clock.start();
    bool closed = false;
    for (int i = 0; i < 50 && !closed; ++i) {
        closed = send(trickle, i == 0 ? "^XA" : "A", i == 0 ? 3 : 1, MSG_NOSIGNAL) < 0;
        QByteArray none;
        closed = closed || ReadUntilClosed(trickle, none, 200);
    }
    EXPECT_TRUE(closed);
    EXPECT_LT(clock.elapsed(), 1000 + 5000);
    EXPECT_FALSE(printer.WaitForLine("completed no command in 1 s; closed").isEmpty());
    close(trickle);
}

TEST(PrinterTcp, ABurstOfConnectsWaitsAndEveryOneIsServed)
{
    PrinterProcess printer({ "--tcp", "0", "-q" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    // The printer is busy with one client while the burst arrives: the
    // others can only wait in the listen queue.
    const int busy = ConnectLoopback(printer.TcpPort());
    ASSERT_GE(busy, 0);
    usleep(200 * 1000);
    constexpr int Clients = 200;
    std::vector<pollfd> clients;
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(printer.TcpPort());
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < Clients; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        ASSERT_GE(fd, 0);
        const int rc = ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ASSERT_TRUE(rc == 0 || errno == EINPROGRESS) << strerror(errno);
        clients.push_back(pollfd { fd, POLLOUT, 0 });
    }
    // Every connect completes while the printer is still busy.
    QElapsedTimer clock;
    clock.start();
    int connected = 0;
    while (connected < Clients && clock.elapsed() < 5000) {
        poll(clients.data(), clients.size(), 100);
        connected = 0;
        for (const pollfd &p : clients)
            connected += (p.revents & POLLOUT) != 0;
    }
    EXPECT_EQ(connected, Clients);
    close(busy);

    int answered = 0;
    for (const pollfd &p : clients) {
        int error = 0;
        socklen_t length = sizeof error;
        getsockopt(p.fd, SOL_SOCKET, SO_ERROR, &error, &length);
        fcntl(p.fd, F_SETFL, 0);
        QByteArray reply;
        if (error == 0 && send(p.fd, "\x1B!?", 3, MSG_NOSIGNAL) == 3) {
            shutdown(p.fd, SHUT_WR);
            answered += ReadUntilClosed(p.fd, reply, 20000) && reply == QByteArray(1, '\0');
        }
        close(p.fd);
    }
    EXPECT_EQ(answered, Clients);
}

TEST(PrinterTcp, ControlBytesNeverReachTheLogRaw)
{
    PrinterProcess printer({ "--tcp", "0" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    TcpExchange(printer.TcpPort(),
                "~DUE:A\x9B"
                "2J.FNT,1,\r\n41"
                "\x1B]0;title\x07"
                "~DUE:\x1B[2J\x1B[H.FNT,1,\r\n41"
                "^XA^DFE:\x1B[31mRED.ZPL^FS^XZ"
                "KILL \"\x1B[5m\"\r\n"
                "\x1B!?");
    EXPECT_FALSE(printer.WaitForLine("status query").isEmpty());
    const QStringList lines = printer.Lines();
    int escaped = 0;
    for (const QString &line : lines) {
        for (QChar c : line)
            EXPECT_FALSE(c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0))
                << line.toStdString();
        escaped += line.contains("<1B>") || line.contains("<9B>");
    }
    EXPECT_GE(escaped, 3) << lines.join("\n").toStdString();
}

TEST(PrinterTcp, ListeningBeyondThisMachineIsWarnedAbout)
{
    const struct
    {
        const char *address;
        bool warned;
    } cases[] = {
        { "127.0.0.1", false }, { "127.0.0.2", false }, { "::1", false },
        { "0.0.0.0", true },    { "::", true },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.address);
        PrinterProcess printer({ "--tcp", "0", "--bind", c.address });
        if (!printer.IsRunning() && QString(c.address).contains(':'))
            continue; // no IPv6 on this machine
        ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
        const QString errors = printer.ErrorOutput();
        EXPECT_EQ(errors.contains("warning: listening on "), c.warned) << errors.toStdString();
        if (c.warned) {
            EXPECT_TRUE(errors.contains(": the printer is reachable from the network"))
                << errors.toStdString();
        }
    }
}

TEST(PrinterTcp, PicturesOfOneFormatAreCapped)
{
    QTemporaryDir out;
    PrinterProcess printer({ "--tcp", "0", "--out", out.path() });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    TcpExchange(printer.TcpPort(), "^XA^PW16^LL16^FO0,0^GB8,8,8^FS^PQ1003^XZ");
    const QString capped = printer.WaitForLine("pictures are saved of the first 1000 only", 120000);
    EXPECT_EQ(capped,
              "label 1001: the format asks for 1003 labels; pictures are saved of the first 1000 "
              "only, the rest are not drawn");
    EXPECT_FALSE(printer.WaitForLine("label 1003: ", 10000).isEmpty());
    EXPECT_EQ(QDir(out.path()).entryList({ "label-*.png" }).size(), 1000);
}
