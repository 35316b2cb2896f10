#pragma once

// The serial port component: line settings, blocking transfers, the event
// thread that watches the open device and the links that receive its bytes.
// Everything here runs on the thread that owns the port (the main thread),
// except the event thread's wait for device events (and, with smNone, the
// delivery of those events).

#include "serial/comsettings.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// ---------------------------------------------------------------------------
// Event handler types

class TCustomComPort;

using TNotifyEvent = std::function<void(QObject *sender)>;
using TRxCharEvent = std::function<void(QObject *sender, int count)>;
using TRxBufEvent = std::function<void(QObject *sender, const char *buffer, int count)>;
using TComSignalEvent = std::function<void(QObject *sender, bool onOff)>;
using TComErrorEvent = std::function<void(QObject *sender, TComErrors errors)>;

// ---------------------------------------------------------------------------
// A receiver attached to a port. Every slot is optional; the port calls the
// set ones in attach order. The link belongs to whoever attached it.

struct TComLink
{
    TComSignalEvent OnLinkOpen; // true after open, false after close
    TRxBufEvent OnLinkRxBuf; // received bytes were read
    TRxBufEvent OnLinkTxBuf; // a write completed with these bytes
    TNotifyEvent OnLinkTxEmpty; // output queue ran empty
    TNotifyEvent OnLinkRxFlag; // event character received
    TComSignalEvent OnLinkCTS;
    TComSignalEvent OnLinkDSR;
    TComSignalEvent OnLinkRLSD;
    TNotifyEvent OnLinkRing;
    TComSignalEvent OnLinkTx; // true when a write starts, false on output empty
    TComSignalEvent OnLinkRx; // true when bytes are found queued, false once read empty
};

class TComThread;

// ---------------------------------------------------------------------------
// The port.

class TCustomComPort : public QObject
{
    Q_OBJECT
public:
    explicit TCustomComPort(QObject *owner = nullptr);
    ~TCustomComPort() override;

    // Opening and closing. Both do nothing when the port is already in the
    // requested state.
    void OpenPort();
    void ClosePort();

    // Blocks until every byte has left the output queue or the write timeout
    // (WriteTotalMultiplier x length + WriteTotalConstant ms) has run out;
    // returns the number of bytes sent.
    int WriteText(const QByteArray &str);

    // The same write for a caller that shows progress and may stop it. The
    // bytes go out in pieces, with never more than a quarter of a second of
    // line time waiting in a device that shows its queue, so that stopping
    // is quick; one that shows none (a pseudo-terminal) takes what it can in
    // writes that wait for room as a plain write does. `proceed`
    // hears how many bytes the line has carried (see LineCarriedCount: never
    // more than left the driver, never faster than the line's rate, never
    // less than before) at least every PaceMs while the write runs, and once
    // more at its end with what the printer gets: every byte when the write
    // is complete, otherwise what left the driver and was not discarded (also
    // before a failure is raised). When it answers false the write stops:
    // the piece under way may finish for a quarter of a second, the rest is
    // discarded, and the count sent is returned.
    using Proceed = std::function<bool(qint64 sent)>;
    static constexpr int PaceMs = 40;
    int WriteText(const QByteArray &str, const Proceed &proceed);
    // With `stalled`, a write that has carried nothing for StallAfterMs says
    // so about once a second: for how long, and whether the printer holds the
    // line with Xoff (as far as the device shows it); once the line moves
    // again it hears a quiet time of 0. Someone watches such a write and may
    // stop it, so it has no write time limit: a paused printer waits for a
    // person.
    using Stalled = std::function<void(qint64 quietMs, bool xoff)>;
    static constexpr int StallAfterMs = 10000;
    int WriteText(const QByteArray &str, const Proceed &proceed, const Stalled &stalled);
    // Never waits: returns min(queued, count) bytes at once; str holds
    // exactly the bytes read.
    int ReadText(QByteArray &str, int count);
    int ReadBytes(char *buffer, int count);

    int InputQueueCount();
    TComSignals LineSignals();
    TComErrors CollectLineErrors();
    void AbortPendingIo();

    // Links. Attaching an attached link or detaching an unattached one
    // raises code 18.
    void AttachLink(TComLink *link);
    void DetachLink(TComLink *link);
    // Whether some attached link takes received bytes (OnLinkRxBuf).
    bool HasLink() const { return hasLink_; }

    // While a hold lives, batches of device events are not delivered from the
    // owning thread's event loop: they wait for ClosePort (which delivers as
    // always) or for the last hold to end. An operation that keeps the event
    // loop turning between OpenPort and ClosePort takes one, so that nothing
    // is read from under its own reads. Holds nest.
    class DeliveryHold
    {
    public:
        explicit DeliveryHold(TCustomComPort *port);
        ~DeliveryHold();
        DeliveryHold(const DeliveryHold &) = delete;
        DeliveryHold &operator=(const DeliveryHold &) = delete;

