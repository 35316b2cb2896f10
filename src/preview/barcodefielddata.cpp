#include "preview/barcodefielddata.h"

#include <QStringDecoder>

#include <zint.h>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number written with exactly n digits at from; -1 when they are not there.
int Number(const QByteArray &text, qsizetype from, int n)
{
    if (from < 0 || from + n > text.size())
        return -1;
    int value = 0;
    for (int i = 0; i < n; ++i) {
        const char c = text.at(from + i);
        if (!IsDigit(c))
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Data for a warning: printable characters as they are, the others by value.
QString Shown(const QByteArray &bytes)
{
    QString shown;
    for (char c : bytes) {
        const uchar u = uchar(c);
        if (u >= 32 && u < 127)
            shown += QLatin1Char(c);
        else
            shown += QStringLiteral("<%1>").arg(u);
    }
    return QLatin1Char('"') + shown + QLatin1Char('"');
}

// Code words of a run in ASCII encodation, the only one the printer uses: two
// digits share one, a byte past 127 takes two.
int AsciiCodeWords(const QByteArray &data)
{
    int words = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        const uchar c = uchar(data.at(i));
        if (i + 1 < data.size() && IsDigit(char(c)) && IsDigit(data.at(i + 1)))
            ++i;
        words += c >= 128 ? 2 : 1;
    }
    return words;
}

// The encoder leaves out the separator after an application identifier of
// fixed length (by its first two digits).
bool FixedLengthAi(const QByteArray &part)
{
    const int two = part.left(2).toInt();
    return two <= 4 || (two >= 11 && two <= 20) || two == 23 || (two >= 31 && two <= 36)
        || two == 41;
}

// GS1 data between separators as the encoder takes it: each part in brackets
// by its first two digits, which the encoder writes out again unchecked.
// Empty when the parts are not GS1 data the encoder can take.
// A part whose identifier has a fixed length but which the data ends with
// FNC1 all the same: its last piece is bracketed by two digits of no fixed
// length (the encoder writes the same characters), so the FNC1 is drawn.
// Empty when the part has no such place.
QByteArray EndingInSeparator(const QByteArray &part)
{
    for (qsizetype k = 3; k + 3 <= part.size(); ++k) {
        const QByteArray tail = part.mid(k);
        if (IsDigit(tail.at(0)) && IsDigit(tail.at(1)) && !FixedLengthAi(tail))
            return '[' + part.left(2) + ']' + part.mid(2, k - 2) + '[' + tail.left(2) + ']'
                + tail.mid(2);
    }
    return {};
}

QByteArray Gs1Bracketed(const QList<QByteArray> &parts, QList<QString> &warnings)
{
    for (const QByteArray &part : parts) {
        if (part.size() < 3 || !IsDigit(part.at(0)) || !IsDigit(part.at(1)))
            return {};
        for (char c : part) {
            if (c < 32 || c > 126 || c == '[' || c == ']')
                return {};
        }
    }
    QByteArray bracketed;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray &part = parts.at(i);
        const bool separated = i + 1 < parts.size() && FixedLengthAi(part);
        const QByteArray split = separated ? EndingInSeparator(part) : QByteArray();
        if (separated && split.isEmpty())
            warnings.append(QStringLiteral("Data Matrix: the FNC1 after %1 is not drawn (its "
                                           "identifier has a fixed length)")
                                .arg(Shown(part)));
        bracketed += split.isEmpty() ? '[' + part.left(2) + ']' + part.mid(2) : split;
    }
    return bracketed;
}

// Structured append: a sequence indicator (place and count, four bits each)
// and the two numbers of the file identification, three digits each.
bool StructuredAppend(const QByteArray &digits, EncoderExtras &extras)
{
    const int indicator = Number(digits, 0, 3);
    const int file1 = Number(digits, 3, 3);
    const int file2 = Number(digits, 6, 3);
    const int index = (indicator >> 4) + 1;
    const int count = 17 - (indicator & 15);
    if (indicator < 0 || indicator > 255 || count < 2 || index > count || file1 < 1 || file1 > 254
        || file2 < 1 || file2 > 254)
        return false;
    extras.appendIndex = index;
    extras.appendCount = count;
    extras.appendId = digits.mid(3, 6);
    return true;
}

bool Alphanumeric(char c)
{
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || QByteArrayView(" $%*+-./:").contains(c);
}

// Shift JIS double-byte characters of the Kanji set.
bool KanjiLead(uchar c)
{
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xeb);
}

bool KanjiTrail(uchar c)
{
    return c >= 0x40 && c <= 0xfc && c != 0x7f;
}

