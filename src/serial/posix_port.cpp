#include "serial/posix_port.h"

// The kernel's termios2 for arbitrary rates; it must not meet <termios.h>.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

namespace posixport {

namespace {

template<class F> int Retry(F call)
{
    int r;
    do {
        r = call();
    } while (r < 0 && errno == EINTR);
    return r;
}

// A device that has no such facility answers these.
bool Unsupported(int err)
{
    return err == ENOTTY || err == EINVAL;
}

int MillisecondsLeft(const Deadline &deadline)
{
    if (!deadline)
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    if (left.count() <= 0)
        return 0;
    return left.count() > INT_MAX ? INT_MAX : int(left.count());
}

// The signal that ends a write waiting for room. Its handler does nothing and
// leaves out SA_RESTART, so the write returns with what the device took.
int WakeSignal()
{
    return SIGRTMIN + 6;
}

void IgnoreWake(int) { }

bool WakeHandlerInstalled()
{
    static const bool installed = [] {
        struct sigaction old
        {
        };
        if (sigaction(WakeSignal(), nullptr, &old) != 0
            || (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN))
            return false;
        struct sigaction wake
        {
        };
        wake.sa_handler = IgnoreWake;
        sigemptyset(&wake.sa_mask);
        return sigaction(WakeSignal(), &wake, nullptr) == 0;
    }();
    return installed;
}

timespec ToTimespec(Clock::duration d)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    return { time_t(ns / 1000000000), long(ns % 1000000000) };
}

int SetModemLine(int fd, int line, ModemLineAction action)
{
    if (action == ModemLineAction::Kernel)
        return 0;
    const unsigned long request = action == ModemLineAction::Raise ? TIOCMBIS : TIOCMBIC;
    if (Retry([&] { return ioctl(fd, request, &line); }) < 0 && !Unsupported(errno))
        return errno;
    return 0;
}

} // namespace

