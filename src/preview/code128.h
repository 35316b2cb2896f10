#pragma once

// Code 128 as the printer builds it from field data: the subset changes,
// function codes and start character that the data's invocation codes
// (">5", ">6", ">8" ...) ask for, or the printer's own choices in its
// automatic, case (U) and application identifier (D) modes.

#include <QByteArray>
#include <QString>

#include <vector>

struct Code128Symbol
{
    std::vector<int> values; // start, data, check and stop code values
    QString text; // the interpretation line
    QString problem; // characters the subset in force cannot hold, and the like
};

// mode: 'N' (no mode), 'A' (automatic), 'U' (case) or 'D' (application identifiers).
Code128Symbol EncodeCode128(const QByteArray &data, char mode);

// Bar and space widths in modules of one code value (the stop has seven).
const char *Code128Pattern(int value);
