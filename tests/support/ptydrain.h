#pragma once

#include "support/pty.h"

#include <QtGlobal>

#include <sys/types.h>

// The far end of a serial line for benchmarks: a separate process that
// reads the master end of a pseudo-terminal as fast as it can and counts the
// bytes, as a printer on its own would. Keeping it out of the sender's
// process keeps the sender's threads and the reader from competing for the
// same scheduling slot, which would favour a sender that runs as a process
// of its own (cat).
class PtyDrainProcess
{
public:
    explicit PtyDrainProcess(PtyPair &pty);
    ~PtyDrainProcess();
    PtyDrainProcess(const PtyDrainProcess &) = delete;
    PtyDrainProcess &operator=(const PtyDrainProcess &) = delete;

    bool IsValid() const { return child_ > 0; }
    qint64 Total() const;
    // Waits until at least `bytes` have arrived in all; false after timeoutMs.
    bool WaitFor(qint64 bytes, int timeoutMs = 120000) const;

private:
    pid_t child_ = -1;
    qint64 *total_ = nullptr; // shared with the child
};