    private:
        QPointer<TCustomComPort> port_;
    };
    bool DeliveriesHeld() const { return deliveryHolds_ > 0; }

    // While loading, setters only store their values; EndLoading opens the
    // port when Connected was set meanwhile.
    void BeginLoading() { loading_ = true; }
    void EndLoading();
    bool Loading() const { return loading_; }

    // Properties
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    QString Port() const { return port_; }
    void SetPort(const QString &value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::uint32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::uint32_t value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    std::uint8_t EventChar() const { return eventChar_; }
    void SetEventChar(std::uint8_t value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    TComParity &Parity() { return *parity_; }
    const TComParity &Parity() const { return *parity_; }
    void SetParity(const TComParity &value) { parity_->Assign(value); }
    TComFlowControl &FlowControl() { return *flowControl_; }
    const TComFlowControl &FlowControl() const { return *flowControl_; }
    void SetFlowControl(const TComFlowControl &value) { flowControl_->Assign(value); }
    TComTimeouts &Timeouts() { return *timeouts_; }
    const TComTimeouts &Timeouts() const { return *timeouts_; }
    void SetTimeouts(const TComTimeouts &value) { timeouts_->Assign(value); }
    TComBuffer &Buffer() { return *buffer_; }
    const TComBuffer &Buffer() const { return *buffer_; }
    void SetBuffer(const TComBuffer &value) { buffer_->Assign(value); }

    // Whether OpenPort started the event thread.
    bool ThreadCreated() const { return threadCreated_; }
    // Whether the event thread is blocked handing a batch of events to this
    // thread (for diagnostics and tests).
    bool DeliveryWaiting() const;
    // The device descriptor while open, -1 otherwise.
    int Handle() const { return handle_; }

    // Event handler slots, all optional.
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRxFlag;
    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TNotifyEvent OnRx80Full;

protected:
    virtual void OpenDevice();
    virtual void CloseDevice();
    virtual void ConfigureDevice();

    // Each fires one event when its handler is set. Every notification goes
    // through these.
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(int count);
    virtual void DoRxBuf(const char *buffer, int count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoRx80Full();

    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;

    bool CanApply() const { return connected_ && !loading_; }
    std::optional<std::chrono::steady_clock::time_point> WriteDeadline(qsizetype length) const;
    double LineBytesPerSecond() const;
    // A failed write, with the device it concerns.
    EComPort WriteFailure(int err) const;
    void StartEventThread();
    void StopEventThread();
    // Runs on the owning thread with one batch of device events.
    void DeliverEvents(TComEvents events);
    void ReceivePath();
    template<class Slot, class... Args> void NotifyLinks(Slot TComLink::*slot, Args... args);

    std::unique_ptr<TComThread> eventThread_;
    bool threadCreated_ = false;
    int handle_ = -1;
    std::vector<TComLink *> links_;
    bool hasLink_ = false;
    bool connected_ = false;
    bool loading_ = false;
    bool openAfterLoading_ = false;
    int deliveryHolds_ = 0;

    QString port_ = QStringLiteral("COM1");
    TBaudRate baudRate_ = br9600;
    std::uint32_t customBaudRate_ = 9600;
    TDataBits dataBits_ = dbEight;
    TStopBits stopBits_ = sbOneStopBit;
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComFlowControl> flowControl_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComBuffer> buffer_;
    bool discardNull_ = false;
    std::uint8_t eventChar_ = 0;
    TComEvents events_ = TComEvents::All();
    TSyncMethod syncMethod_ = smThreadSync;

    // What the device was last given (write deadline, queue sizes).
    std::uint32_t appliedWriteMultiplier_ = 100;
    std::uint32_t appliedWriteConstant_ = 1000;
    std::int32_t appliedInputSize_ = 1024;
    std::int32_t appliedOutputSize_ = 1024;
    // Error counters seen by the last CollectLineErrors.
    struct Counters
    {
        int frame = 0, parity = 0, overrun = 0, brk = 0, bufferOverrun = 0;
    } lastCounters_;
};

// The component as the window places it; it adds no behaviour.
class TComPort : public TCustomComPort
{
    Q_OBJECT
public:
    explicit TComPort(QObject *owner = nullptr)
        : TCustomComPort(owner)
    { }
};

// The settings the main window's port carries: the printer's line (8 data
// bits, no parity, one stop bit, Xon/Xoff both ways with 0x11/0x13, DTR and
// RTS held off) and no recommended output queue.
void ConfigurePrinterPort(TCustomComPort &port);
