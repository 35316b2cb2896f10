#include "link/printerlink.h"

PrinterLink::PrinterLink(TComPort *port, SelectionSource selection, MessageSink message)
    : port_(port)
    , selection_(std::move(selection))
    , message_(std::move(message))
{
}

void PrinterLink::SendToPrinter(FileNaming)
{
}

std::optional<QByteArray> PrinterLink::SerialExchange(const ExchangeOptions &)
{
    return std::nullopt;
}
