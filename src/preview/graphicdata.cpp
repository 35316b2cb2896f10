#include "preview/graphicdata.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Values of the characters graphic text is made of.
enum : signed char { Blank = -2, Other = -1 };
struct HexTable
{
    std::array<signed char, 256> value {};
    constexpr HexTable()
    {
        for (auto &v : value)
            v = Other;
        for (int c = '0'; c <= '9'; ++c)
            value[c] = static_cast<signed char>(c - '0');
        for (int c = 'A'; c <= 'F'; ++c)
            value[c] = static_cast<signed char>(c - 'A' + 10);
        for (int c = 'a'; c <= 'f'; ++c)
            value[c] = static_cast<signed char>(c - 'a' + 10);
        for (int c : { ' ', '\t', '\r', '\n' })
            value[c] = Blank;
    }
};
constexpr HexTable Hex;

QString Shown(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u < 0x7F ? QStringLiteral("'%1'").arg(QLatin1Char(c))
                                 : QStringLiteral("byte %1").arg(u, 2, 16, QLatin1Char('0'));
}

// Hexadecimal digits, compressed or not: G..Y repeat the next digit 1..19
// times, g..z 20..400 times (counts add up); "," ends the row with white,
// "!" with black; ":" repeats the previous row.
void ReadHex(QByteArrayView data, qint64 bytesPerRow, DecodedGraphic &out)
{
    auto *bytes = reinterpret_cast<uchar *>(out.bytes.data());
    const qint64 totalNibbles = qint64(out.bytes.size()) * 2;
    const qint64 rowNibbles = bytesPerRow * 2;
    const auto *p = reinterpret_cast<const uchar *>(data.data());
    const qsizetype n = data.size();
    qint64 pos = 0; // nibbles written
    qint64 repeat = 0;
    qsizetype repeatAt = -1;
    auto fail = [&](qsizetype at, const QString &text) {
        out.problem = text;
        out.at = at;
    };
    auto tooMuch = [&](qsizetype at) {
        fail(at, QStringLiteral("more data than the %1 bytes announced").arg(out.bytes.size()));
    };
    auto put = [&](int value, qint64 times) {
        if (pos % 2 == 1 && times > 0) {
            bytes[pos / 2] |= uchar(value);
            ++pos;
            --times;
        }
        const qint64 pairs = times / 2;
        std::memset(bytes + pos / 2, value * 0x11, size_t(pairs));
        pos += pairs * 2;
        if (times % 2 == 1) {
            bytes[pos / 2] = uchar(value << 4);
            ++pos;
        }
    };

    for (qsizetype i = 0; i < n; ++i) {
        // Plain digits two at a time, the way most graphics come.
        if (pos % 2 == 0 && repeat == 0) {
            qsizetype j = i;
            const qint64 room = (totalNibbles - pos) / 2;
            const qsizetype last = j + std::min<qint64>((n - j) / 2, room) * 2;
            uchar *o = bytes + pos / 2;
            while (j < last) {
                const int hi = Hex.value[p[j]];
                const int lo = Hex.value[p[j + 1]];
                if ((hi | lo) < 0)
                    break;
                *o++ = uchar((hi << 4) | lo);
                j += 2;
            }
            pos += (j - i);
            i = j;
            if (i >= n)
                break;
        }
        const char c = char(p[i]);
        const int v = Hex.value[p[i]];
        if (v == Blank)
            continue;
        if (v >= 0 && repeat == 0) {
            if (pos >= totalNibbles)
                return tooMuch(i);
            if (pos % 2 == 0)
                bytes[pos / 2] = uchar(v << 4);
            else
                bytes[pos / 2] |= uchar(v);
            ++pos;
            continue;
        }
        if (v >= 0) {
            const qint64 times = repeat;
            if (pos + times > totalNibbles)
                return tooMuch(repeat > 0 ? repeatAt : i);
            put(v, times);
            repeat = 0;
            continue;
        }
        if ((c >= 'G' && c <= 'Y') || (c >= 'g' && c <= 'z')) {
            if (repeat == 0)
                repeatAt = i;
            repeat += c <= 'Y' ? c - 'F' : qint64(c - 'f') * 20;
            if (repeat > totalNibbles)
                return tooMuch(repeatAt);
            continue;
        }
        if (repeat > 0)
            return fail(i,
                        QStringLiteral("%1 after a repeat count: expected a hexadecimal digit")
                            .arg(Shown(c)));
        if (c == ',' || c == '!') {
            if (pos >= totalNibbles)
                return tooMuch(i);
            const qint64 inRow = pos % rowNibbles;
            put(c == ',' ? 0 : 0xF, std::min(rowNibbles - inRow, totalNibbles - pos));
        } else if (c == ':') {
            if (pos >= totalNibbles)
                return tooMuch(i);
            if (pos % rowNibbles != 0)
                return fail(i,
                            QStringLiteral("':' inside row %1 (after %2 of its %3 digits): it "
                                           "repeats a whole row")
                                .arg(pos / rowNibbles + 1)
                                .arg(pos % rowNibbles)
                                .arg(rowNibbles));
            const qint64 row = pos / 2;
            const qint64 length = std::min<qint64>(bytesPerRow, out.bytes.size() - row);
            if (row >= bytesPerRow)
                std::memcpy(bytes + row, bytes + row - bytesPerRow, size_t(length));
            pos += length * 2;
        } else {
            return fail(i,
                        QStringLiteral("%1 is not graphic data: expected a hexadecimal digit, "
                                       "a repeat letter (G-Y, g-z), ',', '!' or ':'")
                            .arg(Shown(c)));
        }
    }
    if (repeat > 0)
        return fail(n, QStringLiteral("the data ends after a repeat count"));
    if (pos < totalNibbles)
        fail(n,
             QStringLiteral("the data ends in row %1 of %2: %3 of %4 bytes given")
                 .arg(pos / rowNibbles + 1)
                 .arg((totalNibbles + rowNibbles - 1) / rowNibbles)
                 .arg(pos / 2)
                 .arg(totalNibbles / 2));
}

