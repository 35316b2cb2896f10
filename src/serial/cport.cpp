#include "serial/cport.h"

#include "serial/comthread.h"
#include "serial/posix_port.h"
#include "serial/termiosmap.h"

#include <QtDebug>

#include <algorithm>
#include <thread>

TCustomComPort::TCustomComPort(QObject *owner)
    : QObject(owner)
    , parity_(std::make_unique<TComParity>(this))
    , flowControl_(std::make_unique<TComFlowControl>(this))
    , timeouts_(std::make_unique<TComTimeouts>(this))
    , buffer_(std::make_unique<TComBuffer>(this))
{ }

TCustomComPort::~TCustomComPort()
{
    try {
        ClosePort();
    } catch (...) {
        // A destructor cannot report; make sure nothing is left behind.
        try {
            StopEventThread();
        } catch (...) { }
        posixport::CloseDevice(handle_);
        handle_ = -1;
        connected_ = false;
    }
}

template<class Slot, class... Args>
void TCustomComPort::NotifyLinks(Slot TComLink::*slot, Args... args)
{
    // A handler may attach or detach links: walk a copy.
    const std::vector<TComLink *> links = links_;
    for (TComLink *link : links) {
        if (link->*slot)
            (link->*slot)(this, args...);
    }
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    OpenDevice();
    connected_ = true;
    try {
        ConfigureDevice();
    } catch (...) {
        CloseDevice();
        connected_ = false;
        throw;
    }
    if (!events_.IsEmpty()) {
        try {
            StartEventThread();
        } catch (...) {
            CloseDevice();
            connected_ = false;
            throw;
        }
        threadCreated_ = true;
    } else {
        threadCreated_ = false;
    }
    NotifyLinks(&TComLink::OnLinkOpen, true);
    DoAfterOpen();
    bool on = LineSignals() & lsCTS;
    NotifyLinks(&TComLink::OnLinkCTS, on);
    DoCTSChange(on);
    on = LineSignals() & lsDSR;
    NotifyLinks(&TComLink::OnLinkDSR, on);
    DoDSRChange(on);
    on = LineSignals() & lsRLSD;
    NotifyLinks(&TComLink::OnLinkRLSD, on);
    DoRLSDChange(on);
}

void TCustomComPort::ClosePort()
{
    if (!connected_)
        return;
    NotifyLinks(&TComLink::OnLinkCTS, false);
    NotifyLinks(&TComLink::OnLinkDSR, false);
    NotifyLinks(&TComLink::OnLinkRLSD, false);
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    AbortPendingIo();
    if (threadCreated_) {
        StopEventThread();
        threadCreated_ = false;
    }
    CloseDevice();
    connected_ = false;
    NotifyLinks(&TComLink::OnLinkOpen, false);
    DoAfterClose();
}

void TCustomComPort::StartEventThread()
{
    const int inputSize = appliedInputSize_;
    const int rx80 = inputSize > 0 ? int(std::int64_t(inputSize) * 8 / 10) : 0;
    eventThread_ = std::make_unique<TComThread>(this, handle_, events_, syncMethod_, rx80);
    eventThread_->Start();
}

void TCustomComPort::StopEventThread()
{
    if (!eventThread_)
        return;
    eventThread_->StopAndWait();
    eventThread_.reset();
}

bool TCustomComPort::DeliveryWaiting() const
{
    return eventThread_ && eventThread_->DeliveryWaiting();
}

void TCustomComPort::OpenDevice()
{
    const posixport::OpenResult r = posixport::OpenExclusive(DevicePath(port_));
    if (r.error)
        throw With(EComPort(pcOpen, r.error),
                   { ErrorParticulars::Subject::SerialDevice,
                     QString::fromLocal8Bit(DevicePath(port_)),
                     r.error,
                     {} });
    handle_ = r.fd;
    // Error counters count from here.
    posixport::LineCounters c;
    bool supported = false;
    if (posixport::Counters(handle_, c, supported) == 0)
        lastCounters_ = { c.frame, c.parity, c.overrun, c.brk, c.bufferOverrun };
}

void TCustomComPort::CloseDevice()
{
    if (handle_ < 0)
        return;
    posixport::CloseDevice(handle_);
    handle_ = -1;
}

