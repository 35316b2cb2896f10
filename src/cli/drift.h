#pragma once

#include "cli/profile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QLocale>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>

#include <vector>

// A printer's stored settings against a profile: which settings differ, the
// commands that put back only those, and a profile written from what a
// printer holds.
//
// Settings are named by their profile keys and compared in the printer's own
// terms: speeds and darkness as numbers, lengths in dots, the list settings
// by the window's item texts ("Web Sensing").

// Profile key -> value in those terms.
using SettingValues = QMap<QString, QString>;

// The keys that are settings (not resolution or unit), in the order the
// settings command sends them.
const QStringList &SettingKeys();

// What a profile asks of the printer: the keys the profile gives, except a
// blank list item or an empty width or height, which the settings command
// leaves out. A key the profile leaves out is not compared.
SettingValues ProfileSettings(const Profile &profile, const QLocale &locale = QLocale::system());

// What a printer holds, from its configuration's panel settings as profile
// keys and texts (lengths in millimetres with a decimal point, "resolution"
// as "203dpi" or "300dpi"). Taken as the printer says, without the limits a
// profile puts on what may be sent. `dotsPerMm` is set from the resolution,
// 0 when the configuration does not give it. Throws ETarvolinError naming a
// value that is not what its key needs.
SettingValues PrinterSettingValues(const QList<QPair<QString, QString>> &panel, int *dotsPerMm);

struct SettingDrift
{
    QString key;
    QString printer; // empty when the printer did not report it
    QString profile;
};

struct DriftResult
{
    std::vector<SettingDrift> differing; // in SettingKeys() order
    QStringList unchecked; // profile keys the printer does not report
};

DriftResult CompareSettings(const SettingValues &printer, const SettingValues &profile);

// "density: printer 22, profile 15"; lengths say "dots".
QString DriftLine(const SettingDrift &drift);
// {"density": {"printer": 22, "profile": 15}, ...}: numbers as numbers.
QJsonObject DriftJson(const std::vector<SettingDrift> &differing);

// The settings format with only the differing settings, each as the window's
// Store Settings writes it, then the store format ("^JUS").
QByteArray RestoreCommand(const std::vector<SettingDrift> &differing, const SettingValues &profile);

// A profile holding the printer's settings (lengths in millimetres at its
// resolution, with the system's decimal separator, as profiles are read),
// headed by the comment lines given (each kept on its line: a line break in
// one is written as an escape). Settings the printer did not report are
// left out; one a profile would refuse is written as a comment saying why.
QByteArray SnapshotProfile(const SettingValues &printer, int dotsPerMm,
                           const QStringList &headerComments,
                           const QLocale &locale = QLocale::system());
