#include "preview/barcodes.h"

#include "preview/barcodesymbol.h"
#include "preview/code128.h"
#include "preview/textfonts.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

const QColor Black(0, 0, 0);
const QColor White(255, 255, 255);

// A linear symbol: bar and space widths in dots, bar first, with the bars
// whose guard parts reach below the others (EAN and UPC).
struct Linear
{
    std::vector<int> widths;
    std::vector<bool> tall;
    QString text;
};

// Two-width symbologies: the encoder's longer elements are wide ones.
bool TwoWidths(char type)
{
    return QByteArray("32LK1IJMP").contains(type);
}

Linear FromSymbol(const Symbol &symbol, char type, int module, double ratio)
{
    Linear linear;
    const bool twoWidths = TwoWidths(type);
    const int wide = std::max(int(std::lround(module * ratio)), module + 1);
    // EAN and UPC guard bars, by module.
    std::vector<std::pair<int, int>> guards;
    switch (type) {
    case 'E':
        guards = { { 0, 3 }, { 45, 50 }, { 92, 95 } };
        break;
    case 'U':
        guards = { { 0, 10 }, { 45, 50 }, { 85, 95 } };
        break;
    case '8':
        guards = { { 0, 3 }, { 32, 37 }, { 64, 67 } };
        break;
    case '9':
        guards = { { 0, 3 }, { 45, 51 } };
        break;
    default:
        break;
    }
    if (symbol.width == 0 || symbol.rows == 0)
        return linear;
    const int row = symbol.rows - 1; // stacked add-ons: the bars themselves
    int c = 0;
    if (!symbol.Dark(row, 0))
        linear.widths.push_back(0), linear.tall.push_back(false);
    while (c < symbol.width) {
        const bool dark = symbol.Dark(row, c);
        const int start = c;
        while (c < symbol.width && symbol.Dark(row, c) == dark)
            ++c;
        const int length = c - start;
        linear.widths.push_back(twoWidths ? (length == 1 ? module : wide * std::max(length / 2, 1))
                                          : length * module);
        bool tall = false;
        for (const auto &[from, to] : guards)
            tall = tall || (start >= from && start < to);
        linear.tall.push_back(dark && tall);
    }
    return linear;
}

Linear FromCode128(const Code128Symbol &symbol, int module)
{
    Linear linear;
    for (int value : symbol.values) {
        for (const char *w = Code128Pattern(value); *w; ++w) {
            linear.widths.push_back((*w - '0') * module);
            linear.tall.push_back(false);
        }
    }
    linear.text = symbol.text;
    return linear;
}

// The interpretation line's font: fixed pitch, capitals 7 modules high and
// 6 modules apart.
TextFace LineFace(FontStore &fonts, int module)
{
    QString warning;
    TextFace face = fonts.Face(FontRequest { "D", 18, 10 }, warning);
    if (!face.IsValid())
        return face;
    const qreal scale = module / 2.0;
    face.raw.setPixelSize(face.raw.pixelSize() * scale);
    face.cellHeight = int(std::lround(face.cellHeight * scale));
    face.ascent = std::round(7.0 * module);
    face.pitch = 6 * module;
    face.glyphWidth = face.glyphWidth * scale;
    return face;
}

// Text of EAN and UPC symbols under the bars: digit groups between the
// guards, the number system and check digits outside.
struct DigitPlace
{
    QString digits;
    qreal centre; // in modules from the first bar
    qreal pitch; // in modules
};

std::vector<DigitPlace> EanPlaces(char type, const QString &text)
{
    switch (type) {
    case 'E':
        if (text.size() >= 13)
            return { { text.left(1), -4.5, 7 },
                     { text.mid(1, 6), 24, 7 },
                     { text.mid(7, 6), 71, 7 } };
        break;
    case '8':
        if (text.size() >= 8)
            return { { text.left(4), 17.5, 7 }, { text.mid(4, 4), 49.5, 7 } };
        break;
    case 'U':
        if (text.size() >= 12)
            return { { text.left(1), -4.5, 7 },
                     { text.mid(1, 5), 27.5, 7 },
                     { text.mid(6, 5), 67.5, 7 },
                     { text.mid(11, 1), 99.5, 7 } };
        break;
    case '9':
        if (text.size() >= 8)
            return { { text.left(1), -4.5, 7 },
                     { text.mid(1, 6), 24, 7 },
                     { text.mid(7, 1), 55.5, 7 } };
        break;
    default:
        break;
    }
    return {};
}

