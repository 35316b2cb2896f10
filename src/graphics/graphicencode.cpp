#include "graphics/graphicencode.h"

#include "preview/graphicdata.h"
#include "printer/printermemory.h"

#include <zlib.h>

#include <cstring>

namespace {

constexpr char Digits[] = "0123456789ABCDEF";

// count copies of one digit: letters for the count (z = 400, g..y = 20..380,
// G..Y = 1..19), then the digit; plain digits where that is no longer.
void PutRun(QByteArray &out, char digit, int count)
{
    if (count < 3) {
        out.append(count, digit);
        return;
    }
    out.append(count / 400, 'z');
    count %= 400;
    if (count >= 20)
        out += char('f' + count / 20);
    if (count % 20)
        out += char('F' + count % 20);
    out += digit;
}

QByteArray RunLength(const MonoBitmap &bitmap)
{
    const int bytesPerRow = bitmap.BytesPerRow();
    const int nibbles = bytesPerRow * 2;
    QByteArray out;
    out.reserve(bitmap.bits.size() / 4 + bitmap.height);
    QByteArray row(nibbles, '0');
    for (int y = 0; y < bitmap.height; ++y) {
        const char *bytes = bitmap.bits.constData() + qsizetype(y) * bytesPerRow;
        if (y > 0 && std::memcmp(bytes, bytes - bytesPerRow, size_t(bytesPerRow)) == 0) {
            out += ':';
            continue;
        }
        for (int i = 0; i < bytesPerRow; ++i) {
            row[2 * i] = Digits[uchar(bytes[i]) >> 4];
            row[2 * i + 1] = Digits[uchar(bytes[i]) & 0xF];
        }
        // A row ending in white or black ends with "," or "!".
        int end = nibbles;
        while (end > 0 && row[end - 1] == row[nibbles - 1])
            --end;
        const bool filled = row[nibbles - 1] == '0' || row[nibbles - 1] == 'F';
        if (!filled || nibbles - end < 2)
            end = nibbles;
        for (int i = 0; i < end;) {
            int j = i + 1;
            while (j < end && row[j] == row[i])
                ++j;
            PutRun(out, row[i], j - i);
            i = j;
        }
        if (end < nibbles)
            out += row[nibbles - 1] == '0' ? ',' : '!';
    }
    return out;
}

QByteArray WithCrc(const char *head, const QByteArray &bytes)
{
    const QByteArray text = bytes.toBase64();
    const quint16 crc = GraphicCrc(text);
    QByteArray out = head + text + ':';
    for (int shift = 12; shift >= 0; shift -= 4)
        out += Digits[(crc >> shift) & 0xF];
    return out;
}

QByteArray Deflated(const QByteArray &bytes)
{
    uLongf size = compressBound(uLong(bytes.size()));
    QByteArray out(qsizetype(size), '\0');
    compress2(reinterpret_cast<Bytef *>(out.data()), &size,
              reinterpret_cast<const Bytef *>(bytes.constData()), uLong(bytes.size()),
              Z_DEFAULT_COMPRESSION);
    out.truncate(qsizetype(size));
    return out;
}

QByteArray Sizes(const MonoBitmap &bitmap)
{
    return QByteArray::number(bitmap.bits.size()) + ',' + QByteArray::number(bitmap.BytesPerRow());
}

} // namespace

QString EncodingName(GraphicEncoding encoding)
{
    switch (encoding) {
    case GraphicEncoding::Hex:
        return QStringLiteral("hex");
    case GraphicEncoding::Rle:
        return QStringLiteral("rle");
    case GraphicEncoding::B64:
        return QStringLiteral("b64");
    case GraphicEncoding::Z64:
        return QStringLiteral("z64");
    }
    return {};
}

const QList<GraphicEncoding> &AllEncodings()
{
    static const QList<GraphicEncoding> all = { GraphicEncoding::Hex, GraphicEncoding::Rle,
                                                GraphicEncoding::B64, GraphicEncoding::Z64 };
    return all;
}

