#pragma once

// What the virtual printer keeps across power-off, in a directory of its
// own: state.json holds the stored settings, the identity and the list of
// files; the files of every device but the DRAM lie beside it, one file each
// under files/<device letter>/.

#include "printer/printermemory.h"
#include "printer/printersettings.h"

#include <QString>

class PrinterStateFile
{
public:
    explicit PrinterStateFile(const QString &dir);

    QString Dir() const { return dir_; }
    QString IndexPath() const;

    // Fills in what the directory holds; an absent directory or state file
    // leaves everything as it was (a new printer). False, with a message,
    // when the state cannot be read whole: nothing is half loaded over the
    // caller's values then.
    bool Load(PrinterSettings &stored, PrinterIdentity &identity, PrinterMemory &memory,
              QString *error) const;

    // Each writes atomically and returns false with a message on failure.
    bool WriteIndex(const PrinterSettings &stored, const PrinterIdentity &identity,
                    const PrinterMemory &memory, QString *error) const;
    bool WriteFile(QChar device, const StoredFile &file, QString *error) const;
    bool RemoveFile(QChar device, const QString &name, QString *error) const;

private:
    QString DataPath(QChar device, const QString &name) const;

    QString dir_;
};
