// Sending a 64 MiB command buffer over the File, network and COM interfaces,
// each against the plain system tool doing the same transfer:
//   File     WriteToFile            vs  cp SRC DST
//   Network  NetPrinter (port 9100) vs  bash: cat SRC > /dev/tcp/127.0.0.1/PORT
//   COM      TComPort.WriteText     vs  cat SRC > /dev/pts/N
//   CUPS     a raw job              vs  lp -d QUEUE -o raw SRC  (side by side
//            only; a private scheduler whose queue prints to the sink)
// The *Link variants send through PrinterLink::SendToPrinter as the window
// does: in pieces, with a progress observer that lets the event loop turn
// as the window's does. BM_FileLinkFromFile sends the file itself, read as
// it goes, as tarvolin-cli sends a file. The network sink is the same
// loopback listener for all; the pty is drained by the same reader process
// for all.
//
//   link_send_bench                the benchmarks, then each send and its
//                                  tool side by side in alternating rounds:
//                                  the medians of the wall time and of the
//                                  processor time (this process and its
//                                  children, the pty's reader excepted), and
//                                  their ratios
//   link_send_bench --side-by-side N   only that, N rounds
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "link/printerlink.h"
#include "link/progress.h"
#include "link/sendsource.h"
#include "pumpingobserver.h"
#include "serial/cport.h"
#include "sidebyside.h"
#include "support/cupsserver.h"
#include "support/pty.h"
#include "support/ptydrain.h"
#include "support/tcpsink.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

void BM_FileLinkFromFile(benchmark::State &state)
{
    Link link(LinkTarget::File(F().dir.filePath("linkfromfile")));
    for (auto _ : state) {
        FileSource source(F().source);
        link.link.SendToPrinter(PrinterLink::FileNaming::AsTyped, source);
    }
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

void SideBySide(int rounds)
{
    std::printf("side by side, medians of %d rounds of %lld MiB:\n", rounds,
                static_cast<long long>(Size >> 20));
    const auto shell = [](const QString &command) {
        return [command] {
            if (std::system(command.toLocal8Bit().constData()) != 0)
                std::fprintf(stderr, "failed: %s\n", qPrintable(command));
        };
    };
    {
        PtyDrain drain;
        Link link(LinkTarget::Com(drain.pty.SlavePath()));
        link.port.SetPort(drain.pty.SlavePath());
        qint64 expected = 0;
        const auto cat
            = shell(QStringLiteral("cat '%1' > '%2'").arg(F().source, drain.pty.SlavePath()));
        sidebyside::Compare(
            "COM link vs cat > pty", rounds,
            [&] {
                link.link.SendToPrinter();
                drain.WaitFor(expected += Size);
            },
            [&] {
                cat();
                drain.WaitFor(expected += Size);
            });
    }
    {
        Link link(LinkTarget::File(F().dir.filePath("link")));
        Link fromFile(LinkTarget::File(F().dir.filePath("linkfromfile")));
        const auto cp
            = shell(QStringLiteral("cp '%1' '%2'").arg(F().source, F().dir.filePath("cp.bin")));
        sidebyside::Compare(
            "File link vs cp", rounds, [&] { link.link.SendToPrinter(); }, cp);
        sidebyside::Compare(
            "File link, from a file vs cp", rounds,
            [&] {
                FileSource source(F().source);
                fromFile.link.SendToPrinter(PrinterLink::FileNaming::AsTyped, source);
            },
            cp);
    }
    {
        // The sink keeps what it received: a fresh one for these rounds.
        F().sink = std::make_unique<TcpSink>();
        F().jobs = 0;
        Link link(LinkTarget::Ethernet(QStringLiteral("127.0.0.1")));
        link.link.SetNetworkPort(F().sink->Port());
        const auto bash = shell(QStringLiteral("bash -c \"cat '%1' > /dev/tcp/127.0.0.1/%2\"")
                                    .arg(F().source)
                                    .arg(F().sink->Port()));
        sidebyside::Compare(
            "Network link vs bash /dev/tcp", rounds,
            [&] {
                link.link.SendToPrinter();
                F().sink->WaitForJobs(++F().jobs);
            },
            [&] {
                bash();
                F().sink->WaitForJobs(++F().jobs);
            });
    }
    {
        // A raw print queue of a private scheduler whose printer is the
        // sink: from the start of the job until the sink has every byte.
        CupsServer cups;
        F().sink = std::make_unique<TcpSink>();
        F().jobs = 0;
        if (!cups.Started() || !cups.AddRawQueue(QStringLiteral("bench"), F().sink->Port())) {
            std::printf("CUPS: no private scheduler (%s)\n", qPrintable(cups.Error()));
            return;
        }
        Link link(LinkTarget::Driver(QStringLiteral("bench")));
        const auto lp
            = shell(QStringLiteral("lp -d bench -o raw '%1' > /dev/null").arg(F().source));
        sidebyside::Compare(
            "CUPS link vs lp", rounds,
            [&] {
                link.link.SendToPrinter();
                F().sink->WaitForJobs(++F().jobs, 60000);
            },
            [&] {
                lp();
                F().sink->WaitForJobs(++F().jobs, 60000);
            });
    }
}

} // namespace

BENCHMARK(BM_ComBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComCat)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileLinkFromFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FileCp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBackend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetLink)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_NetBashDevTcp)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // The serial port's event thread and the window-like observer need an
    // event loop.
    QCoreApplication app(argc, argv);
    if (argc > 2 && std::strcmp(argv[1], "--side-by-side") == 0) {
        SideBySide(std::max(1, std::atoi(argv[2])));
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SideBySide(7);
    return 0;
}
