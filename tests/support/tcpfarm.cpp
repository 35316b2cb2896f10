#include "support/tcpfarm.h"

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

TcpFarm::TcpFarm(const std::vector<Behaviour> &behaviours, int slowCloseMs)
    : slowCloseMs_(slowCloseMs)
{
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    for (Behaviour b : behaviours) {
        Listener l;
        l.behaviour = b;
        l.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (l.fd < 0)
            throw std::runtime_error("socket failed");
        if (b == Behaviour::Stall) {
            // A small window fills quickly, so a large send stalls early.
            const int small = 4096;
            ::setsockopt(l.fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        }
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(l.fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(l.fd, 64) != 0)
            throw std::runtime_error("bind/listen failed");
        socklen_t len = sizeof addr;
        ::getsockname(l.fd, reinterpret_cast<sockaddr *>(&addr), &len);
        l.port = ntohs(addr.sin_port);
        listeners_.push_back(l);
    }
    thread_ = std::thread([this] { Run(); });
}

TcpFarm::~TcpFarm()
{
    const char stop = 1;
    [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
    thread_.join();
    for (Connection &c : connections_)
        ::close(c.fd);
    for (Listener &l : listeners_)
        ::close(l.fd);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::vector<QByteArray> TcpFarm::Jobs(size_t listener)
{
    std::lock_guard lock(mutex_);
    return listeners_[listener].jobs;
}

int TcpFarm::MaxConcurrent(size_t listener)
{
    std::lock_guard lock(mutex_);
    return listeners_[listener].maxOpen;
}

int TcpFarm::MaxConcurrentAll()
{
    std::lock_guard lock(mutex_);
    return maxOpen_;
}

size_t TcpFarm::Accepted()
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

bool TcpFarm::WaitForJobs(size_t count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (recorded_.load() < count) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

void TcpFarm::Close(Connection &c)
{
    ::close(c.fd);
    c.fd = -1;
    std::lock_guard lock(mutex_);
    --listeners_[c.listener].open;
    --open_;
}

void TcpFarm::Run()
{
    QElapsedTimer clock;
    clock.start();
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({ stopPipe_[0], POLLIN, 0 });
        for (const Listener &l : listeners_)
            fds.push_back({ l.fd, POLLIN, 0 });
        int timeout = -1;
        for (const Connection &c : connections_) {
            const bool reads
                = listeners_[c.listener].behaviour != Behaviour::Stall && c.closeAtMs < 0;
            fds.push_back({ c.fd, short(reads ? POLLIN : 0), 0 });
            if (c.closeAtMs >= 0) {
                const qint64 left = std::max<qint64>(0, c.closeAtMs - clock.elapsed());
                timeout = timeout < 0 ? int(left) : std::min(timeout, int(left));
            }
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;

        for (size_t i = 0; i < listeners_.size(); ++i) {
            if (!(fds[1 + i].revents & POLLIN))
                continue;
            for (;;) {
                const int fd
                    = ::accept4(listeners_[i].fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
                if (fd < 0)
                    break;
                std::lock_guard lock(mutex_);
                Listener &l = listeners_[i];
                l.maxOpen = std::max(l.maxOpen, ++l.open);
                maxOpen_ = std::max(maxOpen_, ++open_);
                ++accepted_;
                connections_.push_back({ fd, i, QByteArray(), -1 });
            }
        }

        const size_t polled = fds.size() - 1 - listeners_.size();
        for (size_t k = 0; k < polled; ++k) {
            Connection &c = connections_[k];
            const Behaviour b = listeners_[c.listener].behaviour;
            if (c.closeAtMs >= 0) {
                if (clock.elapsed() >= c.closeAtMs)
                    Close(c);
                continue;
            }
            const short revents = fds[1 + listeners_.size() + k].revents;
            if (!revents)
                continue;
            if (b == Behaviour::Reset) {
                // Closing with the job unread makes the system answer with a reset.
                Close(c);
                continue;
            }
            char buf[65536];
            const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
            if (n > 0) {
                c.data.append(buf, n);
                continue;
            }
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            {
                std::lock_guard lock(mutex_);
                listeners_[c.listener].jobs.push_back(c.data);
            }
            ++recorded_;
            if (b == Behaviour::SlowClose)
                c.closeAtMs = clock.elapsed() + slowCloseMs_;
            else
                Close(c);
        }
        std::erase_if(connections_, [](const Connection &c) { return c.fd < 0; });
    }
}
