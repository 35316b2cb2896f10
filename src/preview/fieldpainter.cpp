#include "preview/fieldpainter.h"

#include "preview/barcodes.h"
#include "preview/textfonts.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

const QColor Black(0, 0, 0);
const QColor White(255, 255, 255);

int Degrees(Orientation orientation)
{
    switch (orientation) {
    case Orientation::Normal:
        return 0;
    case Orientation::Rotated:
        return 90;
    case Orientation::Inverted:
        return 180;
    case Orientation::Bottom:
        return 270;
    }
    return 0;
}

// Maps the mark's upright frame onto the label.
QTransform Placement(const Field &field, const FieldMark &mark)
{
    const qreal w = mark.size.width();
    const qreal h = mark.size.height();
    const int degrees = Degrees(field.orientation);
    QTransform t;
    if (field.typeset) {
        // The anchor (baseline start, or bottom left) lands on the origin;
        // right justification anchors the end of the line instead.
        QPointF anchor = mark.typesetAnchor;
        if (field.justify == 1)
            anchor.rx() += w;
        t.translate(field.origin.x(), field.origin.y());
        t.rotate(degrees);
        t.translate(-anchor.x(), -anchor.y());
        return t;
    }
    // ^FO: the origin is the top left corner of the turned field.
    qreal x = field.origin.x();
    const qreal y = field.origin.y();
    switch (field.orientation) {
    case Orientation::Normal:
        if (field.justify == 1)
            x -= w;
        t.translate(x, y);
        break;
    case Orientation::Rotated:
        t.translate(x + h, y);
        break;
    case Orientation::Inverted:
        t.translate(x + w, y + h);
        break;
    case Orientation::Bottom:
        t.translate(x, y + w);
        break;
    }
    t.rotate(degrees);
    return t;
}

QPainterPath Ring(const QRectF &outer, qreal thickness, qreal radius, bool ellipse)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    const QRectF inner = outer.adjusted(thickness, thickness, -thickness, -thickness);
    if (ellipse) {
        path.addEllipse(outer);
        if (inner.width() > 0 && inner.height() > 0)
            path.addEllipse(inner);
    } else {
        path.addRoundedRect(outer, radius, radius);
        if (inner.width() > 0 && inner.height() > 0) {
            const qreal innerRadius = std::max<qreal>(radius - thickness, 0);
            path.addRoundedRect(inner, innerRadius, innerRadius);
        }
    }
    return path;
}

FieldMark BoxMark(const Field &field)
{
    const int t = std::max(field.thickness, 1);
    const int w = std::max(field.width, t);
    const int h = std::max(field.height, t);
    const int rounding = std::clamp(field.rounding, 0, 8);
    const QColor colour = field.white ? White : Black;
    FieldMark mark;
    mark.size = QSizeF(w, h);
    mark.typesetAnchor = QPointF(0, h);
    mark.paint = [=](QPainter &p) {
        if (rounding == 0) {
            // Four bands, so the box is exact to the dot.
            if (2 * t >= w || 2 * t >= h) {
                p.fillRect(QRect(0, 0, w, h), colour);
                return;
            }
            p.fillRect(QRect(0, 0, w, t), colour);
            p.fillRect(QRect(0, h - t, w, t), colour);
            p.fillRect(QRect(0, t, t, h - 2 * t), colour);
            p.fillRect(QRect(w - t, t, t, h - 2 * t), colour);
            return;
        }
        const qreal radius = rounding * std::min(w, h) / 16.0;
        p.fillPath(Ring(QRectF(0, 0, w, h), t, radius, false), colour);
    };
    return mark;
}

FieldMark EllipseMark(const Field &field)
{
    const int t = std::max(field.thickness, 1);
    const int w = std::max(field.width, 1);
    const int h = std::max(field.height, 1);
    const QColor colour = field.white ? White : Black;
    FieldMark mark;
    mark.size = QSizeF(w, h);
    mark.typesetAnchor = QPointF(0, h);
    mark.paint = [=](QPainter &p) {
        p.fillPath(Ring(QRectF(0, 0, w, h), t, 0, true), colour);
    };
    return mark;
}

