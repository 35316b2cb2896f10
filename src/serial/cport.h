#pragma once

// The serial port component: line settings, blocking transfers, the event
// thread that watches the open device and the links that receive its bytes.
// Everything here runs on the thread that owns the port (the main thread),
// except the event thread's wait for device events (and, with smNone, the
// delivery of those events).

#include "core/exceptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

// ---------------------------------------------------------------------------
// Enumerations (value 0 first)

enum TBaudRate {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
enum TDataBits { dbFive, dbSix, dbSeven, dbEight };
enum TStopBits { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TParityBits { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod { smThreadSync, smWindowSync, smNone };
enum TComEvent {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};

// A set of TComEvent: bit n stands for the n-th value.
class TComEvents
{
public:
    constexpr TComEvents() = default;
    constexpr TComEvents(std::initializer_list<TComEvent> events)
    {
        for (TComEvent e : events)
            bits_ |= Bit(e);
    }
    static constexpr TComEvents FromBits(std::uint16_t bits)
    {
        TComEvents s;
        s.bits_ = bits & AllBits;
        return s;
    }
    static constexpr TComEvents All() { return FromBits(AllBits); }

    constexpr std::uint16_t Bits() const { return bits_; }
    constexpr bool Contains(TComEvent e) const { return bits_ & Bit(e); }
    constexpr bool IsEmpty() const { return bits_ == 0; }
    constexpr void Include(TComEvent e) { bits_ |= Bit(e); }
    constexpr void Exclude(TComEvent e) { bits_ &= ~Bit(e); }
    constexpr TComEvents operator&(TComEvents o) const { return FromBits(bits_ & o.bits_); }
    constexpr TComEvents operator|(TComEvents o) const { return FromBits(bits_ | o.bits_); }
    constexpr bool operator==(const TComEvents &) const = default;

private:
    static constexpr std::uint16_t AllBits = 0x3FF;
    static constexpr std::uint16_t Bit(TComEvent e) { return std::uint16_t(1u << unsigned(e)); }
    std::uint16_t bits_ = 0;
};

// Line errors collected by CollectLineErrors, bits 0 to 7.
using TComErrors = std::uint8_t;
inline constexpr TComErrors ceFramingError = 0x01;
inline constexpr TComErrors ceParityError = 0x02;
inline constexpr TComErrors ceHardwareOverrun = 0x04;
inline constexpr TComErrors ceBreakReceived = 0x08;
inline constexpr TComErrors ceDeviceIoError = 0x10;
inline constexpr TComErrors ceUnsupportedMode = 0x20;
inline constexpr TComErrors ceInputOverflow = 0x40;
inline constexpr TComErrors ceOutputFull = 0x80;

// Input line states reported by LineSignals, bits 0 to 3.
using TComSignals = std::uint8_t;
inline constexpr TComSignals lsCTS = 0x01;
inline constexpr TComSignals lsDSR = 0x02;
inline constexpr TComSignals lsRing = 0x04;
inline constexpr TComSignals lsRLSD = 0x08;

// ---------------------------------------------------------------------------
// Text conversions: fixed texts in value order; from-text compares
// upper-cased and falls back to a fixed value.

QString BaudRateToText(TBaudRate value);
QString StopBitsToText(TStopBits value);
QString DataBitsToText(TDataBits value);
QString ParityToText(TParityBits value);
QString FlowControlToText(TFlowControl value);
QString DTRToText(TDTRFlowControl value);
QString RTSToText(TRTSFlowControl value);

TBaudRate BaudRateFromText(const QString &text); // fallback br9600
TStopBits StopBitsFromText(const QString &text); // fallback sbOneStopBit
TDataBits DataBitsFromText(const QString &text); // fallback dbEight
TParityBits ParityFromText(const QString &text); // fallback prNone
TFlowControl FlowControlFromText(const QString &text); // fallback fcCustom
TDTRFlowControl DTRFromText(const QString &text); // fallback dtrDisable
TRTSFlowControl RTSFromText(const QString &text); // fallback rtsDisable

QString FlagToText(bool flag); // "Yes" / "No"
bool FlagFromText(const QString &text); // true only for YES in any case
QString CharToText(std::uint8_t code); // the character for 33..127, else "#<code>"
std::uint8_t CharFromText(const QString &text);

// The bits per second a rate stands for (brCustom: the custom rate).
std::uint32_t BaudRateValue(TBaudRate rate, std::uint32_t customBaudRate);

// ---------------------------------------------------------------------------
// Errors

// A failure of the serial port: one of 23 fixed texts (port code 1..23),
// followed by " (win error code: %d)" when an operating-system call failed;
// the system code is then that call's errno, otherwise -1.
class EComPort : public ETarvolinError
{
public:
    explicit EComPort(int portCode, int systemCode = -1);

