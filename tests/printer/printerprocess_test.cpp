// tarvolin-printer as a process: the program's own serial exchange and
// network send against it over a pseudo-terminal and over TCP, its line
// speed, its control inputs, its command line and its clean exit.
#include "commands/statusquery.h"
#include "files/downloadcommand.h"
#include "files/memorycommands.h"
#include "link/netprinter.h"
#include "link/printerlink.h"
#include "network/addresscommands.h"
#include "serial/cport.h"
#include "support/printerprocess.h"
#include "support/pty.h"
#include "support/qtprint.h"
#include "support/tcpclient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The window's serial port and link, without the window.
struct ComLink
{
    explicit ComLink(const QString &device)
    {
        ConfigurePrinterPort(port);
        port.SetPort(device);
    }
    QByteArray Exchange(const QByteArray &request, const ExchangeOptions &options)
    {
        link.CommandBuffer = request;
        return link.SerialExchange(options);
    }
    void Send(const QByteArray &command)
    {
        link.CommandBuffer = command;
        link.SendToPrinter();
    }
    TComPort port;
    PrinterLink link { &port, [this] {
                          return LinkTarget::Com(port.Port());
                      } };
};

const ExchangeOptions ListOptions { 50, true, true };
const ExchangeOptions MemoryOptions { 50, true, false };

} // namespace

