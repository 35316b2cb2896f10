#pragma once

// Finding printers on the network: the discovery probe on UDP (port 4201),
// answered by each printer's print server with its name, serial number and
// firmware; and, where probes do not reach, a sweep of a subnet's raw
// printing port, each open port confirmed by an identification query.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

constexpr quint16 DiscoveryPort = 4201;
constexpr qsizetype DiscoveryReplySize = 375;

struct DiscoveredPrinter
{
    QString address; // dotted IPv4: where the reply came from (as the reply states it, when parsed alone)
    // The address a probe reply states when it is not the one it came from;
    // empty otherwise. Listed, never believed.
    QString statedAddress;
    QString productNumber;
    QString productName;
    QString firmware;
    QString serialNumber;
    QString systemName;
    QString subnetMask;
    QString gateway;
    QString macAddress; // "00:07:4D:41:08:BD"
    QString model; // a swept printer's identification
    bool swept = false; // found by the port sweep rather than the probe
};

bool operator==(const DiscoveredPrinter &a, const DiscoveredPrinter &b);

// The six bytes ".,:" 01 00 00.
QByteArray DiscoveryProbe();
bool IsDiscoveryProbe(const QByteArray &datagram);

// None for a datagram that is not a discovery reply: too short, a wrong
// marker, fields that are not text, or an address of 0.0.0.0.
std::optional<DiscoveredPrinter> ParseDiscoveryReply(const QByteArray &datagram);

// A reply in the same layout; fields longer than theirs are cut.
QByteArray BuildDiscoveryReply(const DiscoveredPrinter &printer);

struct DiscoveryOptions
{
    int timeoutMs = 3000;
    quint16 port = DiscoveryPort;
    // Besides the broadcast address of every IPv4 interface.
    QStringList addresses;
    bool broadcast = true;
    // "10.1.0.0/24": each address's raw printing port, this many at once.
    QString sweep;
    quint16 sweepPort = 9100;
    int sweepParallel = 64;
    int connectTimeoutMs = 1000;
};

// Printers one search keeps at most: a flood of replies from ever new
// addresses is counted, not kept.
constexpr int MaxDiscoveredPrinters = 4096;

struct DiscoveryResult
{
    std::vector<DiscoveredPrinter> printers; // one per address, sorted by address
    int malformedReplies = 0; // datagrams that were not discovery replies
    int unkeptPrinters = 0; // further addresses that answered once the list was full
    int unsweptAddresses = 0; // addresses of the sweep not done by the deadline
};

// Probes, sweeps and collects until the deadline (timeoutMs), whatever the
// network does; one entry per address that answered, the first answer's.
// Raises ETarvolinError when no socket can be made or a sweep is not a
// subnet ("A.B.C.D/N", N 16..32).
DiscoveryResult DiscoverPrinters(const DiscoveryOptions &options);

// The IPv4 broadcast addresses of the interfaces that are up.
QStringList BroadcastAddresses();