bool ParseEncoding(const QString &name, GraphicEncoding &encoding)
{
    for (GraphicEncoding e : AllEncodings()) {
        if (EncodingName(e) == name.toLower()) {
            encoding = e;
            return true;
        }
    }
    return false;
}

QByteArray EncodeGraphicData(const MonoBitmap &bitmap, GraphicEncoding encoding)
{
    switch (encoding) {
    case GraphicEncoding::Hex:
        return bitmap.bits.toHex().toUpper();
    case GraphicEncoding::Rle:
        return RunLength(bitmap);
    case GraphicEncoding::B64:
        return WithCrc(":B64:", bitmap.bits);
    case GraphicEncoding::Z64:
        return WithCrc(":Z64:", Deflated(bitmap.bits));
    }
    return {};
}

QList<EncodingSize> EncodingSizes(const MonoBitmap &bitmap)
{
    QList<EncodingSize> sizes;
    for (GraphicEncoding e : AllEncodings()) {
        // Plain hexadecimal and base 64 have sizes known without writing them.
        const qint64 raw = bitmap.bits.size();
        const qint64 bytes = e == GraphicEncoding::Hex ? 2 * raw
            : e == GraphicEncoding::B64                ? 5 + (raw + 2) / 3 * 4 + 5
                                                       : EncodeGraphicData(bitmap, e).size();
        sizes.append({ e, bytes });
    }
    return sizes;
}

GraphicEncoding SmallestEncoding(const QList<EncodingSize> &sizes)
{
    EncodingSize best { GraphicEncoding::Hex, -1 };
    for (const EncodingSize &s : sizes)
        if (best.bytes < 0 || s.bytes < best.bytes)
            best = s;
    return best.encoding;
}

QByteArray GraphicField(const MonoBitmap &bitmap, GraphicEncoding encoding)
{
    const QByteArray total = QByteArray::number(bitmap.bits.size());
    return "^GFA," + total + ',' + Sizes(bitmap) + ',' + EncodeGraphicData(bitmap, encoding);
}

QByteArray GraphicLabel(const MonoBitmap &bitmap, GraphicEncoding encoding)
{
    return "^XA\r\n^FO0,0" + GraphicField(bitmap, encoding) + "^FS\r\n^XZ\r\n";
}

bool StoredGraphicName(const QString &text, QString &name, QString &why)
{
    QString device = QStringLiteral("R");
    QString file = text.trimmed().toUpper();
    if (file.size() >= 2 && file.at(1) == QLatin1Char(':')) {
        device = file.left(1);
        file = file.mid(2);
    }
    if (!PrinterMemory::IsDevice(device.at(0)) || device == QLatin1String("Z")) {
        why = QStringLiteral("%1: is not a memory device a graphic can be stored on (R:, E:, B:, "
                             "A:)")
                  .arg(device);
        return false;
    }
    if (!file.contains(QLatin1Char('.')))
        file += QStringLiteral(".GRF");
    if (!file.endsWith(QLatin1String(".GRF"))) {
        why = QStringLiteral("a graphic is stored as NAME.GRF, not %1").arg(file);
        return false;
    }
    if (!PrinterMemory::CheckName(file, &why))
        return false;
    name = device + QLatin1Char(':') + file;
    return true;
}

QByteArray GraphicDownload(const MonoBitmap &bitmap, GraphicEncoding encoding, const QString &name,
                           GraphicStore command)
{
    const QByteArray data = EncodeGraphicData(bitmap, encoding);
    switch (command) {
    case GraphicStore::DG:
        return "~DG" + name.toLatin1() + ',' + Sizes(bitmap) + ',' + data + "\r\n";
    case GraphicStore::DY: {
        // ~DY names the kind by a letter and the file without its extension.
        const QByteArray bare = name.toLatin1().chopped(4);
        return "~DY" + bare + ",A,G," + Sizes(bitmap) + ',' + data + "\r\n";
    }
    }
    return {};
}

QByteArray StoredGraphicLabel(const QString &name, bool image)
{
    return "^XA\r\n^FO0,0" + QByteArray(image ? "^IM" : "^XG") + name.toLatin1()
        + (image ? "" : ",1,1") + "^FS\r\n^XZ\r\n";
}
