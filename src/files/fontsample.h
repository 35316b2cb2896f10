#pragma once

// The sample label of a font stored on "E:": the byte values 128 to 255 in
// eight rows of sixteen and one line of sample text, optionally framed, in
// the quantity and label size of the Printer Configuration tab.

#include "commands/setuppanel.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

// The sample options of the "File Download" group.
struct FontSampleOptions
{
    QString fileNameText; // the file-name field: the font's name is taken from it
    QString characterSet; // sent after "^CI" as typed
    bool selectByA = true; // "A Command": select by ^CW/^A1, otherwise by ^A@
    bool hexEscapes = true; // "HEX": rows as _80.._FF escapes, otherwise raw bytes
};

// The sample line: an Arabic two-word phrase in UTF-8 followed by five bytes
// that are not UTF-8, sent as they are (32 bytes).
QByteArray FontSampleText();

// The whole label. Throws EConvertError when the label width or height does
// not parse, framed or not.
QByteArray FontSampleLabel(const FontSampleOptions &options, const SetupPanelValues &panel,
                           const QLocale &locale = QLocale::system());
