// The virtual printer taking in a long send over TCP, against a plain
// receiver doing nothing but the same transfer:
//   Printer  tarvolin-printer --tcp 0 -q   (unlimited line speed)
//   Plain    a recv() loop into one buffer, dropping every byte
// Both are fed by the program's own network send (NetPrinter) and timed until
// the receiver closes the connection, that is until it has taken in and acted
// on every byte. Two payloads: the font download command of a 64 MiB font
// (128 MiB of hexadecimal text, the program's longest send) and 64 MiB of
// small label formats. The printer's rate is also shown as a ratio to the
// plain receiver's ("vs_plain"), and as what it takes in per second of its
// own processor time ("MB_per_cpu_s"), which a machine busy with other work
// does not lower.
#include "files/downloadcommand.h"
#include "link/netprinter.h"
#include "support/printerprocess.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// Accepts connections and reads each to its end, keeping nothing.
class PlainReceiver
{
public:
    PlainReceiver()
    {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        listen(listen_, 8);
        getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &length);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~PlainReceiver()
    {
        stop_ = true;
        shutdown(listen_, SHUT_RDWR);
        thread_.join();
        close(listen_);
    }
    quint16 Port() const { return port_; }

private:
    void Run()
    {
        std::vector<char> buffer(256 * 1024);
        while (!stop_) {
            const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            while (recv(fd, buffer.data(), buffer.size(), 0) > 0) { }
            close(fd);
        }
    }

    int listen_ = -1;
    quint16 port_ = 0;
    std::atomic<bool> stop_ { false };
    std::thread thread_;
};

QByteArray FontPayload()
{
    QByteArray font(64 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(1).fillRange(reinterpret_cast<quint32 *>(font.data()), font.size() / 4);
    return FontDownloadCommand("E:", QStringLiteral("BENCH"), font);
}

QByteArray LabelPayload()
{
    QByteArray labels;
    labels.reserve(64 * 1024 * 1024 + 1024);
    for (int i = 0; labels.size() < 64 * 1024 * 1024; ++i)
        labels += "^XA\r\n^CFD,40,20^FO40,40^FDPrinter Test!^FS\r\n^FO152,120^FDSpeed 3^FS\r\n"
                  "^FO240,1536^FWN,0^SN"
            + QByteArray::number(i) + ",1,Y^FS\r\n^PQ1,0,1,N\r\n^XZ\r\n";
    return labels;
}

struct Fixture
{
    QByteArray font = FontPayload();
    QByteArray labels = LabelPayload();
    PlainReceiver plain;
    std::unique_ptr<PrinterProcess> printer
        = std::make_unique<PrinterProcess>(QStringList { "--tcp", "0", "-q", "--flash", "262144" });
    double plainRate[2] = { 0, 0 }; // bytes per second, by payload
};

Fixture &F()
{
    static Fixture fixture;
    return fixture;
}

const QByteArray &Payload(int which)
{
    return which == 0 ? F().font : F().labels;
}

// The processor time the printer process has used so far, in seconds.
double ProcessorSeconds(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // After the command name in parentheses: utime and stime are the 12th
    // and 13th fields.
    const QList<QByteArray> fields = stat.readAll().split(')').last().simplified().split(' ');
    if (fields.size() < 13)
        return 0;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

bool SendOnce(quint16 port, const QByteArray &data)
{
    NetPrinter sender;
    if (!sender.KVNetOpen(QStringLiteral("127.0.0.1"), port))
        return false;
    sender.KVNetSend(data);
    sender.KVNetClose();
    return true;
}

void Run(benchmark::State &state, quint16 port, int which)
{
    const QByteArray &data = Payload(which);
    for (auto _ : state) {
        if (!SendOnce(port, data)) {
            state.SkipWithError("connect failed");
            return;
        }
    }
    state.SetBytesProcessed(state.iterations() * data.size());
    state.SetLabel(which == 0 ? "font download" : "label formats");
}

void BM_Plain(benchmark::State &state)
{
    const int which = int(state.range(0));
    const auto start = std::chrono::steady_clock::now();
    Run(state, F().plain.Port(), which);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    F().plainRate[which] = double(state.iterations()) * double(Payload(which).size()) / seconds;
}

void BM_Printer(benchmark::State &state)
{
    if (!F().printer->IsRunning()) {
        state.SkipWithError(F().printer->Error().toStdString().c_str());
        return;
    }
    const int which = int(state.range(0));
    const double cpuStart = ProcessorSeconds(F().printer->Pid());
    const auto start = std::chrono::steady_clock::now();
    Run(state, F().printer->TcpPort(), which);
    const double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double bytes = double(state.iterations()) * double(Payload(which).size());
    const double rate = bytes / seconds;
    if (F().plainRate[which] > 0)
        state.counters["vs_plain"] = rate / F().plainRate[which];
    state.counters["MB_per_s"] = rate / 1e6;
    const double cpu = ProcessorSeconds(F().printer->Pid()) - cpuStart;
    if (cpu > 0)
        state.counters["MB_per_cpu_s"] = bytes / cpu / 1e6;
}

} // namespace

// The plain receiver first: the printer's ratio is taken against it.
BENCHMARK(BM_Plain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_Printer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    F().printer->Stop();
    return 0;
}
