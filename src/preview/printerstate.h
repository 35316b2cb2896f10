#pragma once

// What a printer keeps from one format to the next: the label's geometry,
// the command prefixes, the units lengths are given in, the default font and
// bar code, the character set and the formats stored with ^DF. The
// interpreter reads and changes it; the virtual printer hands it over with
// every label it prints.

#include "preview/keptsettings.h"
#include "preview/labelfield.h"
#include "preview/settingrule.h"

#include <QByteArray>
#include <QHash>
#include <QPoint>
#include <QString>

struct PrinterState
{
    // ^PW, ^LL, ^LH, ^LT, ^LS, ^PO, ^MN and the rest the printer keeps.
    KeptSettings kept;
    // Whether ^PW and ^LL have set the width and length, not the media.
    bool widthGiven = false;
    bool lengthGiven = false;
    bool mirrored = false; // ^PM

    // ^CC / ~CC, ^CT / ~CT, ^CD / ~CD
    char formatPrefix = '^';
    char controlPrefix = '~';
    char delimiter = ',';

    LengthUnits units; // ^MU

    FontRequest font { "A", 9, 5 }; // ^CF
    Orientation orientation = Orientation::Normal; // ^FW
    int justify = 0;
    int barModule = 2; // ^BY
    double barRatio = 3.0;
    int barHeight = 10;
    int charset = 0; // ^CI
    QHash<char, QByteArray> fontAliases; // ^CW

    // ^DF: stored formats by their full name ("R:LABEL.ZPL"), the commands
    // between ^XA and ^XZ without the ^DF itself.
    QHash<QString, QByteArray> formats;
};
