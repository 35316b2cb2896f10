#include "preview/fielddata.h"

#include <QStringDecoder>

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

QByteArray DecodeHexEscapes(const QByteArray &data, char indicator)
{
    QByteArray out;
    out.reserve(data.size());
    for (qsizetype i = 0; i < data.size(); ++i) {
        const char c = data.at(i);
        if (c == indicator && i + 2 < data.size() && HexDigitValue(data.at(i + 1)) >= 0
            && HexDigitValue(data.at(i + 2)) >= 0) {
            out += char(HexDigitValue(data.at(i + 1)) * 16 + HexDigitValue(data.at(i + 2)));
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

bool KnownCharset(int charset)
{
    return charset >= 0 && charset <= 36;
}

QString DecodeFieldText(const QByteArray &data, int charset, bool &valid)
{
    valid = true;
    const char *name = "IBM850";
    switch (charset) {
    case 27:
        name = "windows-1252";
        break;
    case 28:
        name = "UTF-8";
        break;
    case 29:
        name = "UTF-16BE";
        break;
    case 30:
        name = "UTF-16LE";
        break;
    default:
        break;
    }
    bool ascii = true;
    for (char c : data) {
        if (uchar(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii && charset != 29 && charset != 30)
        return QString::fromLatin1(data);
    QStringDecoder decoder(name, QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return QString::fromLatin1(data);
    QString text = decoder.decode(data);
    valid = !decoder.hasError();
    return text;
}

QByteArray SerialValue(const QByteArray &start, qint64 increment, bool leadingZeros, qint64 index)
{
    qsizetype end = start.size();
    while (end > 0 && !(start.at(end - 1) >= '0' && start.at(end - 1) <= '9'))
        --end;
    qsizetype begin = end;
    while (begin > 0 && start.at(begin - 1) >= '0' && start.at(begin - 1) <= '9')
        --begin;
    if (begin == end)
        return start;
    const qsizetype width = end - begin;
    // 18 digits at most, so the arithmetic stays in 64 bits.
    const QByteArray digits = start.mid(begin, width).right(18);
    const qint64 modulus = [&] {
        qint64 m = 1;
        for (qsizetype i = 0; i < digits.size(); ++i)
            m *= 10;
        return m;
    }();
    const qint64 first = digits.toLongLong();
    const __int128 raw = __int128(first) + __int128(increment) * index;
    qint64 value = qint64(((raw % modulus) + modulus) % modulus); // wraps like a counter
    QByteArray number = QByteArray::number(value);
    if (number.size() < width)
        number.prepend(QByteArray(width - number.size(), leadingZeros ? '0' : ' '));
    return start.left(begin) + number + start.mid(end);
}
