#pragma once

// Field data as the printer reads it: hexadecimal escapes (^FH), the
// character set (^CI) and serial numbers (^SN).

#include <QByteArray>
#include <QString>

// The value of a hexadecimal digit (either case), -1 for any other character.
int HexDigitValue(char c);

// Replaces every indicator followed by two hexadecimal digits by that byte
// ("_41" -> "A"); an indicator without two digits stays as it is.
QByteArray DecodeHexEscapes(const QByteArray &data, char indicator);

// The data as text in character set ^CI n: 28 UTF-8, 29/30 UTF-16 big/little
// endian, 27 Windows-1252, everything else code page 850 (the printer's
// default set). valid is false when bytes do not belong to the set.
QString DecodeFieldText(const QByteArray &data, int charset, bool &valid);

// Whether the printer knows character set n (0 to 36).
bool KnownCharset(int charset);

// The serial number on label `index` (0 for the first): the last run of
// digits of start counts by increment per label; with leadingZeros the run
// keeps its width with zeros, otherwise with spaces. Text around the digits
// stays.
QByteArray SerialValue(const QByteArray &start, qint64 increment, bool leadingZeros, qint64 index);
