#include "printer/generatedlabels.h"

QByteArray TextLinesFormat(const QStringList &lines, int dotsPerMm, int *lengthDots)
{
    // About 3.75 mm high letters on a 5 mm line pitch, 3 mm from the edges.
    const int height = dotsPerMm * 15 / 4;
    const int pitch = dotsPerMm * 5;
    const int margin = dotsPerMm * 3;
    QByteArray format = "^XA^CI28^CF0," + QByteArray::number(height) + "\r\n";
    int y = margin;
    for (QString line : lines) {
        // The label language's two prefixes cannot stand in field data.
        line.replace(QLatin1Char('^'), QLatin1Char('?'))
            .replace(QLatin1Char('~'), QLatin1Char('?'));
        format += "^FO" + QByteArray::number(margin) + ',' + QByteArray::number(y) + "^FD"
            + line.toUtf8() + "^FS\r\n";
        y += pitch;
    }
    format += "^PQ1\r\n^XZ\r\n";
    if (lengthDots)
        *lengthDots = y + margin;
    return format;
}

QByteArray HexDump(QByteArrayView bytes)
{
    QByteArray out;
    out.reserve(bytes.size() * 4 + 64);
    static const char digits[] = "0123456789ABCDEF";
    for (qsizetype row = 0; row < bytes.size(); row += 16) {
        out += QByteArray::number(row, 16).toUpper().rightJustified(8, '0') + "  ";
        QByteArray text;
        for (qsizetype i = row; i < row + 16; ++i) {
            if (i < bytes.size()) {
                const auto c = static_cast<unsigned char>(bytes[i]);
                out += digits[c >> 4];
                out += digits[c & 15];
                out += ' ';
                text += c >= 0x20 && c < 0x7F ? char(c) : '.';
            } else {
                out += "   ";
            }
        }
        out += ' ' + text + '\n';
    }
    return out;
}