FieldMark DiagonalMark(const Field &field)
{
    const int t = std::max(field.thickness, 1);
    const int w = std::max(field.width, t);
    const int h = std::max(field.height, 1);
    const QColor colour = field.white ? White : Black;
    const bool left = field.leftLeaning;
    // A printer moves a band as wide as the line across the whole width,
    // so the line reaches its width past the corner.
    FieldMark mark;
    mark.size = QSizeF(w + t, h);
    mark.typesetAnchor = QPointF(0, h);
    // Row by row in whole numbers: a dot is black when its centre lies
    // strictly inside the band, so a line at exactly 45 degrees, whose edges
    // run through dot centres, is one dot narrower than t, as printed.
    mark.paint = [=](QPainter &p) {
        const qint64 h2 = 2 * qint64(h);
        for (int y = 0; y < h; ++y) {
            // The band's left edge at this row's centre is at edge / h2.
            const qint64 edge = (2 * qint64(left ? y : h - 1 - y) + 1) * w;
            // First x with (2x + 1) h > edge, last with (2x + 1) h < edge + 2 t h.
            const qint64 first = edge / h2 + (((edge / h2) * 2 + 1) * h <= edge ? 1 : 0);
            const qint64 limit = edge + 2 * qint64(t) * h;
            const qint64 last = (limit - h - 1) / h2;
            if (last >= first)
                p.fillRect(QRect(int(first), y, int(last - first + 1), 1), colour);
        }
    };
    return mark;
}

FieldMark GraphicMark(const Field &field)
{
    FieldMark mark;
    const QImage dots = field.graphic; // shared, not copied
    if (dots.isNull())
        return mark;
    const int mx = std::max(field.magnifyX, 1);
    const int my = std::max(field.magnifyY, 1);
    mark.size = QSizeF(qreal(dots.width()) * mx, qreal(dots.height()) * my);
    mark.typesetAnchor = QPointF(0, mark.size.height());
    // Graphics are never turned: the painter only moves them. Their black
    // dots are set straight into the canvas row by row (a painter would blend
    // a picture of up to 16 MB through a 32-bit copy); white dots leave the
    // label as it is.
    mark.paint = [dots, mx, my](QPainter &p) {
        auto *canvas = dynamic_cast<QImage *>(p.device());
        if (!canvas || canvas->format() != QImage::Format_Grayscale8)
            return;
        const QPoint at = p.transform().map(QPointF(0, 0)).toPoint();
        const int width = canvas->width();
        const int height = canvas->height();
        for (int y = 0; y < dots.height(); ++y) {
            const int top = at.y() + y * my;
            if (top >= height)
                break;
            if (top + my <= 0)
                continue;
            const uchar *bits = dots.constScanLine(y);
            int x = 0;
            while (x < dots.width()) {
                if ((x & 7) == 0 && bits[x >> 3] == 0) {
                    x += 8;
                    continue;
                }
                if (!(bits[x >> 3] & (0x80 >> (x & 7)))) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x < dots.width() && (bits[x >> 3] & (0x80 >> (x & 7))))
                    ++x;
                const int left = std::max(at.x() + start * mx, 0);
                const int right = std::min(at.x() + x * mx, width);
                if (left >= right)
                    continue;
                for (int row = std::max(top, 0); row < std::min(top + my, height); ++row)
                    std::memset(canvas->scanLine(row) + left, 0, size_t(right - left));
            }
        }
    };
    return mark;
}

// Fields larger than this are taken as ink to their edges rather than drawn
// alone to find where their ink lies.
constexpr qint64 MaxMeasuredDots = 4 * 1024 * 1024;

// The dark dots of a picture: their bounds, and whether any lies within `on`
// (in the picture's coordinates).
QRect DarkBounds(const QImage &alone, const QRect &on, bool &anyOn)
{
    int left = alone.width(), right = -1, top = -1, bottom = -1;
    anyOn = false;
    for (int y = 0; y < alone.height(); ++y) {
        const uchar *row = alone.constScanLine(y);
        int first = -1, last = -1;
        for (int x = 0; x < alone.width(); ++x) {
            if (row[x] >= 128)
                continue;
            if (first < 0)
                first = x;
            last = x;
            if (!anyOn && on.contains(x, y))
                anyOn = true;
        }
        if (first < 0)
            continue;
        if (top < 0)
            top = y;
        bottom = y;
        left = std::min(left, first);
        right = std::max(right, last);
    }
    return top < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// The mark drawn by itself, white elsewhere, over `area` of the label; a
// null picture when there is no memory for it.
QImage Alone(const FieldMark &mark, const QTransform &placement, const QRect &area)
{
    QImage alone(area.size(), QImage::Format_Grayscale8);
    if (alone.isNull())
        return alone;
    alone.fill(255);
    QPainter p(&alone);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setTransform(placement * QTransform::fromTranslate(-area.x(), -area.y()));
    mark.paint(p);
    return alone;
}

// What of the field's ink lies beyond the label; empty when none does. A
// text cell or a symbol's quiet zone may cross an edge that its ink does not,
// so the field is drawn alone to find its ink.
QString InkOutside(const FieldMark &mark, const QTransform &placement, const QRect &label)
{
    const QRect box = placement.mapRect(QRectF(QPointF(0, 0), mark.size)).toAlignedRect();
    if (box.isEmpty() || label.contains(box))
        return {};
    QRect ink = box;
    bool anyOn = label.intersects(box);
    if (qint64(box.width()) * box.height() <= MaxMeasuredDots) {
        const QImage alone = Alone(mark, placement, box);
        if (!alone.isNull()) {
            ink = DarkBounds(alone, label.translated(-box.topLeft()), anyOn)
                      .translated(box.topLeft());
            if (ink.isNull())
                return {}; // no ink at all (a white box)
        }
    }
    if (label.contains(ink))
        return {};
    QStringList edges;
    const auto past = [&edges](int dots, const char *edge) {
        if (dots > 0)
            edges << QStringLiteral("%1 %2 past the %3 edge")
                         .arg(dots)
                         .arg(dots == 1 ? QStringLiteral("dot") : QStringLiteral("dots"))
                         .arg(QLatin1String(edge));
    };
    past(label.top() - ink.top(), "top");
    past(ink.bottom() - label.bottom(), "bottom");
    past(label.left() - ink.left(), "left");
    past(ink.right() - label.right(), "right");
    return QStringLiteral("field %1 outside the label (%2 x %3 dots): its ink reaches %4")
        .arg(anyOn ? QStringLiteral("partly") : QStringLiteral("wholly"))
        .arg(label.width())
        .arg(label.height())
        .arg(edges.join(QStringLiteral(", ")));
}

} // namespace

