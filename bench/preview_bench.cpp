// The label renderer from command text to finished pictures, against the
// targets the preview must meet: the program's test label at 203 dpi in 5 ms,
// a 4 x 6 inch shipping label (25 text fields, 2 Code 128, 1 QR, 3 boxes) in
// 15 ms at 203 dpi and 30 ms at 300 dpi. Each benchmark reports its time as a
// share of its target ("of_target" < 1 is within it).
//
// TextFields draws a 400 x 300 dot label of 48 small font-0 fields
// (^A0N,16,10) and the same label with one of them, and reports the ratio
// ("per_one_field"; the goal is <= 5): fields must cost little beside the
// label.
//
// CorpusMedian draws every label of the shared reference corpus
// (../shared/labels, at the size its manifest gives) in this process and
// reports the median time per label, as a share of the shipping label's
// target.
//
//   preview_bench                  the benchmarks
//   preview_bench --peak-rss       renders the worst inputs once and prints
//                                  the process's peak memory
#include "preview/labelrenderer.h"

#include "commands/testlabel.h"
#include "support/samplelabels.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <vector>

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

QByteArray TextFieldsLabel(int fields)
{
    QByteArray label = "^XA^MNN^PW400^LL300";
    for (int i = 0; i < fields; ++i)
        label += "^FO" + QByteArray::number(10 + (i % 3) * 130) + ','
            + QByteArray::number(10 + (i / 3) * 18) + "^A0N,16,10^FDItem " + QByteArray::number(i)
            + " qty 12^FS";
    return label + "^XZ";
}

// One label's time in ms, the median of the runs.
double MedianMs(const QByteArray &commands, const RenderOptions &options, int runs)
{
    std::vector<double> times;
    QElapsedTimer clock;
    for (int i = 0; i < runs; ++i) {
        clock.start();
        RenderResult result = RenderLabels(commands, options);
        benchmark::DoNotOptimize(result.labels);
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[size_t(runs / 2)];
}

void TextFields(benchmark::State &state)
{
    RenderOptions options;
    const QByteArray many = TextFieldsLabel(48);
    const QByteArray one = TextFieldsLabel(1);
    RenderLabels(many, options); // fonts read once per process
    double manyMs = 0;
    double oneMs = 0;
    for (auto _ : state) {
        manyMs = MedianMs(many, options, 51);
        oneMs = MedianMs(one, options, 51);
    }
    state.counters["ms_48_fields"] = manyMs;
    state.counters["ms_1_field"] = oneMs;
    state.counters["per_one_field"] = manyMs / oneMs;
}
BENCHMARK(TextFields)->Unit(benchmark::kMillisecond)->Iterations(3);

// The corpus's labels, each on the media its manifest gives (as the scorer
// tells render with --width and --length).
QList<std::pair<QByteArray, QSize>> CorpusLabels()
{
    QList<std::pair<QByteArray, QSize>> labels;
    // A checkout elsewhere names the corpus in TARVOLIN_LABEL_CORPUS.
    QString root = qEnvironmentVariable("TARVOLIN_LABEL_CORPUS");
#ifdef TARVOLIN_LABEL_CORPUS
    if (root.isEmpty())
        root = QStringLiteral(TARVOLIN_LABEL_CORPUS);
#endif
    QFile manifest(root + QStringLiteral("/manifest.tsv"));
    if (!manifest.open(QIODevice::ReadOnly))
        return labels;
    manifest.readLine(); // the column names
    while (!manifest.atEnd()) {
        const QList<QByteArray> columns = manifest.readLine().trimmed().split('\t');
        if (columns.size() < 7)
            continue;
        QFile label(root + QLatin1Char('/') + QString::fromUtf8(columns.at(2)));
        if (!label.open(QIODevice::ReadOnly))
            continue;
        labels.append(
            { "^XA^PW" + columns.at(5) + "^LL" + columns.at(6) + "^XZ\n" + label.readAll(),
              QSize(columns.at(5).toInt(), columns.at(6).toInt()) });
    }
    return labels;
}

void CorpusMedian(benchmark::State &state)
{
    static const QList<std::pair<QByteArray, QSize>> labels = CorpusLabels();
    if (labels.isEmpty()) {
        state.SkipWithError("no label corpus in ../shared/labels");
        return;
    }
    RenderOptions options;
    options.dotsPerMm = 8;
    for (const auto &[label, media] : labels) {
        options.defaultLabelSize = media;
        RenderLabels(label, options); // fonts read once per process
    }
    std::vector<double> perLabel;
    QElapsedTimer clock;
    for (auto _ : state) {
        for (const auto &[label, media] : labels) {
            options.defaultLabelSize = media;
            clock.start();
            RenderResult result = RenderLabels(label, options);
            benchmark::DoNotOptimize(result.labels);
            perLabel.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
    }
    std::nth_element(perLabel.begin(), perLabel.begin() + perLabel.size() / 2, perLabel.end());
    const double median = perLabel[perLabel.size() / 2];
    state.counters["labels"] = double(labels.size());
    state.counters["median_ms"] = median;
    state.counters["of_target"] = median / 15;
}
BENCHMARK(CorpusMedian)->Unit(benchmark::kMillisecond)->Iterations(3);

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
