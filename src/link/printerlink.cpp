#include "link/printerlink.h"

#include "core/exceptions.h"
#include "link/cupsprinter.h"
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "link/printerquery.h"
#include "link/replychannel.h"
#include "link/sendsource.h"
#include "link/transfer.h"
#include "serial/cport.h"

#include <QElapsedTimer>

#include <algorithm>
#include <limits>

#include <cerrno>

namespace {

QString Bytes(qint64 count)
{
    if (count < 0)
        return QStringLiteral("the input");
    return count == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(ByteCount(count));
}

QString PrinterMayWait(qint64 done, qint64 total)
{
    return QStringLiteral("Cancelled after %1. The printer may be waiting for the rest of the "
                          "command: switch it off and on before the next command.")
        .arg(BytesReached(done, total));
}

TransferStage Sending(qint64 total, const QString &to, double expectedRate = 0)
{
    return { QStringLiteral("Sending %1 to %2").arg(Bytes(total), to), total, expectedRate,
             PrinterMayWait };
}

} // namespace

QString SerialStallText(qint64 quietMs, bool xoff)
{
    return QStringLiteral("Waiting for the printer: it has taken nothing for %1 s (%2).\n"
                          "Is it out of paper or ribbon, paused, or showing an error? Is the "
                          "cable in? The send goes on when the printer takes data again; "
                          "Cancel stops it.")
        .arg(quietMs / 1000)
        .arg(xoff ? QStringLiteral("it sent Xoff") : QStringLiteral("the line is not draining"));
}

// One send or exchange. The port's deliveries are held for as long as it
// runs, since its waits may let the window's event loop turn; its observer
// is made for it and goes with it.
class PrinterLink::Operation
{
public:
    explicit Operation(PrinterLink &link)
        : hold_(link.port_)
        , observer_(link.progressSource_ ? link.progressSource_() : nullptr)
        , transfer(observer_.get())
    { }

private:
    TCustomComPort::DeliveryHold hold_;
    std::unique_ptr<ProgressObserver> observer_;

public:
    Transfer transfer;
};

// One row per interface: adding an interface is adding a row. A backend
// without an opener carries data one way only.
struct PrinterLink::Backend
{
    LinkTarget::Kind kind;
    void (PrinterLink::*send)(const LinkTarget &, FileNaming, SendSource &);
    std::unique_ptr<ReplyChannel> (PrinterLink::*open)(const LinkTarget &, Transfer &);
    const char *oneWay; // why it cannot answer
};

const PrinterLink::Backend &PrinterLink::BackendFor(LinkTarget::Kind kind)
{
    static const Backend backends[] = {
        { LinkTarget::Kind::Com, &PrinterLink::SendCom, &PrinterLink::OpenCom, nullptr },
        { LinkTarget::Kind::Lpt, &PrinterLink::SendLpt, &PrinterLink::OpenLpt, nullptr },
        { LinkTarget::Kind::Ethernet, &PrinterLink::SendEthernet, &PrinterLink::OpenEthernet,
          nullptr },
        { LinkTarget::Kind::Driver, &PrinterLink::SendDriver, nullptr,
          "A print queue carries data one way; connect over the network, USB or serial to "
          "read the printer" },
        { LinkTarget::Kind::File, &PrinterLink::SendFile, nullptr,
          "A file carries data one way; connect over the network, USB or serial to read the "
          "printer" },
    };
    for (const Backend &b : backends)
        if (b.kind == kind)
            return b;
    Q_UNREACHABLE();
}

PrinterLink::PrinterLink(TComPort *port, TargetSource target)
    : port_(port)
    , target_(std::move(target))
    , networkStallMs_(NetPrinter::SendStallTimeoutMs)
{ }

PrinterLink::PrinterLink(TargetSource target)
    : PrinterLink(nullptr, std::move(target))
{ }

PrinterLink::~PrinterLink() = default;

QString PrinterLink::PortDescription() const
{
    const QString baud = port_->BaudRate() == brCustom ? QString::number(port_->CustomBaudRate())
                                                       : BaudRateToText(port_->BaudRate());
    return QStringLiteral("%1 (%2 baud)").arg(port_->Port(), baud);
}

double PrinterLink::PortBytesPerSecond() const
{
    // Ten bits a byte with the printer's framing.
    return BaudRateValue(port_->BaudRate(), port_->CustomBaudRate()) / 10.0;
}

