// A 1 MiB send through the serial port to a pseudo-terminal whose far end (a
// process of its own) drains it, against the plain system tool doing the
// same: `cat file > pty`.
// Both are timed the same way, from the start of the open until the far end
// has received the last byte (the port also closes, as every send does).
// BM_ComLinkSend is the send as the window makes it: through the printer
// link, in paced pieces, watched by an observer that lets the event loop turn.
//
//   serial_write_bench             the benchmarks, then the watched send and
//                                  cat side by side in alternating rounds
//                                  (wall and processor time, medians, ratios)
//   serial_write_bench --side-by-side N   only that, N rounds

#include "link/printerlink.h"
#include "link/progress.h"
#include "pumpingobserver.h"
#include "serial/cport.h"
#include "sidebyside.h"
#include "support/pty.h"
#include "support/ptydrain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

constexpr qsizetype PayloadSize = 1 << 20;

QByteArray Payload()
{
    QByteArray data(PayloadSize, '\0');
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char("^XA^FO50,50^FDTarvolin^FS^XZ\r\n"[i % 31]);
    return data;
}

void BM_ComPortWrite(benchmark::State &state)
{
    PtyPair pty;
    if (!pty.IsValid()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    TComPort port;
    ConfigurePrinterPort(port);
    port.SetPort(pty.SlavePath());
    const QByteArray data = Payload();
    PtyDrainProcess drain(pty);
    qint64 expected = 0;
    for (auto _ : state) {
        port.OpenPort();
        const int sent = port.WriteText(data);
        port.ClosePort();
        if (!drain.WaitFor(expected += PayloadSize) || sent != PayloadSize) {
            state.SkipWithError("bytes lost");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * PayloadSize);
}

// The payload sent through the printer link to the pseudo-terminal, watched
// as the window watches a send.
struct WatchedLink
{
    explicit WatchedLink(const PtyPair &pty)
    {
        ConfigurePrinterPort(port);
        port.SetPort(pty.SlavePath());
        link.SetProgressSource([] { return std::make_unique<PumpingObserver>(); });
        link.CommandBuffer = Payload();
    }
    TComPort port;
    PrinterLink link { &port, [this] {
                          return LinkTarget::Com(port.Port());
                      } };
};

void BM_ComLinkSend(benchmark::State &state)
{
    PtyPair pty;
    if (!pty.IsValid()) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    WatchedLink watched(pty);
    PtyDrainProcess drain(pty);
    qint64 expected = 0;
    for (auto _ : state) {
        watched.link.SendToPrinter();
        if (!drain.WaitFor(expected += PayloadSize)) {
            state.SkipWithError("bytes lost");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * PayloadSize);
}

void BM_CatToPty(benchmark::State &state)
{
    PtyPair pty;
    QTemporaryDir dir;
    if (!pty.IsValid() || !dir.isValid()) {
        state.SkipWithError("no pseudo-terminal or temporary directory");
        return;
    }
    const QString file = dir.filePath(QStringLiteral("payload.bin"));
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(Payload()) != PayloadSize) {
        state.SkipWithError("cannot write the payload file");
        return;
    }
    out.close();
    const QByteArray command
        = "cat '" + file.toLocal8Bit() + "' > '" + pty.SlavePath().toLocal8Bit() + "'";
    char sh[] = "/bin/sh";
    char dashC[] = "-c";
    QByteArray commandCopy = command;
    char *argv[] = { sh, dashC, commandCopy.data(), nullptr };
    PtyDrainProcess drain(pty);
    qint64 expected = 0;
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawn(&pid, sh, nullptr, nullptr, argv, environ) != 0
            || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("cat failed");
            return;
        }
        if (!drain.WaitFor(expected += PayloadSize)) {
            state.SkipWithError("bytes lost");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * PayloadSize);
}

void SideBySide(int rounds)
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("payload.bin"));
    QFile out(file);
    if (!pty.IsValid() || !out.open(QIODevice::WriteOnly) || out.write(Payload()) != PayloadSize) {
        std::fprintf(stderr, "no pseudo-terminal or payload file\n");
        return;
    }
    out.close();
    WatchedLink watched(pty);
    const QByteArray cat
        = "cat '" + file.toLocal8Bit() + "' > '" + pty.SlavePath().toLocal8Bit() + "'";
    PtyDrainProcess drain(pty);
    qint64 expected = 0;
    std::printf("side by side, medians of %d rounds of %lld KiB:\n", rounds,
                static_cast<long long>(PayloadSize >> 10));
    sidebyside::Compare(
        "COM link vs cat > pty", rounds,
        [&] {
            watched.link.SendToPrinter();
            drain.WaitFor(expected += PayloadSize);
        },
        [&] {
            if (std::system(cat.constData()) != 0)
                std::fprintf(stderr, "cat failed\n");
            drain.WaitFor(expected += PayloadSize);
        });
}

} // namespace

BENCHMARK(BM_ComPortWrite)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComLinkSend)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CatToPty)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char **argv)
{
    // The port's event thread hands over through the application's event loop.
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
    SideBySide(21);
    return 0;
}
