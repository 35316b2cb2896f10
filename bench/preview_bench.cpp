// The label renderer from command text to finished pictures, against the
// targets the preview must meet: the program's test label at 203 dpi in 5 ms,
// a 4 x 6 inch shipping label (25 text fields, 2 Code 128, 1 QR, 3 boxes) in
// 15 ms at 203 dpi and 30 ms at 300 dpi. Each benchmark reports its time as a
// share of its target ("of_target" < 1 is within it).
//
//   preview_bench                  the benchmarks
//   preview_bench --peak-rss       renders the worst inputs once and prints
//                                  the process's peak memory
#include "preview/labelrenderer.h"

#include "commands/testlabel.h"
#include "support/samplelabels.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

void Run(benchmark::State &state, const QByteArray &commands, int dotsPerMm, double targetMs)
{
    RenderOptions options;
    options.dotsPerMm = dotsPerMm;
    LabelRenderer warm(options);
    warm.Render(commands); // font files read once per process
    QElapsedTimer clock;
    qint64 total = 0;
    for (auto _ : state) {
        clock.start();
        // A fresh renderer each time, as the preview window makes one per look.
        RenderResult result = RenderLabels(commands, options);
        benchmark::DoNotOptimize(result.labels);
        total += clock.nsecsElapsed();
    }
    const double ms = double(total) / 1e6 / double(state.iterations());
    state.counters["ms"] = ms;
    state.counters["of_target"] = ms / targetMs;
}

void TestLabel203(benchmark::State &state)
{
    Run(state, TestLabelCommand(StartSetupValues()), 8, 5);
}
BENCHMARK(TestLabel203)->Unit(benchmark::kMillisecond);

void ShippingLabel203(benchmark::State &state)
{
    Run(state, ShippingLabel(8), 8, 15);
}
BENCHMARK(ShippingLabel203)->Unit(benchmark::kMillisecond);

void ShippingLabel300(benchmark::State &state)
{
    Run(state, ShippingLabel(12), 12, 30);
}
BENCHMARK(ShippingLabel300)->Unit(benchmark::kMillisecond);

double PeakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

// The largest inputs a printer takes: memory and time stay bounded.
int PeakRss()
{
    const QByteArray worst[] = {
        "^XA^PW32000^LL32000^FO0,0^GB99999,99999,99999^FS^PQ100^XZ",
        "^XA^PW32000^LL32000^FO0,0^GFA,9999999999,9999999999,4000,!!!!^FS^SN1,1^PQ100^XZ",
        "^XA^PW1200^LL30000^FO0,0^SN0001,1,Y^FS^PQ100^XZ",
    };
    std::printf("start: peak %.1f MiB\n", PeakRssMiB());
    for (const QByteArray &commands : worst) {
        QElapsedTimer clock;
        clock.start();
        const RenderResult result = RenderLabels(commands);
        std::printf("%-80.80s %3lld labels %6lld ms, peak %.1f MiB\n", commands.constData(),
                    qlonglong(result.labels.size()), qlonglong(clock.elapsed()), PeakRssMiB());
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--peak-rss") == 0)
        return PeakRss();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
