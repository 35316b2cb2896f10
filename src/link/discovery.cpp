#include "link/discovery.h"

#include "commands/hostreplies.h"
#include "core/exceptions.h"

#include <QElapsedTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <ifaddrs.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Offsets of the reply's fields.
struct Span
{
    int offset;
    int length;
};
constexpr Span ProductNumber { 0x04, 8 };
constexpr Span ProductName { 0x0C, 20 };
constexpr Span Firmware { 0x27, 10 };
constexpr Span Mac { 0x36, 6 };
constexpr Span Serial { 0x3C, 10 };
constexpr Span Ip { 0x48, 4 };
constexpr Span Mask { 0x4C, 4 };
constexpr Span Gateway { 0x50, 4 };
constexpr Span SystemName { 0x54, 0xD4 - 0x54 };
const QByteArray ReplyMarker = QByteArrayLiteral(":,.\x03");
constexpr int ReceiveBufferBytes = 4 * 1024 * 1024;
constexpr int MaxDatagramsPerTurn = 256;

// NUL-padded ASCII; none when a byte before the padding is not printable.
std::optional<QString> Text(const QByteArray &d, Span s)
{
    QByteArray field = d.mid(s.offset, s.length);
    const qsizetype nul = field.indexOf('\0');
    if (nul >= 0)
        field.truncate(nul);
    for (char c : field)
        if (uchar(c) < 0x20 || uchar(c) > 0x7e)
            return std::nullopt;
    return QString::fromLatin1(field);
}

QString Dotted(const QByteArray &d, Span s)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(uchar(d[s.offset]))
        .arg(uchar(d[s.offset + 1]))
        .arg(uchar(d[s.offset + 2]))
        .arg(uchar(d[s.offset + 3]));
}

void PutText(QByteArray &d, Span s, const QString &text)
{
    const QByteArray bytes = text.toLatin1().left(s.length - 1);
    d.replace(s.offset, bytes.size(), bytes);
}

void PutAddress(QByteArray &d, Span s, const QString &dotted)
{
    in_addr a {};
    if (::inet_pton(AF_INET, dotted.toLatin1().constData(), &a) == 1)
        d.replace(s.offset, 4, reinterpret_cast<const char *>(&a), 4);
}

class Fd
{
public:
    explicit Fd(int fd = -1)
        : fd_(fd)
    { }
    ~Fd()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(Fd &&o) noexcept
        : fd_(std::exchange(o.fd_, -1))
    { }
    Fd &operator=(Fd &&o) noexcept
    {
        std::swap(fd_, o.fd_);
        return *this;
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::optional<sockaddr_in> Endpoint(const QString &address, quint16 port)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) != 1)
        return std::nullopt;
    return a;
}

QString DottedNumber(quint32 a)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(a >> 24)
        .arg((a >> 16) & 0xff)
        .arg((a >> 8) & 0xff)
        .arg(a & 0xff);
}

// One address of the sweep: connecting, then asking who it is.
struct SweepProbe
{
    Fd fd;
    QString address;
    QElapsedTimer started;
    bool asked = false;
    QByteArray reply;
};

std::vector<QString> SweepHosts(const QString &cidr)
{
    const QStringList parts = cidr.split(QLatin1Char('/'));
    bool ok = parts.size() == 2;
    const int bits = ok ? parts[1].toInt(&ok) : 0;
    in_addr base {};
    if (!ok || bits < 16 || bits > 32
        || ::inet_pton(AF_INET, parts[0].toLatin1().constData(), &base) != 1)
        throw ETarvolinError(
            QStringLiteral("'%1' is not a subnet to sweep (A.B.C.D/N, N from 16 to 32)").arg(cidr));
    const quint32 mask = bits == 32 ? 0xffffffffu : ~((1u << (32 - bits)) - 1);
    const quint32 first = ntohl(base.s_addr) & mask;
    const quint32 count = bits == 32 ? 1 : (1u << (32 - bits));
    std::vector<QString> hosts;
    for (quint32 i = 0; i < count; ++i) {
        // Network and broadcast addresses are no printers.
        if (bits < 31 && (i == 0 || i == count - 1))
            continue;
        hosts.push_back(DottedNumber(first + i));
    }
    return hosts;
}

quint32 Numeric(const QString &dotted)
{
    in_addr a {};
    ::inet_pton(AF_INET, dotted.toLatin1().constData(), &a);
    return ntohl(a.s_addr);
}

} // namespace

bool operator==(const DiscoveredPrinter &a, const DiscoveredPrinter &b)
{
    return a.address == b.address && a.productNumber == b.productNumber
        && a.productName == b.productName && a.firmware == b.firmware
        && a.serialNumber == b.serialNumber && a.systemName == b.systemName
        && a.subnetMask == b.subnetMask && a.gateway == b.gateway && a.macAddress == b.macAddress
        && a.model == b.model && a.swept == b.swept && a.statedAddress == b.statedAddress;
}

