#pragma once

// Bar codes of a label, encoded by libzint and drawn in whole dots exactly as
// the field's parameters say: module (narrow bar) width, wide-to-narrow
// ratio, bar height, QR / Data Matrix module size, PDF417 row height.

#include "preview/fieldpainter.h"

#include <QByteArray>
#include <QList>
#include <QString>

class FontStore;

// The bar code field's drawing for the given data (the field data, or this
// label's serial number). A refused encoding (wrong digits, too long) is a
// warning and an empty mark.
FieldMark BarcodeMark(const Field &field, const QByteArray &data, FontStore &fonts, int dotsPerMm,
                      QList<QString> &warnings);
