#pragma once

// Symbols encoded by libzint, and what each symbology of the label language
// asks of it: the symbology, its options and the data as the encoder wants it.

#include "preview/barcodefielddata.h"
#include "preview/labelfield.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <vector>

struct Symbol
{
    int rows = 0;
    int width = 0;
    std::vector<unsigned char> modules;
    std::vector<float> rowHeights; // in modules as the encoder gives them; 0 = not fixed
    QString text; // human-readable text as the encoder gives it
    bool Dark(int row, int column) const { return modules[size_t(row) * width + column] != 0; }
};

struct SymbolOptions
{
    int symbology = 0;
    int option1 = -1;
    int option2 = 0;
    int option3 = 0;
    EncoderExtras extras;
    QByteArray primary; // MaxiCode modes 2 and 3
};

// False with the encoder's reason when it refuses the data.
bool Encode(const SymbolOptions &options, const QByteArray &data, Symbol &symbol, QString &error);

// How a bar code type is encoded; false for types drawn otherwise. data is
// changed to what the encoder takes; warnings for what is not drawn as asked.
bool ZintOptions(const BarcodeParams &barcode, QByteArray &data, SymbolOptions &options,
                 QList<QString> &warnings);