QByteArray DiscoveryProbe()
{
    return QByteArrayLiteral(".,:\x01\x00\x00");
}

bool IsDiscoveryProbe(const QByteArray &datagram)
{
    return datagram == DiscoveryProbe();
}

std::optional<DiscoveredPrinter> ParseDiscoveryReply(const QByteArray &d)
{
    if (d.size() < SystemName.offset + 1 || !d.startsWith(ReplyMarker))
        return std::nullopt;
    DiscoveredPrinter p;
    const auto number = Text(d, ProductNumber);
    const auto name = Text(d, ProductName);
    const auto firmware = Text(d, Firmware);
    const auto serial = Text(d, Serial);
    const auto system = Text(d, SystemName);
    if (!number || !name || !firmware || !serial || !system)
        return std::nullopt;
    p.productNumber = *number;
    p.productName = *name;
    p.firmware = *firmware;
    p.serialNumber = *serial;
    p.systemName = *system;
    p.address = Dotted(d, Ip);
    if (p.address == QLatin1String("0.0.0.0"))
        return std::nullopt;
    p.subnetMask = Dotted(d, Mask);
    p.gateway = Dotted(d, Gateway);
    QStringList mac;
    for (int i = 0; i < Mac.length; ++i)
        mac << QStringLiteral("%1")
                   .arg(uchar(d[Mac.offset + i]), 2, 16, QLatin1Char('0'))
                   .toUpper();
    p.macAddress = mac.join(QLatin1Char(':'));
    return p;
}

QByteArray BuildDiscoveryReply(const DiscoveredPrinter &p)
{
    QByteArray d(DiscoveryReplySize, '\0');
    d.replace(0, ReplyMarker.size(), ReplyMarker);
    PutText(d, ProductNumber, p.productNumber);
    PutText(d, ProductName, p.productName);
    PutText(d, Firmware, p.firmware);
    PutText(d, Serial, p.serialNumber);
    PutText(d, SystemName, p.systemName);
    PutAddress(d, Ip, p.address);
    PutAddress(d, Mask, p.subnetMask);
    PutAddress(d, Gateway, p.gateway);
    const QStringList mac = p.macAddress.split(QLatin1Char(':'));
    for (int i = 0; i < Mac.length && i < mac.size(); ++i)
        d[Mac.offset + i] = char(mac[i].toUInt(nullptr, 16));
    return d;
}

QStringList BroadcastAddresses()
{
    QStringList found;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return found;
    for (ifaddrs *i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)
            || !(i->ifa_flags & IFF_BROADCAST) || !i->ifa_broadaddr)
            continue;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(i->ifa_broadaddr)->sin_addr, text,
                    sizeof text);
        if (!found.contains(QString::fromLatin1(text)))
            found << QString::fromLatin1(text);
    }
    ::freeifaddrs(list);
    return found;
}

