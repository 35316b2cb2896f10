#pragma once

// The virtual printer's answers about itself, made from its state: host
// status (~HS), the extended error report (~HQES), identification (~HI)
// and configuration (^HH), framed as a printer frames them.

#include <QByteArray>
#include <QByteArrayView>

class VirtualPrinter;

QByteArray HostStatusReply(const VirtualPrinter &printer);
// ~HQES: the errors of the conditions set (ribbon out only when printing
// with a ribbon); no warnings.
QByteArray ExtendedStatusReply(const VirtualPrinter &printer);
QByteArray IdentificationReply(const VirtualPrinter &printer);
QByteArray ConfigurationReply(const VirtualPrinter &printer);

// The model the virtual printer names itself: "TARVOLIN VP-200dpi".
QByteArray VirtualPrinterModel(int dotsPerMm);
QByteArray VirtualPrinterFirmware();