FieldPainter::FieldPainter(FontStore &fonts, int dotsPerMm)
    : fonts_(fonts)
    , dotsPerMm_(dotsPerMm)
{ }

FieldPainter::~FieldPainter() = default;

QPainter &FieldPainter::PainterOn(QImage &canvas)
{
    if (!painter_ || canvas_ != &canvas) {
        painter_.reset(); // ends the painter on the previous canvas first
        painter_ = std::make_unique<QPainter>(&canvas);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, false);
        canvas_ = &canvas;
    }
    return *painter_;
}

FieldMark FieldPainter::Mark(const Field &field, const QString &text, QList<QString> &warnings)
{
    switch (field.kind) {
    case Field::Kind::Text:
        return field.block.on ? BlockMark(field, text, warnings) : TextMark(field, text, warnings);
    case Field::Kind::Box:
        return BoxMark(field);
    case Field::Kind::Circle:
    case Field::Kind::Ellipse:
        return EllipseMark(field);
    case Field::Kind::Diagonal:
        return DiagonalMark(field);
    case Field::Kind::Graphic:
        return GraphicMark(field);
    case Field::Kind::Symbol:
        return SymbolMark(field, text, warnings);
    case Field::Kind::Barcode:
        return BarcodeMark(field, field.serial.on ? text.toLatin1() : field.data, fonts_,
                           dotsPerMm_, warnings);
    }
    return {};
}

TextFace FieldPainter::Face(const Field &field, QList<QString> &warnings)
{
    QString warning;
    TextFace face = fonts_.Face(field.font, warning);
    if (!warning.isEmpty())
        warnings.append(warning);
    return face;
}

FieldMark FieldPainter::TextMark(const Field &field, const QString &text, QList<QString> &warnings)
{
    const TextFace face = Face(field, warnings);
    FieldMark mark;
    if (!face.IsValid() || text.isEmpty())
        return mark;
    const TextRun run = fonts_.Layout(face, text);
    const qreal w = std::ceil(run.width);
    const int h = face.cellHeight;
    mark.size = QSizeF(w, h);
    mark.typesetAnchor = QPointF(0, std::round(face.ascent));
    mark.paint = [face, run, w, h](QPainter &p) {
        // Characters live in their cell, but font 0 sets accents of capitals above it.
        const int above = face.printerMetrics ? h : 0;
        p.setClipRect(QRectF(-w, -above, 3 * w + h, h + 2 * above), Qt::IntersectClip);
        FontStore::Draw(p, face, run, 0, face.ascent);
    };
    return mark;
}

