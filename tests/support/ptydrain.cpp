#include "support/ptydrain.h"

#include <QElapsedTimer>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

PtyDrainProcess::PtyDrainProcess(PtyPair &pty)
{
    void *shared = ::mmap(nullptr, sizeof(qint64), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared == MAP_FAILED)
        return;
    total_ = static_cast<qint64 *>(shared);
    *total_ = 0;
    const int master = pty.MasterFd();
    child_ = ::fork();
    if (child_ == 0) {
        // Only plain system calls from here: the parent has threads.
        static char buffer[65536];
        for (;;) {
            pollfd p { master, POLLIN, 0 };
            if (::poll(&p, 1, -1) < 0 && errno != EINTR)
                ::_exit(1);
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                __atomic_add_fetch(total_, n, __ATOMIC_RELEASE);
            } else if (n < 0 && errno == EIO) {
                // No slave open for a moment.
                const timespec pause { 0, 1000000 };
                ::nanosleep(&pause, nullptr);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                ::_exit(0);
            }
        }
    }
}

PtyDrainProcess::~PtyDrainProcess()
{
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        int status = 0;
        ::waitpid(child_, &status, 0);
    }
    if (total_)
        ::munmap(total_, sizeof(qint64));
}

qint64 PtyDrainProcess::Total() const
{
    return total_ ? __atomic_load_n(total_, __ATOMIC_ACQUIRE) : 0;
}

bool PtyDrainProcess::WaitFor(qint64 bytes, int timeoutMs) const
{
    QElapsedTimer clock;
    clock.start();
    while (Total() < bytes) {
        if (clock.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}
