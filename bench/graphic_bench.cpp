// Pictures into label graphics, against the plain tool and the targets:
//   ConvertVsQt     a 4 x 6 inch page at 203 dpi (812 x 1218) from a
//                   photograph, converted (dithered) and encoded in the
//                   smallest form, against Qt just loading and scaling it:
//                   "ratio" at most 2.
//   LogoSizes       a typical logo: plain hexadecimal over each compressed
//                   encoding ("hex_over_rle", "hex_over_z64") at least 3.
//   DecodeVsHex     the preview's reading of each encoding of the same
//                   bitmap against reading plain hexadecimal: "ratio" at
//                   most 1.5.
#include "graphics/graphicencode.h"
#include "graphics/imageconvert.h"
#include "preview/graphicdata.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <ctime>

namespace {

// Processor time of this thread: the machine is shared, and wall time
// measures the neighbours as much as the code.
qint64 ThreadNs()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// A photograph's worth of detail: soft gradients, shapes and grain, kept as
// a JPEG twice the page's size, as cameras give more than a label needs.
const QString &Photograph()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        QImage image(1624, 2436, QImage::Format_RGB32);
        QPainter p(&image);
        QLinearGradient sky(0, 0, 0, image.height());
        sky.setColorAt(0, QColor(120, 170, 230));
        sky.setColorAt(1, QColor(60, 90, 40));
        p.fillRect(image.rect(), sky);
        p.setRenderHint(QPainter::Antialiasing);
        QRandomGenerator random(7);
        for (int i = 0; i < 300; ++i) {
            p.setBrush(
                QColor::fromHsv(int(random.bounded(360)), 120, 60 + int(random.bounded(190)), 160));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(random.bounded(1624.0), random.bounded(2436.0)),
                          20 + random.bounded(200.0), 20 + random.bounded(200.0));
        }
        p.end();
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int grain = int(random.bounded(21)) - 10;
                const QRgb c = line[x];
                line[x] = qRgb(std::clamp(qRed(c) + grain, 0, 255),
                               std::clamp(qGreen(c) + grain, 0, 255),
                               std::clamp(qBlue(c) + grain, 0, 255));
            }
        }
        const QString file = dir.filePath(QStringLiteral("photo.jpg"));
        image.save(file, "JPEG", 90);
        return file;
    }();
    return path;
}

MonoBitmap Logo()
{
    QImage image(600, 240, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 60, 150));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(10, 10, 220, 220, 30, 30);
    p.setBrush(Qt::white);
    p.drawEllipse(QPoint(120, 120), 70, 70);
    p.setPen(Qt::black);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(64);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(250, 40, 350, 90), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ACME"));
    font.setPixelSize(32);
    p.setFont(font);
    p.drawText(QRect(250, 130, 350, 60), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Logistics"));
    p.end();
    return ConvertPicture(image, ConvertOptions());
}

ConvertOptions PageOptions()
{
    ConvertOptions options;
    options.width.value = 812;
    options.height.value = 1218;
    options.dither = Dither::FloydSteinberg;
    return options;
}

void ConvertVsQt(benchmark::State &state)
{
    const QString path = Photograph();
    qint64 qt = 0;
    qint64 ours = 0;
    for (auto _ : state) {
        qint64 start = ThreadNs();
        const QImage scaled
            = QImage(path).scaled(812, 1218, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        benchmark::DoNotOptimize(scaled.constBits());
        qt += ThreadNs() - start;

        start = ThreadNs();
        const ConvertOptions options = PageOptions();
        const MonoBitmap bitmap = ConvertPicture(LoadPicture(path, options), options);
        const QByteArray data = EncodeGraphicData(bitmap, SmallestEncoding(EncodingSizes(bitmap)));
        benchmark::DoNotOptimize(data.constData());
        ours += ThreadNs() - start;
    }
    state.counters["qt_ms"] = double(qt) / 1e6 / double(state.iterations());
    state.counters["ms"] = double(ours) / 1e6 / double(state.iterations());
    state.counters["ratio"] = double(ours) / double(qt);
}
BENCHMARK(ConvertVsQt)->Unit(benchmark::kMillisecond)->Iterations(10);

void LogoSizes(benchmark::State &state)
{
    const MonoBitmap logo = Logo();
    QList<EncodingSize> sizes;
    for (auto _ : state)
        benchmark::DoNotOptimize(sizes = EncodingSizes(logo));
    const double hex = double(sizes.at(0).bytes);
    state.counters["hex_bytes"] = hex;
    state.counters["hex_over_rle"] = hex / double(sizes.at(1).bytes);
    state.counters["hex_over_b64"] = hex / double(sizes.at(2).bytes);
    state.counters["hex_over_z64"] = hex / double(sizes.at(3).bytes);
}
BENCHMARK(LogoSizes)->Unit(benchmark::kMillisecond);

// The page's photograph (args 1) or the logo (0), in each encoding.
void DecodeVsHex(benchmark::State &state)
{
    const bool photo = state.range(0) == 1;
    const GraphicEncoding encoding = AllEncodings().at(state.range(1));
    static const MonoBitmap page = [] {
        const ConvertOptions options = PageOptions();
        return ConvertPicture(LoadPicture(Photograph(), options), options);
    }();
    static const MonoBitmap logo = Logo();
    const MonoBitmap &bitmap = photo ? page : logo;
    auto data = [&](GraphicEncoding e) {
        return GraphicData { 'A', bitmap.bits.size(), bitmap.BytesPerRow(),
                             EncodeGraphicData(bitmap, e) };
    };
    const GraphicData hex = data(GraphicEncoding::Hex);
    const GraphicData other = data(encoding);
    qint64 hexTime = 0;
    qint64 otherTime = 0;
    for (auto _ : state) {
        qint64 start = ThreadNs();
        benchmark::DoNotOptimize(DecodeGraphicBytes(hex).bytes.constData());
        hexTime += ThreadNs() - start;
        start = ThreadNs();
        benchmark::DoNotOptimize(DecodeGraphicBytes(other).bytes.constData());
        otherTime += ThreadNs() - start;
    }
    state.SetLabel((photo ? QStringLiteral("photo ") : QStringLiteral("logo ")).toStdString()
                   + EncodingName(encoding).toStdString());
    state.counters["ms"] = double(otherTime) / 1e6 / double(state.iterations());
    state.counters["ratio"] = double(otherTime) / double(hexTime);
}
BENCHMARK(DecodeVsHex)->ArgsProduct({ { 0, 1 }, { 1, 2, 3 } })->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the logo's text
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