OpenResult OpenExclusive(const QByteArray &path)
{
    OpenResult r;
    const int fd
        = Retry([&] { return open(path.constData(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK); });
    if (fd < 0) {
        r.error = errno;
        return r;
    }
    int err = 0;
    if (Retry([&] { return flock(fd, LOCK_EX | LOCK_NB); }) < 0)
        err = errno == EWOULDBLOCK ? EBUSY : errno;
    else if (Retry([&] { return ioctl(fd, TIOCEXCL); }) < 0)
        err = errno;
    else if (Retry([&] { return ioctl(fd, TCFLSH, TCIFLUSH); }) < 0)
        err = errno;
    if (err) {
        close(fd);
        r.error = err;
        return r;
    }
    r.fd = fd;
    return r;
}

void CloseDevice(int fd)
{
    if (fd < 0)
        return;
    DiscardQueues(fd, true, true);
    // Exclusivity belongs to the terminal, not to this descriptor: give it up
    // or the next open by an ordinary user finds the device busy.
    Retry([&] { return ioctl(fd, TIOCNXCL); });
    close(fd);
}

int CheckOpen(int fd)
{
    return fcntl(fd, F_GETFL) < 0 ? errno : 0;
}

int ApplyLineSettings(int fd, const DeviceLineSettings &s)
{
    termios2 t {};
    if (Retry([&] { return ioctl(fd, TCGETS2, &t); }) < 0)
        return errno;
    t.c_iflag = s.iflag;
    t.c_oflag = s.oflag;
    t.c_lflag = s.lflag;
    t.c_cflag = s.cflag;
    t.c_ispeed = s.speed;
    t.c_ospeed = s.speed;
    t.c_cc[VSTART] = s.startChar;
    t.c_cc[VSTOP] = s.stopChar;
    // With a non-blocking descriptor this makes an empty queue EAGAIN and
    // keeps 0 for a hang-up.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (Retry([&] { return ioctl(fd, TCSETS2, &t); }) < 0)
        return errno;
    if (int err = SetModemLine(fd, TIOCM_DTR, s.dtr))
        return err;
    return SetModemLine(fd, TIOCM_RTS, s.rts);
}

int InputQueued(int fd, int &count)
{
    count = 0;
    return Retry([&] { return ioctl(fd, FIONREAD, &count); }) < 0 ? errno : 0;
}

int OutputQueued(int fd, int &count)
{
    count = 0;
    if (Retry([&] { return ioctl(fd, TIOCOUTQ, &count); }) < 0) {
        count = 0;
        return Unsupported(errno) ? 0 : errno;
    }
    return 0;
}

int ModemLines(int fd, TComSignals &lines, bool &supported)
{
    lines = 0;
    supported = true;
    int status = 0;
    if (Retry([&] { return ioctl(fd, TIOCMGET, &status); }) < 0) {
        if (Unsupported(errno)) {
            supported = false;
            return 0;
        }
        return errno;
    }
    if (status & TIOCM_CTS)
        lines |= lsCTS;
    if (status & TIOCM_DSR)
        lines |= lsDSR;
    if (status & TIOCM_RI)
        lines |= lsRing;
    if (status & TIOCM_CD)
        lines |= lsRLSD;
    return 0;
}

int Counters(int fd, LineCounters &counters, bool &supported)
{
    counters = {};
    supported = true;
    serial_icounter_struct ic {};
    if (Retry([&] { return ioctl(fd, TIOCGICOUNT, &ic); }) < 0) {
        if (Unsupported(errno)) {
            supported = false;
            return 0;
        }
        return errno;
    }
    counters.frame = ic.frame;
    counters.parity = ic.parity;
    counters.overrun = ic.overrun;
    counters.brk = ic.brk;
    counters.bufferOverrun = ic.buf_overrun;
    counters.ring = ic.rng;
    return 0;
}

int ReadAvailable(int fd, char *buffer, int count, int &got)
{
    got = 0;
    while (got < count) {
        const ssize_t n = read(fd, buffer + got, size_t(count - got));
        if (n > 0) {
            got += int(n);
            continue;
        }
        if (n == 0) // the line hung up
            return EIO;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        return errno;
    }
    return 0;
}

WriteOutcome WriteAll(int fd, const char *data, qsizetype length, Deadline deadline)
{
    WriteOutcome out;
    while (out.sent < length) {
        const ssize_t n = write(fd, data + out.sent, size_t(length - out.sent));
        if (n > 0) {
            out.sent += n;
            if (out.sent == length)
                break;
            // A short write means the queue is full: wait for room rather
            // than find that out again with a write that fails.
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            out.error = errno;
            return out;
        }
        // The queue is full or the far end sent Xoff: wait for room.
        const int left = MillisecondsLeft(deadline);
        if (left == 0)
            return out;
        pollfd p { fd, POLLOUT, 0 };
        if (poll(&p, 1, left) < 0 && errno != EINTR) {
            out.error = errno;
            return out;
        }
    }
    // Accepted is not sent: wait until the queue has drained, so that a
    // close right after this cannot discard the end of the data.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int queued = 0;
        if (int err = OutputQueued(fd, queued)) {
            out.error = err;
            return out;
        }
        if (queued == 0)
            return out;
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            out.sent -= queued;
            return out;
        }
        std::this_thread::sleep_for(left < 0 ? pause
                                             : std::min(pause, std::chrono::milliseconds(left)));
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
}

int WriteSome(int fd, const char *data, qsizetype length, qsizetype &accepted)
{
    accepted = 0;
    ssize_t n;
    do {
        n = write(fd, data, size_t(length));
    } while (n < 0 && errno == EINTR);
    if (n >= 0) {
        accepted = n;
        return 0;
    }
    return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
}

