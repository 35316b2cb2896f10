#pragma once

// Pure functions that turn the port's settings into what the Linux terminal
// interface takes. No device is touched here, so all of it is testable alone.

#include "serial/cport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// What to do with a modem control output line when the settings are applied.
enum class ModemLineAction {
    Lower,
    Raise,
    Kernel // driven by the kernel's hardware handshake
};

// Everything of the port's settings that reaches the line.
struct LineSettings
{
    TBaudRate baudRate = br9600;
    std::uint32_t customBaudRate = 9600;
    TDataBits dataBits = dbEight;
    TStopBits stopBits = sbOneStopBit;
    TParityBits parity = prNone;
    bool parityCheck = false;
    bool outCTSFlow = false;
    TDTRFlowControl controlDTR = dtrDisable;
    TRTSFlowControl controlRTS = rtsDisable;
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    std::uint8_t xonChar = 0x11;
    std::uint8_t xoffChar = 0x13;
};

// The device settings: the four flag words of a termios2 record, the speed
// (a standard speed code, or the arbitrary-rate code with the rate itself),
// the Xon/Xoff characters and the two modem output lines.
struct DeviceLineSettings
{
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0; // includes the speed code
    std::uint32_t lflag = 0;
    std::uint32_t speed = 0; // bits per second, for c_ispeed/c_ospeed
    std::uint8_t startChar = 0;
    std::uint8_t stopChar = 0;
    ModemLineAction dtr = ModemLineAction::Lower;
    ModemLineAction rts = ModemLineAction::Lower;
};

DeviceLineSettings MapLineSettings(const LineSettings &settings);

// The speed code of a rate: the standard constant, or BOTHER for rates that
// have none (the kernel's arbitrary-rate interface takes those).
std::uint32_t SpeedCode(std::uint32_t bitsPerSecond);
std::uint32_t DataBitsFlags(TDataBits value);
std::uint32_t StopBitsFlags(TStopBits value);
std::uint32_t ParityFlags(TParityBits value);
ModemLineAction DTRAction(TDTRFlowControl value);
ModemLineAction RTSAction(TRTSFlowControl value);

// The device path of a port name: "COMn" is /dev/ttyS(n-1), a name starting
// with "/" is used as it stands, any other name is looked up in /dev.
QByteArray DevicePath(const QString &port);
