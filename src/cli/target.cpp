#include "cli/target.h"

#include "cli/usageerror.h"
#include "link/devicefile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace {

[[noreturn]] void Bad(const QString &uri, const QString &why)
{
    throw EUsageError(QStringLiteral("%1: %2").arg(uri, why));
}

// Splits "what?name=value&..." and hands each parameter to `take`.
QString SplitQuery(const QString &rest, const std::function<void(QString, QString)> &take)
{
    const qsizetype mark = rest.indexOf(QLatin1Char('?'));
    if (mark < 0)
        return rest;
    const QStringList pairs = rest.mid(mark + 1).split(QLatin1Char('&'), Qt::SkipEmptyParts);
    for (const QString &pair : pairs) {
        const qsizetype eq = pair.indexOf(QLatin1Char('='));
        take(eq < 0 ? pair : pair.left(eq), eq < 0 ? QString() : pair.mid(eq + 1));
    }
    return rest.left(mark);
}

void RejectQuery(const QString &uri, const QString &rest)
{
    if (rest.contains(QLatin1Char('?')))
        Bad(uri, QStringLiteral("this kind of target takes no parameters"));
}

QString Decoded(const QString &text)
{
    return QUrl::fromPercentEncoding(text.toUtf8());
}

void ParseTcp(CliTarget &t, const QString &rest)
{
    RejectQuery(t.uri, rest);
    QString authority = rest;
    if (authority.endsWith(QLatin1Char('/')))
        authority.chop(1);
    if (authority.contains(QLatin1Char('/')))
        Bad(t.uri, QStringLiteral("a network printer is named by host and port only"));
    if (authority.startsWith(QLatin1Char('[')))
        Bad(t.uri, QStringLiteral("IPv6 addresses are not supported; give an IPv4 address"));
    const qsizetype colon = authority.lastIndexOf(QLatin1Char(':'));
    t.host = colon < 0 ? authority : authority.left(colon);
    if (colon >= 0) {
        bool ok = false;
        const uint port = authority.mid(colon + 1).toUInt(&ok);
        if (!ok || port < 1 || port > 65535)
            Bad(t.uri,
                QStringLiteral("'%1' is not a port number (1 to 65535)")
                    .arg(authority.mid(colon + 1)));
        t.port = quint16(port);
    }
    static const QRegularExpression hostName(QStringLiteral(
        "^[A-Za-z0-9]([A-Za-z0-9-]{0,62})(\\.[A-Za-z0-9]([A-Za-z0-9-]{0,62}))*\\.?$"));
    if (t.host.isEmpty())
        Bad(t.uri, QStringLiteral("no host given"));
    // Four dotted numbers are an address and must be a valid one.
    static const QRegularExpression dotted(QStringLiteral("^[0-9]+(\\.[0-9]+){3}$"));
    if (dotted.match(t.host).hasMatch()) {
        in_addr a;
        if (::inet_pton(AF_INET, t.host.toLatin1().constData(), &a) != 1)
            Bad(t.uri, QStringLiteral("'%1' is not an IPv4 address").arg(t.host));
    } else if (!hostName.match(t.host).hasMatch()) {
        Bad(t.uri, QStringLiteral("'%1' is not a host name or IPv4 address").arg(t.host));
    }
}

void ParseCom(CliTarget &t, const QString &rest)
{
    const QString device = SplitQuery(rest, [&](const QString &name, const QString &value) {
        if (name != QLatin1String("baud"))
            Bad(t.uri,
                QStringLiteral("unknown parameter '%1' (a serial port takes baud=)").arg(name));
        bool ok = false;
        const uint rate = value.toUInt(&ok);
        if (!ok || !IsStandardBaudRate(rate) || QString::number(rate) != value)
            Bad(t.uri,
                QStringLiteral("'%1' is not a baud rate (9600, 19200, 38400, 115200, ...)")
                    .arg(value));
        t.baudRate = rate;
    });
    t.device = Decoded(device);
    if (t.device.isEmpty() || t.device == QLatin1String("/"))
        Bad(t.uri, QStringLiteral("no serial port given"));
}

void ParseLpt(CliTarget &t, const QString &rest)
{
    RejectQuery(t.uri, rest);
    t.device = Decoded(rest);
    if (t.device.isEmpty() || t.device == QLatin1String("/"))
        Bad(t.uri, QStringLiteral("no device given"));
}

void ParseCups(CliTarget &t, const QString &rest)
{
    RejectQuery(t.uri, rest);
    t.queue = Decoded(rest);
    if (t.queue.endsWith(QLatin1Char('/')))
        t.queue.chop(1);
    if (t.queue.isEmpty())
        Bad(t.uri, QStringLiteral("no printer queue given"));
}

