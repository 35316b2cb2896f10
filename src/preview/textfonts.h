#pragma once

// The printer's fonts as the renderer draws them: the scalable font "0" with
// a condensed bold sans, the fixed dot-matrix fonts A to H with their cell
// sizes and whole-number magnification (glyph shapes from a monospaced sans
// stretched into the cell), and TrueType/OpenType fonts downloaded into
// printer memory. Positions and heights are exact in dots; shapes are not
// the printer's.

#include "preview/labelfield.h"

#include <QGlyphRun>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include <memory>

class QPainter;

// Font 0's characters as drawn: each glyph rasterised once per box and place
// within a dot, then copied wherever it is drawn again.
struct GlyphCache
{
    struct Key
    {
        quint32 glyph;
        bool fallback;
        int width; // the box, the stroke weight and the place within a dot, in 1/64 dots
        int height;
        int weight;
        int dx;
        int dy;
        bool operator==(const Key &) const = default;
    };
    struct Mask
    {
        QImage image; // black where the glyph inks, transparent elsewhere
        QPoint offset; // of its top left from the box's whole-dot corner
    };
    static constexpr qsizetype MaxMasks = 8192;
    QHash<Key, Mask> masks;
};
size_t qHash(const GlyphCache::Key &key, size_t seed = 0);

// A font at the size a field asks for.
struct TextFace
{
    QRawFont raw; // at its pixel size
    qreal stretchX = 1; // horizontal scale applied when drawing
    int cellHeight = 0; // dots
    qreal ascent = 0; // dots from the top of the cell to the baseline
    int pitch = 0; // fixed fonts: dots from one character to the next; 0 for scalable
    qreal glyphWidth = 0; // fixed fonts: the glyph box inside the pitch
    bool capitalsOnly = false; // fixed fonts B and H have no small letters
    QByteArray fontFile; // for scripts that need shaping (shared, not copied)
    QString style;
    // Font 0: each character drawn into the box the printer gives it, at
    // this height and width in dots.
    bool printerMetrics = false;
    int height = 0;
    int width = 0;
    QRawFont fallback; // for characters font 0's own outline lacks
    std::shared_ptr<GlyphCache> glyphs; // font 0: its drawn characters
    bool IsValid() const { return raw.isValid(); }
};

// One line of text laid out: glyphs and their pen positions in dots (x from
// the start of the line, before any stretch), and the line's width in dots.
struct TextRun
{
    QList<quint32> glyphs;
    QList<QPointF> positions; // in the raw font's unstretched coordinates
    qreal width = 0;
    // Scripts that join or run right to left (Arabic, Hebrew, Indic ...):
    // shaped runs with their baseline at shapedAscent, used instead of glyphs.
    QList<QGlyphRun> shaped;
    qreal shapedAscent = 0;
    // Font 0: the ink box of each glyph in dots, x from the start of the
    // line, y from the baseline; drawn instead of positions when present.
    QList<QRectF> boxes;
    QList<bool> fromFallback; // per glyph: an outline of the face's fallback font
};

class FontStore
{
public:
    FontStore();

    // Fonts in printer memory, by their full name ("E:ARIAL.TTF"). False
    // when the bytes are not a font Qt can read.
    bool AddFont(const QString &name, const QByteArray &bytes);
    void Clear();
    bool HasFont(const QString &name) const;

    // The face for a request; on a problem (unknown font, font 0 missing on
    // this system) a warning text, and font 0 or A in its place.
    TextFace Face(const FontRequest &request, QString &warning);

    TextRun Layout(const TextFace &face, const QString &text) const;
    // Draws a run with its pen start at (x, baseline) in the painter's
    // current coordinates.
    static void Draw(QPainter &painter, const TextFace &face, const TextRun &run, qreal x,
                     qreal baseline);

private:
    struct Loaded
    {
        QRawFont font; // at a reference size
        QByteArray bytes; // the font file
        QHash<int, QRawFont> sizes; // by pixel size in 1/64 dots
        std::shared_ptr<GlyphCache> glyphs = std::make_shared<GlyphCache>();
    };
    static TextRun Shaped(const TextFace &face, const QString &text);
    static TextRun PrinterLayout(const TextFace &face, const QString &text);
    static void DrawInBoxes(QPainter &painter, const TextFace &face, const TextRun &run, qreal x,
                            qreal baseline);
    QRawFont AtSize(Loaded &loaded, qreal pixelSize);
    Loaded *FindStored(const QString &name);
    TextFace Scalable(Loaded &loaded, int height, int width);

    // The printer's own fonts with their sizes and glyph caches: on the
    // GUI thread one set shared by every store, elsewhere each store's own.
    struct BuiltIn
    {
        Loaded font0;
        Loaded font0Fallback;
        Loaded fixed;
        Loaded fixedBold;
    };
    static BuiltIn *SharedBuiltIn();
    static void LoadBuiltIn(BuiltIn &builtIn);
    std::unique_ptr<BuiltIn> ownBuiltIn_;
    Loaded *font0_ = nullptr;
    Loaded *font0Fallback_ = nullptr;
    Loaded *fixed_ = nullptr;
    Loaded *fixedBold_ = nullptr;
    QHash<QString, Loaded> stored_;
};

// Where the printer's own fonts are taken from on this system.
QString ScalableFontPath();
QString ScalableFallbackFontPath(); // scripts and signs font 0's outline lacks
QString FixedFontPath();
QString FixedBoldFontPath(); // the small fonts A, B and H
