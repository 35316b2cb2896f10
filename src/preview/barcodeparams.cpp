#include "preview/barcodeparams.h"

#include <algorithm>

namespace {

class Params
{
public:
    explicit Params(const QList<QByteArray> &params)
        : params_(params)
    { }
    QByteArray Text(int i) const { return params_.value(i).trimmed(); }
    char Letter(int i, char fallback) const
    {
        const QByteArray t = Text(i);
        if (t.isEmpty())
            return fallback;
        const char c = t.at(0);
        return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    bool Yes(int i, bool fallback) const { return Letter(i, fallback ? 'Y' : 'N') == 'Y'; }
    // Leading digits as the printer reads them; the fallback when there are none.
    int Int(int i, int fallback, int low, int high) const
    {
        const QByteArray t = Text(i);
        qsizetype n = 0;
        while (n < t.size() && n < 9 && t.at(n) >= '0' && t.at(n) <= '9')
            ++n;
        if (n == 0)
            return fallback;
        return std::clamp(t.left(n).toInt(), low, high);
    }

private:
    const QList<QByteArray> &params_;
};

constexpr int MaxHeight = 32000;

} // namespace

bool IsFurtherBarcode(char type)
{
    return type != 0 && QByteArray("0ORDLSKB1IFM5PZJ9").contains(type);
}

void ReadFurtherBarcode(BarcodeParams &barcode, const QList<QByteArray> &params, int dotsPerMm)
{
    const Params p(params);
    // Most of them: o,h,f,g (height, interpretation line, line above).
    auto common = [&](int height, int text, bool textDefault) {
        barcode.height = p.Int(height, barcode.height, 1, MaxHeight);
        barcode.text = p.Yes(text, textDefault);
        barcode.textAbove = p.Yes(text + 1, false);
    };
    const int magnification = std::clamp(dotsPerMm / 4, 1, 10);
    switch (barcode.type) {
    case '0':
    case 'O':
        // o,m,e,c,d,n,i: magnification, extended channel, error control and size.
        barcode.magnification = p.Int(1, magnification, 1, 10);
        barcode.variant = p.Int(3, 0, 0, 300);
        barcode.text = false;
        break;
    case 'R':
        // o,t,m,s,h,w: type, magnification, separator, composite height, segments.
        barcode.variant = p.Int(1, 1, 1, 12);
        barcode.magnification = p.Int(2, magnification, 1, 10);
        barcode.separator = p.Int(3, 1, 1, 2);
        barcode.height = p.Int(4, 25, 1, MaxHeight);
        barcode.segments = p.Int(5, 22, 2, 22) & ~1;
        barcode.text = false;
        break;
    case 'D':
        // m,n,t after the orientation-less command: mode, symbol number, total.
        barcode.variant = p.Int(0, 2, 2, 6);
        barcode.text = false;
        break;
    case 'L':
        // o,h,g: the interpretation line is always printed, g puts it above.
        barcode.height = p.Int(1, barcode.height, 1, MaxHeight);
        barcode.text = true;
        barcode.textAbove = p.Yes(2, false);
        break;
    case 'S':
        // o,h,f: the digits are printed above the bars.
        barcode.height = p.Int(1, barcode.height, 1, MaxHeight);
        barcode.text = p.Yes(2, true);
        barcode.textAbove = true;
        break;
    case 'K':
        // o,e,h,f,g,k,l: check digit, height, line, above, start, stop.
        barcode.checkDigit = p.Yes(1, false);
        common(2, 3, true);
        barcode.startCharacter = p.Letter(5, 'A');
        barcode.stopCharacter = p.Letter(6, 'A');
        if (!QByteArray("ABCD").contains(barcode.startCharacter))
            barcode.startCharacter = 'A';
        if (!QByteArray("ABCD").contains(barcode.stopCharacter))
            barcode.stopCharacter = 'A';
        break;
    case 'B':
        // o,h,s,c,r,m: row height, security, columns, rows, mode.
        barcode.magnification = p.Int(1, 8, 2, MaxHeight);
        barcode.columns = p.Int(3, 0, 0, 62);
        barcode.rows = p.Int(4, 0, 0, 44);
        barcode.text = false;
        break;
    case '1':
        // o,e,h,f,g: e says one check digit (Y) or two (N).
        barcode.checkDigit = p.Yes(1, false);
        common(2, 3, true);
        break;
    case 'F':
        // o,h,m: row height, mode (columns and rows).
        barcode.magnification = p.Int(1, barcode.height, 1, MaxHeight);
        barcode.variant = p.Int(2, 0, 0, 33);
        barcode.text = false;
        break;
    case 'M':
        // o,e,h,f,g,e2: check digits A (none) to D.
        barcode.checkMode = p.Letter(1, 'B');
        if (!QByteArray("ABCD").contains(barcode.checkMode))
            barcode.checkMode = 'B';
        common(2, 3, true);
        break;
    case 'P':
        // o,e,h,f,g: e prints the check digit.
        barcode.checkDigit = p.Yes(1, false);
        common(2, 3, true);
        break;
    case 'Z':
        // o,h,f,g,t: t picks POSTNET (0), PLANET (1) or Intelligent Mail (3).
        common(1, 2, false);
        barcode.variant = p.Int(4, 0, 0, 3);
        break;
    case '5':
        common(1, 2, false);
        break;
    case '9':
        // o,h,f,g,e
        common(1, 2, true);
        barcode.checkDigit = p.Yes(4, true);
        break;
    case 'I':
    case 'J':
        common(1, 2, true);
        break;
    default:
        break;
    }
}
