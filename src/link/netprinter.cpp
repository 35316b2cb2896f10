#include "link/netprinter.h"

#include "core/exceptions.h"
#include "link/sendsource.h"
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
    BufferSource source(data);
    KVNetSend(source);
}

void NetPrinter::KVNetSend(SendSource &source)
{
    if (fd_ < 0)
        Fail(QStringLiteral("not connected"), ENOTCONN);
    Transfer plain;
    Transfer &transfer = transfer_ ? *transfer_ : plain;
    // One piece of the source at a time: `piece` from `pieceAt` is not yet
    // handed to the system; the source has ended once `ended` is set.
    QByteArray piece;
    qsizetype pieceAt = 0;
    bool ended = false;
    qint64 handed = 0;
    qint64 acknowledged = 0;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    // Acknowledgements wake nothing: the count is asked again after a pause
    // that starts short and grows while nothing changes, so a fast printer
    // is not kept waiting and a slow one is not asked in a busy loop.
    int pauseMs = 0;
    // The count reported, also on a failure or a stop, is what the printer
    // acknowledged: what was handed to the system less what it still holds.
    const auto settle = [&] {
        int unacknowledged = 0;
        if (::ioctl(fd_, SIOCOUTQ, &unacknowledged) != 0)
            return false;
        const qint64 now = handed - unacknowledged;
        if (now > acknowledged) {
            acknowledged = now;
            sinceProgress.start();
            pauseMs = 0;
        }
        return true;
    };
    const auto fail = [&](const QString &reason, int err) {
        settle();
        transfer.Proceed(acknowledged);
        Fail(reason, err);
    };
    try {
        for (;;) {
            if (!settle())
                Fail(errno);
            transfer.Progress(acknowledged);
            if (pieceAt == piece.size() && !ended) {
                piece = source.Next(FileSource::PieceBytes, transfer);
                pieceAt = 0;
                ended = piece.isEmpty();
            }
            if (ended && acknowledged == handed)
                return;
            const qint64 stallLeft = stallTimeoutMs_ - sinceProgress.elapsed();
            if (stallLeft <= 0)
                fail((acknowledged == 0 ? QStringLiteral("the printer took no data for %1 s")
                                        : QStringLiteral("the printer took nothing more for %1 s"))
                         .arg(stallTimeoutMs_ / 1000.0),
                     ETIMEDOUT);
            // Neither a full window nor the printer's acknowledgements end a
            // wait on their own: each wait is a pause that starts short and
            // grows while nothing changes, so the count stays current.
            pauseMs = std::clamp(pauseMs * 2, 1, 40);
            const int waitMs = int(std::min<qint64>(stallLeft, pauseMs));
            int revents;
            if (pieceAt < piece.size()) {
                const ssize_t n = ::send(fd_, piece.constData() + pieceAt,
                                         static_cast<size_t>(piece.size() - pieceAt), MSG_NOSIGNAL);
                if (n > 0) {
                    handed += n;
                    pieceAt += n;
                    pauseMs = 0;
                    continue;
                }
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    fail(QString::fromLocal8Bit(std::strerror(errno)), errno);
                revents = transfer.Wait(fd_, POLLOUT, waitMs);
            } else {
                revents = transfer.Wait(fd_, 0, waitMs);
            }
            if (revents < 0)
                fail(QString::fromLocal8Bit(std::strerror(errno)), errno);
            if (revents & (POLLERR | POLLHUP)) {
                const int err = SocketError(fd_);
                fail(QString::fromLocal8Bit(std::strerror(err)), err);
            }
        }
    } catch (const EOperationCancelled &) {
        // Stopped between two looks at the count: report the latest.
        settle();
        transfer.Proceed(acknowledged);
        transfer.Cancel();
    }
}

void NetPrinter::Write(const QByteArray &data)
{
    if (fd_ < 0)
        Fail(QStringLiteral("not connected"), ENOTCONN);
    Transfer plain;
    Transfer &transfer = transfer_ ? *transfer_ : plain;
    qsizetype handed = 0;
    while (handed < data.size()) {
        const ssize_t n = ::send(fd_, data.constData() + handed,
                                 static_cast<size_t>(data.size() - handed), MSG_NOSIGNAL);
        if (n > 0) {
            handed += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            Fail(errno);
        const int revents = transfer.Wait(fd_, POLLOUT, stallTimeoutMs_);
        if (revents == 0)
            Fail(QStringLiteral("the printer took no data for %1 s").arg(stallTimeoutMs_ / 1000.0),
                 ETIMEDOUT);
        if (revents < 0)
            Fail(errno);
        if (revents & POLLERR)
            Fail(SocketError(fd_));
    }
}

qsizetype NetPrinter::Receive(QByteArray &into, int timeoutMs)
{
    if (fd_ < 0)
        Fail(QStringLiteral("not connected"), ENOTCONN);
    Transfer plain;
    Transfer &transfer = transfer_ ? *transfer_ : plain;
    for (bool waited = false;; waited = true) {
        char piece[4096];
        const ssize_t n = ::recv(fd_, piece, sizeof piece, 0);
        if (n > 0) {
            into.append(piece, n);
            return n;
        }
        if (n == 0)
            return -1;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            Fail(errno);
        if (waited)
            return 0;
        const int revents = transfer.Wait(fd_, POLLIN, timeoutMs);
        if (revents == 0)
            return 0;
        if (revents < 0)
            Fail(errno);
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
