#include "graphics/imageconvert.h"

#include "core/exceptions.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// A picture's largest side in dots: the longest label a printer takes.
constexpr int MaxSide = 32000;

QSize TargetSize(QSize source, const ConvertOptions &options)
{
    // Sizes are of the printed graphic, so a quarter turn swaps them.
    const bool turned = options.rotate == 90 || options.rotate == 270;
    int w = (turned ? options.height : options.width).Dots(options.dpi);
    int h = (turned ? options.width : options.height).Dots(options.dpi);
    const double sw = std::max(source.width(), 1);
    const double sh = std::max(source.height(), 1);
    if (w > 0 && h > 0) {
        const double scale = std::min(w / sw, h / sh);
        w = int(std::lround(sw * scale));
        h = int(std::lround(sh * scale));
    } else if (w > 0) {
        h = int(std::lround(sh * w / sw));
    } else if (h > 0) {
        w = int(std::lround(sw * h / sh));
    } else {
        w = source.width();
        h = source.height();
    }
    return { std::clamp(w, 1, MaxSide), std::clamp(h, 1, MaxSide) };
}

// Grey by luminance (ITU-R 601 weights), transparent parts as white paper.
std::vector<int> GreyOnWhite(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    std::vector<int> grey(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        int *out = grey.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            const int a = qAlpha(p);
            const int luma = (qRed(p) * 77 + qGreen(p) * 150 + qBlue(p) * 29 + 128) >> 8;
            out[x] = (luma * a + 255 * (255 - a) + 127) / 255;
        }
    }
    return grey;
}

int Otsu(const std::array<qint64, 256> &histogram)
{
    qint64 count = 0;
    double sum = 0;
    for (int i = 0; i < 256; ++i) {
        count += histogram[size_t(i)];
        sum += double(i) * double(histogram[size_t(i)]);
    }
    double below = 0;
    qint64 countBelow = 0;
    double best = -1;
    int level = 128;
    for (int t = 0; t < 256; ++t) {
        // Levels below t print black.
        if (countBelow > 0 && countBelow < count) {
            const double m0 = below / double(countBelow);
            const double m1 = (sum - below) / double(count - countBelow);
            const double between
                = double(countBelow) * double(count - countBelow) * (m0 - m1) * (m0 - m1);
            if (between > best) {
                best = between;
                level = t;
            }
        }
        countBelow += histogram[size_t(t)];
        below += double(t) * double(histogram[size_t(t)]);
    }
    return level;
}

void Diffuse(std::vector<int> &grey, int w, int h, int level, Dither dither, MonoBitmap &out)
{
    const int stride = out.BytesPerRow();
    auto *bits = reinterpret_cast<uchar *>(out.bits.data());
    for (int y = 0; y < h; ++y) {
        int *row = grey.data() + size_t(y) * size_t(w);
        for (int x = 0; x < w; ++x) {
            const int old = row[x];
            const bool black = old < level;
            if (black)
                bits[y * stride + x / 8] |= uchar(0x80 >> (x % 8));
            const int error = old - (black ? 0 : 255);
            auto add = [&](int dx, int dy, int share) {
                const int nx = x + dx;
                const int ny = y + dy;
                if (nx >= 0 && nx < w && ny < h)
                    grey[size_t(ny) * size_t(w) + size_t(nx)] += share;
            };
            if (dither == Dither::FloydSteinberg) {
                add(1, 0, error * 7 / 16);
                add(-1, 1, error * 3 / 16);
                add(0, 1, error * 5 / 16);
                add(1, 1, error / 16);
            } else if (dither == Dither::Atkinson) {
                // Only three quarters of the error travel on, which keeps
                // light and dark areas clean.
                const int e = error / 8;
                add(1, 0, e);
                add(2, 0, e);
                add(-1, 1, e);
                add(0, 1, e);
                add(1, 1, e);
                add(0, 2, e);
            }
        }
    }
}

MonoBitmap Trimmed(const MonoBitmap &bitmap)
{
    int left = bitmap.width, right = -1, top = bitmap.height, bottom = -1;
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            if (bitmap.Black(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return bitmap; // nothing black: nothing to trim to
    MonoBitmap out;
    out.width = right - left + 1;
    out.height = bottom - top + 1;
    out.bits = QByteArray(qsizetype(out.BytesPerRow()) * out.height, '\0');
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            if (bitmap.Black(x + left, y + top))
                out.bits[qsizetype(y) * out.BytesPerRow() + x / 8] |= char(0x80 >> (x % 8));
    return out;
}

} // namespace

QImage MonoBitmap::ToImage() const
{
    QImage image(BytesPerRow() * 8, height, QImage::Format_Mono);
    image.setColorTable({ qRgb(255, 255, 255), qRgb(0, 0, 0) });
    for (int y = 0; y < height; ++y) {
        uchar *line = image.scanLine(y);
        std::memset(line, 0, size_t(image.bytesPerLine()));
        std::memcpy(line, bits.constData() + qsizetype(y) * BytesPerRow(), size_t(BytesPerRow()));
    }
    return image;
}

int GraphicLength::Dots(int dpi) const
{
    switch (unit) {
    case Unit::Dots:
        return int(std::lround(value));
    case Unit::Millimetres:
        return int(std::lround(value * dpi / 25.4));
    case Unit::Inches:
        return int(std::lround(value * dpi));
    }
    return 0;
}

bool ParseGraphicLength(const QString &text, GraphicLength &length)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([0-9]+(?:[.,][0-9]+)?)\\s*(mm|in|dots)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    QString number = m.captured(1);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(number, &ok);
    const QString unit = m.captured(2);
    const bool dots = unit.isEmpty() || unit == QLatin1String("dots");
    if (!ok || value <= 0 || (dots && value != std::floor(value)))
        return false;
    length.value = value;
    length.unit = unit == QLatin1String("mm") ? GraphicLength::Unit::Millimetres
        : unit == QLatin1String("in")         ? GraphicLength::Unit::Inches
                                              : GraphicLength::Unit::Dots;
    return true;
}