FieldMark LinearMark(const BarcodeParams &barcode, const Linear &linear, FontStore &fonts,
                     int module)
{
    FieldMark mark;
    int width = 0;
    for (int w : linear.widths)
        width += w;
    const int barHeight = std::max(barcode.height, 1);
    const bool ean = QByteArray("EU89").contains(barcode.type);
    const int guardExtra = ean ? (13 * module + 1) / 2 : 0;
    const TextFace face
        = barcode.text && !linear.text.isEmpty() ? LineFace(fonts, module) : TextFace();
    const std::vector<DigitPlace> places = ean && !barcode.textAbove
        ? EanPlaces(barcode.type, linear.text)
        : std::vector<DigitPlace>();
    // The bars stay at the field origin; the line is drawn outside them.
    mark.size = QSizeF(width, barHeight);
    mark.typesetAnchor = QPointF(0, barHeight);
    mark.paint = [=, &fonts](QPainter &p) {
        int x = 0;
        for (size_t i = 0; i < linear.widths.size(); ++i) {
            if (i % 2 == 0 && linear.widths[i] > 0)
                p.fillRect(
                    QRect(x, 0, linear.widths[i], barHeight + (linear.tall[i] ? guardExtra : 0)),
                    Black);
            x += linear.widths[i];
        }
        if (!face.IsValid())
            return;
        if (!places.empty()) {
            const qreal top = barHeight + 2 * module;
            for (const DigitPlace &place : places) {
                const TextRun run = fonts.Layout(face, place.digits);
                const qreal start = place.centre * module - run.width / 2;
                FontStore::Draw(p, face, run, start, top + face.ascent);
            }
            return;
        }
        const TextRun run = fonts.Layout(face, linear.text);
        const qreal left = (width - run.width) / 2;
        const qreal top = barcode.textAbove ? -(12 + face.ascent) : barHeight + guardExtra + 6;
        FontStore::Draw(p, face, run, left, top + face.ascent);
    };
    return mark;
}

// Stacked and two-dimensional symbols: cells of cellW dots, each row its own height.
FieldMark MatrixMark(const Symbol &symbol, int cellW, const std::vector<int> &rowHeights)
{
    FieldMark mark;
    int h = 0;
    for (int rh : rowHeights)
        h += rh;
    mark.size = QSizeF(symbol.width * cellW, h);
    mark.typesetAnchor = QPointF(0, h);
    mark.paint = [symbol, cellW, rowHeights](QPainter &p) {
        int y = 0;
        for (int r = 0; r < symbol.rows; ++r) {
            int c = 0;
            while (c < symbol.width) {
                if (!symbol.Dark(r, c)) {
                    ++c;
                    continue;
                }
                const int start = c;
                while (c < symbol.width && symbol.Dark(r, c))
                    ++c;
                p.fillRect(QRect(start * cellW, y, (c - start) * cellW, rowHeights[size_t(r)]),
                           Black);
            }
            y += rowHeights[size_t(r)];
        }
    };
    return mark;
}

// POSTNET, PLANET and Intelligent Mail: bars one module wide, full and
// short, evenly spaced.
FieldMark PostalMark(const Symbol &symbol, int module, int height)
{
    FieldMark mark;
    const int pitch = module + int(std::lround(1.5 * module));
    // Parts of the bar height: ascender (or tall part), tracker, descender.
    std::vector<std::pair<int, int>> parts;
    if (symbol.rows == 3) {
        const int a = int(std::lround(height * 0.35));
        parts = { { 0, a }, { a, height - 2 * a }, { height - a, a } };
    } else {
        const int tall = int(std::lround(height * 0.6));
        parts = { { 0, tall }, { tall, height - tall } };
    }
    std::vector<int> columns;
    for (int c = 0; c < symbol.width; ++c) {
        for (int r = 0; r < symbol.rows; ++r) {
            if (symbol.Dark(r, c)) {
                columns.push_back(c);
                break;
            }
        }
    }
    const int width = columns.empty() ? 0 : int(columns.size() - 1) * pitch + module;
    mark.size = QSizeF(width, height);
    mark.typesetAnchor = QPointF(0, height);
    mark.paint = [=](QPainter &p) {
        for (size_t i = 0; i < columns.size(); ++i) {
            const int x = int(i) * pitch;
            for (int r = 0; r < symbol.rows && r < int(parts.size()); ++r) {
                if (symbol.Dark(r, columns[i]))
                    p.fillRect(QRect(x, parts[size_t(r)].first, module, parts[size_t(r)].second),
                               Black);
            }
        }
    };
    return mark;
}

