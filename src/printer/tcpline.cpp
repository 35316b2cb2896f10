#include "printer/tcpline.h"

#include "printer/virtualprinter.h"

#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t ReadChunk = 256 * 1024;
// What one wake-up reads at most, so that one client cannot keep the
// printer from its other lines.
constexpr size_t MaxReadPerWake = 8 * 1024 * 1024;
constexpr int BacklogRetryMs = 2;

QString SystemError(const char *what, int err = errno)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(strerror(err)));
}

} // namespace

TcpLine::TcpLine(VirtualPrinter &printer, PrinterLog &log, QObject *parent)
    : QObject(parent)
    , printer_(printer)
    , log_(log)
{
    backlog_.setSingleShot(true);
    backlog_.setInterval(BacklogRetryMs);
    connect(&backlog_, &QTimer::timeout, this, &TcpLine::OnReadable);
    idle_.setSingleShot(true);
    connect(&idle_, &QTimer::timeout, this, &TcpLine::OnIdle);
}

void TcpLine::SetIdleTimeout(int seconds)
{
    idleSeconds_ = seconds;
    idle_.setInterval(std::chrono::seconds(seconds));
}

bool TcpLine::IsLoopback(const QString &address)
{
    in6_addr v6 {};
    in_addr v4 {};
    const QByteArray text = address.toLatin1();
    if (inet_pton(AF_INET, text.constData(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, text.constData(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6))
            return true;
        // ::ffff:127.x.x.x
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

TcpLine::~TcpLine()
{
    CloseClient();
    acceptNotifier_.reset();
    if (listen_ >= 0)
        close(listen_);
}

bool TcpLine::Listen(const QString &address, quint16 port, QString *error)
{
    addrinfo hints {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(address.toLatin1().constData(), QByteArray::number(port).constData(),
                               &hints, &found);
    if (rc != 0 || !found) {
        *error = QStringLiteral("%1 is not a numeric IP address: %2")
                     .arg(address, QString::fromLocal8Bit(gai_strerror(rc)));
        return false;
    }
    const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (fd < 0 || setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0
        || bind(fd, found->ai_addr, found->ai_addrlen) != 0 || listen(fd, ListenBacklog) != 0) {
        *error = SystemError(fd < 0 ? "socket" : "listening");
        *error = QStringLiteral("%1 port %2: %3").arg(address).arg(port).arg(*error);
        if (fd >= 0)
            close(fd);
        freeaddrinfo(found);
        return false;
    }
    freeaddrinfo(found);
    sockaddr_storage bound {};
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length);
    port_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                              : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
    address_ = address;
    listen_ = fd;
    acceptNotifier_ = std::make_unique<QSocketNotifier>(listen_, QSocketNotifier::Read);
    connect(acceptNotifier_.get(), &QSocketNotifier::activated, this, &TcpLine::OnAcceptable);
    return true;
}

QString TcpLine::Endpoint() const
{
    return address_.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2").arg(address_).arg(port_)
                                               : QStringLiteral("%1:%2").arg(address_).arg(port_);
}

void TcpLine::OnAcceptable()
{
    int fd;
    sockaddr_storage from {};
    socklen_t fromLength;
    do {
        fromLength = sizeof from;
        fd = accept4(listen_, reinterpret_cast<sockaddr *>(&from), &fromLength,
                     SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        if (errno != EAGAIN && errno != ECONNABORTED)
            log_.Error(SystemError("accepting a connection"));
        return;
    }
    client_ = fd;
    peerDone_ = false;
    char host[NI_MAXHOST] = "?";
    char service[NI_MAXSERV] = "?";
    getnameinfo(reinterpret_cast<sockaddr *>(&from), fromLength, host, sizeof host, service,
                sizeof service, NI_NUMERICHOST | NI_NUMERICSERV);
    peer_ = from.ss_family == AF_INET6 ? QStringLiteral("[%1]:%2").arg(host, service)
                                       : QStringLiteral("%1:%2").arg(host, service);
    sinceProgress_ = 0;
    if (idleSeconds_ > 0)
        idle_.start();
    // One client at a time: the next waits in the listen queue.
    acceptNotifier_->setEnabled(false);
    session_ = printer_.OpenSession([this](const QByteArray &reply) { Queue(reply); });
    readNotifier_ = std::make_unique<QSocketNotifier>(client_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &TcpLine::OnReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(client_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &TcpLine::OnWritable);
}

void TcpLine::OnReadable()
{
    size_t total = 0;
    while (client_ >= 0 && total < MaxReadPerWake) {
        Deliver();
        if (!in_.isEmpty()) {
            // Held: what the client sends waits in the socket, and its
            // sending slows down as a printer's would.
            readNotifier_->setEnabled(false);
            if (hold_.Holds(ReadHold::PrinterFull)) {
                backlog_.start();
                // The wait is the printer's, not the client's.
                if (idleSeconds_ > 0)
                    idle_.start();
            }
            return;
        }
        readNotifier_->setEnabled(true);
        in_.resize(qsizetype(ReadChunk));
        const ssize_t n = recv(client_, in_.data(), ReadChunk, 0);
        in_.resize(std::max<ssize_t>(n, 0));
        if (n > 0) {
            total += size_t(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return;
        if (n < 0 && errno != ECONNRESET)
            log_.Error(SystemError("receiving"));
        // The client is done sending: act on what is complete, answer, close.
        readNotifier_->setEnabled(false);
        session_->EndOfInput();
        peerDone_ = true; // not before: the last replies must not close under the session
        if (out_.isEmpty() || n < 0)
            CloseClient();
        return;
    }
}

void TcpLine::Deliver()
{
    hold_.Set(ReadHold::PrinterFull, !printer_.ReadyForMore());
    const auto printerTakes = [this](qsizetype n) {
        hold_.Set(ReadHold::PrinterFull, !printer_.ReadyForMore());
        return hold_.Open() ? n : 0;
    };
    hold_.Deliver(
        in_,
        [this](QByteArrayView bytes) {
            const bool wasInCommand = session_->InCommand();
            session_->Feed(bytes);
            if (idleSeconds_ <= 0)
                return;
            // A command completed (the stream is between commands after
            // being in one, or after a caret, tilde or escape command's first
            // byte) or much arrived: the client is getting somewhere.
            sinceProgress_ += bytes.size();
            const bool completed = !session_->InCommand()
                && (wasInCommand || bytes.contains('^') || bytes.contains('~')
                    || bytes.contains('\x1B'));
            if (completed || sinceProgress_ >= ProgressBytes) {
                sinceProgress_ = 0;
                idle_.start();
            }
        },
        printerTakes);
}

void TcpLine::Queue(const QByteArray &reply)
{
    if (client_ < 0)
        return;
    out_ += reply;
    Flush();
}

void TcpLine::OnWritable()
{
    writeNotifier_->setEnabled(false);
    Flush();
}

void TcpLine::Flush()
{
    const bool heldForReplies = hold_.Holds(ReadHold::RepliesWaiting);
    Send();
    hold_.SetRepliesWaiting(out_.size());
    if (heldForReplies && !hold_.Holds(ReadHold::RepliesWaiting))
        backlog_.start(); // reads on, outside the session's call that queued replies
    if (peerDone_ && out_.isEmpty())
        CloseClient();
}

void TcpLine::Send()
{
    while (!out_.isEmpty() && client_ >= 0) {
        const ssize_t n = send(client_, out_.constData(), size_t(out_.size()), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            writeNotifier_->setEnabled(true);
            return;
        }
        if (n < 0) {
            // The client went away; what it sent is still acted on.
            out_.clear();
            break;
        }
        out_.remove(0, n);
        // Taking its replies is the client getting somewhere too.
        if (idleSeconds_ > 0 && n > 0)
            idle_.start();
    }
}

void TcpLine::OnIdle()
{
    if (client_ < 0)
        return;
    const QString what = hold_.Holds(ReadHold::RepliesWaiting)
        ? QStringLiteral("took none of its replies")
        : QStringLiteral("completed no command");
    log_.Error(QStringLiteral("TCP client %1 %2 in %3 s; closed, so that the next can print")
                   .arg(peer_, what)
                   .arg(idleSeconds_));
    CloseClient();
}

void TcpLine::CloseClient()
{
    if (client_ < 0)
        return;
    backlog_.stop();
    idle_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    if (!peerDone_ && session_)
        session_->EndOfInput();
    session_.reset();
    close(client_);
    client_ = -1;
    in_.clear();
    out_.clear();
    hold_.Clear();
    if (acceptNotifier_)
        acceptNotifier_->setEnabled(true);
}
