#include "link/printerlink.h"

#include "core/exceptions.h"
#include "link/cupsprinter.h"
#include "link/devicefile.h"
#include "link/netprinter.h"
#include "serial/cport.h"

#include <QElapsedTimer>

#include <QThread>

PrinterLink::PrinterLink(TComPort *port, SelectionSource selection, MessageSink message)
    : port_(port)
    , selection_(std::move(selection))
    , message_(std::move(message))
{ }

// The five interfaces are tested one after the other, each on its own: with
// the radio buttons as they are exactly one of them is served.
void PrinterLink::SendToPrinter(FileNaming naming)
{
    const InterfaceSelection selection = selection_();

    if (selection.com) {
        port_->OpenPort();
        WriteClosingOnFailure(CommandBuffer);
        port_->ClosePort();
    }

    if (selection.lpt)
        WriteToDevice(LptDevicePath(selection.lptDevice), CommandBuffer);

    if (selection.ethernet) {
        NetPrinter printer;
        if (printer.KVNetOpen(selection.ipAddress, networkPort_)) {
            QThread::msleep(5);
            printer.KVNetSend(CommandBuffer);
            QThread::msleep(5);
            printer.KVNetClose();
        } else if (message_) {
            message_(QStringLiteral("Connect error"));
        }
    }

    if (selection.driver)
        SendRawJob(selection.printerName, CommandBuffer);

    if (selection.file) {
        const QString name = naming == FileNaming::AsTyped
            ? selection.fileName
            : selection.fileName + QStringLiteral(".bin");
        WriteToFile(name, CommandBuffer);
    }
}

// A failed write leaves nothing worth keeping the port open for: it is
// closed before the failure goes on to the operator.
void PrinterLink::WriteClosingOnFailure(const QByteArray &data)
{
    try {
        port_->WriteText(data);
    } catch (...) {
        try {
            port_->ClosePort();
        } catch (...) {
            // The write's failure is the one worth reporting.
        }
        throw;
    }
}

std::optional<QByteArray> PrinterLink::SerialExchange(const ExchangeOptions &options)
{
    if (!selection_().com) {
        if (message_)
            message_(QStringLiteral("You must select COM port!!"));
        return std::nullopt;
    }
    port_->OpenPort();
    WriteClosingOnFailure(CommandBuffer);
    QThread::msleep(static_cast<unsigned long>(options.postWriteWaitMs));

    // The reply is every byte that arrives until a read finds the line quiet.
    // A reply that never ends is cut off rather than holding the window.
    ReplyText.clear();
    QElapsedTimer clock;
    clock.start();
    bool cutOff = false;
    QByteArray chunk;
    for (;;) {
        port_->ReadText(chunk, 1);
        QThread::msleep(5);
        ReplyText += chunk;
        if (options.lfAfterCr && chunk == "\r")
            ReplyText += '\n';
        if (chunk.isEmpty())
            break;
        if (ReplyText.size() >= maxReplyBytes_ || clock.elapsed() >= maxReplyMs_) {
            cutOff = true;
            break;
        }
    }
    if (options.waitBeforeClose)
        QThread::msleep(30);
    port_->ClosePort();
    if (cutOff)
        throw ETarvolinError(QStringLiteral("The printer's reply did not end: the exchange was "
                                            "stopped after %1 bytes")
                                 .arg(ReplyText.size()));
    return ReplyText;
}
