#include "printer/discoveryline.h"

#include "link/discovery.h"
#include "printer/hostreplies.h"
#include "printer/virtualprinter.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

DiscoveryLine::DiscoveryLine(const VirtualPrinter &printer, PrinterLog &log, QObject *parent)
    : QObject(parent)
    , printer_(printer)
    , log_(log)
{ }

DiscoveryLine::~DiscoveryLine()
{
    notifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

void DiscoveryLine::SetNames(const QString &systemName, const QString &serialNumber)
{
    systemName_ = systemName;
    serialNumber_ = serialNumber;
}

bool DiscoveryLine::Listen(const QString &address, quint16 port, QString *error)
{
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr) != 1) {
        *error
            = QStringLiteral("--bind %1: the discovery answer needs an IPv4 address").arg(address);
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    socklen_t length = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0
        || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &length) != 0) {
        *error = QStringLiteral("discovery port %1:%2: %3")
                     .arg(address)
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    address_ = address;
    port_ = ntohs(a.sin_port);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &DiscoveryLine::OnReadable);
    return true;
}

QString DiscoveryLine::Endpoint() const
{
    return QStringLiteral("%1:%2").arg(address_).arg(port_);
}

QByteArray DiscoveryLine::Reply() const
{
    const auto &id = printer_.Identity().ethernetId;
    const quint32 fromId = (quint32(id[3]) << 16) | (quint32(id[4]) << 8) | id[5];
    DiscoveredPrinter p;
    p.address = address_;
    p.subnetMask = QStringLiteral("255.0.0.0");
    p.gateway = QStringLiteral("127.0.0.1");
    p.productNumber = QStringLiteral("1001");
    p.productName = QString::fromLatin1(VirtualPrinterModel(printer_.DotsPerMm()));
    p.firmware = QString::fromLatin1(VirtualPrinterFirmware());
    p.serialNumber = serialNumber_.isEmpty() ? QString::number(fromId) : serialNumber_;
    p.systemName = systemName_.isEmpty() ? QStringLiteral("TVP") + p.serialNumber : systemName_;
    QStringList mac;
    for (quint8 b : id)
        mac << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0'));
    p.macAddress = mac.join(QLatin1Char(':'));
    return BuildDiscoveryReply(p);
}

void DiscoveryLine::OnReadable()
{
    for (;;) {
        char buffer[512];
        sockaddr_in from {};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer, sizeof buffer, 0,
                                     reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0)
            return;
        char sender[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
        const QString who
            = QStringLiteral("%1:%2").arg(QString::fromLatin1(sender)).arg(ntohs(from.sin_port));
        if (!IsDiscoveryProbe(QByteArray(buffer, n))) {
            log_.Error(QStringLiteral("discovery: %1 bytes from %2 are not a probe; ignored")
                           .arg(n)
                           .arg(who));
            continue;
        }
        const QByteArray reply = Reply();
        ::sendto(fd_, reply.constData(), size_t(reply.size()), 0,
                 reinterpret_cast<const sockaddr *>(&from), length);
        log_.Info(QStringLiteral("discovery: probe from %1 answered").arg(who));
    }
}
