#include "support/printerprocess.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

void CloseFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

QString PrinterProcess::Program()
{
    return QStringLiteral(TARVOLIN_PRINTER_PROGRAM);
}

PrinterProcess::PrinterProcess(const QStringList &arguments)
{
    // Everything the child needs is made before the fork: after it, only
    // plain system calls (the parent has threads).
    const QByteArray program = QFile::encodeName(Program());
    std::vector<QByteArray> words { program };
    for (const QString &a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int in[2] = { -1, -1 }, out[2] = { -1, -1 }, err[2] = { -1, -1 }, exec[2] = { -1, -1 };
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0
        || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0
        || ::pipe2(exec, O_CLOEXEC) != 0) {
        error_ = QStringLiteral("cannot start %1: %2").arg(Program(), qt_error_string(errno));
        for (int *p : { in, out, err, exec }) {
            CloseFd(p[0]);
            CloseFd(p[1]);
        }
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        if (::dup2(in[1], STDIN_FILENO) >= 0 && ::dup2(out[1], STDOUT_FILENO) >= 0
            && ::dup2(err[1], STDERR_FILENO) >= 0)
            ::execv(argv[0], argv.data());
        const int e = errno;
        [[maybe_unused]] ssize_t n = ::write(exec[1], &e, sizeof e);
        ::_exit(127);
    }
    const int forkErrno = errno;
    CloseFd(in[1]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    CloseFd(exec[1]);
    input_ = in[0];
    output_ = out[0];
    errors_ = err[0];
    int execErrno = 0;
    if (pid_ < 0)
        execErrno = forkErrno;
    else if (::read(exec[0], &execErrno, sizeof execErrno) != sizeof execErrno)
        execErrno = 0; // closed by the exec: it started
    CloseFd(exec[0]);
    if (execErrno) {
        error_ = QStringLiteral("cannot start %1: %2").arg(Program(), qt_error_string(execErrno));
        return;
    }

    QElapsedTimer clock;
    clock.start();
    while (!ready_ && clock.elapsed() < 10000 && Running()) {
        ReadOutput(100);
        for (const QString &line : std::as_const(lines_)) {
            if (line.startsWith(QLatin1String("pty: ")))
                ptyPath_ = line.section(QLatin1Char(' '), 1, 1);
            else if (line.startsWith(QLatin1String("tcp: ")))
                tcpPort_ = quint16(line.section(QLatin1Char(':'), -1).toUInt());
            else if (line.startsWith(QLatin1String("ready: ")))
                ready_ = true;
        }
    }
    if (!ready_) {
        ReadOutput();
        error_ = QStringLiteral("the printer did not start: %1 %2")
                     .arg(lines_.join(QLatin1Char('\n')), QString::fromLocal8Bit(errorText_));
    }
}

PrinterProcess::~PrinterProcess()
{
    if (Running())
        Stop();
    CloseFd(input_);
    CloseFd(output_);
    CloseFd(errors_);
}

bool PrinterProcess::Running() const
{
    if (pid_ <= 0 || ended_)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        ended_ = true;
        status_ = status;
    }
    return !ended_;
}

int PrinterProcess::ExitCode() const
{
    return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void PrinterProcess::ReadOutput(int timeoutMs)
{
    // Waits for the first bytes only, then takes whatever is there.
    for (int wait = timeoutMs;; wait = 0) {
        pollfd p[2] = { { output_, POLLIN, 0 }, { errors_, POLLIN, 0 } };
        if (::poll(p, 2, wait) <= 0)
            break;
        char buffer[4096];
        bool readable = false;
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP)))
                continue;
            readable = true;
            int &fd = i == 0 ? output_ : errors_;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? partial_ : errorText_).append(buffer, n);
            else if (n == 0)
                CloseFd(fd); // ended: no more polling it
        }
        if (!readable)
            break;
    }
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromLocal8Bit(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

QString PrinterProcess::WaitForLine(const QString &text, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        ReadOutput();
        for (; read_ < lines_.size(); ++read_) {
            if (lines_.at(read_).contains(text))
                return lines_.at(read_++);
        }
        if (clock.elapsed() >= timeoutMs || !Running())
            return QString();
        ReadOutput(20);
    }
}

QStringList PrinterProcess::Lines()
{
    ReadOutput();
    return lines_;
}

void PrinterProcess::Skip()
{
    ReadOutput();
    read_ = lines_.size();
}

void PrinterProcess::Control(const QString &command)
{
    const QByteArray bytes = command.toLocal8Bit() + '\n';
    qsizetype sent = 0;
    while (input_ >= 0 && sent < bytes.size()) {
        const ssize_t n
            = ::send(input_, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        sent += n;
    }
}

int PrinterProcess::WaitForExit(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (Running() && clock.elapsed() < timeoutMs)
        ReadOutput(20);
    ReadOutput();
    return Running() ? -1 : ExitCode();
}

int PrinterProcess::Stop(int signal, int timeoutMs)
{
    if (!Running())
        return WaitForExit();
    ::kill(pid_, signal);
    const int code = WaitForExit(timeoutMs);
    if (Running()) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
        ended_ = true;
        return -1;
    }
    return code;
}
