#pragma once

// Labels the printer makes up itself, written in the label language so that
// they print like any other format, and the text of a dump-mode page.

#include <QByteArray>
#include <QByteArrayView>
#include <QStringList>

// A label of text lines, one field each, in a font that scales with the
// resolution. *lengthDots receives the label length the lines need.
QByteArray TextLinesFormat(const QStringList &lines, int dotsPerMm, int *lengthDots);

// Offset, sixteen bytes in hexadecimal, the same bytes as text:
// "00000000  5E 58 41 0D 0A ...  ^XA.."
QByteArray HexDump(QByteArrayView bytes);
