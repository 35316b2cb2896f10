// A host status query over TCP to the virtual printer, against a plain
// socket doing the same exchange:
//   Link   PrinterLink::Query(HostStatusQuery()) on an ETHERNET target:
//          connect, "~HS", read until the third ETX, close
//   Plain  socket, connect, send "~HS", recv until the third ETX, close
// Both talk to the same tarvolin-printer --tcp 0 -q; the ratio is the link's
// time per query over the plain exchange's.
#include "commands/hostreplies.h"
#include "link/printerlink.h"
#include "support/printerprocess.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include "loopback.h"

#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Fixture
{
    std::unique_ptr<PrinterProcess> printer = std::make_unique<PrinterProcess>(
        QStringList { QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--discovery"),
                      QStringLiteral("0"), QStringLiteral("-q") });
};

Fixture &F()
{
    static Fixture f;
    return f;
}

bool PlainExchange(quint16 port)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return false;
    bool ok = ::send(fd, "~HS", 3, MSG_NOSIGNAL) == 3;
    int etx = 0;
    char buffer[512];
    while (ok && etx < 3) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        ok = n > 0;
        for (ssize_t i = 0; i < n; ++i)
            etx += buffer[i] == '\x03';
    }
    ::close(fd);
    return ok;
}

void BM_Plain(benchmark::State &state)
{
    const quint16 port = F().printer->TcpPort();
    for (auto _ : state)
        if (!PlainExchange(port)) {
            state.SkipWithError("no answer");
            return;
        }
}

void BM_Link(benchmark::State &state)
{
    PrinterLink link(
        [] { return LinkTarget::Ethernet(QStringLiteral("127.0.0.1"), F().printer->TcpPort()); });
    for (auto _ : state)
        benchmark::DoNotOptimize(link.Query(HostStatusQuery()));
}

} // namespace

BENCHMARK(BM_Plain)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();
BENCHMARK(BM_Link)->Unit(benchmark::kMicrosecond)->MinTime(1.0)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    F().printer->Stop();
    return 0;
}