// zlib data, inflated; more than limit bytes is not taken.
QByteArray Inflate(const QByteArray &compressed, qint64 limit, QString &problem)
{
    QByteArray out(limit + 1, '\0');
    z_stream stream {};
    if (inflateInit(&stream) != Z_OK) {
        problem = QStringLiteral("no memory to inflate the data");
        return {};
    }
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        problem = out.size() > limit
            ? QStringLiteral("the compressed data holds more than the %1 bytes announced")
                  .arg(limit)
            : QStringLiteral("the compressed data is damaged or cut short (%1 bytes came out of "
                             "it)")
                  .arg(out.size());
    } else if (out.size() != limit) {
        problem = QStringLiteral("the compressed data holds %1 bytes, %2 announced")
                      .arg(out.size())
                      .arg(limit);
    } else if (stream.avail_in > 0) {
        problem
            = QStringLiteral("%1 bytes follow the end of the compressed data").arg(stream.avail_in);
    }
    return out;
}

// Base 64 with "=" padding only at its end; ok false for anything else.
QByteArray FromBase64(QByteArrayView text, bool &ok)
{
    static const std::array<signed char, 256> value = [] {
        std::array<signed char, 256> v {};
        v.fill(-1);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            v[uchar(alphabet[i])] = static_cast<signed char>(i);
        return v;
    }();
    qsizetype n = text.size();
    while (n > 0 && text[n - 1] == '=' && text.size() - n < 2)
        --n;
    ok = (n + (text.size() - n)) % 4 == 0 && (n % 4 != 1);
    QByteArray out(n * 3 / 4, Qt::Uninitialized);
    const auto *in = reinterpret_cast<const uchar *>(text.data());
    auto *o = reinterpret_cast<uchar *>(out.data());
    // Four characters make three bytes; the last group may be short.
    qsizetype i = 0;
    for (; i + 4 <= n; i += 4) {
        const int a = value[in[i]], b = value[in[i + 1]], c = value[in[i + 2]],
                  d = value[in[i + 3]];
        if ((a | b | c | d) < 0) {
            ok = false;
            return {};
        }
        const quint32 v = quint32(a << 18 | b << 12 | c << 6 | d);
        o[0] = uchar(v >> 16);
        o[1] = uchar(v >> 8);
        o[2] = uchar(v);
        o += 3;
    }
    quint32 bits = 0;
    int have = 0;
    for (; i < n && ok; ++i) {
        const int v = value[in[i]];
        ok = v >= 0;
        bits = (bits << 6) | quint32(v & 63);
        have += 6;
        if (have >= 8) {
            have -= 8;
            *o++ = uchar(bits >> have);
        }
    }
    return out;
}

bool IsBase64(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+'
        || c == '/' || c == '=';
}

