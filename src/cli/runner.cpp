#include "cli/runner.h"

#include "core/erroradvice.h"
#include "core/exceptions.h"
#include "link/progress.h"
#include "link/sendsource.h"
#include "link/transfer.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

// One operation of the link as a target sees it: stopped at the target's
// deadline, its progress passed on to whoever shows it.
class JobObserver : public ProgressObserver
{
public:
    JobObserver(Deadline deadline, ProgressObserver *shown, const std::atomic<bool> *interrupt)
        : deadline_(deadline)
        , shown_(shown)
        , interrupt_(interrupt)
    { }
    void Stage(const QString &what, qint64 totalBytes, double expectedBytesPerSecond) override
    {
        if (shown_)
            shown_->Stage(what, totalBytes, expectedBytesPerSecond);
    }
    void Progress(qint64 doneBytes) override
    {
        if (shown_)
            shown_->Progress(doneBytes);
    }
    void Waiting(const QString &why) override
    {
        if (shown_)
            shown_->Waiting(why);
    }
    bool CancelRequested() override
    {
        return std::chrono::steady_clock::now() >= deadline_ || (interrupt_ && interrupt_->load())
            || (shown_ && shown_->CancelRequested());
    }

private:
    Deadline deadline_;
    ProgressObserver *shown_;
    const std::atomic<bool> *interrupt_;
};

QString TimedOut(int timeoutMs)
{
    return QStringLiteral("Timed out after %1 s").arg(timeoutMs / 1000.0);
}

} // namespace

qint64 CliJob::TotalBytes() const
{
    if (streamFrom.isEmpty())
        return bytes.size();
    const QFileInfo info(streamFrom);
    return info.isFile() ? info.size() : -1;
}

CliJobResult DeliverJob(const CliJob &job, const RunOptions &options, Deadline deadline)
{
    CliJobResult result;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<SendSource> source;
    TargetReport conversed;
    // What a failed conversation had done stays with its failure.
    const auto keepConversed = [&] {
        if (!options.converse)
            return;
        result.bytesSent = conversed.bytes;
        result.extra = conversed.extra;
        result.done = conversed.detail;
    };
    try {
        const LinkTarget target = LinkTargetFor(job.target);
        PrinterLink link([&target] { return target; });
        link.SetProgressSource([deadline, shown = options.progress, stop = options.interrupt] {
            return std::make_unique<JobObserver>(deadline, shown, stop);
        });
        link.CommandBuffer = job.bytes;
        if (options.converse) {
            options.converse(link, job.target, conversed);
            result.report = std::move(conversed);
        } else if (options.exchange && job.target.kind == CliTarget::Kind::Com) {
            result.reply = link.SerialExchange(*options.exchange);
        } else if (options.query) {
            result.reply = link.Query(*options.query);
        } else if (!job.streamFrom.isEmpty()) {
            source = std::make_unique<FileSource>(job.streamFrom);
            link.SendToPrinter(PrinterLink::FileNaming::AsTyped, *source);
        } else {
            // A file target is the file named, with nothing appended.
            link.SendToPrinter(PrinterLink::FileNaming::AsTyped);
        }
        result.ok = true;
        result.bytesSent = source ? source->Given() : job.bytes.size();
    } catch (const EOperationCancelled &e) {
        result.bytesSent = e.DoneBytes();
        if (options.interrupt && options.interrupt->load()) {
            result.interrupted = true;
            result.error = QStringLiteral("Interrupted after %1; a partial command may be "
                                          "waiting in this printer")
                               .arg(BytesReached(e.DoneBytes(), job.TotalBytes()));
        } else {
            // Otherwise only the deadline stops a transfer here.
            result.timedOut = true;
            result.error = TimedOut(options.timeoutMs) + QStringLiteral(". ") + e.Message();
        }
        keepConversed();
    } catch (const ETarvolinError &e) {
        result.error = e.Message();
        result.advice = ErrorAdvice(e.Particulars());
        result.busy = dynamic_cast<const EPrinterBusy *>(&e) != nullptr;
        keepConversed();
    } catch (const std::exception &e) {
        result.error = QString::fromLocal8Bit(e.what());
        keepConversed();
    }
    result.elapsedMs = clock.elapsed();
    return result;
}

namespace {

using Clock = std::chrono::steady_clock;

// Everything the workers and the caller share. It outlives RunJobs when a
// timed-out target's thread is left behind.
struct RunState
{
    std::vector<CliJob> jobs;
    std::vector<QString> keys;
    RunOptions options;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<size_t> pending;
    std::set<QString> busyKeys;
    std::map<size_t, Clock::time_point> running; // index -> when to give it up
    std::set<size_t> abandoned;
    std::deque<CliJobResult> finished;
    quint64 deadlinesChanged = 0; // counts every change to `running`

    bool Interrupted() const { return options.interrupt && options.interrupt->load(); }

