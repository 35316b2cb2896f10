#include "preview/graphicdata.h"

#include "preview/fielddata.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace {

// Fills rows of bytesPerRow from the hexadecimal form: G..Y repeat the next
// digit 1..19 times, g..z 20..400 times (counts add up); "," ends the row
// with white, "!" with black; ":" repeats the previous row.
void ReadHex(const QByteArray &data, uchar *bytes, qsizetype stride, int bytesPerRow, qint64 rows)
{
    const qint64 rowNibbles = qint64(bytesPerRow) * 2;
    qint64 row = 0;
    qint64 nibble = 0; // within the row
    qint64 repeat = 0;

    auto put = [&](int value, qint64 times) {
        while (times-- > 0 && row < rows) {
            uchar &b = bytes[row * stride + nibble / 2];
            b = (nibble % 2 == 0) ? uchar((b & 0x0F) | (value << 4)) : uchar((b & 0xF0) | value);
            if (++nibble == rowNibbles) {
                nibble = 0;
                ++row;
            }
        }
    };
    auto endRow = [&](int fill) {
        if (nibble == 0)
            return put(fill, rowNibbles);
        put(fill, rowNibbles - nibble);
    };

    for (const char c : data) {
        if (row >= rows)
            return;
        if (c >= 'G' && c <= 'Y') {
            repeat += c - 'F';
        } else if (c >= 'g' && c <= 'z') {
            repeat += qint64(c - 'f') * 20;
        } else if (const int value = HexDigitValue(c); value >= 0) {
            put(value, std::min<qint64>(repeat > 0 ? repeat : 1, rowNibbles * rows));
            repeat = 0;
        } else if (c == ',') {
            endRow(0);
            repeat = 0;
        } else if (c == '!') {
            endRow(0xF);
            repeat = 0;
        } else if (c == ':') {
            if (row > 0) {
                std::memcpy(bytes + row * stride, bytes + (row - 1) * stride, size_t(bytesPerRow));
            }
            nibble = 0;
            ++row;
            repeat = 0;
        }
    }
}

// Rows of bytesPerRow packed one after the other, into rows `stride` apart.
void CopyRows(const QByteArray &raw, uchar *bytes, qsizetype stride, int bytesPerRow, qint64 rows)
{
    const qint64 fullRows = std::min<qint64>(raw.size() / bytesPerRow, rows);
    for (qint64 row = 0; row < fullRows; ++row)
        std::memcpy(bytes + row * stride, raw.constData() + row * bytesPerRow, size_t(bytesPerRow));
    if (fullRows < rows && raw.size() > fullRows * bytesPerRow)
        std::memcpy(bytes + fullRows * stride, raw.constData() + fullRows * bytesPerRow,
                    size_t(raw.size() - fullRows * bytesPerRow));
}

// zlib data, inflated to at most limit bytes.
QByteArray Inflate(const QByteArray &compressed, qint64 limit, bool &ok)
{
    QByteArray out(limit, '\0');
    z_stream stream {};
    ok = inflateInit(&stream) == Z_OK;
    if (!ok)
        return {};
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(compressed.data()));
    stream.avail_in = uInt(compressed.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = inflate(&stream, Z_FINISH);
    out.truncate(qsizetype(stream.total_out));
    inflateEnd(&stream);
    ok = result == Z_STREAM_END || (result == Z_BUF_ERROR && stream.avail_out == 0);
    return out;
}

} // namespace

QImage DecodeGraphic(const GraphicData &graphic, int maxRows, QString &problem)
{
    const int bytesPerRow = graphic.bytesPerRow;
    if (bytesPerRow <= 0 || bytesPerRow > MaxGraphicBytesPerRow) {
        problem = QStringLiteral("graphic: %1 bytes per row is not a size a printer takes")
                      .arg(bytesPerRow);
        return {};
    }
    qint64 total = graphic.totalBytes;
    if (total <= 0) {
        problem = QStringLiteral("graphic: no size given");
        return {};
    }
    if (total > MaxGraphicBytes) {
        problem
            = QStringLiteral("graphic of %1 bytes is larger than a printer takes: cut").arg(total);
        total = MaxGraphicBytes;
    }
    const qint64 rows
        = std::min<qint64>((total + bytesPerRow - 1) / bytesPerRow, std::max(maxRows, 1));
    QImage image(bytesPerRow * 8, int(rows), QImage::Format_Mono);
    if (image.isNull()) {
        problem = QStringLiteral("graphic: no memory for %1 rows").arg(rows);
        return {};
    }
    image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    image.fill(0);
    uchar *bytes = image.bits();
    const qsizetype stride = image.bytesPerLine();

    const QByteArray &data = graphic.data;
    const bool z64 = data.startsWith(":Z64:");
    const bool b64 = data.startsWith(":B64:");
    if (z64 || b64) {
        // :Z64:<base64 of zlib data>:<crc>, :B64:<base64>:<crc>
        QByteArray encoded = data.mid(5);
        const qsizetype colon = encoded.indexOf(':');
        if (colon >= 0)
            encoded.truncate(colon);
        const auto decoded = QByteArray::fromBase64Encoding(encoded);
        if (!decoded) {
            problem = QStringLiteral("graphic: damaged base64 data");
            return {};
        }
        bool ok = true;
        const QByteArray raw = z64 ? Inflate(*decoded, rows * bytesPerRow, ok) : *decoded;
        if (!ok)
            problem = QStringLiteral("graphic: damaged compressed data");
        CopyRows(raw, bytes, stride, bytesPerRow, rows);
    } else if (graphic.format == 'B') {
        CopyRows(data, bytes, stride, bytesPerRow, rows);
        if (data.size() < std::min<qint64>(total, rows * bytesPerRow))
            problem = QStringLiteral("graphic: %1 bytes announced, %2 given")
                          .arg(total)
                          .arg(data.size());
    } else if (graphic.format == 'A') {
        ReadHex(data, bytes, stride, bytesPerRow, rows);
    } else {
        problem = QStringLiteral("graphic: form %1 not rendered").arg(QLatin1Char(graphic.format));
        return {};
    }
    return image;
}
