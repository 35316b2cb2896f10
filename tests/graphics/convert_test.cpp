// Pictures made into 1-bit graphics: sizes and units, thresholds that keep
// bars exact, transparency, turning, trimming, dithering, SVG; and a picture
// of a QR code and text, converted at both resolutions in every encoding,
// printed by the real virtual printer and read back by zbar.
#include "core/exceptions.h"
#include "graphics/graphicencode.h"
#include "graphics/imageconvert.h"
#include "preview/barcodescan.h"
#include "preview/labelrenderer.h"
#include "support/printerprocess.h"
#include "support/tcpclient.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Widths of the runs of one colour along row y, starting with black.
QList<int> Runs(const MonoBitmap &b, int y)
{
    QList<int> runs;
    int x = 0;
    while (x < b.width && !b.Black(x, y))
        ++x;
    while (x < b.width) {
        const bool black = b.Black(x, y);
        int n = 0;
        while (x < b.width && b.Black(x, y) == black) {
            ++x;
            ++n;
        }
        runs << n;
    }
    if (!runs.isEmpty() && runs.size() % 2 == 0)
        runs.removeLast(); // the white after the last bar
    return runs;
}

qint64 BlackDots(const MonoBitmap &b)
{
    qint64 n = 0;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            n += b.Black(x, y);
    return n;
}

TEST(GraphicConvert, LengthsAreReadInDotsMillimetresAndInches)
{
    struct Case
    {
        const char *text;
        int dpi;
        int dots; // -1: refused
    };
    const Case cases[] = {
        { "320", 203, 320 },   { "40mm", 203, 320 },   { "40mm", 300, 472 }, { "1.5in", 300, 450 },
        { "1,5in", 203, 305 }, { "12 dots", 203, 12 }, { "0", 203, -1 },     { "-3", 203, -1 },
        { "2.5", 203, -1 },    { "3cm", 203, -1 },     { "mm", 203, -1 },    { "", 203, -1 },
    };
    for (const Case &c : cases) {
        GraphicLength length;
        const bool ok = ParseGraphicLength(QString::fromLatin1(c.text), length);
        EXPECT_EQ(ok, c.dots >= 0) << c.text;
        if (ok)
            EXPECT_EQ(length.Dots(c.dpi), c.dots) << c.text;
    }
}

TEST(GraphicConvert, ThresholdingKeepsBarsInWholeDots)
{
    // Module widths of a bar code, bars and spaces alternating.
    const QList<int> modules = { 2, 1, 1, 3, 1, 2, 4, 1, 1, 1, 3, 2, 1, 1, 2 };
    auto picture = [&](int scale) {
        int width = 0;
        for (int m : modules)
            width += m * scale;
        QImage image(width + 4 * scale, 24, QImage::Format_RGB32);
        image.fill(Qt::white);
        int x = 2 * scale;
        for (qsizetype i = 0; i < modules.size(); ++i) {
            if (i % 2 == 0)
                for (int dx = 0; dx < modules[i] * scale; ++dx)
                    for (int y = 0; y < 24; ++y)
                        image.setPixel(x + dx, y, qRgb(20, 20, 20));
            x += modules[i] * scale;
        }
        return image;
    };
    struct Case
    {
        const char *what;
        int pictureScale;
        int dotsPerModule;
        int threshold;
    };
    const Case cases[] = {
        { "as it is", 2, 2, 128 },
        { "three times larger", 1, 3, 128 },
        { "half the size", 6, 3, 128 },
        { "automatic threshold", 4, 2, -1 },
        { "a quarter of the size", 12, 3, -1 },
    };
    for (const Case &c : cases) {
        const QImage image = picture(c.pictureScale);
        ConvertOptions options;
        options.threshold = c.threshold;
        options.width.value = image.width() * c.dotsPerModule / c.pictureScale;
        const MonoBitmap b = ConvertPicture(image, options);
        QList<int> expected;
        for (int m : modules)
            expected << m * c.dotsPerModule;
        EXPECT_EQ(Runs(b, b.height / 2), expected) << c.what;
        EXPECT_EQ(b.bits.size(), qsizetype(b.BytesPerRow()) * b.height);
    }
}

TEST(GraphicConvert, TransparentPicturesPrintTheirShapeNotABox)
{
    QTemporaryDir dir;
    // Transparent black all round: a converter that drops alpha prints a box.
    QImage image(100, 100, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 0, 0));
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::black);
        p.drawEllipse(QPointF(50, 50), 30, 30);
        // A faint shadow, mostly see-through: white paper shows.
        p.setBrush(QColor(0, 0, 0, 50));
        p.drawRect(0, 90, 100, 10);
    }
    const QString path = dir.filePath(QStringLiteral("round.png"));
    ASSERT_TRUE(image.save(path));
    ConvertOptions options;
    const MonoBitmap b = ConvertPicture(LoadPicture(path, options), options);
    ASSERT_EQ(b.width, 100);
    EXPECT_FALSE(b.Black(0, 0));
    EXPECT_FALSE(b.Black(99, 99));
    EXPECT_FALSE(b.Black(50, 95));
    EXPECT_TRUE(b.Black(50, 50));
    const double disc = 3.14159 * 30 * 30;
    EXPECT_NEAR(double(BlackDots(b)), disc, disc * 0.05);
}

