#pragma once

// Field data of the symbologies whose data carries its own conventions, read
// as the printer reads it: the escape sequences of Data Matrix (quality 200)
// and the correction level and input modes at the head of QR data. What the
// printer cannot encode is left out as it leaves it out, and said.

#include <QByteArray>
#include <QList>
#include <QString>

// What the encoder is given besides the data.
struct EncoderExtras
{
    int inputMode = 0; // plain bytes
    int eci = 0; // code page named in the data; 0: none
    bool readerInit = false; // reader programming symbol
    // Structured append: this symbol's place, the number of symbols, the
    // file identification.
    int appendIndex = 0;
    int appendCount = 0;
    QByteArray appendId;
};

struct DataMatrixFieldData
{
    QByteArray data; // as the encoder takes it (bracketed application identifiers for GS1)
    EncoderExtras extras;
    int codeWords = 0; // as the printer encodes it: one a character, two digits to one
};

// escape: the ^BX escape character; 0 reads the data as it stands (qualities
// below 200).
DataMatrixFieldData ReadDataMatrixData(const QByteArray &field, char escape,
                                       QList<QString> &warnings);

struct QrFieldData
{
    QByteArray data;
    EncoderExtras extras;
    int level = 3; // 1 (L) to 4 (H)
};

// ^FD of a QR field: correction letter, input mode (A automatic, M manual)
// and a separator, then the data (in manual mode after its character mode);
// in mixed mode (D) a structured append header first and segments of
// several character modes.
QrFieldData ReadQrData(const QByteArray &field, QList<QString> &warnings);

// The digits of the data, for the symbologies that hold nothing else; what
// is left out is said, with the symbology's name.
QByteArray DigitsOnly(const QByteArray &data, const QString &symbology, QList<QString> &warnings);
