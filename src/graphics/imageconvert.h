#pragma once

// Pictures into label graphics: an image file (PNG, JPEG, BMP, GIF, SVG)
// becomes one bit per printer dot, rows padded to whole bytes, as the
// printer's graphic commands carry it.

#include <QByteArray>
#include <QImage>
#include <QString>

// One bit per dot, 1 = black, the first dot of a row in the high bit; each
// row padded with white to a whole byte.
struct MonoBitmap
{
    int width = 0; // dots
    int height = 0;
    QByteArray bits; // height rows of BytesPerRow()

    int BytesPerRow() const { return (width + 7) / 8; }
    bool IsNull() const { return width <= 0 || height <= 0; }
    bool Black(int x, int y) const
    {
        return (uchar(bits[qsizetype(y) * BytesPerRow() + x / 8]) >> (7 - x % 8)) & 1;
    }
    // As a picture (Format_Mono, index 0 white, 1 black) of the padded width.
    QImage ToImage() const;
    bool operator==(const MonoBitmap &) const = default;
};

enum class Dither { None, FloydSteinberg, Atkinson };

// A length given for the graphic's width or height.
struct GraphicLength
{
    enum class Unit { Dots, Millimetres, Inches };
    double value = 0; // 0: not given
    Unit unit = Unit::Dots;

    int Dots(int dpi) const;
};

struct ConvertOptions
{
    int dpi = 203;
    // Neither: one image pixel per dot (an SVG at its own size). One: the
    // other follows the image's aspect. Both: the image is fitted inside,
    // its aspect kept.
    GraphicLength width;
    GraphicLength height;
    int threshold = 128; // grey below it prints black; -1: chosen from the image (Otsu)
    Dither dither = Dither::None;
    bool invert = false;
    int rotate = 0; // 0, 90, 180 or 270 degrees clockwise
    bool trim = false; // white borders cut off
};

// Reads a length as the operator writes it: "320" (dots), "40mm", "1.5in".
// False for anything else.
bool ParseGraphicLength(const QString &text, GraphicLength &length);

// The image in a file, composited onto white; an SVG is drawn at its own
// size in dots for dpi, or at the size asked for. Throws EConvertError
// naming the file and what is wrong.
QImage LoadPicture(const QString &path, const ConvertOptions &options);

// The picture at the size asked for, grey by luminance, made black and
// white by the threshold or the dithering, turned, inverted, trimmed.
MonoBitmap ConvertPicture(const QImage &picture, const ConvertOptions &options);

// Grey levels 0..255 (one byte a pixel): the level that best splits them
// into two classes (Otsu).
int OtsuThreshold(const QImage &grey);

// The graphic turned clockwise by 90, 180 or 270 degrees.
MonoBitmap Rotated(const MonoBitmap &bitmap, int degrees);