TEST(GraphicConvert, TurnsInvertsAndTrims)
{
    // A 5 x 3 picture with one black dot at (1, 0) and white borders.
    QImage image(5, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(1, 0, qRgb(0, 0, 0));
    image.setPixel(2, 0, qRgb(0, 0, 0));
    struct Case
    {
        int rotate;
        bool trim;
        bool invert;
        QSize size;
        QList<QPoint> black;
    };
    const Case cases[] = {
        { 0, false, false, { 5, 3 }, { { 1, 0 }, { 2, 0 } } },
        { 90, false, false, { 3, 5 }, { { 2, 1 }, { 2, 2 } } },
        { 180, false, false, { 5, 3 }, { { 3, 2 }, { 2, 2 } } },
        { 270, false, false, { 3, 5 }, { { 0, 3 }, { 0, 2 } } },
        { 0, true, false, { 2, 1 }, { { 0, 0 }, { 1, 0 } } },
        { 90, true, false, { 1, 2 }, { { 0, 0 }, { 0, 1 } } },
    };
    for (const Case &c : cases) {
        ConvertOptions options;
        options.rotate = c.rotate;
        options.trim = c.trim;
        const MonoBitmap b = ConvertPicture(image, options);
        EXPECT_EQ(QSize(b.width, b.height), c.size) << c.rotate << " " << c.trim;
        EXPECT_EQ(BlackDots(b), c.black.size()) << c.rotate << " " << c.trim;
        for (const QPoint &p : c.black)
            EXPECT_TRUE(b.Black(p.x(), p.y()))
                << c.rotate << " " << c.trim << " " << p.x() << "," << p.y();
    }
    ConvertOptions inverted;
    inverted.invert = true;
    const MonoBitmap b = ConvertPicture(image, inverted);
    EXPECT_EQ(BlackDots(b), 13);
    // The padding of each row stays white.
    EXPECT_EQ(uchar(b.bits[0]), 0x98);
    // Sizes are of the printed graphic: a quarter turn swaps them.
    ConvertOptions turned;
    turned.rotate = 90;
    turned.width.value = 30;
    const MonoBitmap t = ConvertPicture(image, turned);
    EXPECT_EQ(QSize(t.width, t.height), QSize(30, 50));
}

TEST(GraphicConvert, DitheringIsOnlyDoneWhenAskedFor)
{
    QImage grey(64, 64, QImage::Format_RGB32);
    grey.fill(qRgb(100, 100, 100));
    struct Case
    {
        Dither dither;
        int threshold;
        double lowShare;
        double highShare;
    };
    // 100 of 255 grey: black everywhere under a plain threshold; about 60 %
    // with error diffusion, Atkinson lighter as it drops a quarter of the
    // error.
    const Case cases[] = {
        { Dither::None, 128, 1.0, 1.0 },
        { Dither::None, 90, 0.0, 0.0 },
        { Dither::FloydSteinberg, 128, 0.55, 0.65 },
        { Dither::Atkinson, 128, 0.5, 0.75 },
    };
    for (const Case &c : cases) {
        ConvertOptions options;
        options.dither = c.dither;
        options.threshold = c.threshold;
        const double share = double(BlackDots(ConvertPicture(grey, options))) / (64 * 64);
        EXPECT_GE(share, c.lowShare) << int(c.dither);
        EXPECT_LE(share, c.highShare) << int(c.dither);
    }
}

TEST(GraphicConvert, OtsuSplitsTwoGreyLevelsBetweenThem)
{
    QImage grey(40, 40, QImage::Format_Grayscale8);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            grey.scanLine(y)[x] = uchar(x < 15 ? 60 + (y % 7) : 190 + (x % 9));
    const int level = OtsuThreshold(grey);
    EXPECT_GT(level, 66);
    EXPECT_LE(level, 190);
}

TEST(GraphicConvert, SvgIsDrawnAtTheSizeAskedFor)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("mark.svg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("<svg xmlns='http://www.w3.org/2000/svg' width='96' height='48'>"
               "<rect x='0' y='0' width='48' height='48' fill='black'/></svg>");
    file.close();
    ConvertOptions natural;
    const MonoBitmap own = ConvertPicture(LoadPicture(path, natural), natural);
    // An inch wide at its own size.
    EXPECT_EQ(QSize(own.width, own.height), QSize(203, 102));
    ConvertOptions sized;
    sized.dpi = 300;
    ASSERT_TRUE(ParseGraphicLength(QStringLiteral("20mm"), sized.width));
    const MonoBitmap b = ConvertPicture(LoadPicture(path, sized), sized);
    EXPECT_EQ(QSize(b.width, b.height), QSize(236, 118));
    EXPECT_TRUE(b.Black(10, 10));
    EXPECT_FALSE(b.Black(200, 10));
    EXPECT_NEAR(double(BlackDots(b)), 118.0 * 118, 118 * 3);

    const QString broken = dir.filePath(QStringLiteral("broken.png"));
    QFile bad(broken);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a picture");
    bad.close();
    EXPECT_THROW(LoadPicture(broken, natural), ETarvolinError);
    EXPECT_THROW(LoadPicture(dir.filePath(QStringLiteral("none.png")), natural), ETarvolinError);
}

