#include "support/tcpsink.h"

#include <QElapsedTimer>
#include <QThread>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

int ListenOnLoopback(quint16 &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0)
        throw std::runtime_error("bind/listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    port = ntohs(addr.sin_port);
    return fd;
}

quint16 ClosedLoopbackPort()
{
    quint16 port = 0;
    const int fd = ListenOnLoopback(port);
    ::close(fd);
    return port;
}

TcpSink::TcpSink()
{
    listenFd_ = ListenOnLoopback(port_);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    thread_ = std::thread([this] { Run(); });
}

TcpSink::~TcpSink()
{
    const char stop = 1;
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

int AcceptUnlessStopped(int listenFd, int stopFd)
{
    for (;;) {
        pollfd fds[2] = { { listenFd, POLLIN, 0 }, { stopFd, POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return -1;
        if (fds[1].revents)
            return -1;
        if (!(fds[0].revents & POLLIN))
            continue;
        const int connection = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection >= 0)
            return connection;
    }
}

void TcpSink::Run()
{
    for (;;) {
        const int conn = AcceptUnlessStopped(listenFd_, stopPipe_[0]);
        if (conn < 0)
            return;
        ++accepted_;
        QByteArray job;
        char buf[65536];
        for (;;) {
            pollfd c[2] = { { conn, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
            if (::poll(c, 2, -1) < 0 && errno != EINTR)
                break;
            if (c[1].revents)
                break;
            const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
            if (n > 0)
                job.append(buf, n);
            else if (n == 0 || errno != EINTR)
                break;
        }
        ::close(conn);
        std::lock_guard lock(mutex_);
        jobs_.push_back(job);
    }
}

std::vector<QByteArray> TcpSink::WaitForJobs(size_t count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (jobs_.size() >= count || clock.elapsed() > timeoutMs)
                return jobs_;
        }
        QThread::msleep(5);
    }
}
