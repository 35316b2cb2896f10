// Start-up: from starting the program until its window has been painted for
// the first time, Tarvolin's main window against a bare Qt Widgets window of
// the same size with five empty tabs. Each start is a fresh process, so both
// pay for loading their libraries and creating the application; the
// installed-printer list is served by a private CUPS server with a few queues,
// as on a desktop with printers.
//
//   startup_bench                  the benchmarks, then both side by side in
//                                  alternating rounds and their ratio
// The programs started are tarvolin_window_shown (ui/tarvolinwindow: the
// program's own start) and bare_five_tab_window (ui/barewindow: Qt Widgets
// alone); each prints "shown" once its window has been painted and ends.
// Tarvolin builds the tabs not on view right after that first paint; how long
// until it has done so ("ready") is measured as well, for the record.
//
// The platform is the one in QT_QPA_PLATFORM (offscreen when unset); with an
// X server, DISPLAY=... QT_QPA_PLATFORM=xcb measures the real thing.
#include "support/cupsserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// The two programs started, beside this one.
std::string Tarvolin; // tarvolin_window_shown
std::string Bare; // bare_five_tab_window

// One start: milliseconds of wall-clock time from starting the program until
// it says its window is shown, and the processor time it used meanwhile
// (user and system), which a machine busy with other work disturbs less.
struct Start
{
    double wallMs = -1;
    double cpuMs = -1;
};

Start StartOnce(const char *kind)
{
    Start start;
    int out[2];
    if (pipe(out) != 0)
        return start;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    // The platform's remarks would only clutter the report.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const bool bare = std::strcmp(kind, "bare") == 0;
    const bool ready = std::strcmp(kind, "ready") == 0;
    const std::string &program = bare ? Bare : Tarvolin;
    const char *args[] = { program.c_str(), ready ? "--ready" : nullptr, nullptr };
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    const int spawned
        = posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char **>(args), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned == 0) {
        std::string said;
        char buffer[64];
        ssize_t n;
        while (said.find("shown") == std::string::npos
               && (n = read(out[0], buffer, sizeof buffer)) > 0)
            said.append(buffer, size_t(n));
        const double wall = clock.nsecsElapsed() / 1e6;
        // The child ends as soon as it has said so.
        int status = 0;
        rusage usage {};
        wait4(pid, &status, 0, &usage);
        if (said.find("shown") != std::string::npos) {
            start.wallMs = wall;
            start.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        }
    }
    close(out[0]);
    return start;
}

void Run(benchmark::State &state, const char *kind)
{
    double cpu = 0;
    for (auto _ : state) {
        const Start start = StartOnce(kind);
        if (start.wallMs < 0) {
            state.SkipWithError("the program did not show its window");
            return;
        }
        state.SetIterationTime(start.wallMs / 1000);
        cpu += start.cpuMs;
    }
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}

void BM_TarvolinWindowShown(benchmark::State &state)
{
    Run(state, "tarvolin");
}
BENCHMARK(BM_TarvolinWindowShown)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);

void BM_BareFiveTabWindowShown(benchmark::State &state)
{
    Run(state, "bare");
}
BENCHMARK(BM_BareFiveTabWindowShown)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);

void BM_TarvolinWindowReady(benchmark::State &state)
{
    Run(state, "ready");
}
BENCHMARK(BM_TarvolinWindowReady)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(3);

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Both in turn, round after round, so a machine shared with other work
// slows both alike; the medians and their ratios.
void SideBySide(int rounds)
{
    std::vector<double> oursWall, oursCpu, bareWall, bareCpu, readyWall;
    for (int i = 0; i < rounds; ++i) {
        const Start ours = StartOnce("tarvolin");
        const Start bare = StartOnce("bare");
        readyWall.push_back(StartOnce("ready").wallMs);
        oursWall.push_back(ours.wallMs);
        oursCpu.push_back(ours.cpuMs);
        bareWall.push_back(bare.wallMs);
        bareCpu.push_back(bare.cpuMs);
    }
    const double ow = Median(oursWall), bw = Median(bareWall);
    const double oc = Median(oursCpu), bc = Median(bareCpu);
    // The fastest start of each is the one least disturbed by other work.
    const double of = *std::min_element(oursWall.begin(), oursWall.end());
    const double bf = *std::min_element(bareWall.begin(), bareWall.end());
    std::printf("side by side, median of %d rounds:\n"
                "  wall clock:     Tarvolin %.1f ms, bare five-tab window %.1f ms, ratio %.2f\n"
                "  processor time: Tarvolin %.1f ms, bare five-tab window %.1f ms, ratio %.2f\n"
                "  fastest start:  Tarvolin %.1f ms, bare five-tab window %.1f ms, ratio %.2f\n"
                "  Tarvolin ready (every tab built): %.1f ms\n",
                rounds, ow, bw, ow / bw, oc, bc, oc / bc, of, bf, of / bf, Median(readyWall));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const std::string self = argv[0];
    const std::string dir = self.substr(0, self.find_last_of('/') + 1);
    Tarvolin = dir + "tarvolin_window_shown";
    Bare = dir + "bare_five_tab_window";

    // A private print server with printers to list, for the children too.
    std::unique_ptr<CupsServer> cups;
    {
        QCoreApplication app(argc, argv);
        cups = std::make_unique<CupsServer>();
        if (cups->Started()) {
            for (const char *queue : { "Warehouse_4x6", "Office_Labels", "Shipping_300dpi" })
                cups->AddRawQueue(QString::fromLatin1(queue), 9);
        } else {
            std::fprintf(stderr, "no private CUPS server (%s): printers not listed\n",
                         qPrintable(cups->Error()));
        }
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
            return 1;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        SideBySide(41);
        cups.reset();
    }
    return 0;
}
