// tarvolin-cli against hostile input and faults: inputs that never end or
// are no files, replies that are not answers, targets named twice, profile
// values outside the window's ranges, and SIGINT in the middle of a fleet.
#include "support/childprocess.h"
#include "support/cliprocess.h"
#include "support/ptyprinter.h"
#include "support/qtprint.h"
#include "support/slowprinters.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString Text(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(CliHostile, InputsThatNeverEndOrAreNoFilesAreRefusedBeforeSending)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("printer.bin");
    const QString to = QStringLiteral("file://") + out;
    const QString sparse = dir.filePath("huge.ttf");
    {
        QFile f(sparse);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(100LL * 1024 * 1024));
    }
    const QString longLine = dir.filePath("targets");
    WriteFile(longLine, "tcp://" + QByteArray(100000, 'a'));
    // A pipe whose writer never writes nor closes.
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int writer = open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);

    const struct
    {
        QStringList arguments;
        QString message;
    } cases[] = {
        { { "--timeout", "5", "--to", to, "--to", to + "2", "send", "/dev/zero" },
          "send: /dev/zero holds more than 134,217,728 bytes, more than one send takes" },
        { { "--timeout", "1", "--to", to, "send", fifo },
          "send: " + fifo + ": still reading after 1 s (--timeout); nothing was sent" },
        { { "--to", to, "download", "/dev/zero" }, "download: /dev/zero is not a regular file" },
        { { "--targets", longLine, "text", "x" },
          longLine + ":1: a line longer than 4096 bytes is no target URI" },
        { { "--to", to, "download", "--type", "data", dir.path() },
          "download: " + dir.path() + " is not a regular file" },
        { { "--to", to, "download", sparse },
          "download: " + sparse
              + " is 104,857,600 bytes; no printer memory holds more than "
                "67,108,864" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        QElapsedTimer clock;
        clock.start();
        const CliRun run = RunCliProgram(c.arguments, 30000);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(Text(run.err).startsWith("tarvolin-cli: " + c.message + "\n"))
            << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_LT(clock.elapsed(), 20000);
    }
    close(writer);
    // The largest child so far (every one of this test program's) stayed
    // well below the input that never ends. The address sanitizer keeps
    // freed memory back for a while, so its figure says nothing.
#ifndef __SANITIZE_ADDRESS__
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 300L * 1024);
#endif
}

TEST(CliHostile, RepliesThatAreNoAnswersFailShowingTheReplyEscaped)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    const QString uri = QStringLiteral("com://") + printer.SlavePath();
    const struct
    {
        const char *operation;
        QByteArray reply;
        QString error;
    } cases[] = {
        { "free-memory", "\x1B[2Jhello\r\n",
          "The printer's reply is not a free-memory answer: \"<1B>[2Jhello<0D><0A>\" (11 bytes)" },
        { "free-memory", "DRAM FREE BYTE(KB): 12FLASH FREE BYTE(KB): lots\r\n",
          "The printer's reply is not a free-memory answer: \"DRAM FREE BYTE(KB): 12FLASH FREE "
          "BYTE(KB): lots<0D><0A>\" (49 bytes)" },
        // The file list's exchange puts LF after every CR received.
        { "files", "OK\r", "The printer's reply is not a file list: \"OK<0D><0A>\" (4 bytes)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.operation);
        printer.SetReply(c.reply);
        const CliRun run = RunCliReadBack({ "--to", uri, c.operation }, false);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(Text(run.out).toStdString(), (uri + " FAILED: " + c.error + "\n").toStdString());
        const CliRun json = RunCliReadBack({ "--json", "--to", uri, c.operation }, false);
        const QJsonObject o = QJsonDocument::fromJson(json.out.split('\n').value(0)).object();
        EXPECT_EQ(o.value("result").toString(), "failed");
        EXPECT_EQ(o.value("error").toString().toStdString(), c.error.toStdString());
    }
}

TEST(CliHostile, ATargetGivenTwiceIsServedOnceWithAWarning)
{
    QTemporaryDir dir;
    const QString to = QStringLiteral("file://") + dir.filePath("p.bin");
    const QString list = dir.filePath("targets");
    WriteFile(list, (to + "\n" + to + "\n").toUtf8());
    const CliRun run = RunCliProgram({ "--to", to, "--targets", list, "text", "^XA^XZ" });
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Text(run.err),
              "tarvolin-cli: warning: " + to + " is given 3 times; it is served once\n");
    EXPECT_EQ(Text(run.out).count(" ok "), 1) << run.out.toStdString();
    QFile f(dir.filePath("p.bin"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "^XA^XZ\r\n");
}

