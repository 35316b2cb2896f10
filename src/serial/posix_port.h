#pragma once

// Every operating-system call of the serial port. Calls are retried on EINTR
// (close excepted); a failure is returned as the errno of the call that
// failed, 0 meaning success.

#include "serial/termiosmap.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <optional>

namespace posixport {

using Clock = std::chrono::steady_clock;
// No value: no time limit.
using Deadline = std::optional<Clock::time_point>;

struct OpenResult
{
    int fd = -1;
    int error = 0;
};

// Opens a terminal device read-write, without becoming its controlling
// terminal, close-on-exec and non-blocking, exclusively (an advisory lock,
// which holds even against root, plus TIOCEXCL), and discards what was
// queued while nobody listened. A busy device fails with EBUSY. Anything that
// fails after the open closes the device again.
OpenResult OpenExclusive(const QByteArray &path);

// Discards unsent and unread data, gives up exclusivity and closes.
void CloseDevice(int fd);

// 0 while the descriptor is open.
int CheckOpen(int fd);

int ApplyLineSettings(int fd, const DeviceLineSettings &settings);

// Bytes waiting to be read.
int InputQueued(int fd, int &count);
// Bytes not yet sent; a device without such a count (a pseudo-terminal)
// reports 0.
int OutputQueued(int fd, int &count);

// Modem input lines as lsCTS/lsDSR/lsRing/lsRLSD. A device without modem
// lines reports every line off and sets supported to false.
int ModemLines(int fd, TComSignals &lines, bool &supported);

struct LineCounters
{
    int frame = 0;
    int parity = 0;
    int overrun = 0;
    int brk = 0;
    int bufferOverrun = 0;
    int ring = 0;
};
// The device's error counters; a device without them reports zeros and sets
// supported to false.
int Counters(int fd, LineCounters &counters, bool &supported);

// Reads what is queued, up to count bytes, without waiting.
int ReadAvailable(int fd, char *buffer, int count, int &got);

struct WriteOutcome
{
    qsizetype sent = 0; // bytes that left (or will leave) the device
    int error = 0;
};
// Writes every byte and waits until the output queue is empty, or until the
// deadline. At the deadline, sent counts only what left the output queue.
WriteOutcome WriteAll(int fd, const char *data, qsizetype length, Deadline deadline);

// One write of up to length bytes without waiting: accepted is what the
// device took, 0 when it has no room (its queue is full or the far end sent
// Xoff).
int WriteSome(int fd, const char *data, qsizetype length, qsizetype &accepted);
// Waits until the device has room for output, or for the timeout; a device
// that hung up counts as ready, so that the next write reports it.
int WaitWritable(int fd, Clock::duration timeout);

// Writes that wait in the kernel for room in the device, as a plain blocking
// write does (one wake-up per write instead of one per bit of room), but for
// a bounded time: a timer of the calling thread interrupts the write. Made
// and used on one thread; while it lives, that thread takes the timer's
// signal.
class WaitingWriter
{
public:
    WaitingWriter();
    ~WaitingWriter();
    WaitingWriter(const WaitingWriter &) = delete;
    WaitingWriter &operator=(const WaitingWriter &) = delete;

    // False when the system gave no timer or the signal belongs to someone
    // else: the caller writes without waiting and polls instead.
    bool Usable() const { return usable_; }
    // One write of up to length bytes that waits for room for at most
    // `most`: accepted is what the device took by then (0 when it took
    // nothing, as with a line held by Xoff).
    int Write(int fd, const char *data, qsizetype length, Clock::duration most,
              qsizetype &accepted);

private:
    bool usable_ = false;
    void *timer_ = nullptr;
    bool restoreMask_ = false;
};

// Discards unread input and/or unsent output. Output is discarded only when
// something is queued: on a pseudo-terminal the discard would reach into
// the far end's unread data, which has already been delivered.
int DiscardQueues(int fd, bool input, bool output);

// Wake-up descriptors for the event thread.
int CreateEventFd(int &fd);
void SignalEventFd(int fd);
void DrainEventFd(int fd);
void CloseFd(int fd);

struct WaitOutcome
{
    bool stop = false; // the stop descriptor is signalled
    bool wake = false; // the wake descriptor is signalled
    bool input = false; // the device has bytes to read
    bool hangup = false; // the device hung up or reports an error
    bool failed = false; // the wait itself failed
};
// Waits for the stop descriptor, the wake descriptor or (when device >= 0)
// the device; timeoutMs < 0 waits without a limit. watchInput chooses
// whether queued input ends the wait.
WaitOutcome WaitForEvents(int device, bool watchInput, int stopFd, int wakeFd, int timeoutMs);

} // namespace posixport
