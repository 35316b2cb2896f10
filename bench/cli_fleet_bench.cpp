// tarvolin-cli serving a fleet of loopback printers:
//   Overlap  200 printers with --jobs 16, one of them slow to finish, against
//            that slow printer alone (ratio near 1: the sends overlap), and
//            against the plain system tool doing the same 200 sends
//            (xargs -P 16 with bash: cat JOB > /dev/tcp/127.0.0.1/PORT).
//   Memory   peak resident size of the program for 50, 200 and 800 printers.
// The program runs as a process, as a script would run it.
#include "support/tcpfarm.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "spawnedrun.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

extern char **environ;

namespace {

using Behaviour = TcpFarm::Behaviour;

// How long the slow printer holds its connection after the job.
constexpr int SlowCloseMs = 500;

QString Tcp(quint16 port)
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port);
}

struct Fleet
{
    QTemporaryDir dir;
    std::unique_ptr<TcpFarm> farm;
    QString targets;
    QString profile;

    Fleet(size_t count, bool oneSlow)
    {
        std::vector<Behaviour> behaviours(count, Behaviour::Record);
        if (oneSlow)
            behaviours[count / 2] = Behaviour::SlowClose;
        farm = std::make_unique<TcpFarm>(behaviours, SlowCloseMs);
        QByteArray list;
        for (size_t i = 0; i < count; ++i)
            list += Tcp(farm->Port(i)).toUtf8() + '\n';
        targets = Write(QStringLiteral("fleet.txt"), list);
        profile = Write(QStringLiteral("profile.ini"), "speed = 4\nwidth = 100\nheight = 150\n");
    }
    QString Write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return f.fileName();
    }
};

void BM_FleetOverlap(benchmark::State &state)
{
    Fleet fleet(200, true);
    const QString slowAlone = Tcp(fleet.farm->Port(100));
    // The same bytes for the plain tool: what the program would send.
    const QString job = fleet.dir.filePath(QStringLiteral("job.prn"));
    const QString dry = QStringLiteral("'%1' --dry-run store-settings '%2' > '%3'")
                            .arg(QStringLiteral(TARVOLIN_CLI_PROGRAM), fleet.profile, job);
    if (std::system(dry.toLocal8Bit().constData()) != 0) {
        state.SkipWithError("dry run failed");
        return;
    }
    QByteArray ports;
    for (size_t i = 0; i < fleet.farm->Size(); ++i)
        ports += QByteArray::number(fleet.farm->Port(i)) + '\n';
    const QString portList = fleet.Write(QStringLiteral("ports.txt"), ports);
    const QString xargs
        = QStringLiteral("xargs -P 16 -I{} bash -c 'cat \"%1\" > /dev/tcp/127.0.0.1/{}' < '%2'")
              .arg(job, portList);

    qint64 single = 0, all = 0, tool = 0;
    for (auto _ : state) {
        const Run one = Spawn({ QStringLiteral(TARVOLIN_CLI_PROGRAM), QStringLiteral("--to"),
                                slowAlone, QStringLiteral("store-settings"), fleet.profile });
        const Run many = Spawn({ QStringLiteral(TARVOLIN_CLI_PROGRAM), QStringLiteral("--jobs"),
                                 QStringLiteral("16"), QStringLiteral("--targets"), fleet.targets,
                                 QStringLiteral("store-settings"), fleet.profile });
        QElapsedTimer clock;
        clock.start();
        const int shell = std::system(xargs.toLocal8Bit().constData());
        const qint64 toolMs = clock.elapsed();
        if (one.status != 0 || many.status != 0 || shell != 0) {
            state.SkipWithError("a run failed");
            return;
        }
        single += one.ms;
        all += many.ms;
        tool += toolMs;
        state.SetIterationTime(many.ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["slowest_single_ms"] = single / n;
    state.counters["fleet_200_ms"] = all / n;
    state.counters["fleet_vs_slowest"] = double(all) / double(single);
    state.counters["xargs_bash_ms"] = tool / n;
    state.counters["fleet_vs_xargs"] = double(all) / double(tool);
}

void BM_PeakMemory(benchmark::State &state)
{
    Fleet fleet(size_t(state.range(0)), false);
    long rss = 0;
    for (auto _ : state) {
        const Run run = Spawn({ QStringLiteral(TARVOLIN_CLI_PROGRAM), QStringLiteral("--targets"),
                                fleet.targets, QStringLiteral("store-settings"), fleet.profile });
        if (run.status != 0) {
            state.SkipWithError("the run failed");
            return;
        }
        rss = std::max(rss, run.maxRssKb);
        state.SetIterationTime(run.ms / 1000.0);
    }
    state.counters["peak_rss_kb"] = double(rss);
}

} // namespace

BENCHMARK(BM_FleetOverlap)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PeakMemory)
    ->Arg(50)
    ->Arg(200)
    ->Arg(800)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK_MAIN();
