#include "preview/barcodeparams.h"
#include "preview/labelinterpreter.h"

using namespace label;

// ^Bx: the field becomes a bar code of its data. Parameter places differ
// per symbology; heights default to ^BY's.
bool LabelInterpreter::BarcodeCommand(const LabelCommand &command, const Args &args)
{
    if (command.name.size() != 2 || command.name.at(0) != 'B' || command.name == "BY")
        return false;
    const char type = command.name.at(1);
    if (!QByteArray("C3EU28AQX7").contains(type) && !IsFurtherBarcode(type))
        return false;
    BarcodeParams &barcode = field_.barcode;
    barcode = BarcodeParams();
    barcode.type = type;
    barcode.module = printer_.barModule;
    barcode.ratio = printer_.barRatio;
    barcode.height = printer_.barHeight;
    if (args.Given(0)) {
        field_.orientation = OrientationFromLetter(args.Letter(0, 'N'), printer_.orientation);
        fieldOrientation_ = true;
    }
    auto height = [&](int i) {
        if (args.Given(i))
            barcode.height
                = Clamped(command, Len(args, i, barcode.height), 1, MaxDimension, "height");
    };
    auto yes = [&](int i, bool fallback) {
        return args.Letter(i, fallback ? 'Y' : 'N') == 'Y';
    };
    switch (type) {
    case 'C':
        height(1);
        barcode.text = yes(2, true);
        barcode.textAbove = yes(3, false);
        barcode.checkDigit = yes(4, false);
        barcode.mode = args.Letter(5, 'N');
        break;
    case '3':
        barcode.checkDigit = yes(1, false);
        height(2);
        barcode.text = yes(3, true);
        barcode.textAbove = yes(4, false);
        break;
    case 'E':
    case 'U':
    case '2':
    case 'A':
    case '8':
        height(1);
        barcode.text = yes(2, true);
        barcode.textAbove = yes(3, false);
        // Interleaved 2 of 5: e adds the modulo 10 check digit.
        barcode.checkDigit = type == '2' && yes(4, false);
        break;
    case 'Q':
        // ^BQo,model,magnification,correction,mask: the data carries its own correction.
        barcode.magnification = Clamped(command, args.Int(2, options.dotsPerMm >= 12 ? 3 : 2), 1,
                                        10, "magnification");
        barcode.text = false;
        break;
    case 'X':
        // ^BXo,h,s,c,r,f,g,a: module size, quality, columns, rows, format (not
        // used at quality 200), escape character, aspect (1 square, 2 rectangle).
        barcode.magnification = Clamped(command, args.Int(1, 0), 0, MaxDimension, "module size");
        barcode.quality = int(args.Int(2, 0));
        barcode.columns = Clamped(command, args.Int(3, 0), 0, 144, "columns");
        barcode.rows = Clamped(command, args.Int(4, 0), 0, 144, "rows");
        if (args.Given(6))
            barcode.escape = args.Text(6).at(0);
        barcode.rectangular = args.Int(7, 1) == 2;
        barcode.text = false;
        break;
    case '7':
        // ^B7o,h,s,c,r,t: row height, security level, columns, rows, truncation.
        barcode.magnification = Clamped(command, args.Int(1, 0), 0, MaxDimension, "row height");
        barcode.security = Clamped(command, args.Int(2, 0), 0, 8, "security level");
        barcode.columns = Clamped(command, args.Int(3, 0), 0, 30, "columns");
        barcode.rows = Clamped(command, args.Int(4, 0), 0, 90, "rows");
        barcode.truncate = yes(5, false);
        barcode.text = false;
        break;
    default: {
        QList<QByteArray> params;
        for (int i = 0; i < args.Count(); ++i)
            params.append(args.Text(i));
        ReadFurtherBarcode(barcode, params, options.dotsPerMm);
        break;
    }
    }
    field_.kind = Field::Kind::Barcode;
    fieldContent_ = true;
    return true;
}