void TCustomComPort::ConfigureDevice()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
    LineSettings s;
    s.baudRate = baudRate_;
    s.customBaudRate = customBaudRate_;
    s.dataBits = dataBits_;
    s.stopBits = stopBits_;
    s.parity = parity_->Bits();
    s.parityCheck = parity_->Check();
    s.outCTSFlow = flowControl_->OutCTSFlow();
    s.controlDTR = flowControl_->ControlDTR();
    s.controlRTS = flowControl_->ControlRTS();
    s.xonXoffOut = flowControl_->XonXoffOut();
    s.xonXoffIn = flowControl_->XonXoffIn();
    s.xonChar = flowControl_->XonChar();
    s.xoffChar = flowControl_->XoffChar();
    if (int err = posixport::ApplyLineSettings(handle_, MapLineSettings(s)))
        throw EComPort(pcLineSettings, err);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!CanApply())
        return;
    // Reads never wait on this platform; only the write limit is used.
    appliedWriteMultiplier_ = std::uint32_t(timeouts_->WriteTotalMultiplier());
    appliedWriteConstant_ = std::uint32_t(timeouts_->WriteTotalConstant());
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!CanApply())
        return;
    // The kernel sizes its own queues: recorded only.
    appliedInputSize_ = buffer_->InputSize();
    appliedOutputSize_ = buffer_->OutputSize();
}

void TCustomComPort::AbortPendingIo()
{
    // Transfers here are synchronous, so nothing is outstanding; what is left
    // is to make sure the device is still there.
    if (int err = posixport::CheckOpen(handle_))
        throw EComPort(pcAbort, err);
}

posixport::Deadline TCustomComPort::WriteDeadline(qsizetype length) const
{
    const std::uint64_t limitMs
        = std::uint64_t(appliedWriteMultiplier_) * std::uint64_t(length) + appliedWriteConstant_;
    // Both zero: no time limit. Beyond a few years: none either.
    if (limitMs != 0 && limitMs < (std::uint64_t(1) << 40))
        return posixport::Clock::now() + std::chrono::milliseconds(limitMs);
    return std::nullopt;
}

double TCustomComPort::LineBytesPerSecond() const
{
    // A start bit, the data bits, the stop bits and the parity bit per byte:
    // ten bits with the printer's framing.
    return std::max(1.0, BaudRateValue(baudRate_, customBaudRate_) / 10.0);
}

EComPort TCustomComPort::WriteFailure(int err) const
{
    return With(EComPort(pcWrite, err),
                { ErrorParticulars::Subject::SerialDevice,
                  QString::fromLocal8Bit(DevicePath(port_)),
                  err,
                  {} });
}

int TCustomComPort::WriteText(const QByteArray &str)
{
    if (str.isEmpty())
        return 0;
    NotifyLinks(&TComLink::OnLinkTx, true);
    const posixport::WriteOutcome out
        = posixport::WriteAll(handle_, str.constData(), str.size(), WriteDeadline(str.size()));
    if (out.error)
        throw WriteFailure(out.error);
    if (out.sent == str.size() && eventThread_)
        eventThread_->NoteTxEmpty();
    NotifyLinks(&TComLink::OnLinkTxBuf, str.constData(), int(str.size()));
    return int(out.sent);
}

int TCustomComPort::ReadText(QByteArray &str, int count)
{
    if (count <= 0) {
        str.clear();
        return 0;
    }
    str.resize(count);
    int n = 0;
    try {
        n = ReadBytes(str.data(), count);
    } catch (...) {
        str.clear();
        throw;
    }
    str.resize(n);
    return n;
}

int TCustomComPort::ReadBytes(char *buffer, int count)
{
    if (count <= 0)
        return 0;
    int got = 0;
    if (int err = posixport::ReadAvailable(handle_, buffer, count, got))
        throw EComPort(pcRead, err);
    if (eventThread_)
        eventThread_->NoteConsumed(got);
    if (InputQueueCount() == 0)
        NotifyLinks(&TComLink::OnLinkRx, false);
    return got;
}

int TCustomComPort::InputQueueCount()
{
    int count = 0;
    if (int err = posixport::InputQueued(handle_, count))
        throw EComPort(pcQueueStatus, err);
    return count;
}

