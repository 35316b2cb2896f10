// The virtual printer against clients that ask and never read their replies,
// over TCP and on the serial line: it reads them no further, as a printer
// whose buffer is full, its memory stays small, and it reads on once they
// take their replies.
#include "support/printerprocess.h"
#include "support/pty.h"
#include "support/tcpclient.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <functional>

namespace {

constexpr qint64 MemoryLimitKb = 64 * 1024;

// A question whose answer is a hundred times its length.
const QByteArray Question = "^XA^HH^XZ";

// Asks over and over without reading, until the printer has taken nothing
// for two seconds or `most` bytes went; how many went.
qint64 AskWithoutReading(int fd, qint64 most)
{
    // A printer that closes the connection must not end the test.
    signal(SIGPIPE, SIG_IGN);
    const QByteArray block = Question.repeated(64 * 1024 / Question.size());
    qint64 sent = 0;
    while (sent < most) {
        pollfd p { fd, POLLOUT, 0 };
        if (poll(&p, 1, 2000) <= 0)
            break;
        const qsizetype at = sent % block.size();
        const ssize_t n = write(fd, block.constData() + at, size_t(block.size() - at));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        sent += std::max<ssize_t>(n, 0);
    }
    return sent;
}

// Reads replies until the printer takes questions again (bounded); the
// replies read.
QByteArray ReadUntilTakenAgain(int fd)
{
    QByteArray replies;
    QElapsedTimer clock;
    clock.start();
    char buffer[64 * 1024];
    while (clock.elapsed() < 20000) {
        // Writable with nothing read yet is the slack the printer still had
        // when the questions stopped, not its reading on: take replies first.
        pollfd p { fd, short(replies.isEmpty() ? POLLIN : POLLIN | POLLOUT), 0 };
        if (poll(&p, 1, 1000) <= 0)
            continue;
        if (!(p.revents & POLLIN))
            return replies;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        replies.append(buffer, n);
    }
    ADD_FAILURE() << "the printer did not read on after " << replies.size()
                  << " bytes of replies were taken";
    return replies;
}

} // namespace

TEST(PrinterReplyHold, AClientThatTakesNoRepliesIsReadNoFurther)
{
    const struct
    {
        const char *line;
        QStringList arguments;
        std::function<int(PrinterProcess &)> open;
    } cases[] = {
        { "TCP", { "--tcp", "0", "--quiet" },
          [](PrinterProcess &p) {
              const int fd = ConnectLoopback(p.TcpPort());
              fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
              return fd;
          } },
        { "serial", { "--pty", "--quiet" }, [](PrinterProcess &p) { return OpenRawTerminal(p.PtyPath(), O_NONBLOCK); } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        PrinterProcess printer(c.arguments);
        ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
        const int fd = c.open(printer);
        ASSERT_GE(fd, 0);
        // Unheld, 4 MB of questions make some 400 MB of replies.
        const qint64 sent = AskWithoutReading(fd, 4 * 1024 * 1024);
        EXPECT_GT(sent, 0);
        const QByteArray replies = ReadUntilTakenAgain(fd);
        // The configuration replies arrive whole, in order.
        EXPECT_EQ(replies.left(1), "\x02") << replies.left(40).toStdString();
        close(fd);
        if (printer.TcpPort() > 0) {
            // The next is served once the printer has answered what it took
            // before the close, which under a sanitizer takes a while.
            const int next = ConnectLoopback(printer.TcpPort());
            ASSERT_GE(next, 0);
            ASSERT_EQ(send(next, "\x1B!?", 3, MSG_NOSIGNAL), 3);
            shutdown(next, SHUT_WR);
            QByteArray status;
            ReadUntilClosed(next, status, 60000);
            close(next);
            EXPECT_EQ(status.size(), 1);
        }
        EXPECT_EQ(printer.Stop(), 0);
        RecordProperty(std::string(c.line) + "PeakMemoryKb", int(printer.PeakMemoryKb()));
        // The address sanitizer keeps freed memory back for a while, so its
        // figure says nothing.
#ifndef __SANITIZE_ADDRESS__
        EXPECT_GT(printer.PeakMemoryKb(), 0);
        EXPECT_LT(printer.PeakMemoryKb(), MemoryLimitKb) << sent << " bytes of questions taken";
#endif
    }
}

TEST(PrinterReplyHold, AClientThatTakesNoRepliesIsClosedAfterTheIdleTime)
{
    PrinterProcess printer({ "--tcp", "0", "--idle-timeout", "1", "--quiet" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const int fd = ConnectLoopback(printer.TcpPort());
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    AskWithoutReading(fd, 4 * 1024 * 1024);
    QElapsedTimer clock;
    clock.start();
    while (!printer.ErrorOutput().contains("took none") && clock.elapsed() < 5000)
        usleep(20 * 1000);
    EXPECT_TRUE(printer.ErrorOutput().contains(
        QRegularExpression("error: TCP client 127\\.0\\.0\\.1:[0-9]+ took none of its replies in "
                           "1 s; closed, so that the next can print\n")))
        << printer.ErrorOutput().toStdString();
    close(fd);
}