QImage LoadPicture(const QString &path, const ConvertOptions &options)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EFOpenError(path);
    const QByteArray head = file.peek(512);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg") || suffix == QLatin1String("svgz")
        || head.contains("<svg")) {
        QSvgRenderer svg(file.readAll());
        if (!svg.isValid())
            throw EConvertError(
                QStringLiteral("%1 is not an SVG picture this program can draw").arg(path));
        // An SVG's own size is in CSS pixels of 1/96 inch.
        const QSizeF own = svg.defaultSize().isEmpty() ? QSizeF(svg.viewBoxF().size())
                                                       : QSizeF(svg.defaultSize());
        const QSize natural(std::max(1, int(std::lround(own.width() * options.dpi / 96.0))),
                            std::max(1, int(std::lround(own.height() * options.dpi / 96.0))));
        const QSize size = (options.width.value > 0 || options.height.value > 0)
            ? TargetSize(natural, options)
            : natural;
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        svg.render(&painter);
        painter.end();
        return image;
    }
    QImageReader reader(&file);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull())
        throw EConvertError(QStringLiteral("%1 is not a picture this program can read (%2)")
                                .arg(path, reader.errorString()));
    return image;
}

int OtsuThreshold(const QImage &grey)
{
    std::array<qint64, 256> histogram {};
    for (int y = 0; y < grey.height(); ++y) {
        const uchar *line = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            ++histogram[line[x]];
    }
    return Otsu(histogram);
}

MonoBitmap ConvertPicture(const QImage &picture, const ConvertOptions &options)
{
    if (picture.isNull())
        return {};
    const QSize size = TargetSize(picture.size(), options);
    QImage scaled = picture;
    if (size != picture.size()) {
        // Whole multiples are taken dot for dot, so the bars of a bar code
        // stay exact; anything else is averaged.
        const bool whole = size.width() % picture.width() == 0
            && size.height() % picture.height() == 0
            && size.width() / picture.width() == size.height() / picture.height();
        scaled = picture.scaled(size, Qt::IgnoreAspectRatio,
                                whole ? Qt::FastTransformation : Qt::SmoothTransformation);
    }
    const int w = scaled.width();
    const int h = scaled.height();
    std::vector<int> grey = GreyOnWhite(scaled);
    int level = options.threshold;
    if (level < 0) {
        std::array<qint64, 256> histogram {};
        for (int g : grey)
            ++histogram[size_t(g)];
        level = Otsu(histogram);
    }
    MonoBitmap out;
    out.width = w;
    out.height = h;
    out.bits = QByteArray(qsizetype(out.BytesPerRow()) * h, '\0');
    Diffuse(grey, w, h, level, options.dither, out);
    if (options.invert) {
        for (int y = 0; y < h; ++y) {
            char *row = out.bits.data() + qsizetype(y) * out.BytesPerRow();
            for (int i = 0; i < out.BytesPerRow(); ++i)
                row[i] = char(~row[i]);
            if (w % 8)
                row[out.BytesPerRow() - 1] &= char(0xFF << (8 - w % 8));
        }
    }
    if (options.trim)
        out = Trimmed(out);
    return Rotated(out, options.rotate);
}

MonoBitmap Rotated(const MonoBitmap &bitmap, int degrees)
{
    degrees = ((degrees % 360) + 360) % 360;
    if (degrees == 0 || bitmap.IsNull())
        return bitmap;
    MonoBitmap out;
    const bool quarter = degrees == 90 || degrees == 270;
    out.width = quarter ? bitmap.height : bitmap.width;
    out.height = quarter ? bitmap.width : bitmap.height;
    out.bits = QByteArray(qsizetype(out.BytesPerRow()) * out.height, '\0');
    const int stride = out.BytesPerRow();
    for (int y = 0; y < bitmap.height; ++y) {
        for (int x = 0; x < bitmap.width; ++x) {
            if (!bitmap.Black(x, y))
                continue;
            int nx = 0, ny = 0;
            if (degrees == 90) { // clockwise
                nx = bitmap.height - 1 - y;
                ny = x;
            } else if (degrees == 180) {
                nx = bitmap.width - 1 - x;
                ny = bitmap.height - 1 - y;
            } else {
                nx = y;
                ny = bitmap.width - 1 - x;
            }
            out.bits[qsizetype(ny) * stride + nx / 8] |= char(0x80 >> (nx % 8));
        }
    }
    return out;
}
