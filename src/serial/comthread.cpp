#include "serial/comthread.h"

#include "serial/posix_port.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <algorithm>

namespace {

// Modem lines and error counters have no wake-up of their own: sample them.
constexpr int LineSampleMs = 50;
// Bytes that stay unread keep the device readable, so while they sit there
// the queue is sampled instead of waited on.
constexpr int InputSampleMs = 20;
// A device that hung up reports it at every wait; look again only now and then.
constexpr int HangupSampleMs = 100;

// The order in which a batch is delivered, one step per event.
constexpr TComEvent DeliveryOrder[]
    = { evError, evRxChar, evTxEmpty, evBreak, evRing, evCTS, evDSR, evRxFlag, evRLSD, evRx80Full };

int WaitTimeout(int current, int candidate)
{
    return current < 0 ? candidate : std::min(current, candidate);
}

} // namespace

TComThread::TComThread(TCustomComPort *port, int device, TComEvents events, TSyncMethod syncMethod,
                       int rx80Threshold)
    : port_(port)
    , device_(device)
    , events_(events)
    , syncMethod_(syncMethod)
    , rx80Threshold_(rx80Threshold)
    , handOver_(std::make_shared<HandOver>())
{
    int err = posixport::CreateEventFd(stopFd_);
    if (!err)
        err = posixport::CreateEventFd(wakeFd_);
    if (!err)
        err = posixport::CreateEventFd(deliverFd_);
    if (err) {
        posixport::CloseFd(stopFd_);
        posixport::CloseFd(wakeFd_);
        posixport::CloseFd(deliverFd_);
        throw EComPort(pcOpen, err);
    }
    // The port's event loop learns of a waiting batch through this; the
    // delivery itself is queued so it never runs inside the notifier's signal.
    notifier_ = std::make_unique<QSocketNotifier>(deliverFd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, port_, [this] {
        posixport::DrainEventFd(deliverFd_);
        ServiceLater();
    });
}

void TComThread::ServiceLater()
{
    // A held batch stays waiting: ClosePort delivers it, or the end of the
    // hold asks again.
    QMetaObject::invokeMethod(
        port_,
        [port = port_, handOver = handOver_] {
            if (!port->DeliveriesHeld())
                ServiceWaiting(handOver, port);
        },
        Qt::QueuedConnection);
}

TComThread::~TComThread()
{
    if (thread_.joinable())
        StopAndWait();
    notifier_.reset();
    posixport::CloseFd(stopFd_);
    posixport::CloseFd(wakeFd_);
    posixport::CloseFd(deliverFd_);
}

void TComThread::Start()
{
    thread_ = std::thread([this] { Run(); });
}

void TComThread::StopAndWait()
{
    posixport::SignalEventFd(stopFd_);
    // A handler run from here may close the port, which stops the thread and
    // destroys this object: past a delivery only these copies are used, and
    // nothing at all once that inner stop has joined the thread.
    const std::shared_ptr<HandOver> handOver = handOver_;
    TCustomComPort *const port = port_;
    std::unique_lock lock(handOver->mutex);
    while (!handOver->finished) {
        if (handOver->state == HandOver::Waiting) {
            lock.unlock();
            ServiceWaiting(handOver, port);
            lock.lock();
            if (handOver->joined)
                return;
            continue;
        }
        // Only this thread runs deliveries: one running now is further up
        // this very call stack (the port was closed from inside a handler).
        // Waiting for it would never end, so let the event thread go.
        if (handOver->state == HandOver::Running && !handOver->abandoned) {
            handOver->abandoned = true;
            handOver->changed.notify_all();
        }
        handOver->changed.wait(lock);
    }
    lock.unlock();
    if (thread_.joinable())
        thread_.join();
    lock.lock();
    handOver->joined = true;
}

void TComThread::NoteTxEmpty()
{
    txEmpty_.store(true);
    posixport::SignalEventFd(wakeFd_);
}

void TComThread::NoteConsumed(int count)
{
    if (count > 0)
        consumed_.fetch_add(std::uint64_t(count));
}

bool TComThread::DeliveryWaiting() const
{
    std::lock_guard lock(handOver_->mutex);
    return handOver_->state == HandOver::Waiting;
}

bool TComThread::ServiceWaiting(const std::shared_ptr<HandOver> &handOver, TCustomComPort *port)
{
    std::unique_lock lock(handOver->mutex);
    if (handOver->state != HandOver::Waiting)
        return false;
    const TComEvents events = handOver->events;
    if (handOver->windowStep) {
        // Release the sender first, then run the step; a failure there goes
        // to the application, and the thread carries on.
        handOver->state = HandOver::Done;
        handOver->changed.notify_all();
        lock.unlock();
        if (port->Connected()) {
            try {
                port->DeliverEvents(events);
            } catch (...) {
                ReportComException(std::current_exception());
            }
        }
        return true;
    }
    handOver->state = HandOver::Running;
    lock.unlock();
    bool failed = false;
    try {
        port->DeliverEvents(events);
    } catch (...) {
        // Handed back to the event thread, which ends; nothing is shown.
        failed = true;
    }
    lock.lock();
    if (handOver->state == HandOver::Running) {
        handOver->state = HandOver::Done;
        handOver->failed = failed;
    }
    handOver->changed.notify_all();
    // The event thread now ends, discarding both device queues on its way out.
    // Wait for that (it blocks on nothing), so that bytes arriving after the
    // failed delivery stay queued instead of being lost to a late discard.
    if (failed)
        handOver->changed.wait(lock, [&] { return handOver->finished; });
    return true;
}

