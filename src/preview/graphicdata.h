#pragma once

// Graphic data of ^GF, ~DG and ~DY as the printer reads it, into a picture
// with one bit per dot (Format_Mono, 1 = black). One reader for every form:
// ASCII hexadecimal with or without the printer's run-length compression,
// ":B64:" and ":Z64:" with their CRC, and binary bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QString>

struct GraphicData
{
    char format = 'A'; // A: hexadecimal (compressed forms included), B: binary bytes
    qint64 totalBytes = 0; // of the whole picture
    int bytesPerRow = 0;
    QByteArray data;
};

// The picture's rows of bytesPerRow one after the other, or what is wrong
// with the data. A graphic with a problem is not drawn: a printer would
// print garbage from it, and a preview must not pretend otherwise.
struct DecodedGraphic
{
    QByteArray bytes; // totalBytes, 1 = black, the first dot the high bit
    QString problem; // empty when the data is sound
    qsizetype at = -1; // where in data the problem lies; -1: not at one place
};

DecodedGraphic DecodeGraphicBytes(const GraphicData &graphic);

// The picture, at most maxRows rows (rows past it are of no use on the
// label and are not kept); a null picture and the problem when the data is
// not sound. problemAt, when given, gets where in the data it lies (-1: not
// at one place).
QImage DecodeGraphic(const GraphicData &graphic, int maxRows, QString &problem,
                     qsizetype *problemAt = nullptr);

// The check value after ":B64:" and ":Z64:" data: CRC-16 (polynomial 0x1021,
// start 0) of the base 64 text, written as four hexadecimal digits.
quint16 GraphicCrc(QByteArrayView text);

// The largest picture accepted: rows of up to 4000 bytes (32000 dots) and
// 16 MB in all.
constexpr int MaxGraphicBytesPerRow = 4000;
constexpr qint64 MaxGraphicBytes = 16 * 1024 * 1024;
