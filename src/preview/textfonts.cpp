#include "preview/textfonts.h"

#include "preview/font0metrics.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QThread>

#include <algorithm>
#include <cmath>

namespace {

// Dot-matrix cells of the fixed fonts: height, width, gap to the next character.
struct Cell
{
    char letter;
    int height;
    int width;
    int gap;
};
constexpr Cell FixedCells[] = {
    { 'A', 9, 5, 1 },   { 'B', 11, 7, 2 },  { 'C', 18, 10, 2 }, { 'D', 18, 10, 2 },
    { 'E', 28, 15, 5 }, { 'F', 26, 13, 3 }, { 'G', 60, 40, 8 }, { 'H', 21, 13, 6 },
};

const Cell *FixedCell(const QByteArray &name)
{
    if (name.size() != 1)
        return nullptr;
    for (const Cell &cell : FixedCells) {
        if (cell.letter == name.at(0))
            return &cell;
    }
    return nullptr;
}

QByteArray ReadFontFile(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString FirstExisting(std::initializer_list<const char *> paths)
{
    for (const char *path : paths) {
        if (QFile::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    }
    return {};
}

// The font files are read once per process; every store makes its own
// QRawFont from the shared bytes.
const QByteArray &ScalableFontBytes()
{
    static const QByteArray bytes = ReadFontFile(ScalableFontPath());
    return bytes;
}

const QByteArray &ScalableFallbackFontBytes()
{
    static const QByteArray bytes = ReadFontFile(ScalableFallbackFontPath());
    return bytes;
}

const QByteArray &FixedFontBytes()
{
    static const QByteArray bytes = ReadFontFile(FixedFontPath());
    return bytes;
}

constexpr qreal ReferenceSize = 64;

// Font 0 characters that were not measured: how much narrower the printer
// sets them than this font at the same capital height.
constexpr qreal NarrowerThanOutline = 0.98;
// ... and how much heavier its strokes are, in parts of the height.
constexpr qreal ExtraWeight = 0.035;
// The fallback font for other scripts, against the printer's width.
constexpr qreal FallbackNarrower = 0.78;

// "E:ARIAL.TTF" -> "ARIAL.TTF"; "ARIAL.TTF" stays.
QString WithoutDevice(const QString &name)
{
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    return colon < 0 ? name : name.mid(colon + 1);
}

QString WithoutExtension(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

// The family a font file has in the process's font database, added there on
// first use; empty when Qt cannot read it.
QString FamilyOf(const QByteArray &fontFile)
{
    static QMutex mutex;
    static QHash<QByteArray, QString> families;
    const QByteArray key = QCryptographicHash::hash(fontFile, QCryptographicHash::Sha1);
    QMutexLocker lock(&mutex);
    auto it = families.constFind(key);
    if (it == families.constEnd()) {
        const int id = QFontDatabase::addApplicationFontFromData(fontFile);
        it = families.insert(key, QFontDatabase::applicationFontFamilies(id).value(0));
    }
    return it.value();
}

// Text that must be shaped: right-to-left or joining scripts, combining marks.
bool NeedsShaping(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x0590 && u < 0x2000) || (u >= 0xFB1D && u < 0xFF00) || c.isMark()
            || c.isSurrogate())
            return true;
    }
    return false;
}

} // namespace

QString ScalableFontPath()
{
    return FirstExisting({ "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf",
                           "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
                           "/usr/share/fonts/truetype/liberation2/LiberationSansNarrow-Bold.ttf",
                           "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf" });
}

QString ScalableFallbackFontPath()
{
    return FirstExisting({ "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
                           "/usr/share/fonts/truetype/liberation2/LiberationSansNarrow-Bold.ttf",
                           "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf" });
}

QString FixedFontPath()
{
    return FirstExisting({ "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf",
                           "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf" });
}

void FontStore::LoadBuiltIn(BuiltIn &builtIn)
{
    builtIn.font0.bytes = ScalableFontBytes();
    builtIn.font0.font.loadFromData(builtIn.font0.bytes, ReferenceSize,
                                    QFont::PreferDefaultHinting);
    builtIn.font0Fallback.bytes = ScalableFallbackFontBytes();
    builtIn.font0Fallback.font.loadFromData(builtIn.font0Fallback.bytes, ReferenceSize,
                                            QFont::PreferDefaultHinting);
    builtIn.fixed.bytes = FixedFontBytes();
    builtIn.fixed.font.loadFromData(builtIn.fixed.bytes, ReferenceSize,
                                    QFont::PreferDefaultHinting);
}

