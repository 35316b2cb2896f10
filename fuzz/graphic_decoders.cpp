// The graphic reader of the preview and the virtual printer fed arbitrary
// data in every form: it never crashes, keeps within the size announced (and
// so within bounded memory), names a place inside the data for what it
// refuses, and reads back exactly what the encoders wrote, in every encoding.
//
// Input: a line with the form (A or B), a line with the total bytes, a line
// with the bytes per row, then the data. The same data, made into a bitmap,
// is encoded and read back.

#include "fuzzinput.h"

#include "graphics/graphicencode.h"
#include "preview/graphicdata.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    GraphicData graphic;
    graphic.format = in.Line().startsWith('B') ? 'B' : 'A';
    graphic.totalBytes = in.Number(0, 1 << 16);
    graphic.bytesPerRow = int(in.Number(0, 4001));
    graphic.data = in.Rest();

    const DecodedGraphic decoded = DecodeGraphicBytes(graphic);
    if (decoded.problem.isEmpty()) {
        FUZZ_CHECK(decoded.bytes.size() == graphic.totalBytes, "%lld bytes read, %lld announced",
                   (long long)decoded.bytes.size(), (long long)graphic.totalBytes);
    } else {
        FUZZ_CHECK(decoded.at >= -1 && decoded.at <= graphic.data.size(),
                   "a problem at %lld of %lld bytes: %s", (long long)decoded.at,
                   (long long)graphic.data.size(), qPrintable(decoded.problem));
    }

    // Decode of encode is the bitmap, in every encoding.
    const QByteArray &bytes = graphic.data;
    if (bytes.isEmpty())
        return 0;
    MonoBitmap bitmap;
    const int bytesPerRow = 1 + uchar(bytes[0]) % 40;
    bitmap.width = bytesPerRow * 8 - int(bytes.size() % 8);
    bitmap.height = 1 + int(bytes.size() / bytesPerRow) % 60;
    bitmap.bits = QByteArray(qsizetype(bytesPerRow) * bitmap.height, '\0');
    for (qsizetype i = 0; i < bitmap.bits.size(); ++i)
        bitmap.bits[i] = bytes[i % bytes.size()];
    const char padding = char(0xFF << (bytesPerRow * 8 - bitmap.width));
    for (int y = 0; y < bitmap.height; ++y)
        bitmap.bits[qsizetype(y + 1) * bytesPerRow - 1] &= padding;
    for (GraphicEncoding e : AllEncodings()) {
        const QByteArray text = EncodeGraphicData(bitmap, e);
        const DecodedGraphic back = DecodeGraphicBytes(
            GraphicData { 'A', bitmap.bits.size(), bytesPerRow, text });
        FUZZ_CHECK(back.problem.isEmpty() && back.bytes == bitmap.bits,
                   "%s of %d x %d dots reads back %s: %s", qPrintable(EncodingName(e)),
                   bitmap.width, bitmap.height, qPrintable(back.problem), Shown(text).constData());
    }
    return 0;
}
