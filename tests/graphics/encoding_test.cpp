// Graphics in every form the printer reads: what the encoders write, byte for
// byte where the bytes are the point, and what the one reader of the preview
// and the virtual printer makes of them, sound or damaged.
#include "graphics/graphicencode.h"
#include "preview/graphicdata.h"
#include "preview/labelrenderer.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

MonoBitmap FromRows(int width, const QList<QByteArray> &hexRows)
{
    MonoBitmap b;
    b.width = width;
    b.height = int(hexRows.size());
    for (const QByteArray &row : hexRows)
        b.bits += QByteArray::fromHex(row);
    return b;
}

MonoBitmap Random(int width, int height, quint32 seed, int blackPercent)
{
    QRandomGenerator random(seed);
    MonoBitmap b;
    b.width = width;
    b.height = height;
    b.bits = QByteArray(qsizetype(b.BytesPerRow()) * height, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (int(random.bounded(100)) < blackPercent)
                b.bits[qsizetype(y) * b.BytesPerRow() + x / 8] |= char(0x80 >> (x % 8));
    return b;
}

DecodedGraphic Decode(const MonoBitmap &b, const QByteArray &data, char format = 'A')
{
    return DecodeGraphicBytes(GraphicData { format, b.bits.size(), b.BytesPerRow(), data });
}

TEST(GraphicEncoding, RunLengthWritesTheRowCodesAndRepeatLetters)
{
    struct Case
    {
        const char *what;
        MonoBitmap bitmap;
        QByteArray expected;
    };
    const Case cases[] = {
        { "white, black and repeated rows",
          FromRows(16, { "FF00", "FF00", "0000", "FFFF", "0F0F" }), "FF,:,!0F0F" },
        { "a first row is never a repeat", FromRows(8, { "00", "00", "81" }), ",:81" },
        { "runs: 50 ones are h (40), P (10) and the digit", FromRows(200, { QByteArray(50, '1') }),
          "hP1" },
        { "runs past 400 take z as often as needed", FromRows(3600, { QByteArray(899, 'A') + "1" }),
          "zzjYA1" },
        { "two digits alike stay two digits", FromRows(16, { "AA5B" }), "AA5B" },
        { "a row ending in one white digit keeps it", FromRows(16, { "1230" }), "1230" },
    };
    for (const Case &c : cases)
        EXPECT_EQ(EncodeGraphicData(c.bitmap, GraphicEncoding::Rle), c.expected) << c.what;
}

TEST(GraphicEncoding, Base64FormsCarryTheCrcOfTheirText)
{
    // The check value of the standard check string for this CRC.
    EXPECT_EQ(GraphicCrc("123456789"), 0x31C3);
    const MonoBitmap b = FromRows(16, { "FF00", "00FF" });
    EXPECT_EQ(
        EncodeGraphicData(b, GraphicEncoding::B64),
        ":B64:/wAA/w==:"
            + QByteArray::number(GraphicCrc("/wAA/w=="), 16).rightJustified(4, '0').toUpper());
    const QByteArray z64 = EncodeGraphicData(b, GraphicEncoding::Z64);
    ASSERT_TRUE(z64.startsWith(":Z64:eJ")); // a zlib stream at the usual compression
    const QByteArray text = z64.mid(5, z64.size() - 10);
    EXPECT_EQ(z64.right(5),
              ':' + QByteArray::number(GraphicCrc(text), 16).rightJustified(4, '0').toUpper());
}

TEST(GraphicEncoding, EveryEncodingReadsBackToTheSameBits)
{
    const MonoBitmap bitmaps[] = {
        Random(1, 1, 1, 50),
        Random(7, 3, 2, 50),
        Random(100, 40, 3, 10),
        Random(203, 61, 4, 90),
        Random(64, 64, 5, 0),
        Random(64, 64, 6, 100),
        FromRows(16, { "FFFF", "FFFF", "0000", "0000", "8001" }),
    };
    for (const MonoBitmap &b : bitmaps) {
        for (GraphicEncoding e : AllEncodings()) {
            const DecodedGraphic d = Decode(b, EncodeGraphicData(b, e));
            EXPECT_TRUE(d.problem.isEmpty()) << d.problem.toStdString();
            EXPECT_EQ(d.bytes, b.bits)
                << EncodingName(e).toStdString() << " " << b.width << "x" << b.height;
        }
        const DecodedGraphic binary = Decode(b, b.bits, 'B');
        EXPECT_EQ(binary.bytes, b.bits);
        // The sizes shown are those of the data written.
        for (const EncodingSize &s : EncodingSizes(b))
            EXPECT_EQ(s.bytes, EncodeGraphicData(b, s.encoding).size());
    }
}

TEST(GraphicEncoding, TheSmallestEncodingIsChosenAndLogosShrink)
{
    // A logo: large single-coloured areas, a few shapes.
    MonoBitmap logo;
    logo.width = 400;
    logo.height = 200;
    logo.bits = QByteArray(50 * 200, '\0');
    for (int y = 40; y < 160; ++y)
        for (int x = 40 + y / 4; x < 200 + (y % 60); ++x)
            logo.bits[y * 50 + x / 8] |= char(0x80 >> (x % 8));
    const QList<EncodingSize> sizes = EncodingSizes(logo);
    const qint64 hex = sizes.at(0).bytes;
    EXPECT_GE(hex, 3 * sizes.at(1).bytes) << "rle";
    EXPECT_GE(hex, 3 * sizes.at(3).bytes) << "z64";
    const GraphicEncoding best = SmallestEncoding(sizes);
    for (const EncodingSize &s : sizes)
        EXPECT_LE(EncodeGraphicData(logo, best).size(), s.bytes);
}

TEST(GraphicEncoding, CommandsHaveTheSizesThePrinterCounts)
{
    const MonoBitmap b = FromRows(12, { "FFF0", "8010" });
    EXPECT_EQ(GraphicField(b, GraphicEncoding::Hex), "^GFA,4,4,2,FFF08010");
    EXPECT_EQ(GraphicLabel(b, GraphicEncoding::Rle),
              "^XA\r\n^FO0,0^GFA,4,4,2,IF08010^FS\r\n^XZ\r\n");
    EXPECT_EQ(GraphicDownload(b, GraphicEncoding::Hex, QStringLiteral("E:LOGO.GRF")),
              "~DGE:LOGO.GRF,4,2,FFF08010\r\n");
    EXPECT_EQ(
        GraphicDownload(b, GraphicEncoding::Hex, QStringLiteral("R:LOGO.GRF"), GraphicStore::DY),
        "~DYR:LOGO,A,G,4,2,FFF08010\r\n");
    EXPECT_EQ(StoredGraphicLabel(QStringLiteral("R:LOGO.GRF")),
              "^XA\r\n^FO0,0^XGR:LOGO.GRF,1,1^FS\r\n^XZ\r\n");
    EXPECT_EQ(StoredGraphicLabel(QStringLiteral("R:LOGO.GRF"), true),
              "^XA\r\n^FO0,0^IMR:LOGO.GRF^FS\r\n^XZ\r\n");

    struct Name
    {
        const char *given;
        const char *stored; // empty: refused
    };
    const Name names[] = { { "logo", "R:LOGO.GRF" },
                           { "e:Logo.grf", "E:LOGO.GRF" },
                           { "B:MARK", "B:MARK.GRF" },
                           { "Z:LOGO", "" },
                           { "Q:LOGO", "" },
                           { "LOGO.PNG", "" },
                           { "A B", "" },
                           { "", "" } };
    for (const Name &n : names) {
        QString name, why;
        const bool ok = StoredGraphicName(QString::fromLatin1(n.given), name, why);
        EXPECT_EQ(ok, *n.stored != 0) << n.given << ": " << why.toStdString();
        if (ok)
            EXPECT_EQ(name, QString::fromLatin1(n.stored));
        else
            EXPECT_FALSE(why.isEmpty()) << n.given;
    }
}

TEST(GraphicDecoding, DamagedGraphicsAreNamedWhereTheyAreWrongAndNotDrawn)
{
    const MonoBitmap b = FromRows(16, { "FF00", "00FF" });
    const QByteArray z64 = EncodeGraphicData(b, GraphicEncoding::Z64);
    QByteArray badCrc = z64;
    badCrc[badCrc.size() - 1] = badCrc.endsWith('0') ? '1' : '0';
    QByteArray flipped = z64;
    flipped[8] = flipped[8] == 'A' ? 'B' : 'A';
    const QByteArray b64 = EncodeGraphicData(FromRows(16, { "FF00" }), GraphicEncoding::B64);
    struct Case
    {
        QByteArray commands;
        QString warning; // "line:column text"
    };
    const Case cases[] = {
        { "^XA^FO0,0^GFA,4,4,2,FF00\n00^FS^XZ",
          "2:3 ^GF: graphic: the data ends in row 2 of 2: 3 of 4 bytes given" },
        { "^XA^FO0,0^GFA,4,4,2,FF0000FF00^FS^XZ",
          "1:29 ^GF: graphic: more data than the 4 bytes announced" },
        { "^XA^FO0,0^GFA,4,4,2,FF\r\n0Z00FF^FS^XZ",
          "2:2 ^GF: graphic: 'Z' is not graphic data: expected a hexadecimal digit, a repeat "
          "letter (G-Y, g-z), ',', '!' or ':'" },
        { "^XA^FO0,0^GFA,4,4,2,F:0FF^FS^XZ",
          "1:22 ^GF: graphic: ':' inside row 1 (after 1 of its 4 digits): it repeats a whole row" },
        { "^XA^FO0,0^GFA,4,4,2,H,^FS^XZ",
          "1:22 ^GF: graphic: ',' after a repeat count: expected a hexadecimal digit" },
        { "^XA^FO0,0^GFA,4,4,2,zF^FS^XZ",
          "1:21 ^GF: graphic: more data than the 4 bytes announced" },
        { "^XA^FO0,0^GFA,4,4,2," + badCrc + "^FS^XZ",
          "1:" + QString::number(21 + badCrc.size() - 4) + " ^GF: graphic: CRC "
              + QString::fromLatin1(badCrc.right(4)) + " given, the data's is "
              + QString::fromLatin1(z64.right(4)) + ": it was damaged on the way" },
        { "^XA^FO0,0^GFA,4,4,2," + z64.left(z64.size() - 5) + "^FS^XZ",
          "1:" + QString::number(21 + z64.size() - 5)
              + " ^GF: graphic: no CRC after the data: expected ':' and four hexadecimal digits" },
        { "^XA^FO0,0^GFA,4,4,2," + b64 + "^FS^XZ",
          "1:26 ^GF: graphic: the data holds 2 bytes, 4 announced" },
        { "^XA^FO0,0^GFA,6,6,2," + z64 + "^FS^XZ",
          "1:26 ^GF: graphic: the compressed data holds 4 bytes, 6 announced" },
        { "~DGR:X.GRF,4,2,FF0\n^XA^FO0,0^XGR:X.GRF^FS^XZ",
          "1:19 ~DG R:X.GRF: graphic: the data ends in row 1 of 2: 1 of 4 bytes given" },
        { "~DYR:X,A,G,4,2,FF00FF00FF\n^XA^FO0,0^XGR:X.GRF^FS^XZ",
          "1:24 ~DY R:X.GRF: graphic: more data than the 4 bytes announced" },
        { "^XA^FO0,0^GFB,2,4,2,\xFF\x01^FS^XZ", "1:23 ^GF: graphic: 4 bytes announced, 2 given" },
    };
    for (const Case &c : cases) {
        const RenderResult result = RenderLabels(c.commands);
        QStringList texts;
        for (const RenderWarning &w : result.warnings)
            texts << QStringLiteral("%1:%2 %3").arg(w.line).arg(w.column).arg(w.text);
        EXPECT_TRUE(texts.contains(c.warning)) << c.commands.toStdString() << "\n"
                                               << texts.join('\n').toStdString();
        // Nothing of the bad graphic is drawn (a label of nothing but the
        // missing graphic is not printed at all).
        QImage label;
        if (!result.labels.isEmpty())
            label = result.labels.constFirst().convertToFormat(QImage::Format_Grayscale8);
        bool anyBlack = false;
        for (int y = 0; y < std::min(label.height(), 10); ++y)
            for (int x = 0; x < 40; ++x)
                anyBlack = anyBlack || qGray(label.pixel(x, y)) < 128;
        EXPECT_FALSE(anyBlack) << c.commands.toStdString();
    }
    // A flipped character inside the base 64 text is caught by the CRC.
    const DecodedGraphic d = Decode(b, flipped);
    EXPECT_TRUE(d.problem.contains(QLatin1String("CRC"))) << d.problem.toStdString();
}

} // namespace