FontStore::BuiltIn *FontStore::SharedBuiltIn()
{
    // Loading a font and filling its glyph cache cost more than drawing a
    // label. Used from the GUI thread only; freed while the application
    // object goes away, before the font machinery does.
    static BuiltIn *shared = nullptr;
    if (!shared) {
        shared = new BuiltIn;
        LoadBuiltIn(*shared);
        qAddPostRoutine([] {
            delete shared;
            shared = nullptr;
        });
    }
    return shared;
}

FontStore::FontStore()
{
    const QCoreApplication *app = QCoreApplication::instance();
    BuiltIn *builtIn = nullptr;
    if (app && QThread::currentThread() == app->thread()) {
        builtIn = SharedBuiltIn();
    } else {
        ownBuiltIn_ = std::make_unique<BuiltIn>();
        LoadBuiltIn(*ownBuiltIn_);
        builtIn = ownBuiltIn_.get();
    }
    font0_ = &builtIn->font0;
    font0Fallback_ = &builtIn->font0Fallback;
    fixed_ = &builtIn->fixed;
}

bool FontStore::AddFont(const QString &name, const QByteArray &bytes)
{
    Loaded loaded;
    loaded.bytes = bytes;
    loaded.font.loadFromData(bytes, ReferenceSize, QFont::PreferDefaultHinting);
    if (!loaded.font.isValid())
        return false;
    stored_.insert(name.toUpper(), loaded);
    return true;
}

void FontStore::Clear()
{
    stored_.clear();
}

bool FontStore::HasFont(const QString &name) const
{
    return stored_.contains(name.toUpper());
}

FontStore::Loaded *FontStore::FindStored(const QString &requested)
{
    const QString name = requested.toUpper();
    if (auto it = stored_.find(name); it != stored_.end())
        return &it.value();
    // The printer finds a font on any device, and a font downloaded as a
    // TrueType file answers to its stored name (~DU stores NAME.FNT).
    const QString bare = WithoutDevice(name);
    for (auto it = stored_.begin(); it != stored_.end(); ++it) {
        if (WithoutDevice(it.key()) == bare)
            return &it.value();
    }
    const QString stem = WithoutExtension(bare);
    for (auto it = stored_.begin(); it != stored_.end(); ++it) {
        if (WithoutExtension(WithoutDevice(it.key())) == stem)
            return &it.value();
    }
    return nullptr;
}

QRawFont FontStore::AtSize(Loaded &loaded, qreal pixelSize)
{
    const int key = int(std::lround(pixelSize * 64));
    if (auto it = loaded.sizes.constFind(key); it != loaded.sizes.constEnd())
        return it.value();
    QRawFont sized = loaded.font;
    sized.setPixelSize(key / 64.0);
    if (loaded.sizes.size() > 64)
        loaded.sizes.clear();
    loaded.sizes.insert(key, sized);
    return sized;
}

TextFace FontStore::Scalable(Loaded &loaded, int height, int width)
{
    TextFace face;
    if (!loaded.font.isValid())
        return face;
    // The cell (ascent + descent) is the height asked for.
    const qreal cell = (loaded.font.ascent() + loaded.font.descent()) / ReferenceSize;
    const int h = std::max(height, 1);
    face.raw = AtSize(loaded, h / cell);
    face.cellHeight = h;
    face.ascent = face.raw.ascent();
    face.stretchX = width > 0 ? qreal(width) / h : 1;
    face.style = loaded.font.styleName();
    face.fontFile = loaded.bytes;
    return face;
}