// A manual input segment at `at`: its mode character, then what that mode
// holds. In mixed mode a comma ends it (a byte segment ends at its count).
// Returns the segment's data; Kanji as UTF-8.
QByteArray ManualSegment(const QByteArray &data, qsizetype &at, bool mixed, bool &kanji,
                         QList<QString> &warnings)
{
    const char mode = data.at(at++);
    qsizetype end = mixed ? data.indexOf(',', at) : -1;
    if (end < 0)
        end = data.size();
    QByteArray segment = data.mid(at, end - at);
    QByteArray kept;
    QByteArray left;
    kanji = false;
    switch (mode) {
    case 'N':
    case 'A':
        for (char c : segment) {
            if (mode == 'N' ? IsDigit(c) : Alphanumeric(c))
                kept += c;
            else
                left += c;
        }
        if (!left.isEmpty())
            warnings.append(
                QStringLiteral("QR %1 input (%2) cannot hold %3: left out")
                    .arg(mode == 'N' ? QStringLiteral("numeric") : QStringLiteral("alphanumeric"),
                         mode == 'N' ? QStringLiteral("digits")
                                     : QStringLiteral("digits, capitals, space, $ % * + - . / :"),
                         Shown(left)));
        break;
    case 'B': {
        const int count = Number(data, at, 4);
        if (count < 0) {
            warnings.append(QStringLiteral("QR byte input without its four-digit count: %1 drawn "
                                           "as bytes")
                                .arg(Shown(segment)));
            kept = segment;
            break;
        }
        // The count, not a comma, ends the bytes.
        const QByteArray bytes = data.mid(at + 4);
        kept = bytes.left(count);
        end = at + 4 + kept.size();
        if (count > bytes.size())
            warnings.append(QStringLiteral("QR byte input counts %1 bytes, the data has %2")
                                .arg(count)
                                .arg(bytes.size()));
        else if (!mixed && count < bytes.size())
            warnings.append(QStringLiteral("QR byte input counts %1 bytes: %2 after them left out")
                                .arg(count)
                                .arg(Shown(bytes.mid(count))));
        if (!mixed)
            end = data.size();
        break;
    }
    case 'K': {
        QByteArray pairs;
        for (qsizetype i = 0; i < segment.size(); ++i) {
            if (i + 1 < segment.size() && KanjiLead(uchar(segment.at(i)))
                && KanjiTrail(uchar(segment.at(i + 1)))) {
                pairs += segment.mid(i, 2);
                ++i;
            } else {
                left += segment.at(i);
            }
        }
        if (!left.isEmpty())
            warnings.append(QStringLiteral("QR Kanji input (Shift JIS double-byte characters) "
                                           "cannot hold %1: left out")
                                .arg(Shown(left)));
        QStringDecoder decoder("Shift_JIS");
        kept = QString(decoder.decode(pairs)).toUtf8();
        kanji = true;
        break;
    }
    default:
        warnings.append(
            QStringLiteral("QR input mode %1 not known (N, A, B or K): the data after it drawn "
                           "as bytes")
                .arg(Shown(QByteArray(1, mode))));
        kept = segment;
        break;
    }
    at = end;
    return kept;
}

} // namespace

DataMatrixFieldData ReadDataMatrixData(const QByteArray &field, char escape,
                                       QList<QString> &warnings)
{
    DataMatrixFieldData out;
    EncoderExtras &extras = out.extras;
    QByteArray bytes;
    QList<qsizetype> fnc1; // where in bytes
    const auto asWritten = [&](qsizetype at, qsizetype length) {
        return Shown(field.mid(at, length));
    };
    for (qsizetype i = 0; i < field.size(); ++i) {
        const char c = field.at(i);
        if (escape == 0 || c != escape) {
            bytes += c;
            continue;
        }
        const char next = i + 1 < field.size() ? field.at(i + 1) : char(0);
        if (next == escape) {
            bytes += c;
            ++i;
        } else if (next == '1') {
            fnc1.append(bytes.size());
            ++i;
        } else if (next == '2') {
            const QByteArray digits = field.mid(i + 2, 9);
            if (!StructuredAppend(digits, extras))
                warnings.append(QStringLiteral("Data Matrix: structured append %1 needs a sequence "
                                               "indicator and two file numbers 1 to 254, three "
                                               "digits each: left out")
                                    .arg(asWritten(i, 11)));
            i += Number(digits, 0, 9) >= 0 ? 10 : 1;
        } else if (next == '3') {
            if (bytes.isEmpty() && fnc1.isEmpty())
                extras.readerInit = true;
            else
                warnings.append(QStringLiteral("Data Matrix: reader programming %1 only at the "
                                               "start of the data: left out")
                                    .arg(asWritten(i, 2)));
            ++i;
        } else if (next == '5' && Number(field, i + 2, 3) >= 0) {
            if (!bytes.isEmpty() || !fnc1.isEmpty())
                warnings.append(QStringLiteral("Data Matrix: code page %1 after the start of the "
                                               "data drawn for the whole symbol")
                                    .arg(asWritten(i, 5)));
            extras.eci = Number(field, i + 2, 3);
            i += 4;
        } else if (next == 'd' && Number(field, i + 2, 3) >= 0 && Number(field, i + 2, 3) <= 255) {
            bytes += char(Number(field, i + 2, 3));
            i += 4;
        } else if (next >= '@' && next <= '_') {
            bytes += char(next - '@'); // control characters, NUL to US
            ++i;
        } else {
            warnings.append(QStringLiteral("Data Matrix: escape sequence %1 not known: drawn as "
                                           "it stands")
                                .arg(asWritten(i, next == 'd' || next == '5' ? 5 : 2)));
            bytes += c;
        }
    }

    int words = extras.readerInit ? 1 : 0;
    if (extras.appendCount)
        words += 4;
    if (extras.eci)
        words += extras.eci < 127 ? 2 : extras.eci < 16383 ? 3 : 4;
    qsizetype from = 0;
    for (qsizetype at : fnc1) {
        words += AsciiCodeWords(bytes.mid(from, at - from)) + 1;
        from = at;
    }
    out.codeWords = words + AsciiCodeWords(bytes.mid(from));

    out.data = bytes;
    if (fnc1.isEmpty())
        return out;
    // FNC1 first: GS1 data, its separators FNC1 too.
    if (fnc1.first() == 0 && !extras.readerInit && !extras.eci) {
        QList<QByteArray> parts;
        for (qsizetype i = 0; i < fnc1.size(); ++i) {
            const qsizetype end = i + 1 < fnc1.size() ? fnc1.at(i + 1) : bytes.size();
            if (end > fnc1.at(i))
                parts.append(bytes.mid(fnc1.at(i), end - fnc1.at(i)));
        }
        const QByteArray bracketed = Gs1Bracketed(parts, warnings);
        if (!bracketed.isEmpty()) {
            out.data = bracketed;
            extras.inputMode = GS1_MODE | GS1NOCHECK_MODE;
            return out;
        }
    }
    // Elsewhere a reader passes FNC1 on as a group separator.
    warnings.append(
        QStringLiteral("Data Matrix: FNC1 outside GS1 data drawn as a group separator"));
    for (qsizetype i = fnc1.size() - 1; i >= 0; --i)
        out.data.insert(fnc1.at(i), '\x1d');
    return out;
}

