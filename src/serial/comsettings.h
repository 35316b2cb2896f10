#pragma once

// The serial port's value types: enumerations and their fixed texts, the
// port's exception, and the four settings objects a port owns. A settings
// object without a port is a free-standing value; one that belongs to a port
// applies every change to the open device at once.

#include "core/exceptions.h"

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>

class TCustomComPort;

// Sets a property's field; true when the value changed, so that the change
// is applied to an open device only then.
template<class T> bool StoreIfChanged(T &field, T value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

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
