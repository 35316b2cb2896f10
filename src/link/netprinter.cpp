#include "link/netprinter.h"

#include "core/exceptions.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// poll() on one descriptor, retried on EINTR with the time that is left.
int PollOne(int fd, short events, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        pollfd p { fd, events, 0 };
        const int left = timeoutMs < 0 ? -1 : std::max<qint64>(0, timeoutMs - clock.elapsed());
        const int r = ::poll(&p, 1, left);
        if (r >= 0 || errno != EINTR)
            return r < 0 ? r : (r == 0 ? 0 : p.revents);
    }
}

[[noreturn]] void ThrowSendError(int err)
{
    throw ETarvolinError(
        QStringLiteral("Network send error: %1").arg(QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace

NetPrinter::~NetPrinter()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool NetPrinter::KVNetOpen(const QString &address, quint16 port, int timeoutMs)
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    sockaddr_in target {};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        return false;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int r = ::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target);
    if (r != 0 && errno == EINPROGRESS) {
        const int ready = PollOne(fd, POLLOUT, timeoutMs);
        int err = 0;
        socklen_t len = sizeof err;
        if (ready > 0 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
            r = 0;
    }
    if (r != 0) {
        ::close(fd);
        return false;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    fd_ = fd;
    return true;
}

void NetPrinter::KVNetSend(const QByteArray &data)
{
    if (fd_ < 0)
        throw ETarvolinError(QStringLiteral("Network send error: not connected"));
    const char *p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::send(fd_, p, static_cast<size_t>(left), MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            left -= n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            ThrowSendError(errno);
        // The printer's window is full: wait for it to take more.
        const int ready = PollOne(fd_, POLLOUT, SendStallTimeoutMs);
        if (ready == 0)
            ThrowSendError(ETIMEDOUT);
        if (ready < 0)
            ThrowSendError(errno);
        if (ready & (POLLERR | POLLHUP)) {
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
            ThrowSendError(err ? err : EPIPE);
        }
    }
}

void NetPrinter::KVNetClose()
{
    if (fd_ < 0)
        return;
    ::shutdown(fd_, SHUT_WR);
    QElapsedTimer grace;
    grace.start();
    char sink[4096];
    for (;;) {
        const qint64 left = CloseGraceMs - grace.elapsed();
        if (left <= 0)
            break;
        const int ready = PollOne(fd_, POLLIN, static_cast<int>(left));
        if (ready <= 0)
            break;
        const ssize_t n = ::recv(fd_, sink, sizeof sink, 0);
        if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN))
            break;
    }
    ::close(fd_);
    fd_ = -1;
}
