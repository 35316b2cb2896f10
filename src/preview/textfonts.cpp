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
    int baseline; // dots from the top of the cell
    int capHeight; // height of the capitals
    int capWidth; // ink width of an "M"
    bool bold; // strokes as heavy as the small fonts' dots
    bool capitalsOnly = false; // small letters print as capitals
};
// Cells as the printer gives them; baselines and capitals as it prints them:
// fonts B and H (capitals only) fill their cell, E sits three dots below its top.
constexpr Cell FixedCells[] = {
    { 'A', 9, 5, 1, 7, 7, 5, true },       { 'B', 11, 7, 2, 11, 11, 8, true, true },
    { 'C', 18, 10, 2, 14, 14, 10, false }, { 'D', 18, 10, 2, 14, 14, 10, false },
    { 'E', 28, 15, 5, 23, 20, 14, false }, { 'F', 26, 13, 3, 21, 21, 14, false },
    { 'G', 60, 40, 8, 48, 48, 34, false }, { 'H', 21, 13, 6, 21, 21, 13, true, true },
};

// The printer's magnification for a height or width: the nearest whole
// multiple of the cell (^CFA,15 prints font A twice its size), 1 to 10.
int Magnification(int asked, int cell)
{
    return std::clamp((asked + cell / 2) / cell, 1, 10);
}

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

const QByteArray &FixedBoldFontBytes()
{
    static const QByteArray bytes = ReadFontFile(FixedBoldFontPath());
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
    return FirstExisting({ "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
                           "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf" });
}

