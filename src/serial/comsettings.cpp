#include "serial/comsettings.h"

#include "serial/cport.h"

#include <QtDebug>

#include <charconv>
#include <iterator>

// ---------------------------------------------------------------------------
// Text conversions

namespace {

template<class E, std::size_t N>
E FromText(const QString &text, const char *const (&texts)[N], E fallback)
{
    const QString upper = text.toUpper();
    for (std::size_t i = 0; i < N; ++i) {
        if (upper == QString::fromLatin1(texts[i]).toUpper())
            return E(i);
    }
    return fallback;
}

const char *const BaudRateTexts[]
    = { "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
        "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000" };
const char *const StopBitsTexts[] = { "1", "1.5", "2" };
const char *const DataBitsTexts[] = { "5", "6", "7", "8" };
const char *const ParityTexts[] = { "None", "Odd", "Even", "Mark", "Space" };
const char *const FlowControlTexts[] = { "Hardware", "Software", "None", "Custom" };
const char *const DTRTexts[] = { "Disable", "Enable", "Handshake" };
const char *const RTSTexts[] = { "Disable", "Enable", "Handshake", "Toggle" };

static_assert(std::size(BaudRateTexts) == br256000 + 1);
static_assert(std::size(StopBitsTexts) == sbTwoStopBits + 1);
static_assert(std::size(DataBitsTexts) == dbEight + 1);
static_assert(std::size(ParityTexts) == prSpace + 1);
static_assert(std::size(FlowControlTexts) == fcCustom + 1);
static_assert(std::size(DTRTexts) == dtrHandshake + 1);
static_assert(std::size(RTSTexts) == rtsToggle + 1);

TComExceptionHandler &ExceptionHandler()
{
    static TComExceptionHandler handler;
    return handler;
}

} // namespace

QString BaudRateToText(TBaudRate value)
{
    return QString::fromLatin1(BaudRateTexts[value]);
}
QString StopBitsToText(TStopBits value)
{
    return QString::fromLatin1(StopBitsTexts[value]);
}
QString DataBitsToText(TDataBits value)
{
    return QString::fromLatin1(DataBitsTexts[value]);
}
QString ParityToText(TParityBits value)
{
    return QString::fromLatin1(ParityTexts[value]);
}
QString FlowControlToText(TFlowControl value)
{
    return QString::fromLatin1(FlowControlTexts[value]);
}
QString DTRToText(TDTRFlowControl value)
{
    return QString::fromLatin1(DTRTexts[value]);
}
QString RTSToText(TRTSFlowControl value)
{
    return QString::fromLatin1(RTSTexts[value]);
}

TBaudRate BaudRateFromText(const QString &text)
{
    return FromText(text, BaudRateTexts, br9600);
}
TStopBits StopBitsFromText(const QString &text)
{
    return FromText(text, StopBitsTexts, sbOneStopBit);
}
TDataBits DataBitsFromText(const QString &text)
{
    return FromText(text, DataBitsTexts, dbEight);
}
TParityBits ParityFromText(const QString &text)
{
    return FromText(text, ParityTexts, prNone);
}
TFlowControl FlowControlFromText(const QString &text)
{
    return FromText(text, FlowControlTexts, fcCustom);
}
TDTRFlowControl DTRFromText(const QString &text)
{
    return FromText(text, DTRTexts, dtrDisable);
}
TRTSFlowControl RTSFromText(const QString &text)
{
    return FromText(text, RTSTexts, rtsDisable);
}

QString FlagToText(bool flag)
{
    return flag ? QStringLiteral("Yes") : QStringLiteral("No");
}

bool FlagFromText(const QString &text)
{
    return text.toUpper() == QLatin1String("YES");
}

QString CharToText(std::uint8_t code)
{
    if (code >= 33 && code <= 127)
        return QString(QChar(code));
    return QLatin1Char('#') + QString::number(code);
}

std::uint8_t CharFromText(const QString &text)
{
    if (text.isEmpty())
        return 0;
    if (text.startsWith(QLatin1Char('#')) && text.size() > 1) {
        // Digits only; anything else, or a number beyond a byte, is 0.
        const QByteArray digits = text.mid(1).toLatin1();
        unsigned value = 0;
        const char *end = digits.constData() + digits.size();
        const auto [ptr, ec] = std::from_chars(digits.constData(), end, value);
        if (ec != std::errc() || ptr != end || value > 255)
            return 0;
        return std::uint8_t(value);
    }
    return std::uint8_t(text.at(0).toLatin1());
}

