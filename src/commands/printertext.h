#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <limits>

// What a printer says is data: its texts and its numbers are read without
// trusting them to be what they should be.

// (The exact text of a printer's bytes, for JSON and for comparing, is
// ReplyText's: UTF-8 when valid, otherwise one character per byte.)

// A text for a line of a report, a terminal or a comment: every control
// character (C0, DEL, C1), line and paragraph separator and invisible format
// character is written as an escape ("\x1b", "\u202e"), and a backslash as
// "\\", so that the text can neither act on a terminal nor begin a line.
QString ShownText(QStringView text);

// The same for text that is not a printer's but must stay on its line: only
// control characters and separators are escaped, a backslash stays.
QString OnOneLine(QStringView text);

// Decimal digits as the printer wrote them, read with the range checked, so
// that a number too large for what holds it is never read as another.
struct PrinterNumber
{
    bool digits = false; // all decimal digits, at least one
    bool fits = false; // and within the range asked for
    qint64 value = 0; // when it fits
};
PrinterNumber ReadPrinterNumber(QStringView text, qint64 max = std::numeric_limits<qint64>::max());
PrinterNumber ReadPrinterNumber(QByteArrayView text,
                                qint64 max = std::numeric_limits<qint64>::max());

// What a number too large is called: "not a number the printer could hold".
QString NotHoldable();