// ":B64:<base 64>:<crc>" and ":Z64:<base 64 of zlib data>:<crc>".
void ReadBase64(QByteArrayView data, bool compressed, DecodedGraphic &out)
{
    constexpr qsizetype Head = 5;
    qsizetype end = Head;
    while (end < data.size() && IsBase64(data[end]))
        ++end;
    if (end < data.size() && data[end] != ':') {
        out.problem = QStringLiteral("%1 is not base 64: expected A-Z, a-z, 0-9, '+', '/', '=' "
                                     "or ':' before the CRC")
                          .arg(Shown(data[end]));
        out.at = end;
        return;
    }
    const QByteArrayView text = data.sliced(Head, end - Head);
    if (end + 5 > data.size()) {
        out.problem = QStringLiteral("no CRC after the data: expected ':' and four hexadecimal "
                                     "digits");
        out.at = end;
        return;
    }
    const QByteArrayView crcText = data.sliced(end + 1, 4);
    bool ok = false;
    const uint given = QByteArray(crcText.data(), 4).toUInt(&ok, 16);
    if (!ok || std::any_of(crcText.begin(), crcText.end(), [](char c) {
            return Hex.value[uchar(c)] < 0;
        })) {
        out.problem = QStringLiteral("the CRC \"%1\" is not four hexadecimal digits")
                          .arg(QString::fromLatin1(crcText.data(), 4));
        out.at = end + 1;
        return;
    }
    const quint16 computed = GraphicCrc(text);
    if (given != computed) {
        out.problem
            = QStringLiteral("CRC %1 given, the data's is %2: it was damaged on the way")
                  .arg(QString::fromLatin1(crcText.data(), 4).toUpper(),
                       QString::number(computed, 16).rightJustified(4, QLatin1Char('0')).toUpper());
        out.at = end + 1;
        return;
    }
    for (qsizetype i = end + 5; i < data.size(); ++i) {
        if (Hex.value[uchar(data[i])] != Blank) {
            out.problem = QStringLiteral("%1 after the CRC").arg(Shown(data[i]));
            out.at = i;
            return;
        }
    }
    bool valid = true;
    const QByteArray decoded = FromBase64(text, valid);
    if (!valid) {
        out.problem = QStringLiteral("the base 64 text is damaged ('=' inside it, or cut short)");
        out.at = Head;
        return;
    }
    const qint64 total = out.bytes.size();
    if (compressed) {
        QString problem;
        QByteArray raw = Inflate(decoded, total, problem);
        if (!problem.isEmpty()) {
            out.problem = problem;
            out.at = Head;
            return;
        }
        out.bytes = std::move(raw);
        return;
    }
    if (decoded.size() != total) {
        out.problem = QStringLiteral("the data holds %1 bytes, %2 announced")
                          .arg(decoded.size())
                          .arg(total);
        out.at = Head;
        return;
    }
    out.bytes = decoded;
}

} // namespace

quint16 GraphicCrc(QByteArrayView text)
{
    static const std::array<quint16, 256> table = [] {
        std::array<quint16, 256> t {};
        for (int i = 0; i < 256; ++i) {
            quint16 crc = quint16(i << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = quint16((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
            t[size_t(i)] = crc;
        }
        return t;
    }();
    quint16 crc = 0;
    for (const char c : text)
        crc = quint16((crc << 8) ^ table[((crc >> 8) ^ uchar(c)) & 0xFF]);
    return crc;
}

DecodedGraphic DecodeGraphicBytes(const GraphicData &graphic)
{
    DecodedGraphic out;
    const int bytesPerRow = graphic.bytesPerRow;
    if (bytesPerRow <= 0 || bytesPerRow > MaxGraphicBytesPerRow) {
        out.problem = QStringLiteral("graphic: %1 bytes per row is not a size a printer takes")
                          .arg(bytesPerRow);
        return out;
    }
    const qint64 total = graphic.totalBytes;
    if (total <= 0) {
        out.problem = QStringLiteral("graphic: no size given");
        return out;
    }
    if (total > MaxGraphicBytes) {
        out.problem
            = QStringLiteral("graphic of %1 bytes is larger than a printer takes").arg(total);
        return out;
    }
    out.bytes = QByteArray(total, '\0');
    const QByteArray &data = graphic.data;
    if (data.startsWith(":Z64:") || data.startsWith(":B64:")) {
        ReadBase64(data, data.startsWith(":Z64:"), out);
    } else if (graphic.format == 'B') {
        if (data.size() < total) {
            out.problem
                = QStringLiteral("%1 bytes announced, %2 given").arg(total).arg(data.size());
            out.at = data.size();
        } else if (data.size() > total) {
            out.problem = QStringLiteral("more data than the %1 bytes announced").arg(total);
            out.at = total;
        } else {
            out.bytes = data;
        }
    } else if (graphic.format == 'A') {
        ReadHex(data, bytesPerRow, out);
    } else {
        out.problem = QStringLiteral("form %1 not rendered").arg(QLatin1Char(graphic.format));
    }
    if (!out.problem.isEmpty() && !out.problem.startsWith(QLatin1String("graphic")))
        out.problem.prepend(QStringLiteral("graphic: "));
    return out;
}

QImage DecodeGraphic(const GraphicData &graphic, int maxRows, QString &problem,
                     qsizetype *problemAt)
{
    const DecodedGraphic decoded = DecodeGraphicBytes(graphic);
    problem = decoded.problem;
    if (problemAt)
        *problemAt = decoded.at;
    if (!problem.isEmpty())
        return {};
    const int bytesPerRow = graphic.bytesPerRow;
    const qint64 rows = std::min<qint64>((decoded.bytes.size() + bytesPerRow - 1) / bytesPerRow,
                                         std::max(maxRows, 1));
    QImage image(bytesPerRow * 8, int(rows), QImage::Format_Mono);
    if (image.isNull()) {
        problem = QStringLiteral("graphic: no memory for %1 rows").arg(rows);
        return {};
    }
    image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    const char *from = decoded.bytes.constData();
    const qint64 size = decoded.bytes.size();
    for (qint64 row = 0; row < rows; ++row) {
        uchar *line = image.scanLine(int(row));
        const qint64 at = row * bytesPerRow;
        const qint64 length = std::min<qint64>(bytesPerRow, size - at);
        std::memcpy(line, from + at, size_t(length));
        std::memset(line + length, 0, size_t(image.bytesPerLine() - length));
    }
    return image;
}