// MaxiCode: hexagons around a bull's eye, about an inch across whatever the
// data.
FieldMark MaxiCodeMark(const Symbol &symbol, int dotsPerMm)
{
    FieldMark mark;
    const qreal w = 25.5 / 30.5 * dotsPerMm; // hexagon width in dots
    const qreal rowPitch = w * std::sqrt(3.0) / 2;
    const qreal hexHeight = w * 2 / std::sqrt(3.0);
    const qreal width = 30.5 * w;
    const qreal height = (symbol.rows - 1) * rowPitch + hexHeight;
    mark.size = QSizeF(std::ceil(width), std::ceil(height));
    mark.typesetAnchor = QPointF(0, mark.size.height());
    mark.paint = [=](QPainter &p) {
        p.save();
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(Qt::NoPen);
        p.setBrush(Black);
        const qreal hw = w * 0.9 / 2;
        const qreal hh = hexHeight * 0.9 / 2;
        for (int r = 0; r < symbol.rows; ++r) {
            for (int c = 0; c < symbol.width; ++c) {
                if (!symbol.Dark(r, c))
                    continue;
                const qreal cx = c * w + w / 2 + (r % 2 ? w / 2 : 0);
                const qreal cy = r * rowPitch + hexHeight / 2;
                const QPolygonF hex({ QPointF(cx, cy - hh), QPointF(cx + hw, cy - hh / 2),
                                      QPointF(cx + hw, cy + hh / 2), QPointF(cx, cy + hh),
                                      QPointF(cx - hw, cy + hh / 2),
                                      QPointF(cx - hw, cy - hh / 2) });
                p.drawPolygon(hex);
            }
        }
        // The bull's eye: a dark centre and two dark rings, radii in hexagon widths.
        const QPointF centre(14.5 * w + w / 2, 16 * rowPitch + hexHeight / 2);
        static const qreal radii[] = { 3.58, 2.82, 2.06, 1.30, 0.53 };
        for (int i = 0; i < int(std::size(radii)); ++i) {
            p.setBrush(i % 2 ? White : Black);
            p.drawEllipse(centre, radii[i] * w, radii[i] * w);
        }
        p.restore();
    };
    return mark;
}

// Heights of the rows of a DataBar symbol: the encoder's separator rows are
// one module (times the separator parameter), the others the type's own.
std::vector<int> DataBarRows(const Symbol &symbol, const BarcodeParams &barcode, int module)
{
    int standard = 33;
    switch (barcode.variant) {
    case 2:
        standard = 13;
        break;
    case 5:
        standard = 10;
        break;
    case 6:
        standard = 34;
        break;
    default:
        break;
    }
    std::vector<int> rows;
    for (int r = 0; r < symbol.rows; ++r) {
        const float given = symbol.rowHeights[size_t(r)];
        const int modules = given <= 0 ? standard
            : given <= 1.5f            ? barcode.separator
                                       : int(std::lround(given));
        rows.push_back(modules * module);
    }
    return rows;
}

// PDF417 without columns: the printer takes the fewest columns that keep the
// symbol no taller than it is wide.
Symbol PdfWithAutomaticColumns(SymbolOptions options, const QByteArray &input, const Symbol &first,
                               int module, int rowHeight)
{
    for (int columns = 1; columns <= 30; ++columns) {
        options.option2 = columns;
        Symbol symbol;
        QString error;
        if (Encode(options, input, symbol, error)
            && symbol.rows * rowHeight <= symbol.width * module)
            return symbol;
    }
    return first;
}

