// --output and snapshot -o against files that are not regular files: a
// device node, a FIFO and a link to the program's standard output are
// written into and stay what they were; what cannot be written is named.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>
#include <unistd.h>

namespace {

mode_t TypeOf(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & S_IFMT;
}

// What a writer puts into a FIFO, read without waiting for ever for one.
QByteArray ReadFifo(const QString &path, int timeoutMs = 20000)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    QByteArray got;
    for (bool writerSeen = false;;) {
        pollfd p { fd, POLLIN, 0 };
        if (::poll(&p, 1, timeoutMs) <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            got.append(buffer, n);
            writerSeen = true;
        } else if (n == 0 && writerSeen) {
            break;
        }
    }
    ::close(fd);
    return got;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

class CliOutputFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        printer = std::make_unique<PrinterProcess>(QStringList { "--tcp", "0" });
        ASSERT_TRUE(printer->IsRunning()) << printer->Error().toStdString();
        target = QStringLiteral("tcp://127.0.0.1:%1").arg(printer->TcpPort());
    }
    CliRun Metrics(const QString &output)
    {
        return RunCliProgram(
            { "--to", target, "status", "--format", "prometheus", "--output", output });
    }
    QTemporaryDir dir;
    std::unique_ptr<PrinterProcess> printer;
    QString target;
};

TEST_F(CliOutputFile, SpecialFilesAreWrittenIntoAndStayWhatTheyWere)
{
    // A FIFO read by someone gets the metrics whole.
    const QString fifo = dir.filePath("metrics.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray fromFifo;
    std::thread reader([&] { fromFifo = ReadFifo(fifo); });
    const CliRun toFifo = Metrics(fifo);
    reader.join();
    EXPECT_EQ(toFifo.exitCode, ExitOk) << toFifo.err.toStdString();
    EXPECT_TRUE(fromFifo.startsWith("# HELP ")) << fromFifo.toStdString();
    EXPECT_EQ(TypeOf(fifo), mode_t(S_IFIFO));

    // A link to the program's own standard output.
    const QString stdoutLink = dir.filePath("stdout.prom");
    ASSERT_TRUE(QFile::link("/proc/self/fd/1", stdoutLink));
    const CliRun toStdout = Metrics(stdoutLink);
    EXPECT_EQ(toStdout.exitCode, ExitOk) << toStdout.err.toStdString();
    EXPECT_TRUE(toStdout.out.startsWith("# HELP ")) << toStdout.out.toStdString();
    EXPECT_EQ(TypeOf(stdoutLink), mode_t(S_IFLNK));

    // A link to a regular file: the file is replaced, the link kept.
    const QString real = dir.filePath("real.prom");
    const QString link = dir.filePath("link.prom");
    QFile(real).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(real, link));
    EXPECT_EQ(Metrics(link).exitCode, ExitOk);
    EXPECT_EQ(TypeOf(link), mode_t(S_IFLNK));
    EXPECT_TRUE(ReadAll(real).startsWith("# HELP "));

    // A device node of its own, where one can be made.
    const QString node = dir.filePath("null");
    if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_EQ(Metrics(node).exitCode, ExitOk);
        EXPECT_EQ(TypeOf(node), mode_t(S_IFCHR));
    }

    // snapshot -o the same way: the profile on standard output.
    const CliRun snapshot = RunCliProgram({ "--to", target, "snapshot", "-o", stdoutLink });
    EXPECT_EQ(snapshot.exitCode, ExitOk) << snapshot.err.toStdString();
    EXPECT_TRUE(snapshot.out.startsWith("# Tarvolin printer profile: the running settings of "))
        << snapshot.out.toStdString();
}

TEST_F(CliOutputFile, WhatCannotBeWrittenIsNamed)
{
    const QString fifo = dir.filePath("unread.fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const struct
    {
        QString output;
        QString message;
    } cases[] = {
        { dir.path(), "Cannot create file " + dir.path() + ": Is a directory" },
        { fifo,
          "Cannot write file " + fifo + ": No such device or address (nothing reads from it)" },
        { dir.filePath("no/such.prom"),
          "Cannot create file " + dir.filePath("no/such.prom")
              + ": No such file or directory (the folder " + dir.filePath("no")
              + " does not exist)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.output.toStdString());
        const CliRun run = Metrics(c.output);
        EXPECT_EQ(run.exitCode, ExitFailed);
        EXPECT_EQ(QString::fromUtf8(run.err), "tarvolin-cli: " + c.message + "\n");
    }
    EXPECT_EQ(TypeOf(fifo), mode_t(S_IFIFO));
    EXPECT_TRUE(QFileInfo(dir.path()).isDir());
}

} // namespace