QString FixedBoldFontPath()
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
    builtIn.fixedBold.bytes = FixedBoldFontBytes();
    builtIn.fixedBold.font.loadFromData(builtIn.fixedBold.bytes, ReferenceSize,
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
    fixedBold_ = &builtIn->fixedBold;
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
    const Cell *cell = FixedCell(request.name);
    Loaded *fixed = cell && cell->bold && fixedBold_->font.isValid() ? fixedBold_ : fixed_;
    if (cell && fixed->font.isValid()) {
        const int mh = height > 0 ? Magnification(height, cell->height) : 1;
        const int mw = width > 0 ? Magnification(width, cell->width) : mh;
        TextFace face;
        face.cellHeight = cell->height * mh;
        face.ascent = cell->baseline * mh;
        const qreal capUnits = fixed->font.capHeight() / ReferenceSize;
        face.raw = AtSize(*fixed, cell->capHeight * mh / capUnits);
        face.pitch = (cell->width + cell->gap) * mw;
        face.capitalsOnly = cell->capitalsOnly;
        face.glyphWidth = std::max(cell->width, cell->capWidth) * mw;
        // Measured on the unhinted reference size: small sizes round their boxes.
        const quint32 m = fixed->font.glyphIndexesForString(QStringLiteral("M")).value(0);
        const qreal natural
            = fixed->font.boundingRect(m).width() * face.raw.pixelSize() / ReferenceSize;
        face.stretchX = natural > 0 ? cell->capWidth * mw / natural : 1;
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
        face.glyphs = font0_->glyphs;
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

size_t qHash(const GlyphCache::Key &key, size_t seed)
{
    return qHashMulti(seed, key.glyph, key.fallback, key.width, key.height, key.weight, key.dx,
                      key.dy);
}

namespace {

// The glyph's outline placed in `to` and drawn with the extra weight, in
// the painter's current coordinates.
void PaintGlyph(QPainter &painter, const QRawFont &font, quint32 glyph, const QRectF &to,
                qreal weight, const QColor &colour)
{
    const QPainterPath outline = font.pathForGlyph(glyph);
    const QRectF from = outline.boundingRect();
    if (from.isEmpty())
        return;
    QTransform t;
    t.translate(to.left(), to.top());
    t.scale(to.width() / from.width(), to.height() / from.height());
    t.translate(-from.left(), -from.top());
    const QPainterPath placed = t.map(outline);
    painter.fillPath(placed, colour);
    if (weight >= 0.5)
        painter.strokePath(placed, QPen(colour, weight));
}

int In64ths(qreal v)
{
    return int(std::lround(v * 64));
}

} // namespace

void FontStore::DrawInBoxes(QPainter &painter, const TextFace &face, const TextRun &run, qreal x,
                            qreal baseline)
{
    const QColor colour = painter.pen().color();
    // Copies are exact only where the painter moves without turning or
    // scaling, and they are black.
    const bool copy = face.glyphs && painter.transform().type() <= QTransform::TxTranslate
        && colour == QColor(Qt::black);
    // One painter state for the whole run: saving one per character cost more
    // than the copies.
    const QTransform device = painter.transform();
    if (copy) {
        painter.save();
        painter.resetTransform();
    }
    for (qsizetype i = 0; i < run.glyphs.size() && i < run.boxes.size(); ++i) {
        const bool fromFallback = run.fromFallback.value(i);
        const QRawFont &font = fromFallback ? face.fallback : face.raw;
        // The printer's strokes are heavier than the outline's: the outline
        // goes into the box less the extra weight, then is drawn with it.
        const qreal weight = std::min({ face.height * ExtraWeight, run.boxes.at(i).width() / 3,
                                        run.boxes.at(i).height() / 3 });
        const QRectF to = run.boxes.at(i)
                              .translated(x, baseline)
                              .adjusted(weight / 2, weight / 2, -weight / 2, -weight / 2);
        if (!copy) {
            PaintGlyph(painter, font, run.glyphs.at(i), to, weight, colour);
            continue;
        }
        const QPointF at = device.map(to.topLeft());
        const QPoint corner(int(std::floor(at.x())), int(std::floor(at.y())));
        const GlyphCache::Key key { run.glyphs.at(i),
                                    fromFallback,
                                    In64ths(to.width()),
                                    In64ths(to.height()),
                                    In64ths(weight),
                                    In64ths(at.x() - corner.x()),
                                    In64ths(at.y() - corner.y()) };
        auto found = face.glyphs->masks.constFind(key);
        if (found == face.glyphs->masks.constEnd()) {
            // Drawn once into a picture of its own with room for the stroke.
            const int pad = int(std::ceil(weight)) + 2;
            QImage image(int(std::ceil(to.width())) + 2 * pad + 1,
                         int(std::ceil(to.height())) + 2 * pad + 1,
                         QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter p(&image);
                p.setRenderHint(QPainter::Antialiasing, false);
                PaintGlyph(p, font, run.glyphs.at(i),
                           QRectF(QPointF(pad + key.dx / 64.0, pad + key.dy / 64.0), to.size()),
                           weight, colour);
            }
            if (face.glyphs->masks.size() >= GlyphCache::MaxMasks)
                face.glyphs->masks.clear();
            found = face.glyphs->masks.insert(key, { image, QPoint(-pad, -pad) });
        }
        painter.drawImage(corner + found->offset, found->image);
    }
    if (copy)
        painter.restore();
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
    if (face.capitalsOnly) {
        QString capitals = text;
        for (QChar &c : capitals) {
            if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
                c = QChar(c.unicode() - 'a' + 'A');
        }
        run.glyphs = face.raw.glyphIndexesForString(capitals);
    } else {
        run.glyphs = face.raw.glyphIndexesForString(text);
    }
    run.positions.reserve(run.glyphs.size());
    if (face.pitch > 0) {
        // Fixed pitch: every character in its own cell, its ink centred.
        for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
            const qreal cellX = qreal(i * face.pitch) / face.stretchX;
            const QRectF ink = face.raw.boundingRect(run.glyphs.at(i));
            const qreal offset = (face.glyphWidth / face.stretchX - ink.width()) / 2 - ink.left();
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
    painter.save();
    painter.translate(x, baseline);
    if (face.stretchX != 1)
        painter.scale(face.stretchX, 1);
    QGlyphRun glyphs;
    glyphs.setRawFont(face.raw);
    if (face.pitch == 0) {
        glyphs.setGlyphIndexes(run.glyphs);
        glyphs.setPositions(run.positions);
        painter.drawGlyphRun(QPointF(0, 0), glyphs);
        painter.restore();
        return;
    }
    // Dot-matrix characters never leave their glyph box (block and line
    // drawing characters of the outline are wider than its letters).
    const qreal boxWidth = face.glyphWidth / face.stretchX;
    const qreal reach = face.cellHeight * 2.0;
    for (qsizetype i = 0; i < run.glyphs.size(); ++i) {
        const qreal cellX = qreal(i * face.pitch) / face.stretchX;
        painter.save();
        painter.setClipRect(QRectF(cellX, -reach, boxWidth, 2 * reach), Qt::IntersectClip);
        glyphs.setGlyphIndexes({ run.glyphs.at(i) });
        glyphs.setPositions({ run.positions.value(i) });
        painter.drawGlyphRun(QPointF(0, 0), glyphs);
        painter.restore();
    }
    painter.restore();
}
