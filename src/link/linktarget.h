#pragma once

#include <QString>

#include <QtGlobal>

// Where a send or an exchange goes: the interface and what it needs. The
// window makes one from the "Interface Select" tab at each send, the
// command-line program from its URIs, and the link picks the backend by the
// kind.
struct LinkTarget
{
    enum class Kind { Com, Lpt, Ethernet, Driver, File };

    Kind kind = Kind::Driver;
    QString device; // Com: port name ("COM1" or a path); Lpt: "LPT1".."LPT4" or a path
    quint32 baudRate = 9600; // Com: bits per second
    QString host; // Ethernet: dotted IPv4 address
    quint16 port = 9100; // Ethernet: raw printing port
    QString queue; // Driver: installed printer
    QString fileName; // File: as typed, without ".bin"

    static LinkTarget Com(const QString &device, quint32 baudRate = 9600);
    static LinkTarget Lpt(const QString &device);
    static LinkTarget Ethernet(const QString &host, quint16 port = 9100);
    static LinkTarget Driver(const QString &queue);
    static LinkTarget File(const QString &fileName);

    // How messages name it: "COM1 (9600 baud)", "/dev/usb/lp0",
    // "10.0.3.11:9100", "printer \"Hall 3\"", "abc.bin".
    QString Name() const;
    // Whether the printer's answers can come back this way.
    bool TwoWay() const;
};

bool operator==(const LinkTarget &a, const LinkTarget &b);

// Whether a serial target may name this speed: the port's standard rates.
bool IsStandardBaudRate(quint32 bitsPerSecond);
// The device a serial port name opens: "COM1" is /dev/ttyS0, a path stands.
QString ComDevicePath(const QString &portName);