std::uint32_t BaudRateValue(TBaudRate rate, std::uint32_t customBaudRate)
{
    switch (rate) {
    case brCustom:
        return customBaudRate;
    case br110:
        return 110;
    case br300:
        return 300;
    case br600:
        return 600;
    case br1200:
        return 1200;
    case br2400:
        return 2400;
    case br4800:
        return 4800;
    case br9600:
        return 9600;
    case br14400:
        return 14400;
    case br19200:
        return 19200;
    case br38400:
        return 38400;
    case br56000:
        return 56000;
    case br57600:
        return 57600;
    case br115200:
        return 115200;
    case br128000:
        return 128000;
    case br256000:
        return 256000;
    }
    return 9600;
}

// ---------------------------------------------------------------------------
// Errors

QString EComPort::TextOf(int portCode)
{
    static const char *const texts[] = {
        "Unable to open com port",
        "WriteFile function failed",
        "ReadFile function failed",
        "Invalid Async parameter",
        "PurgeComm function failed",
        "Unable to get async status",
        "SetCommState function failed",
        "SetCommTimeouts failed",
        "SetupComm function failed",
        "ClearCommError function failed",
        "GetCommModemStatus function failed",
        "EscapeCommFunction function failed",
        "TransmitCommChar function failed",
        "Cannot set property while connected",
        "EnumPorts function failed",
        "Failed to store settings",
        "Failed to load settings",
        "Link (un)registration failed",
        "Cannot change led state if ComPort is selected",
        "Cannot wait for event if event thread is created",
        "WaitForEvent method failed",
        "A component is linked to OnRxBuf event",
        "Registry error",
    };
    static_assert(std::size(texts) == pcRegistry);
    if (portCode < 1 || portCode > int(std::size(texts)))
        return QString();
    return QString::fromLatin1(texts[portCode - 1]);
}

EComPort::EComPort(int portCode, int systemCode)
    : ETarvolinError(systemCode == -1 ? TextOf(portCode)
                                      : TextOf(portCode)
                             + QStringLiteral(" (win error code: %1)").arg(systemCode))
    , portCode_(portCode)
    , systemCode_(systemCode)
{ }

void SetComExceptionHandler(TComExceptionHandler handler)
{
    ExceptionHandler() = std::move(handler);
}

void ReportComException(std::exception_ptr error)
{
    if (ExceptionHandler()) {
        ExceptionHandler()(error);
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception &e) {
        qWarning("Serial port: %s", e.what());
    } catch (...) {
        qWarning("Serial port: unknown failure");
    }
}

// ---------------------------------------------------------------------------
// Settings objects

namespace {
std::int32_t Evened(std::int32_t value)
{
    return value > 0 && value % 2 != 0 ? value - 1 : value;
}
} // namespace

void TComParity::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComParity::Assign(const TComParity &source)
{
    bits_ = source.bits_;
    check_ = source.check_;
    replace_ = source.replace_;
    replaceChar_ = source.replaceChar_;
    Changed();
}

void TComParity::SetBits(TParityBits value)
{
    if (StoreIfChanged(bits_, value))
        Changed();
}
void TComParity::SetCheck(bool value)
{
    if (StoreIfChanged(check_, value))
        Changed();
}
void TComParity::SetReplace(bool value)
{
    if (StoreIfChanged(replace_, value))
        Changed();
}
void TComParity::SetReplaceChar(std::uint8_t value)
{
    if (StoreIfChanged(replaceChar_, value))
        Changed();
}

void TComFlowControl::Changed()
{
    if (port_)
        port_->ApplyLineSettings();
}

void TComFlowControl::Assign(const TComFlowControl &source)
{
    outCTSFlow_ = source.outCTSFlow_;
    outDSRFlow_ = source.outDSRFlow_;
    controlDTR_ = source.controlDTR_;
    controlRTS_ = source.controlRTS_;
    xonXoffOut_ = source.xonXoffOut_;
    xonXoffIn_ = source.xonXoffIn_;
    dsrSensitivity_ = source.dsrSensitivity_;
    txContinueOnXoff_ = source.txContinueOnXoff_;
    xonChar_ = source.xonChar_;
    xoffChar_ = source.xoffChar_;
    Changed();
}

