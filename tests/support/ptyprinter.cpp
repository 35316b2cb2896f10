#include "support/ptyprinter.h"

#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

PtyPrinter::PtyPrinter()
{
    if (::pipe2(stopPipe_, O_CLOEXEC) == 0 && pty_.IsValid())
        thread_ = std::thread([this] { Run(); });
}

PtyPrinter::~PtyPrinter()
{
    if (thread_.joinable()) {
        const char stop = 1;
        [[maybe_unused]] ssize_t n = ::write(stopPipe_[1], &stop, 1);
        thread_.join();
    }
    for (int fd : stopPipe_)
        if (fd >= 0)
            ::close(fd);
}

void PtyPrinter::SetReply(const QByteArray &reply, int delayMs, int byteIntervalMs, bool endless)
{
    // The old reply is let go by the inline destructor below, not inside the
    // library's assignment, whose reference counting the thread sanitizer
    // cannot see: it took the printer thread's last use for a race.
    QByteArray fresh = reply;
    std::lock_guard lock(mutex_);
    reply_.swap(fresh);
    delayMs_ = delayMs;
    byteIntervalMs_ = byteIntervalMs;
    endless_ = endless;
}

QByteArray PtyPrinter::Received(qsizetype count, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            // A copy of its own: the printer thread goes on appending, and
            // shared data would be let go inside the library, out of the
            // thread sanitizer's sight.
            if (received_.size() >= count || clock.elapsed() > timeoutMs)
                return QByteArray(received_.constData(), received_.size());
        }
        QThread::msleep(2);
    }
}

void PtyPrinter::Run()
{
    // A printer has a processor of its own: it answers within the program's
    // short reply waits however busy the test machine is. Where real-time
    // scheduling is not permitted the thread runs as it is.
    const sched_param realTime { .sched_priority = 1 };
    ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &realTime);
    const int master = pty_.MasterFd();
    // Waits for the stop signal; true when it came.
    auto stopped = [this](int timeoutMs) {
        pollfd p { stopPipe_[0], POLLIN, 0 };
        return ::poll(&p, 1, timeoutMs) > 0;
    };
    for (;;) {
        pollfd fds[2] = { { master, POLLIN, 0 }, { stopPipe_[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents)
            return;
        if (!(fds[0].revents & POLLIN)) {
            // No one holds the terminal open: nothing to read yet.
            if (stopped(5))
                return;
            continue;
        }
        char buf[4096];
        const ssize_t n = ::read(master, buf, sizeof buf);
        if (n <= 0)
            continue;
        QByteArray reply;
        int delayMs, intervalMs;
        bool endless;
        {
            std::lock_guard lock(mutex_);
            // A new request starts when the previous one has been answered.
            received_.append(buf, n);
            reply = reply_;
            delayMs = delayMs_;
            intervalMs = byteIntervalMs_;
            endless = endless_;
        }
        ++requests_;
        if (reply.isEmpty())
            continue;
        if (delayMs > 0 && stopped(delayMs))
            return;
        do {
            if (intervalMs <= 0) {
                pty_.Write(reply);
            } else {
                for (char c : reply) {
                    pty_.Write(QByteArray(1, c));
                    if (stopped(intervalMs))
                        return;
                    pollfd more { master, POLLIN, 0 };
                    if (endless && ::poll(&more, 1, 0) > 0)
                        break;
                }
            }
            pollfd more { master, POLLIN, 0 };
            if (::poll(&more, 1, 0) > 0)
                break;
        } while (endless && !stopped(0));
        // Swallow the rest of a request that arrived in several pieces.
        char rest[4096];
        pollfd more { master, POLLIN, 0 };
        while (::poll(&more, 1, 0) > 0 && (more.revents & POLLIN)) {
            const ssize_t m = ::read(master, rest, sizeof rest);
            if (m <= 0)
                break;
            std::lock_guard lock(mutex_);
            received_.append(rest, m);
        }
    }
}