    // The first waiting job whose interface is free; pending.end() if none.
    std::deque<size_t>::iterator Pickable()
    {
        for (auto it = pending.begin(); it != pending.end(); ++it)
            if (!busyKeys.count(keys[*it]))
                return it;
        return pending.end();
    }
};

void Work(const std::shared_ptr<RunState> &s)
{
    std::unique_lock lock(s->mutex);
    for (;;) {
        s->changed.wait(lock, [&] {
            return s->pending.empty() || s->Interrupted() || s->Pickable() != s->pending.end();
        });
        if (s->pending.empty() || s->Interrupted())
            return;
        const auto it = s->Pickable();
        const size_t index = *it;
        s->pending.erase(it);
        s->busyKeys.insert(s->keys[index]);
        const Deadline deadline = s->options.deadline;
        if (deadline != Deadline::max() && Clock::now() >= deadline) {
            CliJobResult late;
            late.index = index;
            late.timedOut = true;
            late.started = false;
            late.error = TimedOut(s->options.timeoutMs)
                + QStringLiteral(" before it was started; nothing was sent");
            s->busyKeys.erase(s->keys[index]);
            s->finished.push_back(std::move(late));
            s->changed.notify_all();
            continue;
        }
        s->running[index] = deadline == Deadline::max()
            ? deadline
            : deadline + std::chrono::milliseconds(AbandonAfterDeadlineMs);
        if (deadline != Deadline::max()) {
            // The caller now has a deadline to watch. Without one it need
            // not wake: in a fleet that would be once more for every target.
            ++s->deadlinesChanged;
            s->changed.notify_all();
        }
        lock.unlock();

        CliJobResult result = DeliverJob(s->jobs[index], s->options, deadline);
        result.index = index;

        lock.lock();
        s->busyKeys.erase(s->keys[index]);
        // A deadline gone leaves none earlier to watch: the caller wakes
        // for the result alone.
        s->running.erase(index);
        if (!s->abandoned.count(index))
            s->finished.push_back(std::move(result));
        s->changed.notify_all();
    }
}

} // namespace

bool RunJobs(const std::vector<CliJob> &jobs, const RunOptions &options,
             const std::function<void(const CliJobResult &)> &done)
{
    auto s = std::make_shared<RunState>();
    s->jobs = jobs;
    s->options = options;
    for (size_t i = 0; i < jobs.size(); ++i) {
        s->keys.push_back(jobs[i].target.ExclusiveKey());
        s->pending.push_back(i);
    }

    const size_t workerCount = std::min<size_t>(std::max(1, options.jobs), jobs.size());
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    for (size_t i = 0; i < workerCount; ++i)
        workers.emplace_back([s] { Work(s); });

    // Without a deadline no target is ever given up.
    const bool watch = options.deadline != Deadline::max();
    size_t reported = 0;
    std::unique_lock lock(s->mutex);
    while (reported < jobs.size()) {
        Clock::time_point next = Clock::time_point::max();
        if (watch)
            for (const auto &[index, deadline] : s->running)
                if (!s->abandoned.count(index))
                    next = std::min(next, deadline);
        const quint64 seen = s->deadlinesChanged;
        const auto woken = [&] {
            return !s->finished.empty() || s->deadlinesChanged != seen
                || (s->Interrupted() && !s->pending.empty());
        };
        // A signal handler cannot wake the condition: look at the flag often.
        if (options.interrupt)
            next = std::min(next, Clock::now() + std::chrono::milliseconds(50));
        if (next == Clock::time_point::max())
            s->changed.wait(lock, woken);
        else
            s->changed.wait_until(lock, next, woken);

        std::deque<CliJobResult> arrived;
        arrived.swap(s->finished);
        if (s->Interrupted()) {
            // Targets not started are reported now, in their order.
            for (size_t index : s->pending) {
                CliJobResult never;
                never.index = index;
                never.interrupted = true;
                never.started = false;
                never.error = QStringLiteral("Interrupted before it was started; nothing was sent");
                arrived.push_back(std::move(never));
            }
            s->pending.clear();
            s->changed.notify_all();
        }
        if (watch) {
            const Clock::time_point now = Clock::now();
            for (const auto &[index, deadline] : s->running) {
                if (deadline > now || s->abandoned.count(index))
                    continue;
                s->abandoned.insert(index);
                CliJobResult late;
                late.index = index;
                late.timedOut = true;
                late.elapsedMs = options.timeoutMs + AbandonAfterDeadlineMs;
                late.error = TimedOut(options.timeoutMs)
                    + QStringLiteral("; its interface did not stop, and part of the command may "
                                     "have been sent");
                arrived.push_back(std::move(late));
            }
        }
        lock.unlock();
        for (const CliJobResult &result : arrived)
            done(result);
        reported += arrived.size();
        lock.lock();
    }
    const bool leftBehind = !s->running.empty();
    lock.unlock();

    for (std::thread &worker : workers) {
        if (leftBehind)
            worker.detach();
        else
            worker.join();
    }
    return !leftBehind;
}
