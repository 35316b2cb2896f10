#pragma once

// What the virtual printer keeps across power-off, in a directory of its
// own: state.json holds the stored settings, the identity and the list of
// files; the data of every file of a device but the DRAM lies beside it under
// files/<device letter>/, in a data file of its own whose name the list
// gives.
//
// Every change is one step that a crash cannot cut in half: new data goes to
// new data files (written whole and synced first), then the list is replaced
// by rename, and only then are data files no longer listed removed. After a
// crash at any moment the list names complete data files: the old version of
// each file or the new one. Data files no list names are left-overs of such a
// crash and are removed at the next start.

#include "printer/printermemory.h"
#include "printer/printersettings.h"

#include <QByteArray>
#include <QHash>
#include <QString>

class PrinterStateFile
{
public:
    explicit PrinterStateFile(const QString &dir);

    QString Dir() const { return dir_; }
    QString IndexPath() const;

    // Fills in what the directory holds; an absent directory or state file
    // leaves everything as it was (a new printer). False, with a message
    // saying what is wrong, when the state cannot be read whole: nothing is
    // half loaded over the caller's values then, and nothing on disk changes.
    bool Load(PrinterSettings &stored, PrinterIdentity &identity, PrinterMemory &memory,
              QString *error);

    // Makes the given state the one on disk, as one step: the files of every
    // device that keeps them, the stored settings and the identity. False
    // with the reason when it could not; what was on disk before is then
    // still there, whole, and loads as it did.
    bool Save(const PrinterSettings &stored, const PrinterIdentity &identity,
              const PrinterMemory &memory, QString *error);

private:
    // Where one stored file's data lies on disk, and what it holds.
    struct OnDisk
    {
        QString path; // relative to the directory, "files/E/d-1a2B3c"
        QByteArray data;
    };
    static QString Key(QChar device, const QString &name);
    QString LegacyDataPath(QChar device, const QString &name) const;
    // Removes data files that no list names: left-overs of a crash.
    void RemoveUnlisted() const;

    QString dir_;
    QHash<QString, OnDisk> onDisk_;
};
