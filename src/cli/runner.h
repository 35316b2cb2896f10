#pragma once

#include "cli/report.h"
#include "cli/target.h"
#include "link/printerlink.h"
#include "link/printerquery.h"

#include <atomic>
#include <chrono>

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// One printer and the bytes it gets.
struct CliJob
{
    CliTarget target;
    QByteArray bytes;
    // When not empty, the bytes are this file's, read as they are sent, and
    // `bytes` is empty.
    QString streamFrom = {};
    // What the job sends; -1 when that is known only at its end.
    qint64 TotalBytes() const;
};

struct CliJobResult
{
    size_t index = 0; // position in the job list
    bool ok = false;
    bool timedOut = false;
    // A network printer that took the connection but did not answer.
    bool busy = false;
    // Stopped by an interruption (SIGINT, SIGTERM) before it finished, or
    // never started because of one.
    bool interrupted = false;
    bool started = true;
    QString error; // the message the window would show
    QString advice; // what it concerns and what to try, as the window adds below it
    qint64 bytesSent = 0;
    qint64 elapsedMs = 0;
    QByteArray reply; // read-backs: every byte the printer answered
    std::optional<TargetReport> report; // what a conversation concluded
    // A conversation that failed: the JSON fields it had set, and what it
    // had done by then, said after the error.
    QJsonObject extra;
    QString done;
};

// A target served by several exchanges on one link; see OperationPlan. When
// it throws, the bytes and JSON fields it had put in the report stay in the
// failure's report, and the report's detail, if any, is added to the error:
// what had happened by then ("the settings were sent ...").
using Conversation
    = std::function<void(PrinterLink &link, const CliTarget &target, TargetReport &report)>;

using Deadline = std::chrono::steady_clock::time_point;

struct RunOptions
{
    int jobs = 16; // at most this many targets at once
    int timeoutMs = 0; // the whole operation's, as given; 0 for none
    // When the whole operation ends: a target still running is stopped, one
    // not started by then is not started.
    Deadline deadline = Deadline::max();
    // Read-backs exchange over the serial port; everything else is a send.
    std::optional<ExchangeOptions> exchange;
    // The same read-back for targets other than serial ones.
    std::optional<PrinterQuery> query;
    // Instead of a send or an exchange.
    Conversation converse;
    // Shown how far each transfer has got (a single target's progress bar).
    ProgressObserver *progress = nullptr;
    // Once set, no further target is started and running transfers stop at
    // their next chunk. Read without a lock: a signal handler sets it.
    const std::atomic<bool> *interrupt = nullptr;
};

// Serves one target on the calling thread through the printer link, exactly
// as the window's button would over that interface. The link stops the
// transfer at the deadline. Never throws: a failure is in the result.
CliJobResult DeliverJob(const CliJob &job, const RunOptions &options,
                        Deadline deadline = Deadline::max());

// How long after its deadline a target that did not stop is given up.
constexpr int AbandonAfterDeadlineMs = 3000;

// Serves every job, at most options.jobs at once and one at a time for
// targets with the same ExclusiveKey(), handing each result to `done` on
// the calling thread as it comes in. A target still running shortly after
// its deadline (one whose interface cannot be stopped in between) is
// reported as timed out and left to its backend's own time limits. Returns
// false when such a target is still running: its thread holds the
// interface, and the caller should end the process without waiting for it.
bool RunJobs(const std::vector<CliJob> &jobs, const RunOptions &options,
             const std::function<void(const CliJobResult &)> &done);