// A picture of a QR code and a line of text, as a site's logo file would
// hold one: drawn by the preview, saved as a PNG.
QString QrPicture(const QTemporaryDir &dir)
{
    const RenderResult r
        = RenderLabels("^XA^PW420^LL330^FO30,20^BQN,2,7^FDQA,https://example.org/graphics^FS"
                       "^FO30,280^A0N,36,30^FDTarvolin graphics^FS^XZ");
    if (r.labels.isEmpty())
        return {};
    const QString path = dir.filePath(QStringLiteral("qr.png"));
    r.labels.constFirst().convertToFormat(QImage::Format_RGB32).save(path);
    return path;
}

QImage PrintedLabel(PrinterProcess &printer, const QString &out, int n)
{
    const QString line = printer.WaitForLine(QStringLiteral("label %1: ").arg(n), 20000);
    if (!line.contains(QLatin1String(" -> ")))
        return {};
    return QImage(QStringLiteral("%1/label-%2.png").arg(out).arg(n, 4, 10, QLatin1Char('0')))
        .convertToFormat(QImage::Format_Grayscale8);
}

TEST(GraphicConvert, AQrPictureInEveryEncodingPrintsAndScansOnTheVirtualPrinter)
{
    QTemporaryDir dir;
    const QString picture = QrPicture(dir);
    ASSERT_FALSE(picture.isEmpty());
    for (int dpi : { 203, 300 }) {
        ConvertOptions options;
        options.dpi = dpi;
        ASSERT_TRUE(ParseGraphicLength(QStringLiteral("45mm"), options.width));
        const MonoBitmap bitmap = ConvertPicture(LoadPicture(picture, options), options);
        ASSERT_EQ(bitmap.width, options.width.Dots(dpi));

        QList<QByteArray> forms;
        for (GraphicEncoding e : AllEncodings()) {
            forms << GraphicLabel(bitmap, e);
            forms << GraphicDownload(bitmap, e, QStringLiteral("R:QR.GRF"))
                    + StoredGraphicLabel(QStringLiteral("R:QR.GRF"));
            forms << GraphicDownload(bitmap, e, QStringLiteral("E:QR.GRF"), GraphicStore::DY)
                    + StoredGraphicLabel(QStringLiteral("E:QR.GRF"), true);
        }
        QByteArray binary = "^XA^FO0,0^GFB," + QByteArray::number(bitmap.bits.size()) + ','
            + QByteArray::number(bitmap.bits.size()) + ','
            + QByteArray::number(bitmap.BytesPerRow()) + ',' + bitmap.bits + "^FS^XZ";
        forms << binary;

        const QString out = dir.filePath(QStringLiteral("out%1").arg(dpi));
        PrinterProcess printer({ QStringLiteral("--tcp"), QStringLiteral("0"),
                                 QStringLiteral("--dpi"), QString::number(dpi),
                                 QStringLiteral("--out"), out });
        ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
        RenderOptions preview;
        preview.dotsPerMm = dpi == 203 ? 8 : 12;
        preview.defaultLabelSize = QSize(104 * preview.dotsPerMm, 152 * preview.dotsPerMm);
        QImage first;
        for (qsizetype i = 0; i < forms.size(); ++i) {
            TcpExchange(printer.TcpPort(), forms[i]);
            const QImage printed = PrintedLabel(printer, out, int(i + 1));
            ASSERT_FALSE(printed.isNull()) << dpi << " form " << i << "\n"
                                           << printer.Lines().join('\n').toStdString();
            EXPECT_TRUE(
                Zbar(printed).contains(QStringLiteral("QR-Code:https://example.org/graphics")))
                << dpi << " form " << i << ": " << Zbar(printed).join(' ').toStdString();
            // Dot for dot what every other form printed, and what the
            // preview draws of the same commands.
            if (first.isNull())
                first = printed;
            EXPECT_TRUE(printed == first) << dpi << " form " << i;
            const RenderResult previewed = RenderLabels(forms[i], preview);
            ASSERT_EQ(previewed.labels.size(), 1) << dpi << " form " << i;
            EXPECT_TRUE(previewed.labels.constFirst().convertToFormat(QImage::Format_Grayscale8)
                        == printed)
                << dpi << " form " << i;
        }
        const QString said = printer.Lines().join('\n') + printer.ErrorOutput();
        EXPECT_FALSE(said.contains(QLatin1String("graphic"))
                     || said.contains(QLatin1String("nothing stored")))
            << said.toStdString();
    }
}

} // namespace
