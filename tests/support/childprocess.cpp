#include "support/childprocess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/resource.h>
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

ChildProcess::~ChildProcess()
{
    if (Running())
        Stop(SIGKILL, 3000);
    CloseFd(input_);
    CloseFd(output_);
    CloseFd(errorFd_);
}

bool ChildProcess::Start(const QString &program, const QStringList &arguments, bool mergeErrors)
{
    // Everything the child needs is made before the fork: after it, only
    // plain system calls (the parent has threads).
    const QString path
        = program.contains(QLatin1Char('/')) ? program : QStandardPaths::findExecutable(program);
    if (path.isEmpty()) {
        error_ = QStringLiteral("%1 is not installed").arg(program);
        return false;
    }
    std::vector<QByteArray> words { QFile::encodeName(path) };
    for (const QString &a : arguments)
        words.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    int in[2] = { -1, -1 }, out[2] = { -1, -1 }, err[2] = { -1, -1 }, exec[2] = { -1, -1 };
    const bool made = ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) == 0
        && ::pipe2(out, O_CLOEXEC) == 0 && (mergeErrors || ::pipe2(err, O_CLOEXEC) == 0)
        && ::pipe2(exec, O_CLOEXEC) == 0;
    pid_ = made ? ::fork() : -1;
    if (pid_ == 0) {
        if (::dup2(in[1], STDIN_FILENO) >= 0 && ::dup2(out[1], STDOUT_FILENO) >= 0
            && ::dup2(mergeErrors ? out[1] : err[1], STDERR_FILENO) >= 0)
            ::execv(argv[0], argv.data());
        const int e = errno;
        [[maybe_unused]] ssize_t n = ::write(exec[1], &e, sizeof e);
        ::_exit(127);
    }
    int startErrno = errno;
    CloseFd(in[1]);
    CloseFd(out[1]);
    CloseFd(err[1]);
    CloseFd(exec[1]);
    input_ = in[0];
    output_ = out[0];
    errorFd_ = err[0];
    // The status pipe closes with the exec; a failed exec writes its errno.
    if (pid_ > 0 && ::read(exec[0], &startErrno, sizeof startErrno) != sizeof startErrno)
        startErrno = 0;
    CloseFd(exec[0]);
    if (startErrno) {
        error_ = QStringLiteral("cannot start %1: %2").arg(path, qt_error_string(startErrno));
        if (pid_ > 0)
            Running(); // reaps the failed child
        return false;
    }
    return true;
}

bool ChildProcess::Running() const
{
    if (pid_ <= 0 || ended_)
        return false;
    int status = 0;
    rusage usage {};
    if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) {
        ended_ = true;
        status_ = status;
        peakKb_ = usage.ru_maxrss;
    }
    return !ended_;
}

int ChildProcess::ExitCode() const
{
    return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::Read(int timeoutMs)
{
    // Waits for the first bytes only, then takes whatever is there.
    for (int wait = timeoutMs;; wait = 0) {
        pollfd p[2] = { { output_, POLLIN, 0 }, { errorFd_, POLLIN, 0 } };
        if (::poll(p, 2, wait) <= 0)
            break;
        char buffer[4096];
        bool readable = false;
        for (int i = 0; i < 2; ++i) {
            if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP)))
                continue;
            readable = true;
            int &fd = i == 0 ? output_ : errorFd_;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                (i == 0 ? outputBytes_ : errors_).append(buffer, n);
            else if (n == 0)
                CloseFd(fd); // ended: no more polling it
        }
        if (!readable)
            break;
    }
}

QByteArray ChildProcess::TakeOutput()
{
    Read();
    QByteArray bytes;
    bytes.swap(outputBytes_);
    return bytes;
}

bool ChildProcess::Write(const QByteArray &bytes)
{
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
    return sent == bytes.size();
}

bool ChildProcess::WaitForExit(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (Running() && clock.elapsed() < timeoutMs)
        Read(20);
    Read();
    return !Running();
}

void ChildProcess::Signal(int signal)
{
    if (Running())
        ::kill(pid_, signal);
}

bool ChildProcess::Stop(int signal, int timeoutMs)
{
    Signal(signal);
    if (WaitForExit(timeoutMs))
        return true;
    ::kill(pid_, SIGKILL);
    rusage usage {};
    ::wait4(pid_, &status_, 0, &usage);
    peakKb_ = usage.ru_maxrss;
    ended_ = true;
    return false;
}