TComSignals TCustomComPort::LineSignals()
{
    TComSignals lines = 0;
    bool supported = false;
    if (int err = posixport::ModemLines(handle_, lines, supported))
        throw EComPort(pcModemStatus, err);
    return lines;
}

TComErrors TCustomComPort::CollectLineErrors()
{
    posixport::LineCounters now;
    bool supported = false;
    if (int err = posixport::Counters(handle_, now, supported))
        throw EComPort(pcQueueStatus, err);
    if (!supported)
        return 0;
    TComErrors errors = 0;
    if (now.frame != lastCounters_.frame)
        errors |= ceFramingError;
    if (now.parity != lastCounters_.parity && parity_->Check())
        errors |= ceParityError;
    if (now.overrun != lastCounters_.overrun)
        errors |= ceHardwareOverrun;
    if (now.brk != lastCounters_.brk)
        errors |= ceBreakReceived;
    if (now.bufferOverrun != lastCounters_.bufferOverrun)
        errors |= ceInputOverflow;
    lastCounters_ = { now.frame, now.parity, now.overrun, now.brk, now.bufferOverrun };
    return errors;
}

void TCustomComPort::AttachLink(TComLink *link)
{
    if (!link || std::find(links_.begin(), links_.end(), link) != links_.end())
        throw EComPort(pcLink);
    links_.push_back(link);
    hasLink_ = std::any_of(links_.begin(), links_.end(),
                           [](const TComLink *l) { return bool(l->OnLinkRxBuf); });
}

void TCustomComPort::DetachLink(TComLink *link)
{
    const auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        throw EComPort(pcLink);
    links_.erase(it);
    hasLink_ = std::any_of(links_.begin(), links_.end(),
                           [](const TComLink *l) { return bool(l->OnLinkRxBuf); });
}

void TCustomComPort::DeliverEvents(TComEvents events)
{
    // A handler may close the port; what is left of the batch is then moot.
    if (events.Contains(evError) && connected_) {
        if (const TComErrors errors = CollectLineErrors())
            DoError(errors);
    }
    if (events.Contains(evRxChar) && connected_)
        ReceivePath();
    if (events.Contains(evTxEmpty) && connected_) {
        NotifyLinks(&TComLink::OnLinkTx, false);
        NotifyLinks(&TComLink::OnLinkTxEmpty);
        DoTxEmpty();
    }
    if (events.Contains(evBreak) && connected_)
        DoBreak();
    if (events.Contains(evRing) && connected_) {
        NotifyLinks(&TComLink::OnLinkRing);
        DoRing();
    }
    if (events.Contains(evCTS) && connected_) {
        const bool on = LineSignals() & lsCTS;
        NotifyLinks(&TComLink::OnLinkCTS, on);
        DoCTSChange(on);
    }
    if (events.Contains(evDSR) && connected_) {
        const bool on = LineSignals() & lsDSR;
        NotifyLinks(&TComLink::OnLinkDSR, on);
        DoDSRChange(on);
    }
    if (events.Contains(evRxFlag) && connected_) {
        NotifyLinks(&TComLink::OnLinkRxFlag);
        DoRxFlag();
    }
    if (events.Contains(evRLSD) && connected_) {
        const bool on = LineSignals() & lsRLSD;
        NotifyLinks(&TComLink::OnLinkRLSD, on);
        DoRLSDChange(on);
    }
    if (events.Contains(evRx80Full) && connected_)
        DoRx80Full();
}

void TCustomComPort::ReceivePath()
{
    int count = InputQueueCount();
    if (count > 0)
        NotifyLinks(&TComLink::OnLinkRx, true);
    if (count > 0 && hasLink_) {
        // One buffer of exactly the queued size, shared by every link.
        const auto buffer = std::make_unique_for_overwrite<char[]>(std::size_t(count));
        const int got = ReadBytes(buffer.get(), count);
        // Hand on only what was read: fewer bytes than queued would
        // otherwise reach the links as garbage.
        if (got > 0) {
            DoRxBuf(buffer.get(), got);
            NotifyLinks(&TComLink::OnLinkRxBuf, static_cast<const char *>(buffer.get()), got);
        }
        count = 0;
    }
    if (count > 0)
        DoRxChar(count);
}

TCustomComPort::DeliveryHold::DeliveryHold(TCustomComPort *port)
    : port_(port)
{
    if (port_)
        ++port_->deliveryHolds_;
}

