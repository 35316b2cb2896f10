#include "support/slowprinters.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int TickMs = 20;

// How many more bytes a reader paced at `rate` may take after `elapsedMs`.
qint64 Allowance(int rate, qint64 elapsedMs, qint64 taken)
{
    return rate <= 0 ? qint64(1) << 40 : rate * elapsedMs / 1000 - taken;
}

} // namespace

SlowPtyReader::SlowPtyReader(PtyPair &pty, int bytesPerSecond)
    : pty_(pty)
    , bytesPerSecond_(bytesPerSecond)
    , thread_([this] { Run(); })
{ }

SlowPtyReader::~SlowPtyReader()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

void SlowPtyReader::Run()
{
    QElapsedTimer clock;
    clock.start();
    char buffer[65536];
    while (!stop_) {
        const qint64 allowed = std::min<qint64>(
            sizeof buffer, Allowance(bytesPerSecond_, clock.elapsed(), count_.load()));
        pollfd p { pty_.MasterFd(), POLLIN, 0 };
        if (allowed <= 0 || ::poll(&p, 1, TickMs) <= 0 || !(p.revents & POLLIN)) {
            if (allowed <= 0)
                QThread::msleep(TickMs);
            continue;
        }
        const ssize_t n = ::read(pty_.MasterFd(), buffer, size_t(allowed));
        if (n > 0) {
            std::lock_guard lock(mutex_);
            received_.append(buffer, n);
            count_ += n;
        }
    }
}

QByteArray SlowPtyReader::Finish(int quietMs)
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    const QByteArray rest = pty_.ReadUntilQuiet(quietMs, 60000);
    std::lock_guard lock(mutex_);
    received_ += rest;
    count_ += rest.size();
    return received_;
}

SlowTcpPrinter::SlowTcpPrinter(Options options)
    : options_(options)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0)
        throw std::runtime_error("socket failed");
    // Set before listening, so that the accepted connection inherits it and
    // offers the sender a window no bigger than this.
    if (options_.receiveBuffer > 0)
        ::setsockopt(listenFd_, SOL_SOCKET, SO_RCVBUF, &options_.receiveBuffer,
                     sizeof options_.receiveBuffer);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listenFd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(listenFd_, 1) != 0 || ::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("listener set-up failed");
    socklen_t len = sizeof addr;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Run(); });
}

SlowTcpPrinter::~SlowTcpPrinter()
{
    const char stop = 1;
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void SlowTcpPrinter::Run()
{
    pollfd a[2] = { { listenFd_, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
    if (::poll(a, 2, -1) <= 0 || a[1].revents)
        return;
    const int conn = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0)
        return;
    QElapsedTimer clock;
    clock.start();
    char buffer[65536];
    for (;;) {
        qint64 allowed = std::min<qint64>(
            sizeof buffer, Allowance(options_.bytesPerSecond, clock.elapsed(), count_.load()));
        if (options_.stopAfter >= 0)
            allowed = std::min(allowed, options_.stopAfter - count_.load());
        const bool stopped = options_.stopAfter >= 0 && count_.load() >= options_.stopAfter;
        // A reader that stopped for good still notices the sender going away.
        pollfd c[2]
            = { { conn, short(stopped ? POLLRDHUP : POLLIN), 0 }, { stopPipe_[0], POLLIN, 0 } };
        const int r = ::poll(c, 2, allowed > 0 || stopped ? TickMs * 10 : TickMs);
        if (r < 0 && errno != EINTR)
            break;
        if (c[1].revents)
            break;
        if (stopped) {
            if (c[0].revents & (POLLRDHUP | POLLHUP | POLLERR))
                break;
            continue;
        }
        if (allowed <= 0 || !(c[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        const ssize_t n = ::recv(conn, buffer, size_t(allowed), 0);
        if (n > 0) {
            std::lock_guard lock(mutex_);
            received_.append(buffer, n);
            count_ += n;
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ended_ = true;
    ::close(conn);
}

QByteArray SlowTcpPrinter::Finish(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!ended_ && clock.elapsed() < timeoutMs)
        QThread::msleep(5);
    std::lock_guard lock(mutex_);
    return received_;
}

UnansweredListener::UnansweredListener()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(listener_, 0) != 0)
        throw std::runtime_error("listener set-up failed");
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr *>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    // The system drops connection requests to a listener whose queue is
    // full: fill it until one goes unanswered.
    for (int i = 0; i < 8 && !full_; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            break;
        ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        pollfd p { fd, POLLOUT, 0 };
        full_ = ::poll(&p, 1, 300) == 0;
        fillers_.push_back(fd);
    }
}

UnansweredListener::~UnansweredListener()
{
    for (int fd : fillers_)
        ::close(fd);
    ::close(listener_);
}
