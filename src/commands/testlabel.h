#pragma once

#include "commands/setuppanel.h"

#include <QByteArray>
#include <QLocale>

// "Pint Label": the settings format (applied, not stored), then a label format
// printing "Printer Test!", the speed and density boxes' texts and a serial
// number, with an optional frame, as many times as the quantity field says.
// Positions are in dots at the selected resolution, from the label width and
// height in the selected unit. Throws EConvertError when a length does not
// parse; the label size is converted even where the settings format skipped an
// empty field.
QByteArray TestLabelCommand(const SetupPanelValues &values,
                            const QLocale &locale = QLocale::system());

// The frame drawn around a label: origin 2 mm inside the top left corner, 4 mm
// narrower and shorter than the label, a 1 mm line; no line end. Shared with
// the font sample label.
QByteArray LabelFrame(qint32 widthDots, qint32 heightDots, int dotsPerMm);

// The quantity line ending a label format: "^PQ<quantity>,0,1,N" CR LF, the
// quantity inserted as typed.
QByteArray LabelQuantity(const QString &quantity);
