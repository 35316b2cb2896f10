#include "serial/termiosmap.h"

// termios2 (arbitrary rates) lives in the kernel's header, which must not meet
// <termios.h> in the same file.
#include <asm/termbits.h>

#include <QRegularExpression>

/*
 * How the settings reach a Linux terminal device:
 *
 *  - Raw mode always: no input or output processing, no echo, no signals;
 *    the descriptor is non-blocking, so reads return at once.
 *  - Speed: 110 .. 115200 through their standard codes; 14400, 56000,
 *    128000, 256000 and custom rates through BOTHER with the rate in
 *    c_ispeed/c_ospeed.
 *  - Data bits CS5..CS8; parity PARENB (+PARODD for odd, +CMSPAR for mark and
 *    space); 1.5 stop bits have no counterpart and become 2 (CSTOPB).
 *  - Parity.Check turns on input parity checking (INPCK); the kernel then
 *    passes a faulty byte as 00, so Parity.Replace/ReplaceChar have no
 *    further counterpart.
 *  - Xon/Xoff out (IXON: a received Xoff stops our output) and in (IXOFF: the
 *    kernel sends Xoff when its input queue fills) with XonChar/XoffChar as
 *    VSTART/VSTOP. The Xon/Xoff limits are the kernel's own.
 *  - RTS handshake and CTS output flow are both CRTSCTS; DTR and RTS are
 *    otherwise raised or lowered through the modem-control ioctls (DTR
 *    handshake and RTS toggle raise the line). DSR flow, DSR sensitivity,
 *    TxContinueOnXoff, DiscardNull and EventChar have no counterpart and are
 *    only recorded.
 *  - The device is local (CLOCAL) and never hangs up the line on close.
 */

std::uint32_t SpeedCode(std::uint32_t bitsPerSecond)
{
    switch (bitsPerSecond) {
    case 110:
        return B110;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default: // a number, not one of our enums: every other rate is arbitrary
        return BOTHER;
    }
}

std::uint32_t DataBitsFlags(TDataBits value)
{
    switch (value) {
    case dbFive:
        return CS5;
    case dbSix:
        return CS6;
    case dbSeven:
        return CS7;
    case dbEight:
        return CS8;
    }
    return CS8;
}

std::uint32_t StopBitsFlags(TStopBits value)
{
    switch (value) {
    case sbOneStopBit:
        return 0;
    case sbOne5StopBits: // no 1.5 on this platform
    case sbTwoStopBits:
        return CSTOPB;
    }
    return 0;
}

std::uint32_t ParityFlags(TParityBits value)
{
    switch (value) {
    case prNone:
        return 0;
    case prOdd:
        return PARENB | PARODD;
    case prEven:
        return PARENB;
    case prMark:
        return PARENB | CMSPAR | PARODD;
    case prSpace:
        return PARENB | CMSPAR;
    }
    return 0;
}

ModemLineAction DTRAction(TDTRFlowControl value)
{
    switch (value) {
    case dtrDisable:
        return ModemLineAction::Lower;
    case dtrEnable:
    case dtrHandshake: // no DTR/DSR handshake here: keep the line up so the far end talks
        return ModemLineAction::Raise;
    }
    return ModemLineAction::Lower;
}

ModemLineAction RTSAction(TRTSFlowControl value)
{
    switch (value) {
    case rtsDisable:
        return ModemLineAction::Lower;
    case rtsEnable:
    case rtsToggle: // no per-transmission toggling here
        return ModemLineAction::Raise;
    case rtsHandshake:
        return ModemLineAction::Kernel;
    }
    return ModemLineAction::Lower;
}

DeviceLineSettings MapLineSettings(const LineSettings &s)
{
    DeviceLineSettings d;
    d.speed = BaudRateValue(s.baudRate, s.customBaudRate);
    d.cflag = SpeedCode(d.speed) | DataBitsFlags(s.dataBits) | StopBitsFlags(s.stopBits)
        | ParityFlags(s.parity) | CREAD | CLOCAL;
    d.rts = RTSAction(s.controlRTS);
    d.dtr = DTRAction(s.controlDTR);
    if (d.rts == ModemLineAction::Kernel || s.outCTSFlow)
        d.cflag |= CRTSCTS;
    if (s.xonXoffOut)
        d.iflag |= IXON;
    if (s.xonXoffIn)
        d.iflag |= IXOFF;
    if (s.parityCheck)
        d.iflag |= INPCK;
    d.startChar = s.xonChar;
    d.stopChar = s.xoffChar;
    return d;
}

QByteArray DevicePath(const QString &port)
{
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,5})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (port.startsWith(QLatin1Char('/')))
        return port.toLocal8Bit();
    const QRegularExpressionMatch m = comName.match(port);
    if (m.hasMatch())
        return "/dev/ttyS" + QByteArray::number(m.captured(1).toInt() - 1);
    return "/dev/" + port.toLocal8Bit();
}