DiscoveryResult DiscoverPrinters(const DiscoveryOptions &options)
{
    DiscoveryResult result;
    std::map<quint32, DiscoveredPrinter> byAddress;
    std::deque<QString> hosts;
    if (!options.sweep.isEmpty())
        for (const QString &h : SweepHosts(options.sweep))
            hosts.push_back(h);

    std::vector<sockaddr_in> targets;
    for (const QString &a : options.addresses) {
        const auto e = Endpoint(a, options.port);
        if (!e)
            throw ETarvolinError(QStringLiteral("'%1' is not an IPv4 address").arg(a));
        targets.push_back(*e);
    }
    if (options.broadcast)
        for (const QString &a : BroadcastAddresses())
            if (const auto e = Endpoint(a, options.port))
                targets.push_back(*e);

    Fd udp(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (udp.get() < 0)
        throw ETarvolinError(QStringLiteral("Discovery: no network socket: %1")
                                 .arg(QString::fromLocal8Bit(std::strerror(errno))));
    const int on = 1;
    ::setsockopt(udp.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    // Room for a burst of replies from a large network while a turn of the
    // loop serves the sweep; beyond the system's limit only where allowed.
    if (::setsockopt(udp.get(), SOL_SOCKET, SO_RCVBUFFORCE, &ReceiveBufferBytes,
                     sizeof ReceiveBufferBytes)
        != 0)
        ::setsockopt(udp.get(), SOL_SOCKET, SO_RCVBUF, &ReceiveBufferBytes,
                     sizeof ReceiveBufferBytes);
    const QByteArray probe = DiscoveryProbe();
    const auto sendProbes = [&] {
        // A target that cannot be reached (no route) is no reason to stop.
        for (const sockaddr_in &t : targets)
            ::sendto(udp.get(), probe.constData(), size_t(probe.size()), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr *>(&t), sizeof t);
    };
    const auto keep = [&](quint32 address, DiscoveredPrinter p) {
        if (byAddress.count(address))
            return;
        if (int(byAddress.size()) >= MaxDiscoveredPrinters) {
            ++result.unkeptPrinters;
            return;
        }
        byAddress.emplace(address, std::move(p));
    };

    QElapsedTimer clock;
    clock.start();
    const auto left = [&] { return options.timeoutMs - clock.elapsed(); };
    sendProbes();
    // Datagrams get lost: once more a third of the way in.
    bool repeated = false;
    std::vector<SweepProbe> sweeping;
    while (left() > 0) {
        while (!hosts.empty() && int(sweeping.size()) < options.sweepParallel) {
            SweepProbe s;
            s.address = hosts.front();
            hosts.pop_front();
            s.fd = Fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            const auto e = Endpoint(s.address, options.sweepPort);
            if (s.fd.get() < 0 || !e)
                continue;
            const int r = ::connect(s.fd.get(), reinterpret_cast<const sockaddr *>(&*e), sizeof *e);
            if (r != 0 && errno != EINPROGRESS)
                continue;
            s.started.start();
            sweeping.push_back(std::move(s));
        }
        if (!repeated && clock.elapsed() >= options.timeoutMs / 3) {
            sendProbes();
            repeated = true;
        }

        std::vector<pollfd> fds;
        fds.push_back({ udp.get(), POLLIN, 0 });
        qint64 wait = left();
        if (!repeated)
            wait = std::min<qint64>(wait, options.timeoutMs / 3 - clock.elapsed());
        for (const SweepProbe &s : sweeping) {
            fds.push_back({ s.fd.get(), short(s.asked ? POLLIN : POLLOUT), 0 });
            wait = std::min<qint64>(wait, options.connectTimeoutMs - s.started.elapsed());
        }
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), int(std::max<qint64>(0, wait)));
        if (ready < 0 && errno != EINTR)
            throw ETarvolinError(
                QStringLiteral("Discovery: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));

        // A bounded number a turn: a flood must not keep the sweep and the
        // deadline waiting.
        for (int i = 0; i < MaxDatagramsPerTurn && (fds[0].revents & POLLIN); ++i) {
            char buffer[2048];
            sockaddr_in from {};
            socklen_t fromLength = sizeof from;
            const ssize_t n = ::recvfrom(udp.get(), buffer, sizeof buffer, 0,
                                         reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0)
                break;
            const quint32 sender = ntohl(from.sin_addr.s_addr);
            const QByteArray datagram(buffer, n);
            if (IsDiscoveryProbe(datagram) || byAddress.count(sender))
                continue; // our own broadcast heard back, or an address already listed
            auto p = ParseDiscoveryReply(datagram);
            if (!p) {
                ++result.malformedReplies;
                continue;
            }
            // Where the reply came from is the printer; what it says of
            // itself is only noted.
            const QString address = DottedNumber(sender);
            if (p->address != address)
                p->statedAddress = p->address;
            p->address = address;
            keep(sender, std::move(*p));
        }
        for (size_t i = 0; i < sweeping.size(); ++i) {
            SweepProbe &s = sweeping[i];
            const short revents = fds[i + 1].revents;
            bool done = s.started.elapsed() >= options.connectTimeoutMs;
            if (!done && !s.asked && (revents & (POLLOUT | POLLERR | POLLHUP))) {
                int err = 0;
                socklen_t len = sizeof err;
                ::getsockopt(s.fd.get(), SOL_SOCKET, SO_ERROR, &err, &len);
                const QByteArray ask = IdentificationQuery().request;
                done = err != 0
                    || ::send(s.fd.get(), ask.constData(), size_t(ask.size()), MSG_NOSIGNAL)
                        != ask.size();
                s.asked = !done;
                s.started.start(); // the answer gets its own time
            } else if (!done && s.asked && (revents & (POLLIN | POLLERR | POLLHUP))) {
                char buffer[1024];
                const ssize_t n = ::recv(s.fd.get(), buffer, sizeof buffer, 0);
                if (n > 0)
                    s.reply.append(buffer, n);
                done = n <= 0 || s.reply.contains('\x03') || s.reply.size() > 1024;
            }
            if (!done)
                continue;
            // An open port that does not identify itself is not a printer.
            try {
                if (s.asked && !s.reply.isEmpty()) {
                    const Identification id = ParseIdentification(s.reply);
                    DiscoveredPrinter p;
                    p.address = s.address;
                    p.model = id.model;
                    p.firmware = id.firmware;
                    p.swept = true;
                    keep(Numeric(p.address), p);
                }
            } catch (const ETarvolinError &) {
                ++result.malformedReplies;
            }
            sweeping.erase(sweeping.begin() + qsizetype(i));
            fds.erase(fds.begin() + qsizetype(i) + 1);
            --i;
        }
    }
    result.unsweptAddresses = int(hosts.size() + sweeping.size());
    for (auto &[address, printer] : byAddress)
        result.printers.push_back(std::move(printer));
    return result;
}
