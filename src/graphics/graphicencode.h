#pragma once

// A 1-bit graphic in the forms the printer reads: inline as a ^GF field, or
// stored in printer memory with ~DG or ~DY and printed with ^XG or ^IM.

#include "graphics/imageconvert.h"

#include <QByteArray>
#include <QList>
#include <QString>

enum class GraphicEncoding {
    Hex, // ASCII hexadecimal, two digits a byte
    Rle, // hexadecimal with the printer's repeat letters and row codes
    B64, // ":B64:" base 64 with its CRC
    Z64, // ":Z64:" zlib data in base 64 with its CRC
};

// "hex", "rle", "b64", "z64".
QString EncodingName(GraphicEncoding encoding);
bool ParseEncoding(const QString &name, GraphicEncoding &encoding);
const QList<GraphicEncoding> &AllEncodings();

// The graphic's data in the encoding, as it follows the field's or the
// download's sizes.
QByteArray EncodeGraphicData(const MonoBitmap &bitmap, GraphicEncoding encoding);

struct EncodingSize
{
    GraphicEncoding encoding;
    qint64 bytes = 0; // of the data text
};
// The size of each encoding's data, in the order of AllEncodings().
QList<EncodingSize> EncodingSizes(const MonoBitmap &bitmap);
GraphicEncoding SmallestEncoding(const QList<EncodingSize> &sizes);

// "^GFA,total,total,row bytes,data" (the field alone).
QByteArray GraphicField(const MonoBitmap &bitmap, GraphicEncoding encoding);
// A whole label printing the graphic at the top left.
QByteArray GraphicLabel(const MonoBitmap &bitmap, GraphicEncoding encoding);

// "R:LOGO.GRF" from what the operator wrote ("logo", "E:LOGO.GRF"): the
// device R: when none is given, the extension GRF; false with the reason when
// the name cannot be stored.
bool StoredGraphicName(const QString &text, QString &name, QString &why);

enum class GraphicStore { DG, DY };
// The download storing the graphic under name (as StoredGraphicName gives it).
QByteArray GraphicDownload(const MonoBitmap &bitmap, GraphicEncoding encoding, const QString &name,
                           GraphicStore command = GraphicStore::DG);
// A label printing a stored graphic at the top left, with ^XG or ^IM.
QByteArray StoredGraphicLabel(const QString &name, bool image = false);