FieldMark FieldPainter::BlockMark(const Field &field, const QString &text, QList<QString> &warnings)
{
    const TextFace face = Face(field, warnings);
    FieldMark mark;
    if (!face.IsValid())
        return mark;

    const FieldBlock &block = field.block;
    const int width = std::clamp(block.width, 0, 32000);
    const int pitch = face.cellHeight + block.spacing;
    const bool textBlock = block.height > 0;
    const int lines = textBlock ? std::clamp(block.height / std::max(pitch, 1), 1, 9999)
                                : std::clamp(block.lines, 1, 9999);
    const qreal spaceWidth = fonts_.Layout(face, QStringLiteral(" ")).width;

    // A placed word: its run, x and line.
    struct Word
    {
        TextRun run;
        qreal x = 0;
        int line = 0;
    };
    QList<Word> words;
    int line = 0;
    const qsizetype wordLimit = 4096;
    // "\&" starts a new line; words wrap at the block width.
    const QStringList paragraphs = text.split(QStringLiteral("\\&"));
    for (qsizetype pi = 0; pi < paragraphs.size() && words.size() < wordLimit; ++pi) {
        QList<Word> lineWords;
        qreal lineWidth = 0;
        auto flush = [&](bool last) {
            if (textBlock && line >= lines) {
                lineWords.clear();
                lineWidth = 0;
                ++line;
                return;
            }
            const int at = std::min(line, lines - 1); // past the last line: printed over it
            const qreal available = width - (line > 0 ? block.indent : 0);
            const qreal start = line > 0 ? block.indent : 0;
            qreal x = start;
            qreal gap = spaceWidth;
            if (block.justify == 'C')
                x = start + (available - lineWidth) / 2;
            else if (block.justify == 'R')
                x = start + available - lineWidth;
            else if (block.justify == 'J' && !last && lineWords.size() > 1)
                gap = spaceWidth + (available - lineWidth) / (lineWords.size() - 1);
            for (Word &word : lineWords) {
                word.x = x;
                word.line = at;
                x += word.run.width + gap;
                words.append(word);
            }
            lineWords.clear();
            lineWidth = 0;
            ++line;
        };
        const QStringList parts = paragraphs.at(pi).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &part : parts) {
            Word word { fonts_.Layout(face, part), 0, 0 };
            const qreal available = width - (line > 0 ? block.indent : 0);
            const qreal needed
                = lineWords.isEmpty() ? word.run.width : lineWidth + spaceWidth + word.run.width;
            if (!lineWords.isEmpty() && needed > available) {
                flush(false);
            }
            lineWidth
                = lineWords.isEmpty() ? word.run.width : lineWidth + spaceWidth + word.run.width;
            lineWords.append(word);
        }
        flush(true);
    }

    const int height = textBlock
        ? std::min(block.height, 32000)
        : std::max(lines * face.cellHeight + (lines - 1) * block.spacing, 1);
    mark.size = QSizeF(std::max(width, 1), height);
    // ^FT places a field block by its last line's baseline, a text block by
    // its bottom edge.
    mark.typesetAnchor = textBlock ? QPointF(0, height)
                                   : QPointF(0, (lines - 1) * pitch + std::round(face.ascent));
    mark.paint = [face, words, width, height, pitch](QPainter &p) {
        p.setClipRect(QRect(0, 0, width, height), Qt::IntersectClip);
        for (const Word &word : words)
            FontStore::Draw(p, face, word.run, word.x, word.line * pitch + face.ascent);
    };
    return mark;
}

void FieldPainter::Draw(QImage &canvas, const Field &field, const QString &text,
                        QList<QString> &warnings, QString *outside)
{
    const FieldMark mark = Mark(field, text, warnings);
    if (!mark.paint)
        return;
    QTransform placement;
    if ((field.followX || field.followY) && pen) {
        Field placed = field;
        if (field.followX)
            placed.origin.setX(qRound(pen->x()));
        if (field.followY)
            placed.origin.setY(qRound(pen->y()));
        placement = Placement(placed, mark);
    } else {
        placement = Placement(field, mark);
    }
    pen = placement.map(QPointF(mark.size.width(), mark.typesetAnchor.y()));
    if (outside)
        *outside = InkOutside(mark, placement, canvas.rect());
    if (!field.reverse) {
        QPainter &p = PainterOn(canvas);
        p.save();
        p.setTransform(placement);
        mark.paint(p);
        p.restore();
        return;
    }
    // Reverse: draw the field alone, then flip every dot it covers (with no
    // painter open on the canvas).
    painter_.reset();
    canvas_ = nullptr;
    const QRect area = placement.mapRect(QRectF(QPointF(0, 0), mark.size))
                           .toAlignedRect()
                           .intersected(canvas.rect());
    if (area.isEmpty())
        return;
    const QImage alone = Alone(mark, placement, area);
    if (alone.isNull())
        return;
    for (int y = 0; y < area.height(); ++y) {
        const uchar *from = alone.constScanLine(y);
        uchar *to = canvas.scanLine(area.y() + y) + area.x();
        for (int x = 0; x < area.width(); ++x) {
            if (from[x] < 128)
                to[x] = uchar(255 - to[x]);
        }
    }
}