bool TComThread::HandOverAndWait(TComEvents events, bool windowStep)
{
    std::unique_lock lock(handOver_->mutex);
    if (handOver_->abandoned)
        return false;
    handOver_->events = events;
    handOver_->windowStep = windowStep;
    handOver_->failed = false;
    handOver_->state = HandOver::Waiting;
    handOver_->changed.notify_all();
    lock.unlock();
    posixport::SignalEventFd(deliverFd_);
    lock.lock();
    handOver_->changed.wait(
        lock, [&] { return handOver_->state == HandOver::Done || handOver_->abandoned; });
    const bool carryOn
        = handOver_->state == HandOver::Done && !handOver_->failed && !handOver_->abandoned;
    handOver_->state = HandOver::Idle;
    return carryOn;
}

bool TComThread::Dispatch(TComEvents events)
{
    switch (syncMethod_) {
    case smThreadSync:
        return HandOverAndWait(events, false);
    case smWindowSync:
        for (TComEvent e : DeliveryOrder) {
            if (events.Contains(e) && !HandOverAndWait(TComEvents { e }, true))
                return false;
        }
        return true;
    case smNone:
        try {
            port_->DeliverEvents(events);
        } catch (...) {
            return false;
        }
        return true;
    }
    return false;
}

void TComThread::Run()
{
    // What was last reported, to tell new conditions from old ones. Bytes are
    // counted as "arrived so far" = consumed by reads + still queued; the
    // consumed count is read first so the sum never runs ahead of the truth.
    std::uint64_t reportedArrived = 0;
    int previousQueued = 0;
    bool watchInput = true;
    bool hungUp = false;

    TComSignals lines = 0;
    bool linesSupported = false;
    posixport::ModemLines(device_, lines, linesSupported);
    posixport::LineCounters counters;
    bool countersSupported = false;
    posixport::Counters(device_, counters, countersSupported);

    for (;;) {
        int timeout = -1;
        if (linesSupported || countersSupported)
            timeout = LineSampleMs;
        if (!watchInput)
            timeout = WaitTimeout(timeout, InputSampleMs);
        if (hungUp)
            timeout = WaitTimeout(timeout, HangupSampleMs);
        const posixport::WaitOutcome w = posixport::WaitForEvents(hungUp ? -1 : device_, watchInput,
                                                                  stopFd_, wakeFd_, timeout);
        if (w.failed || w.stop)
            break;
        if (w.wake)
            posixport::DrainEventFd(wakeFd_);
        if (w.hangup)
            hungUp = true;

        TComEvents found;
        const std::uint64_t consumed = consumed_.load();
        int queued = 0;
        posixport::InputQueued(device_, queued);
        const std::uint64_t arrived = consumed + std::uint64_t(std::max(queued, 0));
        if (arrived > reportedArrived) {
            found.Include(evRxChar);
            reportedArrived = arrived;
        }
        watchInput = queued == 0 || found.Contains(evRxChar);
        if (rx80Threshold_ > 0 && queued >= rx80Threshold_ && previousQueued < rx80Threshold_)
            found.Include(evRx80Full);
        previousQueued = queued;

        if (txEmpty_.exchange(false))
            found.Include(evTxEmpty);

        if (linesSupported) {
            TComSignals now = 0;
            bool supported = true;
            if (posixport::ModemLines(device_, now, supported) == 0 && supported) {
                const TComSignals changed = now ^ lines;
                if (changed & lsCTS)
                    found.Include(evCTS);
                if (changed & lsDSR)
                    found.Include(evDSR);
                if (changed & lsRLSD)
                    found.Include(evRLSD);
                if (changed & now & lsRing)
                    found.Include(evRing);
                lines = now;
            }
        }
        if (countersSupported) {
            posixport::LineCounters now;
            bool supported = true;
            if (posixport::Counters(device_, now, supported) == 0 && supported) {
                if (now.brk != counters.brk)
                    found.Include(evBreak);
                if (now.frame != counters.frame || now.parity != counters.parity
                    || now.overrun != counters.overrun
                    || now.bufferOverrun != counters.bufferOverrun)
                    found.Include(evError);
                if (now.ring != counters.ring)
                    found.Include(evRing);
                counters = now;
            }
        }

        found = found & events_;
        if (!found.IsEmpty() && !Dispatch(found))
            break;
    }

    // On the way out both queues are discarded.
    posixport::DiscardQueues(device_, true, true);
    std::lock_guard lock(handOver_->mutex);
    handOver_->finished = true;
    handOver_->changed.notify_all();
}
