#include "link/linktarget.h"

#include "link/devicefile.h"
#include "serial/comsettings.h"
#include "serial/termiosmap.h"

#include <QFile>

LinkTarget LinkTarget::Com(const QString &device, quint32 baudRate)
{
    LinkTarget t;
    t.kind = Kind::Com;
    t.device = device;
    t.baudRate = baudRate;
    return t;
}

LinkTarget LinkTarget::Lpt(const QString &device)
{
    LinkTarget t;
    t.kind = Kind::Lpt;
    t.device = device;
    return t;
}

LinkTarget LinkTarget::Ethernet(const QString &host, quint16 port)
{
    LinkTarget t;
    t.kind = Kind::Ethernet;
    t.host = host;
    t.port = port;
    return t;
}

LinkTarget LinkTarget::Driver(const QString &queue)
{
    LinkTarget t;
    t.kind = Kind::Driver;
    t.queue = queue;
    return t;
}

LinkTarget LinkTarget::File(const QString &fileName)
{
    LinkTarget t;
    t.kind = Kind::File;
    t.fileName = fileName;
    return t;
}

QString LinkTarget::Name() const
{
    switch (kind) {
    case Kind::Com:
        return QStringLiteral("%1 (%2 baud)").arg(device).arg(baudRate);
    case Kind::Lpt:
        return LptDevicePath(device);
    case Kind::Ethernet:
        return QStringLiteral("%1:%2").arg(host).arg(port);
    case Kind::Driver:
        return QStringLiteral("printer \"%1\"").arg(queue);
    case Kind::File:
        return fileName;
    }
    return {};
}

bool LinkTarget::TwoWay() const
{
    switch (kind) {
    case Kind::Com:
    case Kind::Lpt:
    case Kind::Ethernet:
        return true;
    case Kind::Driver:
    case Kind::File:
        return false;
    }
    return false;
}

bool operator==(const LinkTarget &a, const LinkTarget &b)
{
    return a.kind == b.kind && a.device == b.device && a.baudRate == b.baudRate && a.host == b.host
        && a.port == b.port && a.queue == b.queue && a.fileName == b.fileName;
}

bool IsStandardBaudRate(quint32 bitsPerSecond)
{
    const TBaudRate rate = BaudRateFromText(QString::number(bitsPerSecond));
    return rate != brCustom && BaudRateValue(rate, 0) == bitsPerSecond;
}

QString ComDevicePath(const QString &portName)
{
    return QFile::decodeName(DevicePath(portName));
}