LinkTarget PrinterLink::Resolved(LinkTarget target) const
{
    if (target.kind == LinkTarget::Kind::Ethernet && networkPort_ != 0)
        target.port = networkPort_;
    return target;
}

TComPort *PrinterLink::ComPortFor(const LinkTarget &target)
{
    if (port_ && port_ != ownPort_.get())
        return port_;
    ownPort_ = std::make_unique<TComPort>();
    ConfigurePrinterPort(*ownPort_);
    // The link reads replies itself: no event thread.
    ownPort_->SetEvents(TComEvents());
    ownPort_->SetPort(target.device);
    const TBaudRate rate = BaudRateFromText(QString::number(target.baudRate));
    if (BaudRateValue(rate, 0) == target.baudRate) {
        ownPort_->SetBaudRate(rate);
    } else {
        ownPort_->SetBaudRate(brCustom);
        ownPort_->SetCustomBaudRate(target.baudRate);
    }
    port_ = ownPort_.get();
    return port_;
}

void PrinterLink::SendToPrinter(FileNaming naming)
{
    BufferSource source(CommandBuffer);
    SendToPrinter(naming, source);
}

void PrinterLink::SendToPrinter(FileNaming naming, SendSource &source)
{
    const LinkTarget target = Resolved(target_());
    (this->*BackendFor(target.kind).send)(target, naming, source);
}

void PrinterLink::SendCom(const LinkTarget &target, FileNaming, SendSource &source)
{
    ComPortFor(target);
    Operation op(*this);
    port_->OpenPort();
    op.transfer.Stage(Sending(source.Size(), PortDescription(), PortBytesPerSecond()));
    // The command buffer goes out in one write, as it always has; a file in
    // pieces.
    for (;;) {
        const qint64 before = source.Given();
        QByteArray piece;
        try {
            op.transfer.Reporting(
                [&] { piece = source.Next(std::numeric_limits<qsizetype>::max(), op.transfer); });
        } catch (...) {
            CloseQuietly();
            throw;
        }
        if (piece.isEmpty())
            break;
        WriteToPort(piece, op.transfer, before);
    }
    port_->ClosePort();
}

void PrinterLink::SendLpt(const LinkTarget &target, FileNaming, SendSource &source)
{
    Operation op(*this);
    op.transfer.Stage(Sending(source.Size(), target.device));
    op.transfer.Reporting(
        [&] { WriteToDevice(LptDevicePath(target.device), source, &op.transfer); });
}

void PrinterLink::SendEthernet(const LinkTarget &target, FileNaming, SendSource &source)
{
    const qint64 total = source.Size();
    bool connected = false;
    ErrorParticulars failure;
    {
        Operation op(*this);
        const QString address = target.Name();
        op.transfer.Stage(
            { QStringLiteral("Connecting to %1").arg(address), -1, 0, [](qint64, qint64) {
                 return QStringLiteral("Connect cancelled");
             } });
        NetPrinter printer(&op.transfer);
        printer.SetStallTimeout(networkStallMs_);
        connected = printer.KVNetOpen(target.host, target.port);
        if (!connected)
            failure = printer.ConnectFailure();
        if (connected) {
            op.transfer.Sleep(5);
            op.transfer.Stage(Sending(total, address));
            op.transfer.Reporting([&] { printer.KVNetSend(source); });
            op.transfer.Sleep(5);
            printer.KVNetClose();
        }
    }
    // Raised once the operation is over, so its dialog is gone.
    if (!connected)
        throw With(EHandlerMessage(QStringLiteral("Connect error")), failure);
}

void PrinterLink::SendDriver(const LinkTarget &target, FileNaming, SendSource &source)
{
    Operation op(*this);
    op.transfer.Stage(Sending(source.Size(), target.Name()));
    op.transfer.Reporting([&] { SendRawJob(target.queue, source, &op.transfer); });
}

void PrinterLink::SendFile(const LinkTarget &target, FileNaming naming, SendSource &source)
{
    const qint64 total = source.Size();
    const QString name = naming == FileNaming::AsTyped ? target.fileName
                                                       : target.fileName + QStringLiteral(".bin");
    Operation op(*this);
    op.transfer.Stage({ QStringLiteral("Writing %1 to %2").arg(Bytes(total), name), total, 0,
                        [name](qint64 done, qint64 all) {
                            return QStringLiteral("Cancelled after %1. The file %2 holds "
                                                  "only the bytes written.")
                                .arg(BytesReached(done, all), name);
                        } });
    op.transfer.Reporting([&] { WriteToFile(name, source, &op.transfer); });
}