void ParseFile(CliTarget &t, const QString &rest)
{
    RejectQuery(t.uri, rest);
    if (!rest.startsWith(QLatin1Char('/')))
        Bad(t.uri, QStringLiteral("a file target needs an absolute path (file:///path)"));
    t.device = Decoded(rest);
    if (t.device.endsWith(QLatin1Char('/')))
        Bad(t.uri, QStringLiteral("names a directory, not a file"));
}

} // namespace

QString CliTarget::ExclusiveKey() const
{
    switch (kind) {
    case Kind::Tcp:
        return QStringLiteral("tcp:%1:%2").arg(host.toLower()).arg(port);
    case Kind::Com:
        return QStringLiteral("dev:") + ComDevicePath(device);
    case Kind::Lpt:
        return QStringLiteral("dev:") + LptDevicePath(device);
    case Kind::Cups:
        return QStringLiteral("cups:") + queue.section(QLatin1Char('/'), 0, 0);
    case Kind::File:
        return QStringLiteral("dev:") + QFileInfo(device).absoluteFilePath();
    }
    return uri;
}

CliTarget ParseTargetUri(const QString &uri)
{
    CliTarget t;
    t.uri = uri;
    const qsizetype sep = uri.indexOf(QLatin1String("://"));
    if (sep <= 0)
        Bad(uri,
            QStringLiteral("not a target URI (tcp://HOST[:PORT], com://PORT[?baud=N], "
                           "lpt://DEVICE, cups://QUEUE or file:///PATH)"));
    const QString scheme = uri.left(sep).toLower();
    const QString rest = uri.mid(sep + 3);
    if (scheme == QLatin1String("tcp")) {
        t.kind = CliTarget::Kind::Tcp;
        ParseTcp(t, rest);
    } else if (scheme == QLatin1String("com")) {
        t.kind = CliTarget::Kind::Com;
        ParseCom(t, rest);
    } else if (scheme == QLatin1String("lpt")) {
        t.kind = CliTarget::Kind::Lpt;
        ParseLpt(t, rest);
    } else if (scheme == QLatin1String("cups")) {
        t.kind = CliTarget::Kind::Cups;
        ParseCups(t, rest);
    } else if (scheme == QLatin1String("file")) {
        t.kind = CliTarget::Kind::File;
        ParseFile(t, rest);
    } else {
        Bad(uri,
            QStringLiteral("unknown kind of target '%1' (tcp, com, lpt, cups or file)")
                .arg(uri.left(sep)));
    }
    return t;
}

QList<CliTarget> ReadTargetsFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EUsageError(
            QStringLiteral("%1: cannot read the targets file (%2)").arg(path, file.errorString()));
    QList<CliTarget> targets;
    int lineNumber = 0;
    // No URI is this long: a file without line breaks (a device that never
    // ends) is refused at its first line instead of read whole.
    constexpr qint64 MaxLineBytes = 4096;
    while (!file.atEnd()) {
        ++lineNumber;
        const QByteArray bytes = file.readLine(2 * MaxLineBytes);
        if (bytes.size() > MaxLineBytes)
            throw EUsageError(QStringLiteral("%1:%2: a line longer than %3 bytes is no target URI")
                                  .arg(path)
                                  .arg(lineNumber)
                                  .arg(MaxLineBytes));
        QString line = QString::fromUtf8(bytes);
        static const QRegularExpression comment(QStringLiteral("(^|\\s)#.*$"));
        line.remove(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        // A list of network printers is mostly a list of addresses.
        if (!line.contains(QLatin1String("://")))
            line.prepend(QLatin1String("tcp://"));
        try {
            targets << ParseTargetUri(line);
        } catch (const EUsageError &e) {
            throw EUsageError(
                QStringLiteral("%1:%2: %3").arg(path).arg(lineNumber).arg(e.Message()));
        }
    }
    return targets;
}

namespace {

QString ResolveIPv4(const QString &host)
{
    in_addr a;
    if (::inet_pton(AF_INET, host.toLatin1().constData(), &a) == 1)
        return host;
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int r = ::getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found);
    if (r != 0 || !found)
        throw ETarvolinError(QStringLiteral("Unknown host %1: %2")
                                 .arg(host, QString::fromLocal8Bit(::gai_strerror(r))));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr, text,
                sizeof text);
    ::freeaddrinfo(found);
    return QString::fromLatin1(text);
}

} // namespace

LinkTarget LinkTargetFor(const CliTarget &target)
{
    switch (target.kind) {
    case CliTarget::Kind::Tcp:
        return LinkTarget::Ethernet(ResolveIPv4(target.host), target.port);
    case CliTarget::Kind::Com:
        return LinkTarget::Com(target.device, target.baudRate);
    case CliTarget::Kind::Lpt:
        return LinkTarget::Lpt(target.device);
    case CliTarget::Kind::Cups:
        return LinkTarget::Driver(target.queue);
    case CliTarget::Kind::File:
        return LinkTarget::File(target.device);
    }
    return {};
}
