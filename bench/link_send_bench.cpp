// Sending a 64 MiB command buffer over the File and network backends,
// each against the plain system tool doing the same transfer:
//   File     WriteToFile            vs  cp SRC DST
//   Network  NetPrinter (port 9100) vs  bash: cat SRC > /dev/tcp/127.0.0.1/PORT
//   COM      TComPort.WriteText     vs  cat SRC > /dev/pts/N
// The network sink is the same loopback listener for both; the pty is
// drained by the same reader thread for both.
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "serial/cport.h"
#include "support/pty.h"
#include "support/tcpsink.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr qsizetype Size = 64 * 1024 * 1024;

struct Fixture
{
    QTemporaryDir dir;
    QByteArray data;
    QString source;
    std::unique_ptr<TcpSink> sink = std::make_unique<TcpSink>();
    size_t jobs = 0;

    Fixture()
    {
        data.resize(Size);
        for (qsizetype i = 0; i < Size; ++i)
            data[i] = static_cast<char>((i * 131) >> 3);
        source = dir.filePath("source.bin");
        QFile f(source);
        f.open(QIODevice::WriteOnly);
        f.write(data);
    }
};

Fixture &F()
{
    static Fixture fixture;
    return fixture;
}

void RunShell(benchmark::State &state, const QString &command)
{
    if (std::system(command.toLocal8Bit().constData()) != 0)
        state.SkipWithError("command failed");
}

void BM_FileBackend(benchmark::State &state)
{
    const QString target = F().dir.filePath("out.bin");
    for (auto _ : state)
        WriteToFile(target, F().data);
    state.SetBytesProcessed(state.iterations() * Size);
}

void BM_FileCp(benchmark::State &state)
{
    const QString command
        = QStringLiteral("cp '%1' '%2'").arg(F().source, F().dir.filePath("cp.bin"));
    for (auto _ : state)
        RunShell(state, command);
    state.SetBytesProcessed(state.iterations() * Size);
}

void BM_NetBackend(benchmark::State &state)
{
    for (auto _ : state) {
        NetPrinter printer;
        if (!printer.KVNetOpen(QStringLiteral("127.0.0.1"), F().sink->Port())) {
            state.SkipWithError("connect failed");
            break;
        }
        printer.KVNetSend(F().data);
        printer.KVNetClose();
        F().sink->WaitForJobs(++F().jobs);
    }
    state.SetBytesProcessed(state.iterations() * Size);
}

void BM_NetBashDevTcp(benchmark::State &state)
{
    const QString command = QStringLiteral("bash -c \"cat '%1' > /dev/tcp/127.0.0.1/%2\"")
                                .arg(F().source)
                                .arg(F().sink->Port());
    for (auto _ : state) {
        RunShell(state, command);
        F().sink->WaitForJobs(++F().jobs);
    }
    state.SetBytesProcessed(state.iterations() * Size);
}

// The far end of the serial line: reads and counts everything.
struct PtyDrain
{
    PtyPair pty;
    std::atomic<qint64> total { 0 };
    std::atomic<bool> stop { false };
    std::thread reader { [this] {
        char buf[65536];
        while (!stop) {
            pollfd p { pty.MasterFd(), POLLIN, 0 };
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                const ssize_t n = ::read(pty.MasterFd(), buf, sizeof buf);
                if (n > 0)
                    total += n;
            }
        }
    } };
    ~PtyDrain()
    {
        stop = true;
        reader.join();
    }
    void WaitFor(qint64 bytes)
    {
        while (total < bytes)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
};

void BM_ComBackend(benchmark::State &state)
{
    PtyDrain drain;
    TComPort port;
    ConfigurePrinterPort(port);
    // No Xon/Xoff here: the payload is binary and would stop the line.
    port.FlowControl().SetFlowControl(fcNone);
    port.SetPort(drain.pty.SlavePath());
    qint64 expected = 0;
    for (auto _ : state) {
        port.OpenPort();
        port.WriteText(F().data);
        port.ClosePort();
        drain.WaitFor(expected += Size);
    }
    state.SetBytesProcessed(state.iterations() * Size);
}

void BM_ComCat(benchmark::State &state)
{
    PtyDrain drain;
    const QString command
        = QStringLiteral("cat '%1' > '%2'").arg(F().source, drain.pty.SlavePath());
    qint64 expected = 0;
    for (auto _ : state) {
        RunShell(state, command);
        drain.WaitFor(expected += Size);
    }
    state.SetBytesProcessed(state.iterations() * Size);
}

} // namespace

BENCHMARK(BM_ComBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComCat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBashDevTcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
