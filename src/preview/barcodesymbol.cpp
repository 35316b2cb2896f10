#include "preview/barcodesymbol.h"

#include <zint.h>

#include <algorithm>
#include <memory>

namespace {

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

// Without a size the printer takes the smallest that holds its code words
// (the square or, when asked, the rectangle; a square when no rectangle
// does); 0 when none.
int DataMatrixSizeFor(int codeWords, bool rectangle)
{
    static const int squares[] = { 3,   5,   8,   12,  18,  22,  30,  36,  44,  62,   86,   114,
                                   144, 174, 204, 280, 368, 456, 576, 696, 816, 1050, 1304, 1558 };
    static const int rectangles[] = { 5, 10, 16, 22, 32, 49 };
    if (rectangle) {
        for (int i = 0; i < int(std::size(rectangles)); ++i) {
            if (rectangles[i] >= codeWords)
                return 25 + i;
        }
    }
    for (int i = 0; i < int(std::size(squares)); ++i) {
        if (squares[i] >= codeWords)
            return i + 1;
    }
    return 0;
}

// EAN and UPC data is cut to its length or filled up with zeros in front;
// the check digit is the printer's own.
QByteArray FixedDigits(const QByteArray &data, int length)
{
    return data.left(length).rightJustified(length, '0');
}

QByteArray Digits(const QByteArray &data)
{
    QByteArray digits;
    for (char c : data) {
        if (c >= '0' && c <= '9')
            digits += c;
    }
    return digits;
}

// Application identifiers with a fixed data length; the others run to the
// end of the data or to a function code 1 (">8").
int FixedAiLength(const QByteArray &ai)
{
    static const struct
    {
        const char *ai;
        int length;
    } fixed[] = { { "00", 18 }, { "01", 14 }, { "02", 14 }, { "03", 14 }, { "04", 16 },
                  { "11", 6 },  { "12", 6 },  { "13", 6 },  { "15", 6 },  { "16", 6 },
                  { "17", 6 },  { "20", 2 },  { "41", 13 } };
    for (const auto &f : fixed) {
        if (ai.startsWith(f.ai))
            return f.length;
    }
    if (ai.size() >= 2 && ai.at(0) == '3' && ai.at(1) >= '1' && ai.at(1) <= '6')
        return 6; // measures: four-digit identifiers with six digits
    return -1;
}

int AiLength(const QByteArray &data)
{
    if (data.size() >= 2 && data.at(0) == '3' && data.at(1) >= '1' && data.at(1) <= '6')
        return 4;
    if (data.startsWith("7") || data.startsWith("8") || data.startsWith("31"))
        return 4;
    if (data.startsWith("23") || data.startsWith("24") || data.startsWith("25")
        || data.startsWith("39") || data.startsWith("40") || data.startsWith("41")
        || data.startsWith("42"))
        return 3;
    return 2;
}

// "0112345678901231" -> "[01]12345678901231", as the encoder wants GS1 data.
QByteArray Bracketed(const QByteArray &data)
{
    if (data.contains('[') || data.contains('('))
        return data;
    QByteArray out;
    qsizetype i = 0;
    while (i < data.size()) {
        if (data.mid(i, 2) == ">8") {
            i += 2;
            continue;
        }
        const QByteArray ai = data.mid(i, AiLength(data.mid(i)));
        i += ai.size();
        const int length = FixedAiLength(ai);
        qsizetype end = length >= 0 ? std::min(i + length, data.size()) : data.indexOf(">8", i);
        if (end < 0)
            end = data.size();
        out += '[' + ai + ']' + data.mid(i, end - i);
        i = end;
    }
    return out;
}

// MicroPDF417 modes 0 to 33: columns of each.
int MicroPdfColumns(int mode)
{
    if (mode <= 5)
        return 1;
    if (mode <= 12)
        return 2;
    if (mode <= 22)
        return 3;
    return 4;
}

} // namespace