std::unique_ptr<ReplyChannel> PrinterLink::OpenCom(const LinkTarget &target, Transfer &transfer)
{
    return OpenSerialChannel(*ComPortFor(target), transfer);
}

std::unique_ptr<ReplyChannel> PrinterLink::OpenLpt(const LinkTarget &target, Transfer &transfer)
{
    return OpenDeviceChannel(LptDevicePath(target.device), transfer);
}

std::unique_ptr<ReplyChannel> PrinterLink::OpenEthernet(const LinkTarget &target,
                                                        Transfer &transfer)
{
    auto printer = std::make_unique<NetPrinter>(&transfer);
    printer->SetStallTimeout(networkStallMs_);
    if (!printer->KVNetOpen(target.host, target.port))
        throw With(EHandlerMessage(QStringLiteral("Connect error")), printer->ConnectFailure());
    return OpenNetChannel(std::move(printer), transfer);
}

QByteArray PrinterLink::Query(const PrinterQuery &query)
{
    const LinkTarget target = Resolved(target_());
    const Backend &backend = BackendFor(target.kind);
    if (!backend.open)
        throw EOneWayInterface(QString::fromLatin1(backend.oneWay));

    Operation op(*this);
    op.transfer.Stage({ QStringLiteral("%1 from %2").arg(query.name, target.Name()), -1, 0,
                        [name = query.name](qint64 done, qint64) {
                            return QStringLiteral("%1 cancelled after %2").arg(name, Bytes(done));
                        } });
    lastRequestSent_ = RequestSent::None;
    const std::unique_ptr<ReplyChannel> channel = (this->*backend.open)(target, op.transfer);
    QElapsedTimer clock;
    clock.start();
    lastRequestSent_ = RequestSent::Part;
    channel->Write(query.request);
    lastRequestSent_ = RequestSent::Whole;

    const auto fail = [&](const QString &what) -> void {
        throw With(ETarvolinError(QStringLiteral("%1: %2").arg(query.name, what)),
                   { ErrorParticulars::Subject::None, target.Name(), 0, {} });
    };
    const auto seconds = [](int ms) {
        return QString::number(ms / 1000.0);
    };
    QByteArray reply;
    ReplyStand stand = ReplyStand::Incomplete;
    // Whether the reply, as far as it has come, ends only with a quiet line.
    const auto quietEnds = [&] {
        return !reply.isEmpty() && query.frames == 0 && query.replyBytes == 0
            && (!query.form || stand == ReplyStand::Foreign);
    };
    for (;;) {
        const qint64 left = query.deadlineMs - clock.elapsed();
        if (left <= 0) {
            if (reply.isEmpty() && target.kind == LinkTarget::Kind::Ethernet)
                throw With(EPrinterBusy(QStringLiteral("%1: busy: the printer took the "
                                                       "connection but did not answer within "
                                                       "%2 s")
                                            .arg(query.name, seconds(query.deadlineMs))),
                           { ErrorParticulars::Subject::NetworkPrinter, target.Name(), EBUSY,
                             QStringLiteral("it serves one client at a time; another may "
                                            "be holding it") });
            if (reply.isEmpty())
                fail(QStringLiteral("no answer within %1 s").arg(seconds(query.deadlineMs)));
            if (!quietEnds())
                fail(QStringLiteral("the reply was cut short: %1 bytes within %2 s%3")
                         .arg(reply.size())
                         .arg(seconds(query.deadlineMs))
                         .arg(query.frames > 0 ? QStringLiteral(", %1 of %2 frames")
                                                     .arg(reply.count('\x03'))
                                                     .arg(query.frames)
                                               : QString()));
            fail(
                QStringLiteral("the reply did not end within %1 s").arg(seconds(query.deadlineMs)));
        }
        const bool quiet = quietEnds();
        const int wait = int(quiet ? std::min<qint64>(left, query.quietMs) : left);
        const qsizetype got = channel->Read(reply, wait);
        op.transfer.Progress(reply.size());
        stand = StandOfReply(query, reply);
        switch (stand) {
        case ReplyStand::Complete:
            return reply;
        case ReplyStand::OverLong:
            fail(QStringLiteral("the reply is over-long (more than %1 bytes)")
                     .arg(ByteCount(query.maxBytes)));
            break;
        case ReplyStand::Incomplete:
        case ReplyStand::Foreign:
            break;
        }
        if (got < 0) {
            // An answer that ends only with a quiet line may end with the
            // connection.
            if (quietEnds())
                return reply;
            fail(reply.isEmpty()
                     ? QStringLiteral("the printer closed the connection without answering")
                     : QStringLiteral("the reply was cut short: the printer closed the "
                                      "connection after %1 bytes, before the reply was complete")
                           .arg(reply.size()));
        }
        if (got == 0 && quiet && wait < left)
            return reply;
    }
}