TCustomComPort::DeliveryHold::~DeliveryHold()
{
    if (!port_ || --port_->deliveryHolds_ > 0)
        return;
    // A batch the event loop passed over while the hold lasted (the port was
    // left open by a failure) is delivered now, as it would have been.
    if (port_->eventThread_ && port_->eventThread_->DeliveryWaiting())
        port_->eventThread_->ServiceLater();
}

// Properties

void TCustomComPort::SetConnected(bool value)
{
    if (loading_) {
        openAfterLoading_ = value;
        return;
    }
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::EndLoading()
{
    loading_ = false;
    if (openAfterLoading_) {
        openAfterLoading_ = false;
        try {
            OpenPort();
        } catch (...) {
            ReportComException(std::current_exception());
        }
    }
}

void TCustomComPort::SetPort(const QString &value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_ && !loading_) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (StoreIfChanged(baudRate_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetCustomBaudRate(std::uint32_t value)
{
    if (StoreIfChanged(customBaudRate_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetDataBits(TDataBits value)
{
    if (StoreIfChanged(dataBits_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetStopBits(TStopBits value)
{
    if (StoreIfChanged(stopBits_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetDiscardNull(bool value)
{
    if (StoreIfChanged(discardNull_, value))
        ApplyLineSettings();
}
void TCustomComPort::SetEventChar(std::uint8_t value)
{
    if (StoreIfChanged(eventChar_, value))
        ApplyLineSettings();
}

void TCustomComPort::SetEvents(TComEvents value)
{
    // Takes effect at the next OpenPort.
    events_ = value;
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_ && !loading_)
        throw EComPort(pcSetWhileConnected);
    syncMethod_ = value;
}

// Notifications

void TCustomComPort::DoAfterClose()
{
    if (OnAfterClose)
        OnAfterClose(this);
}
void TCustomComPort::DoAfterOpen()
{
    if (OnAfterOpen)
        OnAfterOpen(this);
}
void TCustomComPort::DoBeforeClose()
{
    if (OnBeforeClose)
        OnBeforeClose(this);
}
void TCustomComPort::DoBeforeOpen()
{
    if (OnBeforeOpen)
        OnBeforeOpen(this);
}
void TCustomComPort::DoRxChar(int count)
{
    if (OnRxChar)
        OnRxChar(this, count);
}
void TCustomComPort::DoRxBuf(const char *buffer, int count)
{
    if (OnRxBuf)
        OnRxBuf(this, buffer, count);
}
void TCustomComPort::DoTxEmpty()
{
    if (OnTxEmpty)
        OnTxEmpty(this);
}
void TCustomComPort::DoBreak()
{
    if (OnBreak)
        OnBreak(this);
}
void TCustomComPort::DoRing()
{
    if (OnRing)
        OnRing(this);
}
void TCustomComPort::DoRxFlag()
{
    if (OnRxFlag)
        OnRxFlag(this);
}
void TCustomComPort::DoCTSChange(bool onOff)
{
    if (OnCTSChange)
        OnCTSChange(this, onOff);
}
void TCustomComPort::DoDSRChange(bool onOff)
{
    if (OnDSRChange)
        OnDSRChange(this, onOff);
}
void TCustomComPort::DoError(TComErrors errors)
{
    if (OnError)
        OnError(this, errors);
}
void TCustomComPort::DoRLSDChange(bool onOff)
{
    if (OnRLSDChange)
        OnRLSDChange(this, onOff);
}
void TCustomComPort::DoRx80Full()
{
    if (OnRx80Full)
        OnRx80Full(this);
}

void ConfigurePrinterPort(TCustomComPort &port)
{
    port.SetBaudRate(br9600);
    port.SetDataBits(dbEight);
    port.SetStopBits(sbOneStopBit);
    port.Parity().SetBits(prNone);
    port.FlowControl().SetControlDTR(dtrDisable);
    port.FlowControl().SetControlRTS(rtsDisable);
    port.FlowControl().SetXonXoffOut(true);
    port.FlowControl().SetXonXoffIn(true);
    port.FlowControl().SetXonChar(0x11);
    port.FlowControl().SetXoffChar(0x13);
    port.Buffer().SetOutputSize(0);
    port.SetEvents(TComEvents::All());
    port.SetSyncMethod(smThreadSync);
}
