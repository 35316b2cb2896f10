#pragma once

// What the virtual printer keeps besides its files: the settings block the
// label language sets (and its stored copy), its network identity and the
// conditions its status byte reports.

#include "preview/keptsettings.h"
#include "printer/printerconditions.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// The kept settings as the virtual printer keeps them in its state file.
struct PrinterSettings : KeptSettings
{
    PrinterSettings() = default;
    PrinterSettings(const KeptSettings &kept)
        : KeptSettings(kept)
    { }

    // A print head 104 mm wide, labels 152 mm long, at the given resolution.
    static PrinterSettings Factory(int dotsPerMm);

    QJsonObject ToJson() const;
    // Missing or invalid members are an error, not a silent default: the
    // state file is the printer's memory.
    static std::optional<PrinterSettings> FromJson(const QJsonObject &json, QString *error);

    // "speed 4, darkness 10, width 832, length 1216, media sensing W, ..."
    QString Describe() const;

    bool operator==(const PrinterSettings &) const = default;
};

// The network identity the address commands change.
struct PrinterIdentity
{
    std::array<quint8, 4> ipAddress { 192, 168, 123, 100 };
    std::array<quint8, 6> ethernetId { 0x00, 0x4B, 0x56, 0x00, 0x00, 0x01 };

    QString IpText() const; // "192.168.123.100"
    QString EthernetIdText() const; // "00:4B:56:00:00:01"

    QJsonObject ToJson() const;
    static std::optional<PrinterIdentity> FromJson(const QJsonObject &json, QString *error);

    bool operator==(const PrinterIdentity &) const = default;
};
