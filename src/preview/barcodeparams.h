#pragma once

// Parameters of the bar code commands beyond Code 128/39/93, EAN, UPC-A,
// Interleaved 2 of 5, QR, Data Matrix and PDF417, read with the printer's
// defaults for each place.

#include "preview/labelfield.h"

#include <QByteArray>
#include <QList>

// True for the command letters (and digits) read here: ^B0/^BO Aztec, ^BR
// DataBar, ^BD MaxiCode, ^BL LOGMARS, ^BS UPC/EAN extension, ^BK Codabar,
// ^BB CODABLOCK, ^B1 Code 11, ^BI Industrial 2 of 5, ^BF MicroPDF417, ^BM
// MSI, ^B5 Planet, ^BP Plessey, ^BZ postal, ^BJ Standard 2 of 5, ^B9 UPC-E.
bool IsFurtherBarcode(char type);

// params: the command's parameters after the orientation (index 0 is the
// orientation itself). barcode already holds the ^BY defaults.
void ReadFurtherBarcode(BarcodeParams &barcode, const QList<QByteArray> &params, int dotsPerMm);