QrFieldData ReadQrData(const QByteArray &whole, QList<QString> &warnings)
{
    QrFieldData out;
    QByteArray field = whole;
    // Mixed mode: a header of this symbol's number, the number of symbols
    // and the parity of all their data, then the field as usual, its manual
    // segments separated by commas.
    const bool mixed = field.startsWith('D');
    if (mixed) {
        qsizetype comma = field.indexOf(',');
        if (comma < 0)
            comma = field.size();
        const QByteArray header = field.left(comma);
        const int index = Number(header, 1, 2);
        const int count = Number(header, 3, 2);
        bool hex = false;
        const int parity = header.mid(5).toInt(&hex, 16);
        if (header.size() == 7 && hex && count >= 2 && count <= 16 && index >= 1
            && index <= count) {
            out.extras.appendIndex = index;
            out.extras.appendCount = count;
            out.extras.appendId = QByteArray::number(parity);
        } else {
            warnings.append(QStringLiteral("QR mixed mode header %1 is not the symbol's number and "
                                           "the number of symbols (two digits each, up to 16) "
                                           "and two hexadecimal digits of parity: drawn as one "
                                           "symbol")
                                .arg(Shown(header)));
        }
        field = field.mid(comma + 1);
    }
    // The first three characters are always read as correction, input mode
    // and separator, whatever they are.
    const qsizetype level = field.isEmpty() ? -1 : QByteArrayView("LMQH").indexOf(field.at(0));
    out.level = level >= 0 ? int(level) + 1 : 3;
    const QByteArray data = field.mid(3);
    if (field.size() < 2 || field.at(1) != 'M' || data.isEmpty()) {
        out.data = data;
        return out;
    }
    QList<QByteArray> segments;
    bool anyKanji = false;
    QList<bool> kanji;
    for (qsizetype at = 0; at < data.size();) {
        bool isKanji = false;
        segments.append(ManualSegment(data, at, mixed, isKanji, warnings));
        kanji.append(isKanji);
        anyKanji = anyKanji || isKanji;
        if (at < data.size() && data.at(at) == ',')
            ++at;
    }
    // The encoder takes Kanji as characters and picks Kanji mode for them
    // itself; the other segments are then characters too.
    for (qsizetype i = 0; i < segments.size(); ++i)
        out.data += anyKanji && !kanji.at(i) ? QString::fromLatin1(segments.at(i)).toUtf8()
                                             : segments.at(i);
    if (anyKanji)
        out.extras.inputMode = UNICODE_MODE;
    return out;
}

QByteArray DigitsOnly(const QByteArray &data, const QString &symbology, QList<QString> &warnings)
{
    QByteArray digits;
    QByteArray left;
    for (char c : data)
        (IsDigit(c) ? digits : left) += c;
    if (!left.isEmpty())
        warnings.append(
            QStringLiteral("%1 takes digits only: %2 left out").arg(symbology, Shown(left)));
    return digits;
}
