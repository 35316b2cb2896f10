// Files sent as they are read, to the File interface and to a device: every
// byte arrives, whichever way the kernel can copy between the two (within
// one file system, across file systems, into a terminal, or not at all from
// a pipe), counted as written and stoppable between pieces.
#include "core/exceptions.h"
#include "link/printerlink.h"
#include "link/progress.h"
#include "link/sendsource.h"
#include "serial/cport.h"
#include "support/pty.h"
#include "support/slowprinters.h"
#include "support/tempfile.h"

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Keeps what the link reports in a list that outlives the operation.
class CountingObserver : public ProgressObserver
{
public:
    CountingObserver(std::vector<qint64> &progress, std::function<bool(qint64)> stopWhen)
        : progress_(progress)
        , stopWhen_(std::move(stopWhen))
    { }
    void Stage(const QString &, qint64, double) override { progress_.clear(); }
    void Progress(qint64 doneBytes) override { progress_.push_back(doneBytes); }
    bool CancelRequested() override
    {
        if (!stopWhen_)
            return false;
        // A window that takes its time to repaint: asked after every piece.
        QThread::msleep(12);
        return stopWhen_ && !progress_.empty() && stopWhen_(progress_.back());
    }

private:
    std::vector<qint64> &progress_;
    std::function<bool(qint64 done)> stopWhen_;
};

QByteArray Payload(qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = char((i * 131) >> 3);
    return data;
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct FileSendTest : ::testing::Test
{
    // Sends the file at `from` to `to` through the link, as tarvolin-cli
    // sends a file it streams.
    void Send(const QString &from)
    {
        FileSource source(from);
        link.SendToPrinter(PrinterLink::FileNaming::AsTyped, source);
        given = source.Given();
    }

    QTemporaryDir dir;
    TComPort port;
    LinkTarget target;
    PrinterLink link { &port, [this] {
                          return target;
                      } };
    std::vector<qint64> progress;
    std::function<bool(qint64)> stopWhen;
    qint64 given = -1;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        link.SetProgressSource(
            [this] { return std::make_unique<CountingObserver>(progress, stopWhen); });
    }
};

} // namespace

TEST_F(FileSendTest, EveryByteArrivesCountedAsWritten)
{
    const QByteArray data = Payload(5 * 1024 * 1024 + 123);
    QTemporaryDir memory(QStringLiteral("/dev/shm/tarvolin-XXXXXX"));
    struct Case
    {
        const char *what;
        QString from;
    };
    std::vector<Case> cases { { "within one file system", WriteTempFile(dir, "font.bin", data) } };
    if (memory.isValid())
        cases.push_back({ "from another file system", WriteTempFile(memory, "font.bin", data) });
    else
        ADD_FAILURE() << "no directory in /dev/shm for a second file system";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString &name : { QStringLiteral("new.bin"), QStringLiteral("old.bin") }) {
            target = LinkTarget::File(dir.filePath(name));
            // A file that was there and longer is replaced, not overwritten
            // at its start.
            if (name == QStringLiteral("old.bin"))
                WriteTempFile(dir, name, Payload(8 * 1024 * 1024));
            ASSERT_NO_THROW(Send(c.from));
            EXPECT_TRUE(ReadFile(target.fileName) == data) << name.toStdString();
            EXPECT_EQ(given, data.size());
            ASSERT_FALSE(progress.empty());
            EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
            EXPECT_EQ(progress.back(), data.size());
        }
    }
}

TEST_F(FileSendTest, AFileReachesADeviceWhole)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
    const QByteArray data = Payload(300 * 1024 + 7);
    const QString from = WriteTempFile(dir, "label.prn", data);
    SlowPtyReader printer(pty, 0);
    target = LinkTarget::Lpt(pty.SlavePath());
    ASSERT_NO_THROW(Send(from));
    EXPECT_TRUE(printer.Finish() == data);
    EXPECT_EQ(given, data.size());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), data.size());
}

// A pipe cannot be copied by the kernel into a file: it goes in pieces.
TEST_F(FileSendTest, APipeIsSentInPieces)
{
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray data = Payload(3 * 1024 * 1024 + 1);
    target = LinkTarget::File(dir.filePath("out.bin"));
    FileSource source(fifo);
    // With the reading end open, the writing end opens at once; it must be
    // open before the send reads, or the send would find the pipe ended.
    const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ::fcntl(fd, F_SETFL, 0);
    std::thread writer([&] {
        for (qsizetype at = 0; at < data.size();) {
            const ssize_t n = ::write(fd, data.constData() + at, size_t(data.size() - at));
            if (n <= 0)
                break;
            at += n;
        }
        ::close(fd);
    });
    EXPECT_NO_THROW(link.SendToPrinter(PrinterLink::FileNaming::AsTyped, source));
    writer.join();
    EXPECT_TRUE(ReadFile(target.fileName) == data);
    EXPECT_EQ(source.Given(), data.size());
}

TEST_F(FileSendTest, StoppedBetweenPiecesTheTargetHoldsExactlyWhatWasCounted)
{
    const QByteArray data = Payload(8 * 1024 * 1024);
    const QString from = WriteTempFile(dir, "big.bin", data);
    qint64 stopAt = 0;
    stopWhen = [&stopAt](qint64 done) {
        return done >= stopAt;
    };
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
    SlowPtyReader printer(pty, 0);
    struct Case
    {
        const char *what;
        LinkTarget target;
        qint64 stopAt;
        QString holds; // where what was written can be read
    };
    const QString file = dir.filePath("stopped.bin");
    const Case cases[] = {
        { "a file", LinkTarget::File(file), 2 * 1024 * 1024, file },
        // A device goes in small pieces: stopped sooner.
        { "a device", LinkTarget::Lpt(pty.SlavePath()), 64 * 1024, {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        target = c.target;
        stopAt = c.stopAt;
        try {
            Send(from);
            ADD_FAILURE() << "not cancelled";
            continue;
        } catch (const EOperationCancelled &e) {
            EXPECT_GE(e.DoneBytes(), c.stopAt);
            EXPECT_LT(e.DoneBytes(), data.size());
            EXPECT_EQ(e.DoneBytes(), progress.back());
            const QByteArray written = c.holds.isEmpty() ? printer.Finish() : ReadFile(c.holds);
            EXPECT_EQ(written.size(), e.DoneBytes());
            EXPECT_TRUE(written == data.left(e.DoneBytes()));
            if (!c.holds.isEmpty()) {
                EXPECT_EQ(e.Message(),
                          QStringLiteral("Cancelled after %1 of 8,388,608 bytes. The file %2 "
                                         "holds only the bytes written.")
                              .arg(QLocale(QLocale::English).toString(e.DoneBytes()), file));
            }
        }
    }
}