TEST(CliHostile, ProfileValuesOutsideTheWindowsRangesAreRefusedNamingTheField)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("p.bin");
    const struct
    {
        QByteArray profile;
        QString message;
    } cases[] = {
        { "width = -5\n", "p.conf:1: width: -5 is no label size (above 0 is needed)" },
        { "speed = 3\nheight = 0\n", "p.conf:2: height: 0 is no label size (above 0 is needed)" },
        { "top = 999\n",
          "p.conf:1: top: 999 is outside the window's range -15 to 15 mm at 203dpi" },
        { "top = -16\n",
          "p.conf:1: top: -16 is outside the window's range -15 to 15 mm at 203dpi" },
        { "resolution = 300dpi\ntop = 11\n",
          "p.conf:2: top: 11 is outside the window's range -10 to 10 mm at 300dpi" },
        { "shift = 1250\n",
          "p.conf:1: shift: 1250 is outside the window's range -1249 to 1249 mm at 203dpi" },
        { "home-x = 4001\n",
          "p.conf:1: home-x: 4001 is outside the window's range 0 to 4000 mm at 203dpi" },
        { "resolution = 300dpi\nhome-y = 2667\n",
          "p.conf:2: home-y: 2667 is outside the window's range 0 to 2666 mm at 300dpi" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.profile.toStdString());
        WriteFile(dir.filePath("p.conf"), c.profile);
        for (const char *operation : { "store-settings", "test-label" }) {
            const CliRun run
                = RunCliProgram({ "--to", "file://" + out, operation, dir.filePath("p.conf") });
            EXPECT_EQ(run.exitCode, 2) << operation;
            EXPECT_TRUE(Text(run.err).contains(c.message)) << run.err.toStdString();
            EXPECT_FALSE(QFile::exists(out));
        }
    }
    // The edges themselves are the window's own values.
    WriteFile(dir.filePath("p.conf"), "top = -15\nshift = 1249\nhome-x = 4000\nhome-y = 0\n");
    const CliRun edge
        = RunCliProgram({ "--to", "file://" + out, "store-settings", dir.filePath("p.conf") });
    EXPECT_EQ(edge.exitCode, 0) << edge.err.toStdString();
}

TEST(CliHostile, SigintDuringAFleetStopsAndNamesEveryUnfinishedTarget)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("big.prn");
    WriteFile(file, QByteArray(2 * 1024 * 1024, 'x'));
    std::vector<std::unique_ptr<SlowTcpPrinter>> printers;
    QStringList arguments { "--jobs", "2", "--timeout", "60" };
    for (int i = 0; i < 5; ++i) {
        printers.push_back(
            std::make_unique<SlowTcpPrinter>(SlowTcpPrinter::Options { 64 * 1024, -1, 4096 }));
        arguments << "--to" << QStringLiteral("tcp://127.0.0.1:%1").arg(printers.back()->Port());
    }
    arguments << "send" << file;

    ChildProcess cli;
    ASSERT_TRUE(cli.Start(QStringLiteral(TARVOLIN_CLI_PROGRAM), arguments));
    QElapsedTimer clock;
    clock.start();
    while (printers[0]->Count() < 100 * 1024 && clock.elapsed() < 20000)
        usleep(20 * 1000);
    cli.Signal(SIGINT);
    ASSERT_TRUE(cli.WaitForExit(20000));
    EXPECT_EQ(cli.ExitCode(), 130);
    const QString out = Text(cli.TakeOutput());

    // The two running targets stopped part-way and say so; the rest never
    // started.
    static const QRegularExpression partial(QStringLiteral(
        "  tcp://127.0.0.1:\\d+: [0-9,]+ of 2,097,152 bytes sent; a partial command may be "
        "waiting in this printer\n"));
    EXPECT_EQ(out.count(partial), 2) << out.toStdString();
    EXPECT_EQ(out.count(QRegularExpression("  tcp://127.0.0.1:\\d+: not started\n")), 3)
        << out.toStdString();
    EXPECT_TRUE(out.contains("interrupted: 5 targets not finished:\n")) << out.toStdString();
    EXPECT_TRUE(out.contains(QRegularExpression("5 targets in [0-9.]+ m?s: 0 ok, 5 failed: ")))
        << out.toStdString();
    EXPECT_EQ(out.count("FAILED: Interrupted after "), 2) << out.toStdString();
    EXPECT_EQ(out.count("FAILED: Interrupted before it was started; nothing was sent"), 3);
    for (const auto &p : printers)
        EXPECT_LT(p->Count(), 2 * 1024 * 1024);
}

