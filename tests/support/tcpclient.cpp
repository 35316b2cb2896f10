#include "support/tcpclient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int ConnectLoopback(quint16 port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        close(fd);
    return -1;
}

bool ReadUntilClosed(int fd, QByteArray &reply, int timeoutMs)
{
    pollfd p { fd, POLLIN, 0 };
    char buffer[4096];
    while (poll(&p, 1, timeoutMs) > 0) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
        reply.append(buffer, n);
    }
    return false;
}

QByteArray TcpExchange(quint16 port, const QByteArray &bytes)
{
    QByteArray reply;
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return reply;
    [[maybe_unused]] const ssize_t n
        = send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    shutdown(fd, SHUT_WR);
    ReadUntilClosed(fd, reply);
    close(fd);
    return reply;
}