// A failed or stopped write leaves nothing worth keeping the port open for:
// it is closed before the failure goes on to the operator. A write the port
// could not finish within its write timeout is a failure too.
void PrinterLink::WriteToPort(const QByteArray &data, Transfer &transfer, qint64 before)
{
    try {
        int sent = 0;
        const auto proceed = [&](qint64 n) {
            return transfer.Proceed(before + n);
        };
        // Someone watching is told when the printer takes nothing, and the
        // send waits for them rather than give up by itself.
        const auto stalled = [&](qint64 quietMs, bool xoff) {
            transfer.Waiting(quietMs > 0 ? SerialStallText(quietMs, xoff) : QString());
        };
        transfer.Reporting([&] {
            sent = transfer.Observed() ? port_->WriteText(data, proceed, stalled)
                                       : port_->WriteText(data, proceed);
        });
        if (sent < data.size()) {
            if (transfer.Stopped())
                transfer.Cancel();
            transfer.Reporting([this] {
                throw With(EComPort(pcWrite, ETIMEDOUT),
                           { ErrorParticulars::Subject::SerialDevice, port_->Port(), ETIMEDOUT,
                             QStringLiteral("The printer took no more within the write time "
                                            "limit.") });
            });
        }
    } catch (...) {
        CloseQuietly();
        throw;
    }
}

void PrinterLink::CloseQuietly()
{
    try {
        port_->ClosePort();
    } catch (...) {
        // The failure that led here is the one worth reporting.
    }
}

QByteArray PrinterLink::SerialExchange(const ExchangeOptions &options)
{
    const LinkTarget target = target_();
    if (target.kind != LinkTarget::Kind::Com)
        throw EHandlerMessage(QStringLiteral("You must select COM port!!"));
    ComPortFor(target);
    Operation op(*this);
    port_->OpenPort();
    op.transfer.Stage(Sending(CommandBuffer.size(), PortDescription(), PortBytesPerSecond()));
    WriteToPort(CommandBuffer, op.transfer);

    // The reply is every byte that arrives until a read finds the line quiet.
    // A reply that never ends is cut off rather than holding the window.
    bool cutOff = false;
    try {
        op.transfer.Sleep(options.postWriteWaitMs);
        op.transfer.Stage(
            { QStringLiteral("Reading the printer's reply"), -1, 0, [](qint64 done, qint64) {
                 return QStringLiteral("Cancelled while reading the printer's "
                                       "reply, after %1.")
                     .arg(Bytes(done));
             } });
        ReplyText.clear();
        QElapsedTimer clock;
        clock.start();
        QByteArray chunk;
        for (;;) {
            port_->ReadText(chunk, 1);
            op.transfer.Sleep(5);
            ReplyText += chunk;
            if (options.lfAfterCr && chunk == "\r")
                ReplyText += '\n';
            if (chunk.isEmpty())
                break;
            op.transfer.Progress(ReplyText.size());
            if (ReplyText.size() >= maxReplyBytes_ || clock.elapsed() >= maxReplyMs_) {
                cutOff = true;
                break;
            }
        }
        if (options.waitBeforeClose)
            op.transfer.Sleep(30);
    } catch (const EOperationCancelled &) {
        CloseQuietly();
        throw;
    }
    port_->ClosePort();
    if (cutOff)
        throw ETarvolinError(QStringLiteral("The printer's reply did not end: the exchange was "
                                            "stopped after %1 bytes")
                                 .arg(ReplyText.size()));
    return ReplyText;
}
