#pragma once

// The virtual printer's answer to the network discovery probe: a UDP port
// on which every probe gets, back to its sender, a reply in a print
// server's layout naming this printer.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class PrinterLog;
class QSocketNotifier;
class VirtualPrinter;

class DiscoveryLine : public QObject
{
public:
    DiscoveryLine(const VirtualPrinter &printer, PrinterLog &log, QObject *parent = nullptr);
    ~DiscoveryLine() override;

    // Empty: the serial number is made from the Ethernet ID, the system
    // name from the serial number.
    void SetNames(const QString &systemName, const QString &serialNumber);
    // A numeric IPv4 address; port 0 takes any free port.
    bool Listen(const QString &address, quint16 port, QString *error);
    QString Endpoint() const;
    quint16 Port() const { return port_; }

    // The answer as it stands now.
    QByteArray Reply() const;

private:
    void OnReadable();

    const VirtualPrinter &printer_;
    PrinterLog &log_;
    QString systemName_;
    QString serialNumber_;
    QString address_;
    quint16 port_ = 0;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};
