// Settings drift across a fleet of virtual printers on loopback ports, up to
// 64 printers in each process (one listener each):
//   Diff     `tarvolin-cli diff` of 1000 printers with --jobs 64, against the
//            slowest of a few single-printer runs (ratio: how far the fleet
//            run is from one printer's time), and the program's peak
//            resident size for 50 and for 1000 printers (ratio: flat is 1).
//            Beside it: the program's start and exit alone (--version), the
//            CPU time the program and the printers spent, the fleet run
//            against the slowest target's own time inside it (its "ms", from
//            a run with --json), and against a plain socket client asking the
//            same printers the same with as many threads: the plain run and
//            the program's bare start together are the least any fleet run
//            could take on this machine.
//   Ansible  a play of printer_settings on 50 printers, against the same
//            play with a module that does nothing (ansible.builtin.ping):
//            the difference is ours, the rest is Ansible's own overhead.
// The programs run as processes, as a script or Ansible would run them.
#include "printer/tcpline.h"
#include "printer/virtualprinter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <sys/socket.h>

#include "loopback.h"
#include "spawnedrun.h"

#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

extern char **environ;

namespace {

class QuietLog : public PrinterLog
{
public:
    void Info(const QString &) override { }
    void Error(const QString &) override { }
    bool WantsInfo() const override { return false; }
};

// The queries print nothing: nothing to draw.
class NoOutput : public LabelOutput
{
public:
    void Print(const PrintJob &) override { }
    qint64 CancelAll() override { return 0; }
    bool Printing() const override { return false; }
    void Dump(const QByteArray &) override { }
    bool Backlogged() const override { return false; }
};

// Serves `count` printers on ports of their own until standard input
// closes; their ports go to standard output, one a line, then "ready".
int HostPrinters(int argc, char **argv, int count)
{
    QCoreApplication app(argc, argv);
    QuietLog log;
    NoOutput output;
    std::vector<std::unique_ptr<VirtualPrinter>> printers;
    std::vector<std::unique_ptr<TcpLine>> lines;
    QByteArray ports;
    for (int i = 0; i < count; ++i) {
        printers.push_back(std::make_unique<VirtualPrinter>(PrinterConfig {}, log, output));
        lines.push_back(std::make_unique<TcpLine>(*printers.back(), log));
        QString error;
        if (!lines.back()->Listen(QStringLiteral("127.0.0.1"), 0, &error))
            return 1;
        ports += QByteArray::number(lines.back()->Port()) + '\n';
    }
    ports += "ready\n";
    (void)!::write(1, ports.constData(), size_t(ports.size()));
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char byte;
        if (::read(0, &byte, 1) <= 0)
            app.quit();
    });
    app.exec();
    lines.clear();
    printers.clear();
    return 0;
}

// Printers in processes of their own, so that their memory is not counted
// as the program's and their thread competes as a real printer's would not.
// Each process polls all its listeners at every turn of its event loop, so
// the fewer a process has, the less of the machine the printers take from
// the program measured.
class PrinterHost
{
public:
    static constexpr int PrintersPerProcess = 64;

    explicit PrinterHost(int count)
    {
        const int processes = std::max(1, (count + PrintersPerProcess - 1) / PrintersPerProcess);
        for (int p = 0; p < processes; ++p) {
            const int share = count / processes + (p < count % processes ? 1 : 0);
            int in[2], out[2];
            if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
                return;
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::dup2(in[0], 0);
                ::dup2(out[1], 1);
                const QByteArray n = QByteArray::number(share);
                ::execl("/proc/self/exe", "cli_drift_bench", "--host", n.constData(), nullptr);
                ::_exit(127);
            }
            ::close(in[0]);
            ::close(out[1]);
            hosts_.push_back({ pid, in[1] });
            QFile ports;
            ports.open(out[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
            for (;;) {
                const QByteArray line = ports.readLine().trimmed();
                if (line.isEmpty() || line == "ready")
                    break;
                ports_.push_back(quint16(line.toUInt()));
            }
        }
    }
    ~PrinterHost()
    {
        for (const auto &[pid, input] : hosts_) {
            ::close(input);
            ::waitpid(pid, nullptr, 0);
        }
    }
    const std::vector<quint16> &Ports() const { return ports_; }
    // User and system time the printers' processes have spent so far.
    double CpuMs() const
    {
        const double tick = 1000.0 / double(::sysconf(_SC_CLK_TCK));
        double ms = 0;
        for (const auto &[pid, input] : hosts_) {
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // After the command's name in parentheses: fields 3 on; utime
            // and stime are the 14th and 15th.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (fields.size() > 12)
                ms += (fields[11].toDouble() + fields[12].toDouble()) * tick;
        }
        return ms;
    }

private:
    std::vector<std::pair<pid_t, int>> hosts_;
    std::vector<quint16> ports_;
};

QString Write(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return f.fileName();
}

QString Tcp(quint16 port)
{
    return QStringLiteral("tcp://127.0.0.1:%1").arg(port);
}

QString TargetsFile(const QTemporaryDir &dir, const std::vector<quint16> &ports, size_t count)
{
    QByteArray list;
    for (size_t i = 0; i < count && i < ports.size(); ++i)
        list += Tcp(ports[i]).toUtf8() + '\n';
    return Write(dir, QStringLiteral("fleet-%1.txt").arg(count), list);
}

// The longest "ms" of a target in a --json report.
qint64 SlowestTargetMs(const QString &reportFile)
{
    QFile report(reportFile);
    report.open(QIODevice::ReadOnly);
    qint64 slowest = 0;
    while (!report.atEnd()) {
        const QJsonObject o = QJsonDocument::fromJson(report.readLine()).object();
        if (o.contains(QStringLiteral("target")))
            slowest = std::max(slowest, qint64(o.value(QStringLiteral("ms")).toDouble()));
    }
    return slowest;
}

// The configuration query as a plain client asks it: connect, the request,
// read until the reply's ETX, close.
bool PlainQuery(quint16 port)
{
    const int fd = ConnectLoopback(port);
    if (fd < 0)
        return false;
    bool ok = ::send(fd, "^XA^HH^XZ", 9, MSG_NOSIGNAL) == 9;
    for (bool etx = false; ok && !etx;) {
        char buffer[4096];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        ok = n > 0;
        etx = ok && std::memchr(buffer, '\x03', size_t(n));
    }
    ::close(fd);
    return ok;
}

// Every printer asked once, `jobs` at a time; the wall time in ms, or -1
// when a query failed.
qint64 PlainFleet(const std::vector<quint16> &ports, int jobs)
{
    std::atomic<size_t> next { 0 };
    std::atomic<bool> failed { false };
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int i = 0; i < jobs; ++i)
        workers.emplace_back([&] {
            for (size_t k = next++; k < ports.size(); k = next++)
                if (!PlainQuery(ports[k]))
                    failed = true;
        });
    for (std::thread &w : workers)
        w.join();
    return failed ? -1 : clock.elapsed();
}

