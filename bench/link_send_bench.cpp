// Sending a 64 MiB command buffer over the File, network and COM interfaces,
// each against the plain system tool doing the same transfer:
//   File     WriteToFile            vs  cp SRC DST
//   Network  NetPrinter (port 9100) vs  bash: cat SRC > /dev/tcp/127.0.0.1/PORT
//   COM      TComPort.WriteText     vs  cat SRC > /dev/pts/N
// The *Link variants send through PrinterLink::SendToPrinter as the window
// does: in pieces, with a progress observer that lets the event loop turn
// as the window's does. The network sink is the same loopback listener for
// all; the pty is drained by the same reader process for all.
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "link/printerlink.h"
#include "link/progress.h"
#include "pumpingobserver.h"
#include "serial/cport.h"
#include "support/pty.h"
#include "support/ptydrain.h"
#include "support/tcpsink.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <utility>

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

// The printer link with one interface chosen, watched as the window watches.
struct Link
{
    explicit Link(LinkTarget chosen)
        : target(std::move(chosen))
    {
        ConfigurePrinterPort(port);
        port.FlowControl().SetFlowControl(fcNone);
        link.SetProgressSource([] { return std::make_unique<PumpingObserver>(); });
        link.CommandBuffer = F().data;
    }
    TComPort port;
    LinkTarget target;
    PrinterLink link { &port, [this] {
                          return target;
                      } };
};

void BM_FileLink(benchmark::State &state)
{
    Link link(LinkTarget::File(F().dir.filePath("link")));
    for (auto _ : state)
        link.link.SendToPrinter();
    state.SetBytesProcessed(state.iterations() * Size);
}

void BM_NetLink(benchmark::State &state)
{
    Link link(LinkTarget::Ethernet(QStringLiteral("127.0.0.1")));
    link.link.SetNetworkPort(F().sink->Port());
    for (auto _ : state) {
        link.link.SendToPrinter();
        F().sink->WaitForJobs(++F().jobs);
    }
    state.SetBytesProcessed(state.iterations() * Size);
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

// The far end of the serial line: a process of its own that reads and
// counts everything, the same for every sender.
struct PtyDrain
{
    PtyPair pty;
    PtyDrainProcess process { pty };
    void WaitFor(qint64 bytes) { process.WaitFor(bytes); }
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

void BM_ComLink(benchmark::State &state)
{
    PtyDrain drain;
    Link link(LinkTarget::Com(drain.pty.SlavePath()));
    link.port.SetPort(drain.pty.SlavePath());
    qint64 expected = 0;
    for (auto _ : state) {
        link.link.SendToPrinter();
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
BENCHMARK(BM_ComLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComCat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBashDevTcp)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // The serial port's event thread and the window-like observer need an
    // event loop.
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
