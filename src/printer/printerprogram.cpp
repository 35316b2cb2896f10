#include "printer/printerprogram.h"

#include "printer/discoveryline.h"
#include "printer/labelprinter.h"
#include "printer/printercontrol.h"
#include "printer/ptyline.h"
#include "printer/tcpline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// SIGINT and SIGTERM reach the event loop through a pipe: a signal handler
// may do nothing but write to it.
int signalPipe[2] = { -1, -1 };

void OnTerminationSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

// A control line longer than this is dropped: nothing of the kind is that long.
constexpr qsizetype MaxControlLine = 4096;

} // namespace

// Control characters from the wire would act on the operator's terminal
// (clear it, set its title) or forge log lines: they are shown as <1B>.
QString ConsoleLog::Escaped(const QString &line)
{
    QString shown;
    shown.reserve(line.size());
    for (QChar c : line) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("<%1>").arg(int(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

void ConsoleLog::Write(FILE *stream, const QString &line)
{
    const QByteArray bytes = Escaped(line).toLocal8Bit() + '\n';
    std::lock_guard lock(mutex_);
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    fflush(stream);
}

void ConsoleLog::Info(const QString &line)
{
    if (!quiet_)
        Write(stdout, line);
}

void ConsoleLog::Error(const QString &line)
{
    Write(quiet_ ? stderr : stdout, QStringLiteral("error: ") + line);
}

void ConsoleLog::Warn(const QString &line)
{
    Write(stderr, QStringLiteral("warning: ") + line);
}

void ConsoleLog::Announce(const QString &line)
{
    Write(stdout, line);
}

PrinterProgram::PrinterProgram(const PrinterOptions &options, QObject *parent)
    : QObject(parent)
    , options_(options)
    , log_(options.quiet)
{ }

PrinterProgram::~PrinterProgram()
{
    if (signalNotifier_) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        signalNotifier_.reset();
        close(signalPipe[0]);
        close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
    stdin_.notifier.reset();
    pipe_.notifier.reset();
    if (pipe_.fd >= 0)
        close(pipe_.fd);
    if (madePipe_)
        QFile::remove(options_.controlPath);
    // Lines first: nothing may arrive for a printer that is gone.
    pty_.reset();
    tcp_.reset();
    discovery_.reset();
    printer_.reset();
    output_.reset();
}

bool PrinterProgram::Start(QString *error)
{
    if (!options_.outDir.isEmpty() && !QDir().mkpath(options_.outDir)) {
        *error = QStringLiteral("cannot create the folder %1").arg(options_.outDir);
        return false;
    }
    if (!options_.stateDir.isEmpty() && !QDir().mkpath(options_.stateDir)) {
        *error = QStringLiteral("cannot create the folder %1").arg(options_.stateDir);
        return false;
    }
    output_ = std::make_unique<LabelPrinter>(log_, options_.outDir);
    PrinterConfig config;
    config.dotsPerMm = options_.dotsPerMm;
    config.dramKb = options_.dramKb;
    config.flashKb = options_.flashKb;
    config.conditions = options_.conditions;
    config.stateDir = options_.stateDir;
    printer_ = std::make_unique<VirtualPrinter>(config, log_, *output_);
    if (!printer_->LoadState(error)) {
        *error = QStringLiteral("the state cannot be read, and is left as it is: %1\n"
                                "To start afresh, move the folder aside (mv %2 %2.old) and start "
                                "again; what it holds stays there to look at.")
                     .arg(*error, options_.stateDir);
        return false;
    }

    if (pipe(signalPipe) != 0) {
        *error = QStringLiteral("pipe: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    fcntl(signalPipe[0], F_SETFD, FD_CLOEXEC);
    fcntl(signalPipe[1], F_SETFD, FD_CLOEXEC);
    signalNotifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
    connect(signalNotifier_.get(), &QSocketNotifier::activated, this, &PrinterProgram::OnSignal);
    struct sigaction action
    {
    };
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // Reading the terminal from the background would stop the process.
    signal(SIGTTIN, SIG_IGN);

    if (options_.pty) {
        pty_ = std::make_unique<PtyLine>(*printer_, log_, options_.baud);
        if (!pty_->Open(error))
            return false;
        if (!options_.link.isEmpty() && !pty_->MakeLink(options_.link, error))
            return false;
        log_.Announce(
            options_.link.isEmpty()
                ? QStringLiteral("pty: %1").arg(pty_->SlavePath())
                : QStringLiteral("pty: %1 (link %2)").arg(pty_->SlavePath(), options_.link));
    }
    if (options_.tcpPort) {
        tcp_ = std::make_unique<TcpLine>(*printer_, log_);
        tcp_->SetIdleTimeout(options_.idleTimeout);
        if (!tcp_->Listen(options_.bind, *options_.tcpPort, error))
            return false;
        log_.Announce(QStringLiteral("tcp: %1").arg(tcp_->Endpoint()));
        if (!TcpLine::IsLoopback(options_.bind))
            log_.Warn(QStringLiteral("listening on %1: the printer is reachable from the network, "
                                     "and takes commands from anyone who reaches it")
                          .arg(tcp_->Endpoint()));
    }
    if (options_.discoveryPort) {
        discovery_ = std::make_unique<DiscoveryLine>(*printer_, log_);
        discovery_->SetNames(options_.systemName, options_.serialNumber);
        QString why;
        if (discovery_->Listen(options_.bind, *options_.discoveryPort, &why)) {
            log_.Announce(QStringLiteral("discovery: %1").arg(discovery_->Endpoint()));
        } else if (options_.discoveryAsked) {
            *error = why;
            return false;
        } else {
            // Only implied by --tcp: another printer on this machine may
            // hold the port, and the raw port still serves.
            log_.Warn(QStringLiteral("%1; discovery probes are not answered").arg(why));
            discovery_.reset();
        }
    }
    if (!options_.controlPath.isEmpty() && !OpenControlPipe(error))
        return false;
    // Standard input only where reading it is no trouble: not the terminal of
    // a process in the background.
    if (!isatty(STDIN_FILENO) || tcgetpgrp(STDIN_FILENO) == getpgrp())
        WatchControl(stdin_, STDIN_FILENO);

    log_.Announce(
        QStringLiteral("ready: %1; %2")
            .arg(options_.dotsPerMm == 8 ? QStringLiteral("203 dpi") : QStringLiteral("300 dpi"),
                 options_.baud > 0 ? QStringLiteral("%1 baud").arg(options_.baud)
                                   : QStringLiteral("unlimited line speed")));
    for (const QString &line : printer_->Describe().split(QLatin1Char('\n')))
        log_.Info(line);
    return true;
}

bool PrinterProgram::OpenControlPipe(QString *error)
{
    const QByteArray path = QFile::encodeName(options_.controlPath);
    struct stat st
    {
    };
    if (stat(path.constData(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a named pipe; not used")
                         .arg(options_.controlPath);
            return false;
        }
    } else if (mkfifo(path.constData(), 0600) == 0) {
        madePipe_ = true;
    } else {
        *error = QStringLiteral("%1: %2").arg(options_.controlPath,
                                              QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    // Opened for writing too, so that the pipe never reports an end when a
    // writer closes it.
    const int fd = open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("%1: %2").arg(options_.controlPath,
                                              QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    WatchControl(pipe_, fd);
    return true;
}

void PrinterProgram::WatchControl(ControlInput &input, int fd)
{
    input.fd = fd;
    input.notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(input.notifier.get(), &QSocketNotifier::activated, this,
            [this, &input] { ReadControl(input); });
}

void PrinterProgram::ReadControl(ControlInput &input)
{
    char buffer[4096];
    const ssize_t n = read(input.fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // End of standard input: the printer goes on without it.
        input.notifier->setEnabled(false);
        if (!input.pending.trimmed().isEmpty())
            input.pending += '\n';
        else
            return;
    } else {
        input.pending.append(buffer, n);
    }
    qsizetype end;
    while ((end = input.pending.indexOf('\n')) >= 0) {
        const QString line = QString::fromLocal8Bit(input.pending.left(end));
        input.pending.remove(0, end + 1);
        const ControlResult result = RunControlCommand(line, *printer_, *output_);
        // Answers of several lines are the program's own text, so they are
        // written as lines.
        for (const QString &answer : result.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            if (!result.ok)
                log_.Error(answer);
            else
                log_.Announce(answer);
        }
        if (result.quit) {
            QCoreApplication::quit();
            return;
        }
    }
    if (input.pending.size() > MaxControlLine) {
        log_.Error(
            QStringLiteral("a control line longer than %1 bytes was dropped").arg(MaxControlLine));
        input.pending.clear();
    }
}

void PrinterProgram::OnSignal()
{
    char byte;
    [[maybe_unused]] const ssize_t n = read(signalPipe[0], &byte, 1);
    QCoreApplication::quit();
}