// The printers start at their factory settings, so every one differs.
const QByteArray Profile = "density = 15\nspeed = 3\nwidth = 76\nheight = 200\n";

// A diff that compared finds drift: exit status 4.
constexpr int Drift = 4;

void BM_DiffFleet(benchmark::State &state)
{
    constexpr size_t Fleet = 1000;
    PrinterHost host { int(Fleet) };
    if (host.Ports().size() != Fleet) {
        state.SkipWithError("not every printer could listen (open files limit?)");
        return;
    }
    QTemporaryDir dir;
    const QString profile = Write(dir, QStringLiteral("profile.ini"), Profile);
    const QString all = TargetsFile(dir, host.Ports(), Fleet);
    const QString fifty = TargetsFile(dir, host.Ports(), 50);
    const QString cli = QStringLiteral(TARVOLIN_CLI_PROGRAM);

    const QString report = dir.filePath(QStringLiteral("report.json"));
    qint64 fleetMs = 0, slowestSingle = 0, startMs = 0, jsonFleetMs = 0, slowestInFleet = 0,
           plainMs = 0;
    double fleetCpu = 0, printersCpu = 0;
    long rss50 = 0, rss1000 = 0;
    for (auto _ : state) {
        startMs += Spawn({ cli, QStringLiteral("--version") }).ms;
        qint64 slowest = 0;
        for (size_t i : { size_t(0), Fleet / 2, Fleet - 1 }) {
            const Run one = Spawn({ cli, QStringLiteral("--to"), Tcp(host.Ports()[i]),
                                    QStringLiteral("diff"), profile });
            if (one.status != Drift) {
                state.SkipWithError("a single diff failed");
                return;
            }
            slowest = std::max(slowest, one.ms);
        }
        const Run small
            = Spawn({ cli, QStringLiteral("--jobs"), QStringLiteral("64"),
                      QStringLiteral("--targets"), fifty, QStringLiteral("diff"), profile });
        const double printersBefore = host.CpuMs();
        const Run many
            = Spawn({ cli, QStringLiteral("--jobs"), QStringLiteral("64"),
                      QStringLiteral("--targets"), all, QStringLiteral("diff"), profile });
        printersCpu += host.CpuMs() - printersBefore;
        const Run reported = Spawn({ cli, QStringLiteral("--jobs"), QStringLiteral("64"),
                                     QStringLiteral("--targets"), all, QStringLiteral("diff"),
                                     QStringLiteral("--json"), profile },
                                   {}, report);
        if (small.status != Drift || many.status != Drift || reported.status != Drift) {
            state.SkipWithError("a fleet diff failed");
            return;
        }
        slowestSingle += slowest;
        fleetMs += many.ms;
        fleetCpu += many.cpuMs;
        jsonFleetMs += reported.ms;
        slowestInFleet += SlowestTargetMs(report);
        const qint64 plain = PlainFleet(host.Ports(), 64);
        if (plain < 0) {
            state.SkipWithError("a plain query failed");
            return;
        }
        plainMs += plain;
        rss50 = std::max(rss50, small.maxRssKb);
        rss1000 = std::max(rss1000, many.maxRssKb);
        state.SetIterationTime(many.ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["start_exit_ms"] = startMs / n;
    state.counters["slowest_single_ms"] = slowestSingle / n;
    state.counters["fleet_1000_ms"] = fleetMs / n;
    state.counters["fleet_1000_cpu_ms"] = fleetCpu / n;
    state.counters["printers_1000_cpu_ms"] = printersCpu / n;
    state.counters["fleet_vs_slowest"] = double(fleetMs) / double(slowestSingle);
    state.counters["json_fleet_1000_ms"] = jsonFleetMs / n;
    state.counters["slowest_in_fleet_ms"] = slowestInFleet / n;
    state.counters["fleet_vs_slowest_in_fleet"]
        = double(jsonFleetMs) / double(std::max<qint64>(1, slowestInFleet));
    state.counters["rss_50_kb"] = double(rss50);
    state.counters["rss_1000_kb"] = double(rss1000);
    state.counters["rss_1000_vs_50"] = double(rss1000) / double(rss50);
    state.counters["plain_1000_ms"] = plainMs / n;
    state.counters["fleet_vs_plain"] = double(fleetMs) / double(std::max<qint64>(1, plainMs));
    state.counters["least_possible_vs_slowest"]
        = double(startMs + plainMs) / double(std::max<qint64>(1, slowestSingle));
}

void BM_AnsiblePlay(benchmark::State &state)
{
    constexpr size_t Fleet = 50;
    const QString playbookProgram
        = QStandardPaths::findExecutable(QStringLiteral("ansible-playbook"));
    if (playbookProgram.isEmpty()) {
        state.SkipWithError("ansible-playbook is not installed");
        return;
    }
    PrinterHost host { int(Fleet) };
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("collections/ansible_collections/tarvolin"));
    QDir(dir.path()).mkpath(QStringLiteral("home"));
    QFile::link(QStringLiteral(TARVOLIN_SOURCE_DIR "/ansible"),
                dir.filePath(QStringLiteral("collections/ansible_collections/tarvolin/printers")));
    const QString profile = Write(dir, QStringLiteral("profile.ini"), Profile);
    QByteArray inventory = "[printers]\n";
    for (size_t i = 0; i < Fleet; ++i)
        inventory
            += "p" + QByteArray::number(i) + " target=" + Tcp(host.Ports()[i]).toUtf8() + '\n';
    inventory += "[printers:vars]\nansible_connection=local\n"
                 "ansible_python_interpreter=/usr/bin/python3\n";
    const QString hosts = Write(dir, QStringLiteral("hosts.ini"), inventory);
    const QByteArray head = "- hosts: printers\n  gather_facts: false\n  tasks:\n";
    const QString apply = Write(
        dir, QStringLiteral("apply.yml"),
        head
            + "    - tarvolin.printers.printer_settings:\n        target: \"{{ target }}\"\n"
              "        profile: "
            + profile.toUtf8() + "\n        cli: " TARVOLIN_CLI_PROGRAM "\n");
    const QString noop
        = Write(dir, QStringLiteral("noop.yml"), head + "    - ansible.builtin.ping:\n");
    const QStringList env = {
        QStringLiteral("HOME=") + dir.filePath(QStringLiteral("home")),
        // Ansible refuses to run in a locale whose encoding is not UTF-8.
        QStringLiteral("LC_ALL=C.UTF-8"),
        QStringLiteral("ANSIBLE_LOCAL_TEMP=") + dir.filePath(QStringLiteral("tmp")),
        QStringLiteral("ANSIBLE_REMOTE_TEMP=") + dir.filePath(QStringLiteral("tmp")),
        QStringLiteral("ANSIBLE_COLLECTIONS_PATH=") + dir.filePath(QStringLiteral("collections")),
        QStringLiteral("ANSIBLE_FORKS=16"),
    };
    qint64 playMs = 0, noopMs = 0;
    for (auto _ : state) {
        // --check: every printer differs each time, and is read each time.
        const Run play = Spawn(
            { playbookProgram, QStringLiteral("--check"), QStringLiteral("-i"), hosts, apply },
            env);
        const Run nothing = Spawn({ playbookProgram, QStringLiteral("-i"), hosts, noop }, env);
        if (play.status != 0 || nothing.status != 0) {
            state.SkipWithError("a play failed");
            return;
        }
        playMs += play.ms;
        noopMs += nothing.ms;
        state.SetIterationTime(play.ms / 1000.0);
    }
    const double n = double(state.iterations());
    state.counters["play_50_ms"] = playMs / n;
    state.counters["noop_play_50_ms"] = noopMs / n;
    state.counters["ansible_share"] = double(noopMs) / double(playMs);
}

} // namespace

BENCHMARK(BM_DiffFleet)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_AnsiblePlay)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

int main(int argc, char **argv)
{
    // A thousand listeners and the program's own sockets.
    rlimit files {};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    if (argc == 3 && std::strcmp(argv[1], "--host") == 0)
        return HostPrinters(argc, argv, std::atoi(argv[2]));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
