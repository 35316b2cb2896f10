#include "support/pty.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsUntil(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : int(left);
}

} // namespace

PtyPair::PtyPair()
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error_ = QStringLiteral("posix_openpt: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return;
    }
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        error_ = QStringLiteral("pty set-up: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        close(fd);
        return;
    }
    master_ = fd;
    slavePath_ = QString::fromLocal8Bit(name);
    slaveHold_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slaveHold_ < 0 || !SetRaw()) {
        error_ = QStringLiteral("slave set-up: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        ReleaseSlave();
        close(master_);
        master_ = -1;
    }
}

PtyPair::~PtyPair()
{
    ReleaseSlave();
    if (master_ >= 0)
        close(master_);
}

bool PtyPair::SetRaw()
{
    termios t {};
    if (tcgetattr(master_, &t) != 0)
        return false;
    cfmakeraw(&t);
    return tcsetattr(master_, TCSANOW, &t) == 0;
}

void PtyPair::ReleaseSlave()
{
    if (slaveHold_ >= 0)
        close(slaveHold_);
    slaveHold_ = -1;
}

void PtyPair::CloseMaster()
{
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

int PtyPair::SlaveInputQueued() const
{
    int count = 0;
    if (slaveHold_ < 0 || ioctl(slaveHold_, FIONREAD, &count) != 0)
        return -1;
    return count;
}

bool PtyPair::Write(const QByteArray &data, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = write(master_, data.constData() + done, size_t(data.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const int left = MillisecondsUntil(deadline);
        if (left == 0)
            return false;
        pollfd p { master_, POLLOUT, 0 };
        poll(&p, 1, left);
    }
    return true;
}

bool PtyPair::WaitReadable(int timeoutMs)
{
    pollfd p { master_, POLLIN, 0 };
    int r;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & POLLIN);
}

QByteArray PtyPair::ReadAvailable()
{
    QByteArray out;
    char chunk[65536];
    for (;;) {
        const ssize_t n = read(master_, chunk, sizeof chunk);
        if (n > 0) {
            out.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // EAGAIN: nothing more now; EIO: no slave open (a hang-up).
        return out;
    }
}

QByteArray PtyPair::ReadExactly(qsizetype count, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray out;
    char chunk[65536];
    while (out.size() < count) {
        const ssize_t n
            = read(master_, chunk, size_t(std::min<qsizetype>(count - out.size(), sizeof chunk)));
        if (n > 0) {
            out.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        const int left = MillisecondsUntil(deadline);
        if (left == 0)
            break;
        if (n < 0 && errno == EIO) {
            // No slave open right now: wait a little for one to appear.
            usleep(1000);
            continue;
        }
        pollfd p { master_, POLLIN, 0 };
        poll(&p, 1, left);
    }
    return out;
}

QByteArray PtyPair::ReadUntilQuiet(int quietMs, int timeoutMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    QByteArray out;
    for (;;) {
        out += ReadAvailable();
        const int left = MillisecondsUntil(deadline);
        if (left == 0 || !WaitReadable(std::min(quietMs, left)))
            return out;
    }
}

qsizetype PtyPair::Drain(int quietMs, int timeoutMs)
{
    return ReadUntilQuiet(quietMs, timeoutMs).size();
}

qint64 PtyCapacity()
{
    PtyPair spare;
    const int fd
        = ::open(spare.SlavePath().toLocal8Bit().constData(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    qint64 total = 0;
    char block[1024] = {};
    for (;;) {
        const ssize_t n = ::write(fd, block, sizeof block);
        if (n <= 0)
            break;
        total += n;
    }
    ::close(fd);
    return total;
}

int OpenRawTerminal(const QString &device, int flags)
{
    const int fd = open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC | flags);
    termios t {};
    if (fd >= 0 && tcgetattr(fd, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}
