// Finding printers, timed against the deadlines they are given:
//   Probe  50 virtual printers on 127.0.0.11 ... 127.0.0.60 answer the UDP
//          discovery probe; the search must end at its deadline (1 s), not
//          later, with all 50 found. Ratio: time taken / deadline.
//   Sweep  the printing port of every address of a loopback /24, 64 at a
//          time, one printer among them; each open port is confirmed by an
//          identification query. Ratio: time taken / connect timeout.
// A plain timed program: each figure is the median of five rounds.
#include "link/discovery.h"
#include "support/printerprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

quint16 FreeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

template<typename Round> double MedianMs(Round round, size_t &found)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer clock;
        clock.start();
        found = round();
        times.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint16 port = FreeUdpPort();
    std::vector<std::unique_ptr<PrinterProcess>> printers;
    DiscoveryOptions probe;
    probe.timeoutMs = 1000;
    probe.port = port;
    probe.broadcast = false;
    for (int host = 11; host <= 60; ++host) {
        const QString address = QStringLiteral("127.0.0.%1").arg(host);
        printers.push_back(std::make_unique<PrinterProcess>(QStringList {
            QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--bind"), address,
            QStringLiteral("--discovery"), QString::number(port), QStringLiteral("-q") }));
        if (!printers.back()->IsRunning()) {
            std::fprintf(stderr, "printer %s: %s\n", qPrintable(address),
                         qPrintable(printers.back()->Error()));
            return 1;
        }
        probe.addresses << address;
    }

    size_t found = 0;
    const double probeMs = MedianMs([&] { return DiscoverPrinters(probe).printers.size(); }, found);
    std::printf("probe of 50 printers, deadline %d ms: %.0f ms, %zu found, ratio %.3f\n",
                probe.timeoutMs, probeMs, found, probeMs / probe.timeoutMs);

    DiscoveryOptions sweep;
    sweep.timeoutMs = 100; // the probe part: nobody answers it here
    sweep.port = FreeUdpPort();
    sweep.broadcast = false;
    sweep.sweep = QStringLiteral("127.0.0.0/24");
    sweep.sweepPort = printers.front()->TcpPort();
    sweep.sweepParallel = 64;
    const double sweepMs = MedianMs([&] { return DiscoverPrinters(sweep).printers.size(); }, found);
    std::printf("sweep of a /24, 64 at a time, connect timeout %d ms: %.0f ms, %zu found, "
                "ratio %.3f\n",
                sweep.connectTimeoutMs, sweepMs, found, sweepMs / sweep.connectTimeoutMs);
    return 0;
}