TextFace FontStore::Face(const FontRequest &request, QString &warning)
{
    const int height = std::clamp(request.height, 0, 32000);
    const int width = std::clamp(request.width, 0, 32000);
    if (const Cell *cell = FixedCell(request.name); cell && fixed_->font.isValid()) {
        // Whole-number magnification, rounded down, at least 1, at most 10.
        const int mh = std::clamp(height > 0 ? height / cell->height : 1, 1, 10);
        const int mw = std::clamp(width > 0 ? width / cell->width : mh, 1, 10);
        TextFace face;
        face.cellHeight = cell->height * mh;
        // Dot-matrix capitals reach the top of the cell; the lowest two ninths
        // hold the descenders.
        face.ascent = std::round(face.cellHeight * 7.0 / 9.0);
        const qreal capUnits = fixed_->font.capHeight() / ReferenceSize;
        face.raw = AtSize(*fixed_, face.ascent / capUnits);
        face.pitch = (cell->width + cell->gap) * mw;
        face.glyphWidth = cell->width * mw;
        const quint32 m = face.raw.glyphIndexesForString(QStringLiteral("M")).value(0);
        const qreal natural = face.raw.advancesForGlyphIndexes({ m }).value(0).x();
        face.stretchX = natural > 0 ? face.glyphWidth / natural : 1;
        return face;
    }

    Loaded *loaded = nullptr;
    if (request.name == "0" || FixedCell(request.name)) {
        loaded = font0_;
    } else {
        loaded = FindStored(QString::fromLatin1(request.name));
        if (!loaded) {
            warning = QStringLiteral("font %1 is not in printer memory: font 0 used")
                          .arg(QString::fromLatin1(request.name));
            loaded = font0_;
        }
    }
    if (!loaded->font.isValid()) {
        warning = QStringLiteral("no font file for font 0 on this system (fonts-urw-base35)");
        return {};
    }
    // Font 0 and stored fonts: height defaults to 15 dots, width to the height.
    TextFace face = Scalable(*loaded, height > 0 ? height : 15, width);
    if (loaded == font0_) {
        face.printerMetrics = true;
        face.height = face.cellHeight;
        face.width = width > 0 ? width : face.cellHeight;
        face.ascent = std::floor(face.height * Font0CapHeight);
        if (font0Fallback_->font.isValid()) {
            face.fallback = AtSize(*font0Fallback_, face.raw.pixelSize());
            // Scripts that need shaping are shaped with the font that has them.
            face.fontFile = font0Fallback_->bytes;
            face.style = font0Fallback_->font.styleName();
        }
    }
    return face;
}

TextRun FontStore::Shaped(const TextFace &face, const QString &text)
{
    TextRun run;
    const QString family = FamilyOf(face.fontFile);
    if (family.isEmpty())
        return run;
    QFont font(family);
    font.setStyleName(face.style);
    font.setPixelSize(std::max(int(std::lround(face.raw.pixelSize())), 1));
    // A printer draws what its font has: no glyphs from other fonts.
    font.setStyleStrategy(QFont::NoFontMerging);
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setAlignment(Qt::AlignLeft | Qt::AlignAbsolute);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(1e6);
    layout.endLayout();
    run.shaped = layout.glyphRuns();
    run.shapedAscent = line.ascent();
    run.width = line.naturalTextWidth() * face.stretchX;
    return run;
}

// Font 0 as the printer sets it: measured characters in their measured
// boxes; others at the measured proportions of the font as a whole.
TextRun FontStore::PrinterLayout(const TextFace &face, const QString &text)
{
    TextRun run;
    const qreal sx = qreal(face.width) / Font0MeasuredHeight;
    const qreal sy = std::floor(face.height * Font0CapHeight) / Font0MeasuredCapHeight;
    // Unmeasured characters: capitals as high as measured ones, and the
    // measured characters' average width against this font's.
    const qreal cap = face.raw.capHeight();
    const qreal k = cap > 0 ? face.height * Font0CapHeight / cap : 1;
    const qreal kx = k * NarrowerThanOutline * face.width / std::max(face.height, 1);
    qreal pen = 0;
    for (const char32_t code : text.toUcs4()) {
        const QString one = QString::fromUcs4(&code, 1);
        quint32 glyph = face.raw.glyphIndexesForString(one).value(0);
        const bool fallback = glyph == 0 && face.fallback.isValid();
        if (fallback) {
            glyph = face.fallback.glyphIndexesForString(one).value(0);
            const QRawFont &font = face.fallback;
            const qreal fcap = font.capHeight();
            const qreal fk = fcap > 0 ? face.height * Font0CapHeight / fcap : 1;
            const qreal fkx = fk * FallbackNarrower * face.width / std::max(face.height, 1);
            const QRectF ink = font.boundingRect(glyph);
            if (!ink.isEmpty()) {
                run.glyphs.append(glyph);
                run.fromFallback.append(true);
                run.boxes.append(QRectF(pen + ink.left() * fkx, ink.top() * fk, ink.width() * fkx,
                                        ink.height() * fk));
            }
            pen += font.advancesForGlyphIndexes(QList<quint32> { glyph }).value(0).x() * fkx;
            continue;
        }
        if (const Font0Glyph *m = Font0Metrics(code)) {
            const qreal left = std::round(pen + m->left * sx);
            const qreal right = std::max(std::round(pen + m->right * sx), left + 1);
            const qreal top = std::round(m->top * sy);
            const qreal bottom = std::max(std::round(m->bottom * sy), top + 1);
            run.glyphs.append(glyph);
            run.fromFallback.append(false);
            run.boxes.append(QRectF(QPointF(left, top), QPointF(right, bottom)));
            pen += m->advance * sx;
            continue;
        }
        const QRectF ink = face.raw.boundingRect(glyph);
        const qreal advance
            = face.raw.advancesForGlyphIndexes(QList<quint32> { glyph }).value(0).x();
        if (!ink.isEmpty()) {
            run.glyphs.append(glyph);
            run.fromFallback.append(false);
            run.boxes.append(
                QRectF(pen + ink.left() * kx, ink.top() * k, ink.width() * kx, ink.height() * k));
        }
        pen += advance * kx;
    }
    run.width = pen;
    return run;
}

