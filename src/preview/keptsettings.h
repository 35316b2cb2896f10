#pragma once

// The settings a printer keeps from one format to the next and over power
// cycles once stored (^JUS): one structure for the interpreter, the virtual
// printer, its state file and its replies.

#include <QSize>

struct KeptSettings
{
    int speed = 4; // ^PR, inches per second
    int darkness = 10; // ~SD, 0..30
    int widthDots = 0; // ^PW
    int lengthDots = 0; // ^LL
    char mediaSensing = 'W'; // ^MN: N continuous, W web (gap), M mark
    char postPrint = 'T'; // ^MM: T tear off, P peel off, R rewind, C cutter, ...
    bool prePeel = false; // ^MM's second parameter
    char mediaType = 'T'; // ^MT: T thermal transfer, D direct thermal
    char orientation = 'N'; // ^PO: N normal, I inverted
    int top = 0; // ^LT, dot rows
    int shift = 0; // ^LS, dots
    int homeX = 0; // ^LH
    int homeY = 0;
    // ^LL's second parameter: the label is as long as ^LL says on any media.
    bool lengthForced = false;
    // The length of the labels the printer measured on gap or mark media.
    int mediaLengthDots = 0;

    // The media a printer holds (a print head 104 mm wide, labels 152 mm
    // long when not given), at the given resolution.
    static KeptSettings Factory(int dotsPerMm, QSize media = {})
    {
        KeptSettings s;
        s.widthDots = media.width() > 0 ? media.width() : 104 * dotsPerMm;
        s.lengthDots = media.height() > 0 ? media.height() : 152 * dotsPerMm;
        s.mediaLengthDots = s.lengthDots;
        return s;
    }

    bool Continuous() const { return mediaSensing == 'N' || mediaSensing == 'V'; }
    // The page a label prints on: as wide as ^PW; as long as ^LL on
    // continuous media (or when ^LL says so), otherwise as the label the
    // printer measured.
    QSize Page() const
    {
        return QSize(widthDots, Continuous() || lengthForced ? lengthDots : mediaLengthDots);
    }

    bool operator==(const KeptSettings &) const = default;
};