TEST(PrinterProcess, AnswersTheProgramsSerialExchanges)
{
    QTemporaryDir dir;
    const QString link = dir.filePath("printer-port");
    PrinterProcess printer({ "--link", link, "--status", "head-open,paper-out" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    EXPECT_EQ(QFileInfo(link).symLinkTarget(), printer.PtyPath());

    ComLink com(link);
    EXPECT_EQ(com.Exchange(StatusRequestCommand(), StatusExchangeOptions()), "\x05");

    com.Send(FontDownloadCommand("E:", QStringLiteral("DEMO"), QByteArray(2048, 'f')));
    EXPECT_FALSE(printer.WaitForLine("E:DEMO.FNT stored: 2048 bytes").isEmpty());
    EXPECT_EQ(com.Exchange(FileListRequest(), ListOptions),
              QByteArray("DRAM FILES: FLASH FILES: DEMO.FNT\r\n"));
    EXPECT_EQ(ParseFreeMemory(com.Exchange(FreeMemoryRequest(), MemoryOptions)).flash, "65534");

    printer.Control("status ready");
    EXPECT_FALSE(printer.WaitForLine("status 00 (ready)").isEmpty());
    EXPECT_EQ(com.Exchange(StatusRequestCommand(), StatusExchangeOptions()), QByteArray(1, '\0'));

    // A client that leaves in the middle of a format: reported, forgotten.
    com.Send("^XA^FO10,10^FDhalf a label");
    EXPECT_FALSE(printer.WaitForLine("cut short").isEmpty());
    EXPECT_EQ(com.Exchange(StatusRequestCommand(), StatusExchangeOptions()), QByteArray(1, '\0'));

    EXPECT_EQ(printer.Stop(), 0);
    EXPECT_FALSE(QFileInfo::exists(link) || QFileInfo(link).isSymLink());
}

// Clients that open the port, send and close again before the printer has
// even seen them open: nothing they sent is lost. The printer is stopped
// meanwhile, so that it comes to look only after they are gone.
TEST(PrinterProcess, ClientsGoneBeforeThePrinterLooksLoseNothing)
{
    PrinterProcess printer({ "--pty" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(kill(printer.Pid(), SIGSTOP), 0);
        const int fd = OpenRawTerminal(printer.PtyPath());
        ASSERT_GE(fd, 0);
        EXPECT_EQ(write(fd, "^XA^FDx^FS^XZ", 13), 13);
        close(fd);
        ASSERT_EQ(kill(printer.Pid(), SIGCONT), 0);
        EXPECT_FALSE(printer.WaitForLine(QStringLiteral("label %1:").arg(i)).isEmpty()) << i;
    }
    EXPECT_EQ(printer.Stop(), 0);
}

TEST(PrinterProcess, ServesTcpClientsOneAfterAnother)
{
    PrinterProcess printer({ "--tcp", "0" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    ASSERT_NE(printer.TcpPort(), 0);
    EXPECT_TRUE(printer.PtyPath().isEmpty());

    NetPrinter net;
    ASSERT_TRUE(net.KVNetOpen(QStringLiteral("127.0.0.1"), printer.TcpPort()));
    net.KVNetSend(BuildNewAddressCommand({ 10, 0, 0, 19 }));
    net.KVNetClose();
    EXPECT_FALSE(printer.WaitForLine("new IP address: 192.168.123.100 -> 10.0.0.19").isEmpty());

    EXPECT_EQ(TcpExchange(printer.TcpPort(), "~DUE:X,3,\r\n00"), "");
    EXPECT_FALSE(printer.WaitForLine("cut short after 1 of 3 bytes").isEmpty());
    EXPECT_EQ(TcpExchange(printer.TcpPort(), "\x1B!?~!F\r\n"),
              QByteArray("\0DRAM FILES: FLASH FILES: \r", 27));
    printer.Control("quit");
    EXPECT_EQ(printer.WaitForExit(), 0);
}

TEST(PrinterProcess, LineSpeedStopsTheSenderWithXoff)
{
    PrinterProcess printer({ "--baud", "115200" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const int fd = OpenRawTerminal(printer.PtyPath());
    ASSERT_GE(fd, 0);
    // More than the printer's 4 KB buffer, in one write.
    const QByteArray download
        = "~DGR:X.GRF,4000,1,\r\n" + QByteArray(4000, '\x5A').toHex() + "\r\n";
    ASSERT_EQ(write(fd, download.constData(), size_t(download.size())), download.size());
    QByteArray flow;
    pollfd p { fd, POLLIN, 0 };
    char c;
    while (flow.size() < 2 && poll(&p, 1, 10000) > 0 && read(fd, &c, 1) == 1)
        flow += c;
    EXPECT_EQ(flow, "\x13\x11"); // Xoff, then Xon when it has caught up
    EXPECT_FALSE(printer.WaitForLine("R:X.GRF stored: 4000 bytes", 10000).isEmpty());
    close(fd);
    EXPECT_EQ(printer.Stop(), 0);
}

TEST(PrinterProcess, ControlPipeAndSignals)
{
    QTemporaryDir dir;
    const QString control = dir.filePath("control");
    PrinterProcess printer({ "--control", control });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    QFile pipe(control);
    ASSERT_TRUE(pipe.open(QIODevice::WriteOnly));
    pipe.write("status +pause\nstatus +cover-open\nnonsense\n");
    pipe.close();
    EXPECT_FALSE(printer.WaitForLine("status 50 (pause, cover-open)").isEmpty());
    EXPECT_FALSE(printer.WaitForLine("error: unknown control command \"nonsense\"").isEmpty());
    ComLink com(printer.PtyPath());
    EXPECT_EQ(com.Exchange(StatusRequestCommand(), StatusExchangeOptions()), QByteArray("\x50"));
    printer.Control("show");
    EXPECT_FALSE(printer.WaitForLine("identity: IP address 192.168.123.100").isEmpty());

    // SIGINT ends it as cleanly as SIGTERM, and the pipe it made goes too.
    EXPECT_EQ(printer.Stop(SIGINT), 0);
    EXPECT_FALSE(QFileInfo::exists(control));
}

TEST(PrinterProcess, CommandLineAndStartFailures)
{
    QProcess help;
    help.start(PrinterProcess::Program(), { "--help" });
    ASSERT_TRUE(help.waitForFinished(5000));
    EXPECT_EQ(help.exitCode(), 0);
    const QString text = QString::fromLocal8Bit(help.readAllStandardOutput());
    for (const char *option :
         { "--pty", "--link PATH", "--tcp PORT", "--bind ADDR", "--baud N", "--status LIST",
           "--dpi 203|300", "--dram KB", "--flash KB", "--state DIR", "--out DIR", "--control PATH",
           "-q, --quiet", "-h, --help", "-v, --version", "head-open", "other-error" })
        EXPECT_TRUE(text.contains(QLatin1String(option))) << option;

    QTemporaryDir dir;
    const QString notALink = dir.filePath("plain");
    QFile plain(notALink);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.write("keep");
    plain.close();
    QDir().mkpath(dir.filePath("state"));
    QFile state(dir.filePath("state/state.json"));
    ASSERT_TRUE(state.open(QIODevice::WriteOnly));
    state.write("not json");
    state.close();

    const struct
    {
        QStringList arguments;
        int exitCode;
        const char *message;
    } cases[] = {
        { { "--baud", "fast" }, 2, "--baud needs a whole number" },
        { { "--status", "head-gone" }, 2, "unknown condition \"head-gone\"" },
        { { "--dpi", "600" }, 2, "--dpi is 203 or 300" },
        { { "--tcp", "70000" }, 2, "--tcp needs a whole number from 0 to 65535" },
        { { "--frobnicate" }, 2, "frobnicate" },
        { { "extra" }, 2, "unexpected argument \"extra\"" },
        { { "--link", notALink }, 1, "is not a symbolic link" },
        { { "--state", dir.filePath("state") }, 1, "the state cannot be read" },
    };
    for (const auto &c : cases) {
        QProcess p;
        p.start(PrinterProcess::Program(), c.arguments);
        ASSERT_TRUE(p.waitForFinished(5000)) << c.message;
        EXPECT_EQ(p.exitCode(), c.exitCode) << c.message;
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(err.contains(QLatin1String(c.message))) << err.toStdString();
    }
    ASSERT_TRUE(plain.open(QIODevice::ReadOnly));
    EXPECT_EQ(plain.readAll(), "keep");
    ASSERT_TRUE(state.open(QIODevice::ReadOnly));
    EXPECT_EQ(state.readAll(), "not json");
}

// (That it formats without warnings is the package tests' part.)
TEST(PrinterProcess, ManPageDocumentsEveryOption)
{
    QFile page(TARVOLIN_MAN_PAGE);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString source = QString::fromUtf8(page.readAll()).remove(QLatin1Char('\\'));
    QProcess help;
    help.start(PrinterProcess::Program(), { "--help" });
    ASSERT_TRUE(help.waitForFinished(5000));
    static const QRegularExpression option(QStringLiteral("--[a-z]+"));
    auto it = option.globalMatch(QString::fromLocal8Bit(help.readAllStandardOutput()));
    int options = 0;
    while (it.hasNext()) {
        const QString name = it.next().captured();
        EXPECT_TRUE(source.contains(name)) << name.toStdString();
        ++options;
    }
    EXPECT_GE(options, 15);
}

namespace {

// Writes `unit` over and over without blocking until the other side stops
// taking it for a second (true) or `limit` bytes are out (false). Bytes
// that come back meanwhile are added to `back`.
bool WriteUntilStalled(int fd, const QByteArray &unit, qint64 limit, qint64 &written,
                       QByteArray *back = nullptr)
{
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    QByteArray pending;
    while (written < limit) {
        if (pending.isEmpty())
            pending = unit;
        const ssize_t n = write(fd, pending.constData(), size_t(pending.size()));
        if (n > 0) {
            written += n;
            pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN)
            break;
        pollfd p { fd, short(POLLOUT | (back ? POLLIN : 0)), 0 };
        if (poll(&p, 1, 1000) == 0)
            return true;
        char c[64];
        if (back && (p.revents & POLLIN)) {
            const ssize_t got = read(fd, c, sizeof c);
            if (got > 0)
                back->append(c, got);
            if (back->contains('\x13'))
                return true;
        }
    }
    fcntl(fd, F_SETFL, flags);
    return false;
}

} // namespace

// Paused, the printer fills its receive buffer and then takes no more: the
// network sender's window closes, the serial sender gets Xoff; resumed, it
// prints every held label.
TEST(PrinterProcess, APausedPrinterStopsTheSenderAndPrintsOnResume)
{
    PrinterProcess printer({ "--pty", "--tcp", "0", "--status", "pause" });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    // Large formats, so that the log the printer writes meanwhile stays short.
    const QByteArray format = "^XA^FO20,20^FD" + QByteArray(4000, 'x') + "^FS^XZ";

    const int sock = ConnectLoopback(printer.TcpPort());
    ASSERT_GE(sock, 0);
    qint64 sent = 0;
    EXPECT_TRUE(WriteUntilStalled(sock, format, qint64(256) * 1024 * 1024, sent));
    EXPECT_TRUE(printer.WaitForLine("label 1:", 300).isEmpty());
    printer.Control("status ready");
    // The rest of the last format, then the end of the connection.
    const int flags = fcntl(sock, F_GETFL);
    fcntl(sock, F_SETFL, flags & ~O_NONBLOCK);
    const qsizetype rest = (format.size() - sent % format.size()) % format.size();
    ASSERT_EQ(write(sock, format.right(rest).constData(), size_t(rest)), rest);
    shutdown(sock, SHUT_WR);
    const qint64 labels = (sent + rest) / format.size();
    EXPECT_FALSE(printer.WaitForLine(QStringLiteral("label %1:").arg(labels), 60000).isEmpty())
        << labels << " labels sent";
    EXPECT_TRUE(printer.WaitForLine(QStringLiteral("label %1:").arg(labels + 1), 300).isEmpty());
    close(sock);

    printer.Control("status +pause");
    ASSERT_FALSE(printer.WaitForLine("status 10 (pause)").isEmpty());
    const int fd = OpenRawTerminal(printer.PtyPath());
    ASSERT_GE(fd, 0);
    QByteArray flow;
    qint64 written = 0;
    EXPECT_TRUE(WriteUntilStalled(fd, format, qint64(64) * 1024 * 1024, written, &flow));
    EXPECT_EQ(flow, "\x13") << written << printer.Lines().join("\n").right(3000).toStdString();
    printer.Control("status -pause");
    pollfd p { fd, POLLIN, 0 };
    char c = 0;
    while (!flow.contains('\x11') && poll(&p, 1, 10000) > 0 && read(fd, &c, 1) == 1)
        flow += c;
    EXPECT_EQ(flow, "\x13\x11"); // Xon once it may print again
    close(fd);
    EXPECT_EQ(printer.Stop(), 0);
}