TEST(CliHostile, ATimedOutNetworkSendReportsTheBytesThePrinterAcknowledged)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("big.prn");
    WriteFile(file, QByteArray(8 * 1024 * 1024, 'x'));
    // Whatever the printer's receive buffer, the count is exact: the peer's
    // kernel acknowledges what it buffers, and the peer reads it all at the
    // end, reset or not.
    for (const int receiveBuffer : { 0, 4096 }) {
        SCOPED_TRACE(receiveBuffer);
        const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(listener, 0);
        if (receiveBuffer > 0)
            setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), length), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
        const QString to = QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(address.sin_port));

        ChildProcess cli;
        ASSERT_TRUE(cli.Start(QStringLiteral(TARVOLIN_CLI_PROGRAM),
                              { "--timeout", "2", "--to", to, "send", file }));
        pollfd waiting { listener, POLLIN, 0 };
        ASSERT_EQ(poll(&waiting, 1, 20000), 1);
        const int peer = accept(listener, nullptr, nullptr);
        ASSERT_GE(peer, 0);
        // The printer takes 100,000 bytes and then nothing more.
        qint64 received = 0;
        char piece[65536];
        while (received < 100000) {
            const ssize_t n
                = recv(peer, piece, std::min<qint64>(sizeof piece, 100000 - received), 0);
            ASSERT_GT(n, 0);
            received += n;
        }
        ASSERT_TRUE(cli.WaitForExit(20000));
        EXPECT_EQ(cli.ExitCode(), 1);
        for (;;) {
            const ssize_t n = recv(peer, piece, sizeof piece, MSG_DONTWAIT);
            if (n <= 0)
                break;
            received += n;
        }
        close(peer);
        close(listener);
        const QString expected = QStringLiteral(" FAILED: Timed out after 2 s. Cancelled after %1 "
                                                "of 8,388,608 bytes.")
                                     .arg(QLocale(QLocale::English).toString(received));
        const QString out = Text(cli.TakeOutput());
        EXPECT_TRUE(out.startsWith(to + expected)) << out.toStdString() << expected.toStdString();
    }
}

TEST(CliHostile, TheTimeoutBoundsTheWholeOperationReadingTheInputIncluded)
{
    QTemporaryDir dir;
    // The input arrives a second late, through a pipe; then every printer
    // stalls. With --jobs 1 the first printer is stopped at the operation's
    // end and the second is never started: the second it waited for the
    // input and the first printer's time count against the one limit.
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    std::thread writer([&fifo] {
        const int fd = open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            return;
        usleep(1000 * 1000);
        const QByteArray bytes(8 * 1024 * 1024, 'x');
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                break;
            done += n;
        }
        close(fd);
    });
    SlowTcpPrinter first(SlowTcpPrinter::Options { 0, 0, 4096 });
    SlowTcpPrinter second(SlowTcpPrinter::Options { 0, 0, 4096 });
    const QString one = QStringLiteral("tcp://127.0.0.1:%1").arg(first.Port());
    const QString two = QStringLiteral("tcp://127.0.0.1:%1").arg(second.Port());
    QElapsedTimer clock;
    clock.start();
    const CliRun run = RunCliProgram(
        { "--jobs", "1", "--timeout", "3", "--to", one, "--to", two, "send", fifo }, 30000);
    writer.join();
    EXPECT_EQ(run.exitCode, 1);
    const QString out = Text(run.out);
    EXPECT_TRUE(out.contains(one + " FAILED: Timed out after 3 s. Cancelled after "))
        << out.toStdString();
    EXPECT_TRUE(out.contains(two
                             + " FAILED: Timed out after 3 s before it was started; nothing "
                               "was sent\n"))
        << out.toStdString();
    EXPECT_EQ(second.Finish(2000), QByteArray());
    EXPECT_LT(clock.elapsed(), 15000);
}
