#include "preview/barcodes.h"

#include "preview/textfonts.h"

#include <QPainter>

#include <zint.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace {

// One encoded symbol: rows of modules, 1 = dark.
struct Symbol
{
    int rows = 0;
    int width = 0;
    std::vector<uchar> modules;
    QString text; // human-readable text as the encoder gives it
    bool Dark(int row, int column) const { return modules[size_t(row) * width + column] != 0; }
};

struct SymbolOptions
{
    int symbology = 0;
    int option1 = -1;
    int option2 = 0;
    int option3 = 0;
};

bool Encode(const SymbolOptions &options, const QByteArray &data, Symbol &symbol, QString &error)
{
    std::unique_ptr<zint_symbol, void (*)(zint_symbol *)> z(ZBarcode_Create(), ZBarcode_Delete);
    if (!z) {
        error = QStringLiteral("no memory");
        return false;
    }
    z->symbology = options.symbology;
    z->input_mode = DATA_MODE;
    z->option_1 = options.option1;
    z->option_2 = options.option2;
    z->option_3 = options.option3;
    const int rc = ZBarcode_Encode(
        z.get(), reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
    if (rc >= ZINT_ERROR) {
        error = QString::fromLatin1(z->errtxt);
        return false;
    }
    symbol.rows = z->rows;
    symbol.width = z->width;
    symbol.modules.assign(size_t(symbol.rows) * symbol.width, 0);
    for (int r = 0; r < symbol.rows; ++r) {
        for (int c = 0; c < symbol.width; ++c)
            symbol.modules[size_t(r) * symbol.width + c]
                = (z->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    }
    symbol.text = QString::fromUtf8(reinterpret_cast<const char *>(z->text));
    return true;
}

// Bars of a linear symbol as (dark, width in dots) runs.
struct Run
{
    bool dark;
    int dots;
};

std::vector<Run> LinearRuns(const Symbol &symbol, int module, double ratio, bool twoWidths)
{
    std::vector<Run> runs;
    const int wide = std::max(int(std::lround(module * ratio)), module + 1);
    int c = 0;
    while (c < symbol.width) {
        const bool dark = symbol.Dark(0, c);
        int length = 0;
        while (c < symbol.width && symbol.Dark(0, c) == dark) {
            ++length;
            ++c;
        }
        // Two-width codes: the encoder's two-module elements are wide ones.
        runs.push_back(
            { dark, twoWidths ? (length == 1 ? module : wide * (length / 2)) : length * module });
    }
    return runs;
}

int DataMatrixSize(int rows, int columns)
{
    // Sizes in the encoder's numbering: squares first, then rectangles.
    static const int squares[] = { 10, 12, 14, 16, 18, 20, 22, 24, 26,  32,  36,  40,
                                   44, 48, 52, 64, 72, 80, 88, 96, 104, 120, 132, 144 };
    static const int rectangles[][2]
        = { { 8, 18 }, { 8, 32 }, { 12, 26 }, { 12, 36 }, { 16, 36 }, { 16, 48 } };
    if (rows == columns) {
        for (int i = 0; i < int(std::size(squares)); ++i) {
            if (squares[i] == rows)
                return i + 1;
        }
    }
    for (int i = 0; i < int(std::size(rectangles)); ++i) {
        if (rectangles[i][0] == rows && rectangles[i][1] == columns)
            return 25 + i;
    }
    return 0;
}

// ^FD of a QR field: error correction letter, input mode, ",", data; in
// manual mode the data starts with its character mode (N, A, K, or B and a
// four-digit count).
QByteArray QrData(const QByteArray &field, int &level, QString &warning)
{
    const QByteArray levels = "LMQH";
    level = 3;
    if (field.size() < 3 || field.at(2) != ',') {
        warning = QStringLiteral("QR data should start with the error correction and input mode, "
                                 "like QA,");
        return field;
    }
    const qsizetype at = levels.indexOf(field.at(0));
    if (at >= 0)
        level = int(at) + 1;
    QByteArray data = field.mid(3);
    if (field.at(1) == 'M' && !data.isEmpty()) {
        const char mode = data.at(0);
        data = data.mid(mode == 'B' ? 5 : 1);
    }
    return data;
}

} // namespace

QByteArray Code128Text(const QByteArray &data)
{
    QByteArray text;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c != '>' || i + 1 >= data.size()) {
            text += c;
            continue;
        }
        const char code = data.at(i + 1);
        switch (code) {
        case '<':
        case '0':
            text += '>';
            break;
        case '=':
            text += '~';
            break;
        case '1':
            text += '\x7F';
            break;
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
        case ':':
        case ';':
            break; // subset changes and function codes: the encoder picks its own
        default:
            text += c;
            continue;
        }
        ++i;
    }
    return text;
}