void TComFlowControl::SetOutCTSFlow(bool value)
{
    if (StoreIfChanged(outCTSFlow_, value))
        Changed();
}
void TComFlowControl::SetOutDSRFlow(bool value)
{
    if (StoreIfChanged(outDSRFlow_, value))
        Changed();
}
void TComFlowControl::SetControlDTR(TDTRFlowControl value)
{
    if (StoreIfChanged(controlDTR_, value))
        Changed();
}
void TComFlowControl::SetControlRTS(TRTSFlowControl value)
{
    if (StoreIfChanged(controlRTS_, value))
        Changed();
}
void TComFlowControl::SetXonXoffOut(bool value)
{
    if (StoreIfChanged(xonXoffOut_, value))
        Changed();
}
void TComFlowControl::SetXonXoffIn(bool value)
{
    if (StoreIfChanged(xonXoffIn_, value))
        Changed();
}
void TComFlowControl::SetDSRSensitivity(bool value)
{
    if (StoreIfChanged(dsrSensitivity_, value))
        Changed();
}
void TComFlowControl::SetTxContinueOnXoff(bool value)
{
    if (StoreIfChanged(txContinueOnXoff_, value))
        Changed();
}
void TComFlowControl::SetXonChar(std::uint8_t value)
{
    if (StoreIfChanged(xonChar_, value))
        Changed();
}
void TComFlowControl::SetXoffChar(std::uint8_t value)
{
    if (StoreIfChanged(xoffChar_, value))
        Changed();
}

TFlowControl TComFlowControl::FlowControl() const
{
    if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcHardware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_)
        return fcSoftware;
    if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_)
        return fcNone;
    return fcCustom;
}

void TComFlowControl::SetFlowControl(TFlowControl value)
{
    if (value != fcCustom) {
        controlRTS_ = rtsDisable;
        outCTSFlow_ = false;
        xonXoffIn_ = false;
        xonXoffOut_ = false;
    }
    switch (value) {
    case fcHardware:
        controlRTS_ = rtsHandshake;
        outCTSFlow_ = true;
        break;
    case fcSoftware:
        xonXoffIn_ = true;
        xonXoffOut_ = true;
        break;
    case fcNone:
    case fcCustom:
        break;
    }
    Changed();
}

void TComTimeouts::Changed()
{
    if (port_)
        port_->ApplyTimeoutSettings();
}

void TComTimeouts::Assign(const TComTimeouts &source)
{
    readInterval_ = source.readInterval_;
    readTotalMultiplier_ = source.readTotalMultiplier_;
    readTotalConstant_ = source.readTotalConstant_;
    writeTotalMultiplier_ = source.writeTotalMultiplier_;
    writeTotalConstant_ = source.writeTotalConstant_;
    Changed();
}

void TComTimeouts::SetReadInterval(std::int32_t value)
{
    if (StoreIfChanged(readInterval_, value))
        Changed();
}
void TComTimeouts::SetReadTotalMultiplier(std::int32_t value)
{
    if (StoreIfChanged(readTotalMultiplier_, value))
        Changed();
}
void TComTimeouts::SetReadTotalConstant(std::int32_t value)
{
    if (StoreIfChanged(readTotalConstant_, value))
        Changed();
}
void TComTimeouts::SetWriteTotalMultiplier(std::int32_t value)
{
    if (StoreIfChanged(writeTotalMultiplier_, value))
        Changed();
}
void TComTimeouts::SetWriteTotalConstant(std::int32_t value)
{
    if (StoreIfChanged(writeTotalConstant_, value))
        Changed();
}

void TComBuffer::Changed()
{
    if (port_)
        port_->ApplyBufferSizes();
}

void TComBuffer::Assign(const TComBuffer &source)
{
    inputSize_ = source.inputSize_;
    outputSize_ = source.outputSize_;
    Changed();
}

void TComBuffer::SetInputSize(std::int32_t value)
{
    if (StoreIfChanged(inputSize_, Evened(value)))
        Changed();
}
void TComBuffer::SetOutputSize(std::int32_t value)
{
    if (StoreIfChanged(outputSize_, Evened(value)))
        Changed();
}
