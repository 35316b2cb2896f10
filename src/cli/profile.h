#pragma once

#include "commands/setuppanel.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QString>

// A printer profile: what the window's printer setup panel holds, in a small
// INI-style file. One "key = value" per line; "#" or ";" starts a comment at
// the beginning of a line or after a blank. A key left out keeps the window's
// start value; an empty value selects the blank item, whose command is left
// out. Values are the texts the window shows (case does not matter); lengths
// are checked as the window converts them, with its messages.
struct Profile
{
    SetupPanelValues values;
    QString path;
    QHash<QString, int> lineOf; // key -> line it was given on
};

// Throws EUsageError naming every value the window would not take, one
// "<path>:<line>: <key>: <message>" a line.
Profile ParseProfile(const QByteArray &text, const QString &path,
                     const QLocale &locale = QLocale::system());
Profile ReadProfile(const QString &path, const QLocale &locale = QLocale::system());

// Labels are laid out from the width and height, so a label needs both,
// whereas the settings alone may leave either out.
void RequireLabelSize(const Profile &profile, const QLocale &locale = QLocale::system());

// A commented profile holding the window's start values.
QByteArray ExampleProfile();
