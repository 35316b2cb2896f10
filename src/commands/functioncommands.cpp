#include "commands/functioncommands.h"

QByteArray FactoryDefaultCommand()
{
    return QByteArrayLiteral("^XA\r\n^JUF\r\n^JUS\r\n^XZ\r\n");
}

QByteArray PrintTestPageCommand()
{
    // No line end after the closing "^XZ".
    return QByteArrayLiteral("^XA~WC\r\n^XZ");
}

QByteArray ResetPrinterCommand()
{
    return QByteArrayLiteral("\x1B!,R\r\n");
}

QByteArray DumpModeCommand()
{
    return QByteArrayLiteral("^XA\r\n~JD\r\n^XZ\r\n");
}
