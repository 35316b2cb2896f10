#include "cli/inputfile.h"

#include "cli/commandline.h"
#include "cli/usageerror.h"
#include "link/transfer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Reason(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

QString Bytes(qint64 n)
{
    return ByteCount(n);
}

class Descriptor
{
public:
    explicit Descriptor(int fd)
        : fd_(fd)
    { }
    ~Descriptor()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    int Fd() const { return fd_; }

private:
    int fd_;
};

constexpr double DefaultTimeoutSeconds = 60;

} // namespace

int TimeoutMsOf(const CommandLine &line)
{
    const QString timeoutText = line.Value(QStringLiteral("timeout"));
    double seconds = DefaultTimeoutSeconds;
    if (!timeoutText.isEmpty()) {
        bool ok = false;
        seconds = QLocale::c().toDouble(timeoutText, &ok);
        if (!ok || !(seconds >= 0) || seconds > 86400)
            throw EUsageError(QStringLiteral("--timeout: '%1' is not a number of seconds (0 for "
                                             "none, at most 86400)")
                                  .arg(timeoutText));
    }
    return int(seconds * 1000 + 0.5);
}

std::chrono::steady_clock::time_point OperationDeadline(const CommandLine &line)
{
    const int timeoutMs = TimeoutMsOf(line);
    return timeoutMs > 0 ? line.started + std::chrono::milliseconds(timeoutMs)
                         : std::chrono::steady_clock::time_point::max();
}

QByteArray ReadInputFile(const QString &path, const CommandLine &line)
{
    using Clock = std::chrono::steady_clock;
    const int timeoutMs = TimeoutMsOf(line);
    const Clock::time_point deadline = OperationDeadline(line);
    const auto msLeft = [&] {
        return deadline == Clock::time_point::max()
            ? qint64(-1)
            : std::max<qint64>(
                0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    // Non-blocking, so that a pipe without a writer cannot hold the open.
    const Descriptor file(
        open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Fd() < 0)
        throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
    struct stat st
    {
    };
    if (fstat(file.Fd(), &st) != 0)
        throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
    if (S_ISDIR(st.st_mode))
        throw EUsageError(QStringLiteral("%1 is a folder, not a file").arg(path));
    const auto tooLarge = [&] {
        return EUsageError(QStringLiteral("%1 holds more than %2 bytes, more than one send takes")
                               .arg(path, Bytes(MaxInputBytes)));
    };
    if (S_ISREG(st.st_mode) && st.st_size > MaxInputBytes)
        throw tooLarge();

    QByteArray bytes;
    qsizetype size = 0;
    for (;;) {
        if (bytes.size() - size < 64 * 1024) {
            // Grown by hand, never past the limit, so that the memory it
            // takes is bounded by the limit and not by how Qt grows arrays.
            const qint64 want = std::max<qint64>(256 * 1024, qint64(bytes.size()) * 2);
            bytes.resize(qsizetype(std::min<qint64>(want, MaxInputBytes + 1)));
        }
        const ssize_t n = read(file.Fd(), bytes.data() + size, size_t(bytes.size() - size));
        if (n > 0) {
            size += n;
            if (size > MaxInputBytes)
                throw tooLarge();
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN) {
            const qint64 left = msLeft();
            if (left == 0)
                throw EUsageError(QStringLiteral("%1: still reading after %2 s (--timeout); "
                                                 "nothing was sent")
                                      .arg(path)
                                      .arg(timeoutMs / 1000.0));
            pollfd p { file.Fd(), POLLIN, 0 };
            poll(&p, 1, left < 0 ? 1000 : int(std::min<qint64>(left, 1000)));
            continue;
        } else if (errno != EINTR) {
            throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
        }
        if (msLeft() == 0)
            throw EUsageError(
                QStringLiteral("%1: still reading after %2 s (--timeout); nothing was sent")
                    .arg(path)
                    .arg(timeoutMs / 1000.0));
    }
    bytes.truncate(size);
    bytes.squeeze();
    return bytes;
}

bool StreamableInput(const QString &path, const CommandLine &line)
{
    const Descriptor file(
        open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Fd() < 0)
        throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
    struct stat st
    {
    };
    if (fstat(file.Fd(), &st) != 0)
        throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
    if (S_ISDIR(st.st_mode))
        throw EUsageError(QStringLiteral("%1 is a folder, not a file").arg(path));
    if (S_ISREG(st.st_mode))
        return true;
    if (line.Values(QStringLiteral("to")).size() != 1 || line.Has(QStringLiteral("targets")))
        return false;
    // A pipe that never gives anything is refused before a printer is
    // opened, as a whole read of it would be.
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = OperationDeadline(line);
    for (;;) {
        const qint64 left = deadline == Clock::time_point::max()
            ? -1
            : std::max<qint64>(
                0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count());
        pollfd p { file.Fd(), POLLIN, 0 };
        const int r = poll(&p, 1, left < 0 ? 1000 : int(std::min<qint64>(left, 1000)));
        if (r > 0)
            return true;
        if (r < 0 && errno != EINTR)
            throw EUsageError(QStringLiteral("%1: %2").arg(path, Reason(errno)));
        if (left == 0)
            throw EUsageError(QStringLiteral("%1: still reading after %2 s (--timeout); "
                                             "nothing was sent")
                                  .arg(path)
                                  .arg(TimeoutMsOf(line) / 1000.0));
    }
}

void CheckDownloadFile(const QString &path)
{
    struct stat st
    {
    };
    if (stat(QFile::encodeName(path).constData(), &st) != 0)
        return; // the download's own open says what is wrong, as the window does
    if (!S_ISREG(st.st_mode))
        throw EUsageError(QStringLiteral("%1 is not a regular file").arg(path));
    if (st.st_size > MaxDownloadBytes)
        throw EUsageError(QStringLiteral("%1 is %2 bytes; no printer memory holds more than %3")
                              .arg(path, Bytes(st.st_size), Bytes(MaxDownloadBytes)));
}