    int PortCode() const { return portCode_; }
    int SystemCode() const { return systemCode_; }

    // The fixed text of a port code, without the system suffix.
    static QString TextOf(int portCode);

private:
    int portCode_;
    int systemCode_;
};

// Port codes (the first argument of EComPort).
enum TComPortCode {
    pcOpen = 1,
    pcWrite,
    pcRead,
    pcNoPendingIo,
    pcAbort,
    pcAsyncStatus,
    pcLineSettings,
    pcTimeouts,
    pcQueueSizes,
    pcQueueStatus,
    pcModemStatus,
    pcEscape,
    pcTransmitChar,
    pcSetWhileConnected,
    pcEnumPorts,
    pcStore,
    pcLoad,
    pcLink,
    pcLedState,
    pcThreadCreated,
    pcWaitForEvent,
    pcRxBufLink,
    pcRegistry
};

// Where failures go that no caller can receive (an open deferred to the end
// of loading, a step delivered through smWindowSync). The program points this
// at its error box; without a handler the failure is logged as a warning.
using TComExceptionHandler = std::function<void(std::exception_ptr)>;
void SetComExceptionHandler(TComExceptionHandler handler);
void ReportComException(std::exception_ptr error);

// ---------------------------------------------------------------------------
// Event handler types

class TCustomComPort;

using TNotifyEvent = std::function<void(QObject *sender)>;
using TRxCharEvent = std::function<void(QObject *sender, int count)>;
using TRxBufEvent = std::function<void(QObject *sender, const char *buffer, int count)>;
using TComSignalEvent = std::function<void(QObject *sender, bool onOff)>;
using TComErrorEvent = std::function<void(QObject *sender, TComErrors errors)>;

// ---------------------------------------------------------------------------
// Settings objects. Each belongs to one port (or to none, as a free-standing
// value); a change while that port is open is applied to the device at once.

class TComParity
{
public:
    explicit TComParity(TCustomComPort *port = nullptr)
        : port_(port)
    { }
    TComParity(const TComParity &) = delete;
    TComParity &operator=(const TComParity &) = delete;

    // Copies every field, then re-applies the line settings once.
    void Assign(const TComParity &source);

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value);
    bool Check() const { return check_; }
    void SetCheck(bool value);
    bool Replace() const { return replace_; }
    void SetReplace(bool value);
    std::uint8_t ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(std::uint8_t value);

private:
    void Changed();

    TCustomComPort *port_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    std::uint8_t replaceChar_ = 0;
};

class TComFlowControl
{
public:
    explicit TComFlowControl(TCustomComPort *port = nullptr)
        : port_(port)
    { }
    TComFlowControl(const TComFlowControl &) = delete;
    TComFlowControl &operator=(const TComFlowControl &) = delete;

    void Assign(const TComFlowControl &source);

    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    std::uint8_t XonChar() const { return xonChar_; }
    void SetXonChar(std::uint8_t value);
    std::uint8_t XoffChar() const { return xoffChar_; }
    void SetXoffChar(std::uint8_t value);

    // Summary of the fields above; writing it rewrites them (fcCustom leaves
    // them alone) and re-applies the line settings even when nothing changed.
    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);

private:
    void Changed();

    TCustomComPort *port_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    std::uint8_t xonChar_ = 0x11;
    std::uint8_t xoffChar_ = 0x13;
};

class TComTimeouts
{
public:
    explicit TComTimeouts(TCustomComPort *port = nullptr)
        : port_(port)
    { }
    TComTimeouts(const TComTimeouts &) = delete;
    TComTimeouts &operator=(const TComTimeouts &) = delete;

    void Assign(const TComTimeouts &source);

    std::int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(std::int32_t value);
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(std::int32_t value);
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(std::int32_t value);
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(std::int32_t value);
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(std::int32_t value);

private:
    void Changed();

    TCustomComPort *port_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

// Driver queue sizes; a positive odd size is stored one lower.
class TComBuffer
{
public:
    explicit TComBuffer(TCustomComPort *port = nullptr)
        : port_(port)
    { }
    TComBuffer(const TComBuffer &) = delete;
    TComBuffer &operator=(const TComBuffer &) = delete;

    void Assign(const TComBuffer &source);

    std::int32_t InputSize() const { return inputSize_; }
    void SetInputSize(std::int32_t value);
    std::int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(std::int32_t value);

private:
    void Changed();

    TCustomComPort *port_;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};

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
