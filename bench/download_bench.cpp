// Building the font download command for a 64 MiB font, against xxd turning
// the same file into the same upper-case hexadecimal text. Both are timed by
// the wall clock from the file (in the page cache) to the finished text: ours
// in memory, the tool's written to /dev/null.
//
//   download_bench                 the benchmarks
//   download_bench --peak-rss      builds the command once and prints the
//                                  process's peak memory against the file size
#include "files/downloadcommand.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>

namespace {

constexpr qint64 Size = 64 * 1024 * 1024;

double PeakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

struct Fixture
{
    QTemporaryDir dir;
    QString font;
    QString xxd = QStandardPaths::findExecutable(QStringLiteral("xxd"));

    Fixture()
    {
        font = dir.filePath(QStringLiteral("bench.ttf"));
        QFile f(font);
        if (!f.open(QIODevice::WriteOnly))
            return;
        // Written in pieces so the fixture itself stays small in memory.
        QRandomGenerator random(1);
        QByteArray piece(1024 * 1024, Qt::Uninitialized);
        for (qint64 done = 0; done < Size; done += piece.size()) {
            random.fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
            f.write(piece);
        }
    }
};

Fixture &F()
{
    static Fixture fixture;
    return fixture;
}

// The command's hexadecimal part must be exactly what the tool prints.
bool SameHexAsTheTool(QString *why)
{
    QProcess tool;
    tool.start(F().xxd,
               { QStringLiteral("-p"), QStringLiteral("-u"), QStringLiteral("-c"),
                 QStringLiteral("0"), F().font });
    if (!tool.waitForFinished(120000)) {
        *why = QStringLiteral("xxd did not finish");
        return false;
    }
    QByteArray hex = tool.readAllStandardOutput();
    if (hex.endsWith('\n'))
        hex.chop(1);
    const QByteArray command = FontDownloadCommandFromFile("E:", QStringLiteral("BENCH"), F().font);
    const QByteArray header = "~DUE:BENCH," + QByteArray::number(Size) + ",\r\n";
    if (command != header + hex + "\r\n") {
        *why = QStringLiteral("the hex text differs from xxd's");
        return false;
    }
    return true;
}

void BM_FontDownloadCommand(benchmark::State &state)
{
    static QString why;
    static const bool same = F().xxd.isEmpty() || SameHexAsTheTool(&why);
    if (!same) {
        state.SkipWithError(why.toStdString().c_str());
        return;
    }
    for (auto _ : state) {
        QByteArray command = FontDownloadCommandFromFile("E:", QStringLiteral("BENCH"), F().font);
        benchmark::DoNotOptimize(command.data());
    }
    state.SetBytesProcessed(state.iterations() * Size);
}
BENCHMARK(BM_FontDownloadCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_XxdUpperHex(benchmark::State &state)
{
    if (F().xxd.isEmpty()) {
        state.SkipWithError("xxd is not installed (Debian package xxd)");
        return;
    }
    const QByteArray command
        = "'" + F().xxd.toLocal8Bit() + "' -p -u -c 0 '" + F().font.toLocal8Bit() + "' > /dev/null";
    for (auto _ : state) {
        if (std::system(command.constData()) != 0) {
            state.SkipWithError("xxd failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * Size);
}
BENCHMARK(BM_XxdUpperHex)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int PeakRss()
{
    F();
    const double before = PeakRssMiB();
    const QByteArray command = FontDownloadCommandFromFile("E:", QStringLiteral("BENCH"), F().font);
    const double after = PeakRssMiB();
    const double file = double(Size) / (1024.0 * 1024.0);
    std::printf("file %.0f MiB, command %.1f MiB\n", file,
                double(command.size()) / (1024.0 * 1024.0));
    std::printf("peak RSS before %.1f MiB, after %.1f MiB: the build added %.1f MiB = %.2f x the "
                "file; whole process %.2f x the file\n",
                before, after, after - before, (after - before) / file, after / file);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--peak-rss") == 0)
        return PeakRss();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
