// "Download" of a 64 MiB font end to end -- read the file, build the font
// download command, write it through the File interface -- against the plain
// system tool turning the same file into the same hexadecimal text in a file:
// `basenc --base16 -w0 font > out`. Both read the font from the page cache
// and write into the same directory.
//
//   download_bench                 the benchmarks, then both side by side in
//                                  alternating rounds and their ratio
//   download_bench --peak-rss      one download in a fresh process: the peak
//                                  memory it added, against the command's size
#include "files/downloadcommand.h"
#include "link/printerlink.h"
#include "serial/cport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

constexpr qint64 Size = 64 * 1024 * 1024;
const QByteArray Header = "~DUE:BENCH," + QByteArray::number(Size) + ",\r\n";

double PeakRssMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

struct Fixture
{
    QTemporaryDir dir;
    QString font = dir.filePath(QStringLiteral("bench.ttf"));
    QString ours = dir.filePath(QStringLiteral("ours.bin"));
    QString theirs = dir.filePath(QStringLiteral("theirs.txt"));
    QString basenc = QStandardPaths::findExecutable(QStringLiteral("basenc"));
    TComPort port;
    PrinterLink link { &port, [this] {
                          return LinkTarget::File(ours);
                      } };

    Fixture()
    {
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

    // What the "Download" button does with the File interface selected.
    void Download()
    {
        link.CommandBuffer = FontDownloadCommandFromFile("E:", QStringLiteral("BENCH"), font);
        link.SendToPrinter(PrinterLink::FileNaming::AsTyped);
        link.CommandBuffer.clear();
    }

    bool Tool()
    {
        const QByteArray command = "'" + basenc.toLocal8Bit() + "' --base16 -w0 '"
            + font.toLocal8Bit() + "' > '" + theirs.toLocal8Bit() + "'";
        return std::system(command.constData()) == 0;
    }
};

Fixture &F()
{
    static Fixture fixture;
    return fixture;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Our file must hold exactly the tool's hex text inside the command.
bool SameHexAsTheTool(QString *why)
{
    F().Download();
    if (!F().Tool()) {
        *why = QStringLiteral("basenc failed");
        return false;
    }
    if (ReadAll(F().ours) != Header + ReadAll(F().theirs) + "\r\n") {
        *why = QStringLiteral("the command's hex text differs from basenc's");
        return false;
    }
    return true;
}

bool Checked(benchmark::State &state)
{
    if (F().basenc.isEmpty()) {
        state.SkipWithError("basenc is not installed (Debian package coreutils)");
        return false;
    }
    static QString why;
    static const bool same = SameHexAsTheTool(&why);
    if (!same)
        state.SkipWithError(why.toStdString().c_str());
    return same;
}

void BM_FontDownloadToFile(benchmark::State &state)
{
    if (!Checked(state))
        return;
    for (auto _ : state)
        F().Download();
    state.SetBytesProcessed(state.iterations() * Size);
}
BENCHMARK(BM_FontDownloadToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_BasencToFile(benchmark::State &state)
{
    if (!Checked(state))
        return;
    for (auto _ : state) {
        if (!F().Tool()) {
            state.SkipWithError("basenc failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * Size);
}
BENCHMARK(BM_BasencToFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Both in turn, round after round, so a machine shared with other work
// slows both alike; the medians and their ratio.
void SideBySide(int rounds)
{
    std::vector<double> ours, theirs;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        F().Download();
        ours.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        F().Tool();
        theirs.push_back(clock.nsecsElapsed() / 1e6);
    }
    const double a = Median(ours), b = Median(theirs);
    std::printf("side by side, median of %d rounds: font download %.1f ms, basenc %.1f ms, "
                "ratio %.2f\n",
                rounds, a, b, a / b);
}

int PeakRss()
{
    F();
    const double before = PeakRssMiB();
    F().Download();
    const double after = PeakRssMiB();
    const double command = double(Header.size() + 2 * Size + 2) / (1024.0 * 1024.0);
    std::printf("file %.0f MiB, command %.1f MiB\n", double(Size) / (1024.0 * 1024.0), command);
    std::printf("peak memory added by the download %.1f MiB: the command %+.1f MiB\n",
                after - before, after - before - command);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--peak-rss") == 0)
        return PeakRss();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (F().basenc.isEmpty())
        return 0;
    QString why;
    if (!SameHexAsTheTool(&why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    SideBySide(9);
    return 0;
}
