#pragma once

// One field of a label format as the interpreter collected it between ^FO/^FT
// and ^FS, ready to be drawn any number of times.

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QString>

enum class Orientation { Normal, Rotated, Inverted, Bottom }; // N, R (90° clockwise), I, B

// Orientation letter N, R, I or B; anything else gives the fallback.
Orientation OrientationFromLetter(char letter, Orientation fallback);

// A font as a field asks for it: a built-in font letter or digit, or the
// name of a font in printer memory ("E:ARIAL.TTF"). 0 means "not given".
struct FontRequest
{
    QByteArray name = "A";
    int height = 0;
    int width = 0;
};

// ^FB: the field's text wraps inside a block.
struct FieldBlock
{
    bool on = false;
    int width = 0;
    int lines = 1;
    int spacing = 0; // added between lines, may be negative
    char justify = 'L'; // L, C, R, J
    int indent = 0; // hanging indent of every line after the first
    // ^TB: a block this many dots high holding as many lines as fit; text
    // past them is cut, not printed over the last line.
    int height = 0;
};

// ^SN: the field counts up (or down) from label to label.
struct SerialParams
{
    bool on = false;
    QByteArray start;
    qint64 increment = 1;
    bool leadingZeros = false;
};

struct BarcodeParams
{
    char type = 0; // the command's letter or digit: C (128), 3 (39), E (EAN-13), Q, X, 7 ...
    int module = 2; // narrow bar / module width in dots (^BY)
    double ratio = 3.0; // wide to narrow (^BY), for Code 39
    int height = 10; // bar height in dots
    bool text = true; // interpretation line
    bool textAbove = false;
    bool checkDigit = false; // Code 39 mod 43
    char mode = 'N'; // Code 128: N, U, A, D
    int magnification = 0; // QR and Data Matrix module size, PDF417 row height; 0: from ^BY
    char errorCorrection = 'Q'; // QR: H, Q, M, L
    int columns = 0; // Data Matrix / PDF417, 0 = automatic
    int rows = 0;
    int security = 0; // PDF417 error correction level, 0 = automatic
    bool truncate = false; // PDF417
    int quality = 200; // Data Matrix: only 200 is drawn
    char escape = '_'; // Data Matrix: starts the escape sequences of quality 200 data
    bool rectangular = false; // Data Matrix: a rectangle when the size is left to the data
    // Further parameters of the other symbologies: the DataBar type, postal
    // code type, MicroPDF417 mode, MaxiCode mode, Aztec error control and size.
    int variant = 0;
    char checkMode = 0; // MSI check digits: A to D
    char startCharacter = 'A'; // Codabar
    char stopCharacter = 'A';
    int separator = 1; // DataBar stacked: separator rows in modules
    int segments = 22; // DataBar Expanded Stacked: segments per row
};

struct Field
{
    enum class Kind { Text, Box, Circle, Ellipse, Diagonal, Graphic, Barcode, Symbol };
    Kind kind = Kind::Text;
    int line = 0; // where the field started, for warnings
    int column = 0;

    int number = 0; // ^FN: the field a recalling format gives its data to
    QPoint origin; // label dots, home, top and shift applied
    bool typeset = false; // ^FT: origin is the baseline / bottom left
    // ^FT without x or y: that coordinate is where the previous field ended.
    bool followX = false;
    bool followY = false;
    int justify = 0; // 0 left, 1 right, 2 automatic
    bool reverse = false; // ^FR
    Orientation orientation = Orientation::Normal;

    // Text and barcodes
    FontRequest font;
    QByteArray data; // field data, hex escapes resolved
    int charset = 0; // ^CI in force
    QString text; // data in the character set
    FieldBlock block;
    SerialParams serial;
    BarcodeParams barcode;

    // Graphics: ^GB width, height, thickness, rounding; ^GC diameter in width;
    // ^GE width and height; ^GD width, height, thickness and direction.
    int width = 0;
    int height = 0;
    int thickness = 1;
    int rounding = 0;
    bool white = false;
    bool leftLeaning = false; // ^GD L: top left to bottom right

    QImage graphic; // ^GF, ^XG: Format_Mono, 1 = black
    int magnifyX = 1;
    int magnifyY = 1;
};