int WaitWritable(int fd, Clock::duration timeout)
{
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(timeout).count();
    pollfd p { fd, POLLOUT, 0 };
    if (poll(&p, 1, int(std::clamp<long long>(ms, 0, INT_MAX))) < 0 && errno != EINTR)
        return errno;
    return 0;
}

WaitingWriter::WaitingWriter()
{
    if (!WakeHandlerInstalled())
        return;
    sigevent event {};
    event.sigev_notify = SIGEV_THREAD_ID;
    event.sigev_signo = WakeSignal();
    event._sigev_un._tid = gettid();
    timer_t timer {};
    if (timer_create(CLOCK_MONOTONIC, &event, &timer) != 0)
        return;
    timer_ = timer;
    sigset_t wake, before;
    sigemptyset(&wake);
    sigaddset(&wake, WakeSignal());
    if (pthread_sigmask(SIG_UNBLOCK, &wake, &before) != 0)
        return;
    restoreMask_ = sigismember(&before, WakeSignal()) == 1;
    usable_ = true;
}

WaitingWriter::~WaitingWriter()
{
    if (timer_)
        timer_delete(static_cast<timer_t>(timer_));
    if (restoreMask_) {
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, WakeSignal());
        pthread_sigmask(SIG_BLOCK, &wake, nullptr);
    }
}

int WaitingWriter::Write(int fd, const char *data, qsizetype length, Clock::duration most,
                         qsizetype &accepted)
{
    accepted = 0;
    // The descriptor stays non-blocking outside this write: whatever else
    // runs on it meanwhile (the event thread, a handler reading) never waits.
    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        return errno;
    itimerspec alarm {};
    alarm.it_value = ToTimespec(std::max<Clock::duration>(most, std::chrono::milliseconds(1)));
    const auto timer = static_cast<timer_t>(timer_);
    int err = 0;
    if (timer_settime(timer, 0, &alarm, nullptr) != 0) {
        err = errno;
    } else {
        const ssize_t n = write(fd, data, size_t(length));
        if (n >= 0)
            accepted = n;
        else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
            err = errno;
        const itimerspec off {};
        timer_settime(timer, 0, &off, nullptr);
    }
    if (fcntl(fd, F_SETFL, flags) < 0 && !err)
        err = errno;
    return err;
}

int DiscardQueues(int fd, bool input, bool output)
{
    if (output) {
        int queued = 0;
        OutputQueued(fd, queued);
        if (queued > 0 && Retry([&] { return ioctl(fd, TCFLSH, TCOFLUSH); }) < 0)
            return errno;
    }
    if (input && Retry([&] { return ioctl(fd, TCFLSH, TCIFLUSH); }) < 0)
        return errno;
    return 0;
}

int CreateEventFd(int &fd)
{
    fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd < 0 ? errno : 0;
}

void SignalEventFd(int fd)
{
    const std::uint64_t one = 1;
    Retry([&] { return int(write(fd, &one, sizeof one)); });
}

void DrainEventFd(int fd)
{
    std::uint64_t value;
    Retry([&] { return int(read(fd, &value, sizeof value)); });
}

void CloseFd(int fd)
{
    if (fd >= 0)
        close(fd);
}

WaitOutcome WaitForEvents(int device, bool watchInput, int stopFd, int wakeFd, int timeoutMs)
{
    WaitOutcome w;
    pollfd p[3] = { { stopFd, POLLIN, 0 },
                    { wakeFd, POLLIN, 0 },
                    { device, short(watchInput ? POLLIN : 0), 0 } };
    const nfds_t count = device >= 0 ? 3 : 2;
    const int r = poll(p, count, timeoutMs);
    if (r < 0) {
        w.failed = errno != EINTR;
        return w;
    }
    w.stop = p[0].revents & POLLIN;
    w.wake = p[1].revents & POLLIN;
    if (count == 3) {
        w.input = p[2].revents & POLLIN;
        w.hangup = p[2].revents & (POLLHUP | POLLERR | POLLNVAL);
    }
    return w;
}

} // namespace posixport
