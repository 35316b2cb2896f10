#include "preview/fieldpainter.h"
#include "preview/textfonts.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

// Each letter of the data is one symbol in a cell of the field's width and
// height: A registered, B copyright, C trade mark, D and E the approval
// marks; a space leaves its cell empty.
FieldMark FieldPainter::SymbolMark(const Field &field, const QString &text,
                                   QList<QString> &warnings)
{
    const int h = std::max(field.font.height, 1);
    const int w = std::max(field.font.width, 1);
    struct Symbol
    {
        qreal x;
        bool ring;
        qreal scale; // registered and copyright are smaller than their cell
        FieldMark inside;
    };
    QList<Symbol> symbols;
    qreal x = 0;
    for (const QChar c : text.left(64)) {
        const char letter = char(c.toUpper().toLatin1());
        static const char *const insides[] = { "R", "C", "TM", "UL", "SA" };
        if (letter >= 'A' && letter <= 'E') {
            Field inner = field;
            inner.kind = Field::Kind::Text;
            inner.block = FieldBlock();
            const qreal scale = letter <= 'B' ? 0.625 : 1.0;
            inner.font = FontRequest { "0", letter == 'C' ? h * 5 / 8 : int(h * scale / 2), 0 };
            inner.orientation = Orientation::Normal;
            symbols.append(
                { x, letter != 'C', scale,
                  TextMark(inner, QString::fromLatin1(insides[letter - 'A']), warnings) });
        } else if (letter != ' ') {
            warnings.append(QStringLiteral("^GS: no symbol %1, only A to E").arg(c));
        }
        x += w;
    }
    FieldMark mark;
    if (symbols.isEmpty())
        return mark;
    mark.size = QSizeF(x, h);
    mark.typesetAnchor = QPointF(0, h);
    const qreal ring = std::max<qreal>(2, h / 12.0);
    mark.paint = [symbols, w, h, ring](QPainter &p) {
        for (const Symbol &s : symbols) {
            const qreal cw = w * s.scale;
            const qreal ch = h * s.scale;
            if (s.ring) {
                QPainterPath path;
                path.setFillRule(Qt::OddEvenFill);
                const QRectF outer(s.x, 0, cw, ch);
                path.addEllipse(outer);
                path.addEllipse(outer.adjusted(ring, ring, -ring, -ring));
                p.fillPath(path, Qt::black);
            }
            if (!s.inside.paint)
                continue;
            // The letters in the middle of the cell (the trade mark's at its top).
            p.save();
            p.translate(s.x + (cw - s.inside.size.width()) / 2,
                        s.ring ? (ch - s.inside.size.height()) / 2 : 0);
            s.inside.paint(p);
            p.restore();
        }
    };
    return mark;
}