FieldMark BarcodeMark(const Field &field, const QByteArray &data, FontStore &fonts, int dotsPerMm,
                      QList<QString> &warnings)
{
    const BarcodeParams &barcode = field.barcode;
    FieldMark mark;
    const int module = std::clamp(barcode.module, 1, 10);
    SymbolOptions options;
    QByteArray input = data;
    bool linear = true;
    bool twoWidths = false;
    switch (barcode.type) {
    case 'C':
        options.symbology = BARCODE_CODE128;
        input = Code128Text(data);
        if (data.contains(">8"))
            warnings.append(QStringLiteral("Code 128: function code 1 (>8) not drawn"));
        if (barcode.mode == 'U' || barcode.mode == 'D')
            warnings.append(QStringLiteral("Code 128: mode %1 drawn as plain data")
                                .arg(QLatin1Char(barcode.mode)));
        break;
    case '3':
        options.symbology = BARCODE_CODE39;
        options.option2 = barcode.checkDigit ? 1 : 0;
        twoWidths = true;
        break;
    case '2':
        options.symbology = BARCODE_C25INTER;
        twoWidths = true;
        break;
    case 'A':
        options.symbology = BARCODE_CODE93;
        break;
    case 'E':
        options.symbology = BARCODE_EANX;
        input = data.left(12);
        break;
    case '8':
        options.symbology = BARCODE_EANX;
        input = data.left(7);
        break;
    case 'U':
        options.symbology = BARCODE_UPCA;
        input = data.left(11);
        break;
    case 'Q':
        options.symbology = BARCODE_QRCODE;
        linear = false;
        {
            QString warning;
            input = QrData(data, options.option1, warning);
            if (!warning.isEmpty())
                warnings.append(warning);
        }
        break;
    case 'X':
        options.symbology = BARCODE_DATAMATRIX;
        linear = false;
        if (barcode.quality != 200)
            warnings.append(
                QStringLiteral("Data Matrix quality %1 drawn as ECC 200").arg(barcode.quality));
        options.option2 = DataMatrixSize(barcode.rows, barcode.columns);
        if ((barcode.rows || barcode.columns) && options.option2 == 0)
            warnings.append(
                QStringLiteral("Data Matrix %1 x %2 is not a size: size chosen by the data")
                    .arg(barcode.rows)
                    .arg(barcode.columns));
        options.option3 = DM_SQUARE;
        break;
    case '7':
        options.symbology = barcode.truncate ? BARCODE_PDF417COMP : BARCODE_PDF417;
        linear = false;
        options.option1 = barcode.security > 0 ? std::clamp(barcode.security, 1, 8) : -1;
        options.option2 = std::clamp(barcode.columns, 0, 30);
        options.option3 = barcode.rows > 0 ? std::clamp(barcode.rows, 3, 90) : 0;
        break;
    default:
        return mark;
    }
    if (input.isEmpty()) {
        warnings.append(QStringLiteral("bar code without data"));
        return mark;
    }

    Symbol symbol;
    QString error;
    if (!Encode(options, input, symbol, error)) {
        warnings.append(QStringLiteral("bar code not drawn: %1").arg(error));
        return mark;
    }

    const QColor black(0, 0, 0);
    if (!linear) {
        int cellW = module;
        int cellH = module;
        if (barcode.type == 'Q') {
            cellW = cellH = std::clamp(barcode.magnification, 1, 10);
        } else if (barcode.type == 'X') {
            cellW = cellH = barcode.magnification > 0
                ? barcode.magnification
                : std::max(barcode.height / std::max(symbol.rows, 1), 1);
        } else {
            // PDF417: module width from ^BY, row height as asked or the bar
            // code height shared by the rows.
            cellH = barcode.magnification > 0
                ? barcode.magnification
                : std::max(barcode.height / std::max(symbol.rows, 1), 1);
        }
        const int w = symbol.width * cellW;
        const int h = symbol.rows * cellH;
        mark.size = QSizeF(w, h);
        mark.typesetAnchor = QPointF(0, h);
        mark.paint = [symbol, cellW, cellH, black](QPainter &p) {
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
                    p.fillRect(QRect(start * cellW, r * cellH, (c - start) * cellW, cellH), black);
                }
            }
        };
        return mark;
    }

    const std::vector<Run> runs = LinearRuns(symbol, module, barcode.ratio, twoWidths);
    int width = 0;
    for (const Run &run : runs)
        width += run.dots;
    const int barHeight = std::max(barcode.height, 1);

    // The interpretation line: the data as printed under (or over) the bars.
    QString text;
    if (barcode.text) {
        if (barcode.type == 'C')
            text = QString::fromLatin1(input);
        else
            text = symbol.text.isEmpty() ? QString::fromLatin1(input) : symbol.text;
    }
    QString warning;
    const int textHeight = std::max(module * 9, dotsPerMm * 2);
    const TextFace face = fonts.Face(FontRequest { "0", textHeight, 0 }, warning);
    const TextRun textRun = text.isEmpty() ? TextRun() : fonts.Layout(face, text);
    const int gap = text.isEmpty() ? 0 : std::max(module, 2);
    const int textBand = text.isEmpty() || !face.IsValid() ? 0 : face.cellHeight + gap;
    const int barsTop = barcode.textAbove ? textBand : 0;
    // EAN and UPC guard bars reach down into the text band.
    const bool guards = barcode.type == 'E' || barcode.type == 'U' || barcode.type == '8';

    mark.size = QSizeF(std::max(width, qRound(textRun.width)), barHeight + textBand);
    mark.typesetAnchor = QPointF(0, barsTop + barHeight);
    mark.paint = [=](QPainter &p) {
        int x = 0;
        int moduleIndex = 0;
        for (const Run &run : runs) {
            if (run.dark) {
                int h = barHeight;
                if (guards && !barcode.textAbove && textBand > 0) {
                    const int total = symbol.width;
                    const int i = moduleIndex;
                    const bool guard
                        = i < 3 || (i >= total / 2 - 2 && i < total / 2 + 3) || i >= total - 3;
                    if (guard)
                        h += textBand / 2;
                }
                p.fillRect(QRect(x, barsTop, run.dots, h), black);
            }
            x += run.dots;
            moduleIndex += twoWidths ? 1 : run.dots / module;
        }
        if (textRun.width > 0) {
            const qreal textX = (width - textRun.width) / 2;
            const qreal top = barcode.textAbove ? 0 : barHeight + gap;
            FontStore::Draw(p, face, textRun, textX, top + face.ascent);
        }
    };
    return mark;
}
