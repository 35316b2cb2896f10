#include "support/tcprelay.h"

#include "support/tcpsink.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

TcpRelay::TcpRelay(quint16 printerPort)
    : printerPort_(printerPort)
{
    listenFd_ = ListenOnLoopback(port_);
    if (::pipe(stopPipe_) != 0)
        throw std::runtime_error("pipe");
    thread_ = std::thread([this] { Run(); });
}

TcpRelay::~TcpRelay()
{
    const char stop = 's';
    (void)!::write(stopPipe_[1], &stop, 1);
    thread_.join();
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

std::vector<QByteArray> TcpRelay::Sent(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (open_ == 0 || std::chrono::steady_clock::now() >= until)
                return sent_;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void TcpRelay::Run()
{
    for (;;) {
        pollfd fds[2] = { { listenFd_, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0 && errno == EINTR)
            continue;
        if (fds[1].revents)
            return;
        const int client = ::accept(listenFd_, nullptr, nullptr);
        if (client < 0)
            continue;
        // One connection at a time is all the tests need, and keeps the
        // order of what was sent plain.
        Carry(client);
        ::close(client);
    }
}

void TcpRelay::Carry(int client)
{
    const int printer = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to {};
    to.sin_family = AF_INET;
    to.sin_port = htons(printerPort_);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(printer, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) {
        ::close(printer);
        return;
    }
    size_t index = 0;
    {
        std::lock_guard lock(mutex_);
        index = sent_.size();
        sent_.emplace_back();
        ++open_;
    }
    bool clientOpen = true;
    bool printerOpen = true;
    char buffer[16384];
    while (clientOpen || printerOpen) {
        pollfd fds[3] = { { clientOpen ? client : -1, POLLIN, 0 },
                          { printerOpen ? printer : -1, POLLIN, 0 },
                          { stopPipe_[0], POLLIN, 0 } };
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[2].revents)
            break;
        if (fds[0].revents) {
            const ssize_t n = ::read(client, buffer, sizeof buffer);
            if (n <= 0) {
                clientOpen = false;
                ::shutdown(printer, SHUT_WR);
            } else {
                {
                    std::lock_guard lock(mutex_);
                    sent_[index].append(buffer, n);
                }
                (void)!::send(printer, buffer, size_t(n), MSG_NOSIGNAL);
            }
        }
        if (fds[1].revents) {
            const ssize_t n = ::read(printer, buffer, sizeof buffer);
            if (n <= 0) {
                printerOpen = false;
                ::shutdown(client, SHUT_WR);
                // The program may still be sending; what the printer no
                // longer reads is still what the program sent.
                if (!clientOpen)
                    break;
            } else {
                (void)!::send(client, buffer, size_t(n), MSG_NOSIGNAL);
            }
        }
    }
    ::close(printer);
    std::lock_guard lock(mutex_);
    --open_;
}
