#pragma once

#include <QByteArray>

// The "Printer Function" buttons' fixed commands.

// Restore factory settings and store them.
QByteArray FactoryDefaultCommand();
// Print the printer's own test page.
QByteArray PrintTestPageCommand();
// Reset: an escape sequence, no format around it.
QByteArray ResetPrinterCommand();
// Switch into dump (diagnostic) mode.
QByteArray DumpModeCommand();
