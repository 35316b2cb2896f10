#pragma once

// The event thread of an open port: it waits for device events and hands
// each batch to the port's own thread, blocking until it has been delivered.

#include "serial/cport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

class QSocketNotifier;

class TComThread
{
public:
    // Created on the port's thread (it owns the wake-up notifier there); the
    // thread starts with Start().
    TComThread(TCustomComPort *port, int device, TComEvents events, TSyncMethod syncMethod,
               int rx80Threshold);
    ~TComThread();
    TComThread(const TComThread &) = delete;
    TComThread &operator=(const TComThread &) = delete;

    void Start();
    // Signals the stop event and waits for the thread to end, delivering a
    // batch it is waiting to hand over meanwhile.
    void StopAndWait();

    // Called by the port's transfers.
    void NoteTxEmpty();
    void NoteConsumed(int count);

    bool DeliveryWaiting() const;
    // Asks the port's event loop to deliver a batch that is waiting (one the
    // loop passed over while the port's deliveries were held).
    void ServiceLater();

private:
    // The one hand-over slot between the threads. Shared, so that a delivery
    // still running when the thread object goes away never touches freed
    // memory.
    struct HandOver
    {
        enum State { Idle, Waiting, Running, Done };
        std::mutex mutex;
        std::condition_variable changed;
        State state = Idle;
        TComEvents events;
        bool windowStep = false; // release the thread before running the step
        bool failed = false; // the delivery raised
        bool abandoned = false; // the port closed from inside a delivery
        bool finished = false; // the thread has ended
        bool joined = false; // StopAndWait is done with the thread
    };

    void Run();
    // false: the thread must end.
    bool Dispatch(TComEvents events);
    bool HandOverAndWait(TComEvents events, bool windowStep);
    // Runs a waiting delivery on the port's thread; false when none waited.
    static bool ServiceWaiting(const std::shared_ptr<HandOver> &handOver, TCustomComPort *port);

    TCustomComPort *port_;
    const int device_;
    const TComEvents events_;
    const TSyncMethod syncMethod_;
    const int rx80Threshold_;
    int stopFd_ = -1;
    int wakeFd_ = -1; // transfers nudge the thread
    int deliverFd_ = -1; // the thread nudges the port's event loop
    std::unique_ptr<QSocketNotifier> notifier_;
    std::shared_ptr<HandOver> handOver_;
    std::atomic<bool> txEmpty_ { false };
    std::atomic<std::uint64_t> consumed_ { 0 };
    std::thread thread_;
};
