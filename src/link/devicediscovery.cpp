#include "link/devicediscovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

QString ReadAttribute(const QDir &dir, const QString &name)
{
    QFile f(dir.filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.read(256)).trimmed();
}

// What sysfs says about the USB device behind a class device (tty/ttyUSB0,
// usbmisc/lp0): the nearest directory above it that carries a vendor id.
QString UsbDescription(const QString &sysDir, const QString &classDevice)
{
    const QString start = QFileInfo(QDir(sysDir).filePath(classDevice + QStringLiteral("/device")))
                              .canonicalFilePath();
    if (start.isEmpty())
        return QString();
    const QString top = QFileInfo(sysDir).canonicalFilePath();
    QDir dir(start);
    while (dir.absolutePath().startsWith(top) && dir.absolutePath() != top) {
        const QString vendor = ReadAttribute(dir, QStringLiteral("idVendor"));
        if (!vendor.isEmpty()) {
            QStringList words;
            for (const char *name : { "manufacturer", "product" }) {
                const QString value = ReadAttribute(dir, QString::fromLatin1(name));
                if (!value.isEmpty())
                    words << value;
            }
            QString text = words.join(QLatin1Char(' '));
            const QString serial = ReadAttribute(dir, QStringLiteral("serial"));
            if (!serial.isEmpty())
                text += (text.isEmpty() ? QString() : QStringLiteral(", "))
                    + QStringLiteral("serial number ") + serial;
            const QString usbId = QStringLiteral("USB %1:%2")
                                      .arg(vendor, ReadAttribute(dir, QStringLiteral("idProduct")));
            return text.isEmpty() ? usbId : text + QStringLiteral(" (") + usbId + QLatin1Char(')');
        }
        if (!dir.cdUp())
            break;
    }
    return QString();
}

// Entries of a folder matching the patterns, in natural order (ttyUSB2
// before ttyUSB10).
QStringList Matching(const QDir &dir, const QStringList &patterns)
{
    QStringList names = dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    // Names differ only in their trailing number, compared as a number.
    auto split = [](const QString &name) {
        qsizetype digits = name.size();
        while (digits > 0 && name.at(digits - 1).isDigit())
            --digits;
        return std::pair { name.left(digits), name.mid(digits).toULongLong() };
    };
    std::sort(names.begin(), names.end(),
              [&](const QString &a, const QString &b) { return split(a) < split(b); });
    return names;
}

} // namespace

QList<DeviceEntry> SerialDevices(const DeviceRoots &roots)
{
    QList<DeviceEntry> entries;
    const QDir dev(roots.dev);
    for (const QString &pattern : { QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*") }) {
        for (const QString &name : Matching(dev, { pattern }))
            entries << DeviceEntry {
                dev.filePath(name), UsbDescription(roots.sys, QStringLiteral("class/tty/") + name)
            };
    }
    // The stable names point at the devices above; they survive re-plugging
    // into another socket.
    const QDir byId(dev.filePath(QStringLiteral("serial/by-id")));
    for (const QString &name : Matching(byId, { QStringLiteral("*") })) {
        const QString link = byId.filePath(name);
        const QString target = QFileInfo(link).canonicalFilePath();
        if (target.isEmpty())
            continue; // a dangling link: the device has gone
        const QString tty = QFileInfo(target).fileName();
        QString description = UsbDescription(roots.sys, QStringLiteral("class/tty/") + tty);
        description += (description.isEmpty() ? QString() : QStringLiteral(", "))
            + QStringLiteral("now ") + target;
        entries << DeviceEntry { link, description };
    }
    return entries;
}

QList<DeviceEntry> UsbPrinterDevices(const DeviceRoots &roots)
{
    QList<DeviceEntry> entries;
    const QDir usb(QDir(roots.dev).filePath(QStringLiteral("usb")));
    for (const QString &name : Matching(usb, { QStringLiteral("lp*") }))
        entries << DeviceEntry {
            usb.filePath(name), UsbDescription(roots.sys, QStringLiteral("class/usbmisc/") + name)
        };
    return entries;
}
