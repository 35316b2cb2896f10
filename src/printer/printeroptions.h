#pragma once

// The command line of tarvolin-printer.

#include <QString>
#include <QStringList>

#include <optional>

struct PrinterOptions
{
    bool pty = false;
    QString link;
    std::optional<quint16> tcpPort;
    QString bind = QStringLiteral("127.0.0.1");
    // UDP port answering the network discovery probe; 4201 with --tcp.
    std::optional<quint16> discoveryPort;
    bool discoveryAsked = false; // given with --discovery, not only implied by --tcp
    QString systemName; // in the discovery answer; empty: made from the serial
    QString serialNumber; // empty: made from the Ethernet ID
    int idleTimeout = 15; // seconds; 0: none
    qint64 baud = 0; // 0: unlimited
    quint32 conditions = 0;
    int dotsPerMm = 8;
    qint64 dramKb = 8 * 1024;
    qint64 flashKb = 64 * 1024;
    QString stateDir;
    QString outDir;
    QString controlPath;
    bool quiet = false;
};

struct ParsedOptions
{
    std::optional<PrinterOptions> options; // none: exit with exitCode after showing text
    QString text; // help, version or the error
    int exitCode = 0;
};

// arguments[0] is the program's name. Without --pty or --tcp the printer
// listens on a pseudo-terminal.
ParsedOptions ParsePrinterOptions(const QStringList &arguments);

QString PrinterHelp();
