#include "link/printerlink.h"

#include "core/exceptions.h"
#include "link/cupsprinter.h"
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "link/transfer.h"
#include "serial/cport.h"

#include <QElapsedTimer>

#include <cerrno>

namespace {

QString Bytes(qint64 count)
{
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

PrinterLink::PrinterLink(TComPort *port, SelectionSource selection, MessageSink message)
    : port_(port)
    , selection_(std::move(selection))
    , message_(std::move(message))
    , networkStallMs_(NetPrinter::SendStallTimeoutMs)
{ }

PrinterLink::~PrinterLink() = default;

void PrinterLink::Tell(const QString &message, ErrorParticulars particulars)
{
    messageParticulars_ = std::move(particulars);
    if (message_)
        message_(message);
}

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

// The five interfaces are tested one after the other, each on its own: with
// the radio buttons as they are exactly one of them is served.
void PrinterLink::SendToPrinter(FileNaming naming)
{
    const InterfaceSelection selection = selection_();
    const qint64 total = CommandBuffer.size();

    if (selection.com) {
        Operation op(*this);
        port_->OpenPort();
        op.transfer.Stage(Sending(total, PortDescription(), PortBytesPerSecond()));
        WriteToPort(CommandBuffer, op.transfer);
        port_->ClosePort();
    }

    if (selection.lpt) {
        Operation op(*this);
        op.transfer.Stage(Sending(total, selection.lptDevice));
        op.transfer.Reporting([&] {
            WriteToDevice(LptDevicePath(selection.lptDevice), CommandBuffer, &op.transfer);
        });
    }

    if (selection.ethernet) {
        bool connected = false;
        ErrorParticulars failure;
        {
            Operation op(*this);
            const QString address
                = QStringLiteral("%1:%2").arg(selection.ipAddress).arg(networkPort_);
            op.transfer.Stage(
                { QStringLiteral("Connecting to %1").arg(address), -1, 0, [](qint64, qint64) {
                     return QStringLiteral("Connect cancelled");
                 } });
            NetPrinter printer(&op.transfer);
            printer.SetStallTimeout(networkStallMs_);
            connected = printer.KVNetOpen(selection.ipAddress, networkPort_);
            if (!connected)
                failure = printer.ConnectFailure();
            if (connected) {
                op.transfer.Sleep(5);
                op.transfer.Stage(Sending(total, address));
                op.transfer.Reporting([&] { printer.KVNetSend(CommandBuffer); });
                op.transfer.Sleep(5);
                printer.KVNetClose();
            }
        }
        // Told once the operation is over, so its dialog is gone.
        if (!connected)
            Tell(QStringLiteral("Connect error"), failure);
    }

    if (selection.driver) {
        Operation op(*this);
        op.transfer.Stage(
            Sending(total, QStringLiteral("printer \"%1\"").arg(selection.printerName)));
        op.transfer.Reporting(
            [&] { SendRawJob(selection.printerName, CommandBuffer, &op.transfer); });
    }

    if (selection.file) {
        const QString name = naming == FileNaming::AsTyped
            ? selection.fileName
            : selection.fileName + QStringLiteral(".bin");
        Operation op(*this);
        op.transfer.Stage({ QStringLiteral("Writing %1 to %2").arg(Bytes(total), name), total, 0,
                            [name](qint64 done, qint64 all) {
                                return QStringLiteral("Cancelled after %1. The file %2 holds "
                                                      "only the bytes written.")
                                    .arg(BytesReached(done, all), name);
                            } });
        op.transfer.Reporting([&] { WriteToFile(name, CommandBuffer, &op.transfer); });
    }
}

// A failed or stopped write leaves nothing worth keeping the port open for:
// it is closed before the failure goes on to the operator. A write the port
// could not finish within its write timeout is a failure too.
void PrinterLink::WriteToPort(const QByteArray &data, Transfer &transfer)
{
    try {
        int sent = 0;
        transfer.Reporting(
            [&] { sent = port_->WriteText(data, [&](qint64 n) { return transfer.Proceed(n); }); });
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

std::optional<QByteArray> PrinterLink::SerialExchange(const ExchangeOptions &options)
{
    if (!selection_().com) {
        Tell(QStringLiteral("You must select COM port!!"));
        return std::nullopt;
    }
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