void FontStore::DrawInBoxes(QPainter &painter, const TextFace &face, const TextRun &run, qreal x,
                            qreal baseline)
{
    for (qsizetype i = 0; i < run.glyphs.size() && i < run.boxes.size(); ++i) {
        const QRawFont &font = run.fromFallback.value(i) ? face.fallback : face.raw;
        const QPainterPath outline = font.pathForGlyph(run.glyphs.at(i));
        const QRectF from = outline.boundingRect();
        if (from.isEmpty())
            continue;
        // The printer's strokes are heavier than the outline's: the outline
        // goes into the box less the extra weight, then is drawn with it.
        const qreal weight = std::min({ face.height * ExtraWeight, run.boxes.at(i).width() / 3,
                                        run.boxes.at(i).height() / 3 });
        const QRectF to = run.boxes.at(i)
                              .translated(x, baseline)
                              .adjusted(weight / 2, weight / 2, -weight / 2, -weight / 2);
        QTransform t;
        t.translate(to.left(), to.top());
        t.scale(to.width() / from.width(), to.height() / from.height());
        t.translate(-from.left(), -from.top());
        const QPainterPath placed = t.map(outline);
        painter.fillPath(placed, painter.pen().color());
        if (weight >= 0.5)
            painter.strokePath(placed, QPen(painter.pen().color(), weight));
    }
}

TextRun FontStore::Layout(const TextFace &face, const QString &text) const
{
    TextRun run;
    if (!face.IsValid() || text.isEmpty())
        return run;
    if (face.pitch == 0 && !face.fontFile.isEmpty() && NeedsShaping(text)) {
        run = Shaped(face, text);
        if (!run.shaped.isEmpty())
            return run;
    }
    if (face.printerMetrics)
        return PrinterLayout(face, text);
    run.glyphs = face.raw.glyphIndexesForString(text);
    run.positions.reserve(run.glyphs.size());
    if (face.pitch > 0) {
        // Fixed pitch: every character in its own cell, the glyph centred.
        const QList<QPointF> advances = face.raw.advancesForGlyphIndexes(run.glyphs);
        for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
            const qreal cellX = qreal(i * face.pitch) / face.stretchX;
            const qreal offset = (face.glyphWidth / face.stretchX - advances.value(i).x()) / 2;
            run.positions.append(QPointF(cellX + offset, 0));
        }
        run.width = qreal(run.glyphs.size()) * face.pitch;
        return run;
    }
    const QList<QPointF> advances = face.raw.advancesForGlyphIndexes(
        run.glyphs, QRawFont::SeparateAdvances | QRawFont::KernedAdvances);
    qreal x = 0;
    for (const QPointF &advance : advances) {
        run.positions.append(QPointF(x, 0));
        x += advance.x();
    }
    run.width = x * face.stretchX;
    return run;
}

void FontStore::Draw(QPainter &painter, const TextFace &face, const TextRun &run, qreal x,
                     qreal baseline)
{
    if (!run.shaped.isEmpty()) {
        painter.save();
        painter.translate(x, baseline);
        if (face.stretchX != 1)
            painter.scale(face.stretchX, 1);
        for (const QGlyphRun &glyphs : run.shaped)
            painter.drawGlyphRun(QPointF(0, -run.shapedAscent), glyphs);
        painter.restore();
        return;
    }
    if (run.glyphs.isEmpty())
        return;
    if (!run.boxes.isEmpty()) {
        DrawInBoxes(painter, face, run, x, baseline);
        return;
    }
    QGlyphRun glyphs;
    glyphs.setRawFont(face.raw);
    glyphs.setGlyphIndexes(run.glyphs);
    glyphs.setPositions(run.positions);
    painter.save();
    painter.translate(x, baseline);
    if (face.stretchX != 1)
        painter.scale(face.stretchX, 1);
    painter.drawGlyphRun(QPointF(0, 0), glyphs);
    painter.restore();
}