bool Encode(const SymbolOptions &options, const QByteArray &data, Symbol &symbol, QString &error)
{
    std::unique_ptr<zint_symbol, void (*)(zint_symbol *)> z(ZBarcode_Create(), ZBarcode_Delete);
    if (!z) {
        error = QStringLiteral("no memory");
        return false;
    }
    z->symbology = options.symbology;
    z->input_mode = options.extras.inputMode;
    z->eci = options.extras.eci;
    if (options.extras.readerInit)
        z->output_options |= READER_INIT;
    if (options.extras.appendCount) {
        z->structapp.index = options.extras.appendIndex;
        z->structapp.count = options.extras.appendCount;
        qstrncpy(z->structapp.id, options.extras.appendId.constData(), sizeof z->structapp.id);
    }
    z->option_1 = options.option1;
    z->option_2 = options.option2;
    z->option_3 = options.option3;
    if (!options.primary.isEmpty())
        qstrncpy(z->primary, options.primary.constData(), sizeof z->primary);
    const int rc = ZBarcode_Encode(
        z.get(), reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
    if (rc >= ZINT_ERROR) {
        error = QString::fromLatin1(z->errtxt);
        return false;
    }
    symbol.rows = z->rows;
    symbol.width = z->width;
    symbol.modules.assign(size_t(symbol.rows) * symbol.width, 0);
    symbol.rowHeights.assign(size_t(symbol.rows), 0);
    for (int r = 0; r < symbol.rows; ++r) {
        for (int c = 0; c < symbol.width; ++c)
            symbol.modules[size_t(r) * symbol.width + c]
                = (z->encoded_data[r][c >> 3] >> (c & 7)) & 1;
        if (r < int(std::size(z->row_height)))
            symbol.rowHeights[size_t(r)] = z->row_height[r];
    }
    symbol.text = QString::fromUtf8(reinterpret_cast<const char *>(z->text));
    return true;
}

bool ZintOptions(const BarcodeParams &barcode, QByteArray &data, SymbolOptions &options,
                 QList<QString> &warnings)
{
    switch (barcode.type) {
    case '3':
        options.symbology = BARCODE_CODE39;
        options.option2 = barcode.checkDigit ? 1 : 0;
        return true;
    case '2':
        options.symbology = BARCODE_C25INTER;
        options.option2 = barcode.checkDigit ? 1 : 0;
        if (data.startsWith(">;"))
            data = data.mid(2); // the subset C start of Code 128, meaningless here
        data = DigitsOnly(data, QStringLiteral("Interleaved 2 of 5"), warnings);
        return true;
    case 'A':
        options.symbology = BARCODE_CODE93;
        return true;
    case 'E':
        options.symbology = BARCODE_EANX;
        data = FixedDigits(data, 12);
        return true;
    case '8':
        options.symbology = BARCODE_EANX;
        data = FixedDigits(data, 7);
        return true;
    case 'U':
        options.symbology = BARCODE_UPCA;
        data = FixedDigits(data, 11);
        return true;
    case '9':
        options.symbology = BARCODE_UPCE;
        data = FixedDigits(data, 6);
        return true;
    case 'S':
        options.symbology = BARCODE_EANX; // two or five digits: the extension alone
        data = Digits(data).left(5);
        if (data.size() != 2 && data.size() != 5)
            data = data.left(2);
        return true;
    case 'Q': {
        options.symbology = BARCODE_QRCODE;
        QrFieldData qr = ReadQrData(data, warnings);
        data = qr.data;
        options.option1 = qr.level;
        options.extras = qr.extras;
        return true;
    }
    case 'X': {
        options.symbology = BARCODE_DATAMATRIX;
        if (barcode.quality != 200)
            warnings.append(
                QStringLiteral("Data Matrix quality %1 drawn as ECC 200").arg(barcode.quality));
        // Escape sequences are read at quality 200 only.
        DataMatrixFieldData dm
            = ReadDataMatrixData(data, barcode.quality == 200 ? barcode.escape : 0, warnings);
        data = dm.data;
        options.extras = dm.extras;
        options.option2 = DataMatrixSize(barcode.rows, barcode.columns);
        if (!barcode.rows && !barcode.columns)
            options.option2 = DataMatrixSizeFor(dm.codeWords, barcode.rectangular);
        if ((barcode.rows || barcode.columns) && options.option2 == 0)
            warnings.append(
                QStringLiteral("Data Matrix %1 x %2 is not a size: size chosen by the data")
                    .arg(barcode.rows)
                    .arg(barcode.columns));
        options.option3 = DM_SQUARE;
        // The encoder's plain look-ahead stays in ASCII longer than its
        // shortest encodation does: nearer the printer's character by
        // character symbols (the same modules for more of the symbol).
        options.extras.inputMode |= FAST_MODE;
        return true;
    }
    case '7':
        options.symbology = barcode.truncate ? BARCODE_PDF417COMP : BARCODE_PDF417;
        options.option1 = std::clamp(barcode.security, 0, 8); // 0 is a level too: two check words
        options.option2 = std::clamp(barcode.columns, 0, 30);
        options.option3 = barcode.rows > 0 ? std::clamp(barcode.rows, 3, 90) : 0;
        return true;
    case '0':
    case 'O': {
        options.symbology = BARCODE_AZTEC;
        const int c = barcode.variant;
        if (c >= 1 && c <= 99)
            options.option1 = c <= 10 ? 1 : c <= 23 ? 2 : c <= 36 ? 3 : 4;
        else if (c >= 101 && c <= 104)
            options.option2 = c - 100; // compact, layers
        else if (c >= 201 && c <= 232)
            options.option2 = c - 196; // full range, layers
        else if (c == 300)
            warnings.append(QStringLiteral("Aztec rune drawn as a symbol of its data"));
        return true;
    }
    case 'R':
        switch (barcode.variant) {
        case 1:
        case 2:
            options.symbology = BARCODE_DBAR_OMN;
            break;
        case 3:
            options.symbology = BARCODE_DBAR_STK;
            break;
        case 4:
            options.symbology = BARCODE_DBAR_OMNSTK;
            break;
        case 5:
            options.symbology = BARCODE_DBAR_LTD;
            break;
        case 6:
            options.symbology = BARCODE_DBAR_EXPSTK;
            options.option2 = std::max(barcode.segments / 2, 1);
            data = Bracketed(data.left(data.indexOf('|') < 0 ? data.size() : data.indexOf('|')));
            options.extras.inputMode = GS1_MODE;
            return true;
        case 7:
            options.symbology = BARCODE_UPCA;
            break;
        case 8:
            options.symbology = BARCODE_UPCE;
            break;
        case 9:
            options.symbology = BARCODE_EANX;
            break;
        case 10:
            options.symbology = BARCODE_EANX;
            data = Digits(data).left(7);
            return true;
        default:
            options.symbology = BARCODE_GS1_128;
            options.extras.inputMode = GS1_MODE;
            warnings.append(
                QStringLiteral("DataBar type %1: composite part not drawn").arg(barcode.variant));
            data = Bracketed(data.left(data.indexOf('|') < 0 ? data.size() : data.indexOf('|')));
            return true;
        }
        if (data.contains('|'))
            warnings.append(QStringLiteral("DataBar: composite part not drawn"));
        data = Digits(data.left(data.indexOf('|') < 0 ? data.size() : data.indexOf('|'))).left(13);
        return true;
    case 'D': {
        options.symbology = BARCODE_MAXICODE;
        options.option1 = barcode.variant;
        if (barcode.variant == 2 || barcode.variant == 3) {
            // Class of service (3), country (3) and postal code (9 digits or
            // 6 characters) first; the encoder wants postal code, country, class.
            const int postal = barcode.variant == 2 ? 9 : 6;
            const QByteArray service = data.left(3);
            const QByteArray country = data.mid(3, 3);
            const QByteArray code = data.mid(6, postal);
            options.primary = code + country + service;
            data = data.mid(6 + postal);
            if (data.isEmpty())
                data = " ";
        }
        return true;
    }
    case 'L':
        options.symbology = BARCODE_LOGMARS;
        options.option2 = 1; // the printer always adds the modulo 43 check digit
        return true;
    case 'K': {
        options.symbology = BARCODE_CODABAR;
        options.option2 = barcode.checkDigit ? 1 : 0;
        // Start and stop come from the command; the data's own are left out.
        QByteArray inner = data;
        auto startStop = [](char c) {
            return QByteArray("ABCDabcd").contains(c);
        };
        if (!inner.isEmpty() && startStop(inner.front()))
            inner.remove(0, 1);
        if (!inner.isEmpty() && startStop(inner.back()))
            inner.chop(1);
        data = barcode.startCharacter + inner + barcode.stopCharacter;
        return true;
    }
    case 'B':
        options.symbology = BARCODE_CODABLOCKF;
        if (barcode.rows > 0)
            options.option1 = barcode.rows;
        if (barcode.columns > 0)
            options.option2 = barcode.columns;
        return true;
    case '1':
        options.symbology = BARCODE_CODE11;
        options.option2 = barcode.checkDigit ? 1 : 0; // one check digit, or two
        return true;
    case 'I':
        options.symbology = BARCODE_C25IND;
        data = DigitsOnly(data, QStringLiteral("Industrial 2 of 5"), warnings);
        return true;
    case 'J':
        options.symbology = BARCODE_C25IATA;
        data = DigitsOnly(data, QStringLiteral("Standard 2 of 5"), warnings);
        return true;
    case 'F':
        options.symbology = BARCODE_MICROPDF417;
        options.option2 = MicroPdfColumns(barcode.variant);
        return true;
    case 'M':
        options.symbology = BARCODE_MSI_PLESSEY;
        options.option2 = barcode.checkMode == 'A' ? 0
            : barcode.checkMode == 'C'             ? 2
            : barcode.checkMode == 'D'             ? 4
                                                   : 1;
        data = DigitsOnly(data, QStringLiteral("MSI"), warnings);
        return true;
    case 'P':
        options.symbology = BARCODE_PLESSEY;
        return true;
    case '5':
        options.symbology = BARCODE_PLANET;
        data = DigitsOnly(data, QStringLiteral("PLANET"), warnings);
        return true;
    case 'Z':
        options.symbology = barcode.variant == 1 ? BARCODE_PLANET
            : barcode.variant >= 2               ? BARCODE_USPS_IMAIL
                                                 : BARCODE_POSTNET;
        if (barcode.variant < 2)
            data = DigitsOnly(
                data, barcode.variant == 1 ? QStringLiteral("PLANET") : QStringLiteral("POSTNET"),
                warnings);
        return true;
    default:
        return false;
    }
}
