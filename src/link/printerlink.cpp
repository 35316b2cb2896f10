#include "link/printerlink.h"

#include "core/exceptions.h"
#include "link/cupsprinter.h"
#include "link/devicefile.h"
#include "link/netprinter.h"

#include <QThread>

PrinterLink::PrinterLink(TComPort *port, SelectionSource selection, MessageSink message)
    : port_(port)
    , selection_(std::move(selection))
    , message_(std::move(message))
{
}

// The five interfaces are tested one after the other, each on its own: with
// the radio buttons as they are exactly one of them is served.
void PrinterLink::SendToPrinter(FileNaming naming)
{
    const InterfaceSelection selection = selection_();

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

std::optional<QByteArray> PrinterLink::SerialExchange(const ExchangeOptions &)
{
    return std::nullopt;
}