// QR: the printer raises the correction level as far as the data still fits
// the symbol size the requested level needs.
Symbol QrWithRaisedCorrection(SymbolOptions options, const QByteArray &input, Symbol symbol)
{
    const int version = (symbol.width - 17) / 4;
    if (version < 1 || version > 40)
        return symbol;
    options.option2 = version;
    for (int level = options.option1 + 1; level <= 4; ++level) {
        options.option1 = level;
        Symbol raised;
        QString error;
        if (!Encode(options, input, raised, error) || raised.width != symbol.width)
            break;
        symbol = std::move(raised);
    }
    return symbol;
}

} // namespace

FieldMark BarcodeMark(const Field &field, const QByteArray &data, FontStore &fonts, int dotsPerMm,
                      QList<QString> &warnings)
{
    const BarcodeParams &barcode = field.barcode;
    const int module = std::clamp(barcode.module, 1, 10);
    if (data.isEmpty()) {
        warnings.append(QStringLiteral("bar code without data"));
        return {};
    }
    if (barcode.type == 'C') {
        const Code128Symbol symbol = EncodeCode128(data, barcode.mode);
        if (!symbol.problem.isEmpty())
            warnings.append(QStringLiteral("Code 128: %1").arg(symbol.problem));
        return LinearMark(barcode, FromCode128(symbol, module), fonts, module);
    }

    SymbolOptions options;
    QByteArray input = data;
    if (!ZintOptions(barcode, input, options, warnings))
        return {};
    if (input.isEmpty()) {
        warnings.append(QStringLiteral("bar code without data"));
        return {};
    }
    Symbol symbol;
    QString error;
    if (!Encode(options, input, symbol, error)) {
        warnings.append(QStringLiteral("bar code not drawn: %1").arg(error));
        return {};
    }

    const int magnification = std::clamp(barcode.magnification, 1, 10);
    switch (barcode.type) {
    case 'Q': {
        symbol = QrWithRaisedCorrection(options, input, std::move(symbol));
        FieldMark mark = MatrixMark(symbol, magnification,
                                    std::vector<int>(size_t(symbol.rows), magnification));
        if (field.typeset) {
            // The printer's baseline for a QR symbol lies three modules below it.
            mark.typesetAnchor.ry() += 3 * magnification;
            return mark;
        }
        // At a field origin the symbol starts the ^BY bar height further down.
        const int shift = std::max(barcode.height, 0);
        mark.size.rheight() += shift;
        mark.paint = [paint = mark.paint, shift](QPainter &p) {
            p.translate(0, shift);
            paint(p);
            p.translate(0, -shift);
        };
        return mark;
    }
    case '0':
    case 'O':
        return MatrixMark(symbol, magnification,
                          std::vector<int>(size_t(symbol.rows), magnification));
    case 'X': {
        const int cell = barcode.magnification > 0
            ? barcode.magnification
            : std::max(barcode.height / std::max(symbol.rows, 1), 1);
        return MatrixMark(symbol, cell, std::vector<int>(size_t(symbol.rows), cell));
    }
    case '7':
        if (barcode.columns == 0 && barcode.rows == 0 && barcode.magnification > 0)
            symbol = PdfWithAutomaticColumns(options, input, symbol, module, barcode.magnification);
        [[fallthrough]];
    case 'F':
    case 'B': {
        // Row height as asked, or the bar code height shared by the rows.
        const int rowHeight = barcode.magnification > 0
            ? barcode.magnification
            : std::max(barcode.height / std::max(symbol.rows, 1), 1);
        return MatrixMark(symbol, module, std::vector<int>(size_t(symbol.rows), rowHeight));
    }
    case 'D':
        return MaxiCodeMark(symbol, dotsPerMm);
    case '5':
    case 'Z':
        return PostalMark(symbol, module, std::max(barcode.height, 1));
    case 'R':
        if (barcode.variant <= 6)
            return MatrixMark(symbol, magnification, DataBarRows(symbol, barcode, magnification));
        break;
    default:
        break;
    }
    Linear linear = FromSymbol(symbol, barcode.type, module, barcode.ratio);
    linear.text = symbol.text.isEmpty() ? QString::fromLatin1(input) : symbol.text;
    if (barcode.type == 'L' && !symbol.text.isEmpty())
        linear.text = symbol.text;
    return LinearMark(barcode, linear, fonts, module);
}
