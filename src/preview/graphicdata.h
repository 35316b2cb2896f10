#pragma once

// Graphic data of ^GF, ~DG and ~DY as the printer reads it, into a picture
// with one bit per dot (Format_Mono, 1 = black).

#include <QByteArray>
#include <QImage>
#include <QString>

struct GraphicData
{
    char format = 'A'; // A: hexadecimal (compressed forms included), B: binary bytes
    qint64 totalBytes = 0; // of the whole picture
    int bytesPerRow = 0;
    QByteArray data;
};

// The picture, at most maxRows rows (rows past it are of no use on the
// label and are not kept). A problem (wrong sizes, unknown form, damaged
// data) gives a text in problem and as much of the picture as could be read.
QImage DecodeGraphic(const GraphicData &graphic, int maxRows, QString &problem);

// The largest picture accepted: rows of up to 4000 bytes (32000 dots) and
// 16 MB in all.
constexpr int MaxGraphicBytesPerRow = 4000;
constexpr qint64 MaxGraphicBytes = 16 * 1024 * 1024;
