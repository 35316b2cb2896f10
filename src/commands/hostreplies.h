#pragma once

#include "link/printerquery.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The printer's answers about itself: host status (~HS) and identification
// (~HI), and the queries that ask for them and for the three read-backs
// over any two-way interface.

PrinterQuery HostStatusQuery();
PrinterQuery IdentificationQuery();
// The three read-backs of the window, for interfaces other than COM: the
// same requests, each reply ended by its size or by the form of its last
// line (a reply of another form by a quiet line).
PrinterQuery StatusByteQuery();
PrinterQuery FileListQuery();
PrinterQuery FreeMemoryQuery();

// Host status, every field decoded. Print mode is the printer's code: a
// digit, or a letter on printers with more modes.
struct HostStatus
{
    int interfaceSettings = 0; // serial settings bits
    bool paperOut = false;
    bool paused = false;
    int labelLengthDots = 0;
    int formatsInBuffer = 0;
    bool bufferFull = false;
    bool diagnosticMode = false;
    bool partialFormat = false;
    bool corruptRam = false;
    bool underTemperature = false;
    bool overTemperature = false;

    int functionSettings = 0; // media and sensor bits
    bool headOpen = false;
    bool ribbonOut = false;
    bool thermalTransfer = false;
    QChar printMode
        = QLatin1Char('0'); // 0 rewind, 1 peel-off, 2 tear-off, 3 cutter, 4 applicator ...
    int printWidthMode = 0;
    bool labelWaiting = false;
    qint64 labelsRemaining = 0;
    int graphicsStored = 0;

    QString password;
    bool staticRam = false;

    // The conditions that stop printing. Ribbon out counts only when the
    // printer prints with a ribbon: direct-thermal printers report it set.
    bool RibbonOutMatters() const { return ribbonOut && thermalTransfer; }
    bool AnyError() const;
};

bool operator==(const HostStatus &a, const HostStatus &b);

// One lamp of the host status: its caption, whether it is lit, and whether
// lit means an error (red) or not (the printer's state, not a fault).
struct HostCondition
{
    QString caption;
    bool lit = false;
    bool error = false;
};
QList<HostCondition> HostConditions(const HostStatus &status);

// Raises ETarvolinError "Host status: <what was wrong>" for a reply that is
// cut short, has missing or extra frames, or a field that is not a number.
HostStatus ParseHostStatus(const QByteArray &reply);

struct Identification
{
    QString model; // "AD410-200dpi"
    QString firmware; // trailing padding removed
    int dotsPerMm = 0;
    int memoryKB = 0;
    QString options; // "CUTTER DETECTED", or empty
};

bool operator==(const Identification &a, const Identification &b);

// One framed reply, or the same text unframed. Raises ETarvolinError
// "Identification: <what was wrong>".
Identification ParseIdentification(const QByteArray &reply);

// The text of each STX ... ETX frame, in order. Bytes between frames other
// than CR and LF, a frame not closed, or text before the first frame raise
// ETarvolinError "<query>: <what was wrong>".
QList<QByteArray> ReplyFrames(const QByteArray &reply, const QString &query);
