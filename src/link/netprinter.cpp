#include "link/netprinter.h"

#include "core/exceptions.h"
#include "link/transfer.h"

#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

// The socket's pending error, or the errno of the call that just failed.
int SocketError(int fd)
{
    int err = 0;
    socklen_t len = sizeof err;
    ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    return err ? err : EPIPE;
}

// Closes a descriptor on every way out unless released.
class FdGuard
{
public:
    explicit FdGuard(int fd)
        : fd_(fd)
    { }
    ~FdGuard()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdGuard(const FdGuard &) = delete;
    FdGuard &operator=(const FdGuard &) = delete;
    int Release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

} // namespace

NetPrinter::~NetPrinter()
{
    if (fd_ < 0)
        return;
    const linger reset { 1, 0 };
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd_);
}

bool NetPrinter::KVNetOpen(const QString &address, quint16 port, int timeoutMs)
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    printer_ = QStringLiteral("%1:%2").arg(address).arg(port);
    connectFailure_ = { ErrorParticulars::Subject::NetworkPrinter, printer_, 0, {} };
    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1) {
        connectFailure_.systemError = EINVAL;
        connectFailure_.reason = QStringLiteral("not an address of the form A.B.C.D");
        return false;
    }

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        connectFailure_.systemError = errno;
        return false;
    }
    FdGuard guard(fd);
    int r = ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target);
    int err = r == 0 ? 0 : errno;
    if (err == EINPROGRESS) {
        Transfer plain;
        const int ready = (transfer_ ? *transfer_ : plain).Wait(fd, POLLOUT, timeoutMs);
        socklen_t len = sizeof err;
        if (ready < 0) {
            err = errno;
        } else if (ready == 0) {
            err = ETIMEDOUT;
            connectFailure_.reason
                = QStringLiteral("no answer within %1 s").arg(timeoutMs / 1000.0);
        } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) {
            err = errno;
        }
    }
    if (err != 0) {
        connectFailure_.systemError = err;
        return false;
    }
    connectFailure_ = {};
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = guard.Release();
    return true;
}

void NetPrinter::KVNetSend(const QByteArray &data)
{
    if (fd_ < 0)
        Fail(QStringLiteral("not connected"), ENOTCONN);
    Transfer plain;
    Transfer &transfer = transfer_ ? *transfer_ : plain;
    const char *p = data.constData();
    const qsizetype length = data.size();
    qsizetype handed = 0;
    qint64 acknowledged = 0;
    QElapsedTimer started;
    started.start();
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    for (;;) {
        int unacknowledged = 0;
        if (::ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0)
            Fail(errno);
        const qint64 now = handed - unacknowledged;
        if (now > acknowledged) {
            acknowledged = now;
            sinceProgress.start();
        }
        transfer.Progress(acknowledged);
        if (acknowledged == length)
            return;
        const qint64 stallLeft = stallTimeoutMs_ - sinceProgress.elapsed();
        if (stallLeft <= 0)
            Fail((acknowledged == 0 ? QStringLiteral("the printer took no data for %1 s")
                                    : QStringLiteral("the printer took nothing more for %1 s"))
                     .arg(stallTimeoutMs_ / 1000.0),
                 ETIMEDOUT);
        int revents;
        if (handed < length) {
            const ssize_t n
                = ::send(fd_, p + handed, static_cast<size_t>(length - handed), MSG_NOSIGNAL);
            if (n > 0) {
                handed += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                Fail(errno);
            // The printer's window is full: wait for it to take more.
            revents = transfer.Wait(fd_, POLLOUT, int(std::min<qint64>(stallLeft, INT_MAX)));
        } else {
            // Everything is handed over. An acknowledgement wakes nothing, so
            // look again after about half the time the rest should take.
            const double rate = acknowledged * 1000.0 / std::max<qint64>(1, started.elapsed());
            const double restMs = rate > 0 ? (length - acknowledged) * 1000.0 / rate : 1e9;
            revents = transfer.Wait(
                fd_, 0, int(std::clamp<double>(restMs / 2, 1, std::min<qint64>(stallLeft, 40))));
        }
        if (revents < 0)
            Fail(errno);
        if (revents & (POLLERR | POLLHUP))
            Fail(SocketError(fd_));
    }
}

void NetPrinter::Fail(const QString &reason, int err) const
{
    throw With(ETarvolinError(QStringLiteral("Network send error: %1").arg(reason)),
               { ErrorParticulars::Subject::NetworkPrinter, printer_, err, {} });
}

void NetPrinter::Fail(int err) const
{
    Fail(QString::fromLocal8Bit(std::strerror(err)), err);
}

void NetPrinter::KVNetClose()
{
    if (fd_ < 0)
        return;
    Transfer plain;
    Transfer &transfer = transfer_ ? *transfer_ : plain;
    ::shutdown(fd_, SHUT_WR);
    QElapsedTimer grace;
    grace.start();
    char sink[4096];
    try {
        for (;;) {
            const qint64 left = CloseGraceMs - grace.elapsed();
            if (left <= 0)
                break;
            const int ready = transfer.Wait(fd_, POLLIN, static_cast<int>(left));
            if (ready <= 0)
                break;
            const ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
            if (n < 0 && errno == ECONNRESET) {
                // The printer dropped the connection with our bytes unread:
                // the job did not arrive whole.
                ::close(fd_);
                fd_ = -1;
                Fail(ECONNRESET);
            }
            if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
                break;
        }
    } catch (const EOperationCancelled &) {
        // Every byte was acknowledged already: only the courtesy wait ends.
    }
    ::close(fd_);
    fd_ = -1;
}
