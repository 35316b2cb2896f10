#pragma once

#include <QList>
#include <QString>

// Printer devices present on this system right now, for the port lists.
// An entry's path is what the port opens; its description is what the
// system knows about the device (for a tooltip), empty when nothing.
struct DeviceEntry
{
    QString path;
    QString description;

    bool operator==(const DeviceEntry &) const = default;
};

// Where to look: the device and sysfs trees (tests point these at a tree of
// their own, since a pseudo-terminal never shows up among USB devices).
struct DeviceRoots
{
    QString dev = QStringLiteral("/dev");
    QString sys = QStringLiteral("/sys");
};

// USB serial adapters (ttyUSB*, ttyACM*) by name, then their stable
// /dev/serial/by-id/ names.
QList<DeviceEntry> SerialDevices(const DeviceRoots &roots = {});

// USB printers that no print queue has claimed: /dev/usb/lp0, lp1, ...
QList<DeviceEntry> UsbPrinterDevices(const DeviceRoots &roots = {});
