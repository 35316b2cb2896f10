#include "commands/printertext.h"

namespace {

bool Escaped(char32_t c)
{
    if (c < 0x20 || (c >= 0x7f && c < 0xa0))
        return true;
    switch (QChar::category(c)) {
    case QChar::Other_Format: // bidirectional overrides, zero-width characters
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Surrogate:
        return true;
    default:
        return false;
    }
}

QString Escape(QStringView text, bool backslash)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (backslash && c == U'\\') {
            out += QStringLiteral("\\\\");
        } else if (c < 0x100 && Escaped(c)) {
            out += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
        } else if (Escaped(c)) {
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        } else {
            out += QString::fromUcs4(&c, 1);
        }
    }
    return out;
}

int Code(QChar c)
{
    return c.unicode();
}

int Code(char c)
{
    return uchar(c);
}

template<class View> PrinterNumber Read(View text, qint64 max)
{
    PrinterNumber n;
    if (text.isEmpty())
        return n;
    n.digits = true;
    n.fits = true;
    for (const auto c : text) {
        const int digit = Code(c) - '0';
        if (digit < 0 || digit > 9) {
            n.digits = false;
            n.fits = false;
            n.value = 0;
            return n;
        }
        if (n.fits && (n.value > (max - digit) / 10))
            n.fits = false;
        if (n.fits)
            n.value = n.value * 10 + digit;
    }
    if (!n.fits)
        n.value = 0;
    return n;
}

} // namespace

QString ShownText(QStringView text)
{
    return Escape(text, true);
}

QString OnOneLine(QStringView text)
{
    return Escape(text, false);
}

PrinterNumber ReadPrinterNumber(QStringView text, qint64 max)
{
    return Read(text, max);
}

PrinterNumber ReadPrinterNumber(QByteArrayView text, qint64 max)
{
    return Read(text, max);
}

QString NotHoldable()
{
    return QStringLiteral("not a number the printer could hold");
}
