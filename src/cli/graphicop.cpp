#include "cli/graphicop.h"

#include "cli/outputfile.h"
#include "cli/usageerror.h"
#include "core/exceptions.h"
#include "graphics/graphicencode.h"
#include "preview/graphicdata.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

struct BuiltGraphic
{
    QByteArray bytes;
    MonoBitmap bitmap;
    GraphicEncoding encoding = GraphicEncoding::Hex;
    QList<EncodingSize> sizes;
    QString stored; // "R:LOGO.GRF" with --store
};

GraphicLength LengthOption(const CommandLine &line, const QString &name)
{
    GraphicLength length;
    if (line.Has(name) && !ParseGraphicLength(line.Value(name), length))
        throw EUsageError(QStringLiteral("--%1: '%2' is not a length (dots, or with mm or in: "
                                         "320, 40mm, 1.5in)")
                              .arg(name, line.Value(name)));
    return length;
}

ConvertOptions OptionsOf(const CommandLine &line)
{
    ConvertOptions o;
    const QString dpi = line.Value(QStringLiteral("dpi"), QStringLiteral("203"));
    if (dpi != QLatin1String("203") && dpi != QLatin1String("300"))
        throw EUsageError(QStringLiteral("--dpi: '%1' is not 203 or 300").arg(dpi));
    o.dpi = dpi.toInt();
    o.width = LengthOption(line, QStringLiteral("width"));
    o.height = LengthOption(line, QStringLiteral("height"));
    const QString threshold = line.Value(QStringLiteral("threshold"), QStringLiteral("128"));
    o.threshold = threshold == QLatin1String("auto")
        ? -1
        : int(OptionNumber(QStringLiteral("threshold"), threshold, 0, 256));
    const QString dither = line.Value(QStringLiteral("dither"), QStringLiteral("none"));
    if (dither == QLatin1String("floyd"))
        o.dither = Dither::FloydSteinberg;
    else if (dither == QLatin1String("atkinson"))
        o.dither = Dither::Atkinson;
    else if (dither != QLatin1String("none"))
        throw EUsageError(
            QStringLiteral("--dither: '%1' is not one of none, floyd, atkinson").arg(dither));
    o.invert = line.Has(QStringLiteral("invert"));
    o.trim = line.Has(QStringLiteral("trim"));
    const QString rotate = line.Value(QStringLiteral("rotate"), QStringLiteral("0"));
    if (!QStringList { "0", "90", "180", "270" }.contains(rotate))
        throw EUsageError(QStringLiteral("--rotate: '%1' is not 90, 180 or 270").arg(rotate));
    o.rotate = rotate.toInt();
    return o;
}

BuiltGraphic Build(const CommandLine &line)
{
    const ConvertOptions options = OptionsOf(line);
    const QString encoding = line.Value(QStringLiteral("encoding"), QStringLiteral("auto"));
    BuiltGraphic built;
    if (encoding != QLatin1String("auto") && !ParseEncoding(encoding, built.encoding))
        throw EUsageError(QStringLiteral("--encoding: '%1' is not one of hex, rle, b64, z64, auto")
                              .arg(encoding));
    const bool store = line.Has(QStringLiteral("store"));
    if (store && line.Has(QStringLiteral("field-only")))
        throw EUsageError(QStringLiteral("--field-only and --store: a download is no field"));
    QString why;
    if (store && !StoredGraphicName(line.Value(QStringLiteral("store")), built.stored, why))
        throw EUsageError(QStringLiteral("--store: %1").arg(why));

    built.bitmap = ConvertPicture(LoadPicture(line.operands[0], options), options);
    const qint64 total = built.bitmap.bits.size();
    if (total > MaxGraphicBytes)
        throw EUsageError(QStringLiteral("%1 x %2 dots are %3 bytes, more than a printer takes "
                                         "(%4); give a smaller --width or --height")
                              .arg(built.bitmap.width)
                              .arg(built.bitmap.height)
                              .arg(total)
                              .arg(MaxGraphicBytes));
    built.sizes = EncodingSizes(built.bitmap);
    if (encoding == QLatin1String("auto"))
        built.encoding = SmallestEncoding(built.sizes);
    built.bytes = store ? GraphicDownload(built.bitmap, built.encoding, built.stored)
        : line.Has(QStringLiteral("field-only")) ? GraphicField(built.bitmap, built.encoding)
                                                 : GraphicLabel(built.bitmap, built.encoding);
    return built;
}

QJsonObject Sizes(const BuiltGraphic &built)
{
    QJsonObject sizes;
    for (const EncodingSize &s : built.sizes)
        sizes.insert(EncodingName(s.encoding), s.bytes);
    QJsonObject o;
    o.insert(QStringLiteral("width"), built.bitmap.width);
    o.insert(QStringLiteral("height"), built.bitmap.height);
    o.insert(QStringLiteral("bytesPerRow"), built.bitmap.BytesPerRow());
    o.insert(QStringLiteral("encoding"), EncodingName(built.encoding));
    o.insert(QStringLiteral("sizes"), sizes);
    o.insert(QStringLiteral("bytes"), built.bytes.size());
    if (!built.stored.isEmpty())
        o.insert(QStringLiteral("stored"), built.stored);
    return o;
}

QString Summary(const BuiltGraphic &built)
{
    QStringList sizes;
    for (const EncodingSize &s : built.sizes)
        sizes << QStringLiteral("%1 %2").arg(EncodingName(s.encoding)).arg(s.bytes);
    return QStringLiteral("%1 x %2 dots, %3 (%4)")
        .arg(built.bitmap.width)
        .arg(built.bitmap.height)
        .arg(EncodingName(built.encoding), sizes.join(QStringLiteral(", ")));
}

OperationPlan GraphicPlan(const CommandLine &line)
{
    if (line.Has(QStringLiteral("output")))
        throw EUsageError(QStringLiteral("-o writes the commands into a file; with --to they are "
                                         "sent: give one of them"));
    const BuiltGraphic built = Build(line);
    OperationPlan plan;
    const QString detail = Summary(built);
    const QJsonObject extra { { QStringLiteral("graphic"), Sizes(built) } };
    plan.next = [bytes = built.bytes, detail, extra] {
        return TargetCommand { bytes, detail, extra };
    };
    return plan;
}

void Put(FILE *to, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

} // namespace

Operation GraphicOperation()
{
    return Operation {
        .name = QStringLiteral("graphic"),
        .operands = QStringLiteral("IMAGE"),
        .operandCount = 1,
        .options
        = QStringList { QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("dpi"),
                        QStringLiteral("threshold"), QStringLiteral("dither"),
                        QStringLiteral("invert"), QStringLiteral("rotate"), QStringLiteral("trim"),
                        QStringLiteral("encoding"), QStringLiteral("store"),
                        QStringLiteral("field-only"), QStringLiteral("output") },
        .summary = QStringLiteral("make a picture into a label graphic"),
        .description = QStringLiteral(
            "Makes IMAGE (PNG, JPEG, BMP, GIF or SVG) into one bit per dot at --dpi (203 unless "
            "given): --width and --height in dots or with a unit (40mm, 1.5in), the aspect kept; "
            "one image pixel a dot when neither is given. Transparent parts are white paper. Grey "
            "below --threshold (128 unless given; auto picks one from the picture) prints black; "
            "--dither floyd or atkinson spreads grey into dots instead, for photographs. "
            "--invert, --rotate 90|180|270 (clockwise) and --trim (white borders cut off) "
            "follow. --encoding picks hex, rle (the printer's run-length compression), b64 or "
            "z64 (compressed); auto, the default, the smallest. Without --store the result is a "
            "label printing the graphic at the top left (--field-only: the ^GF field alone); "
            "--store DEVICE:NAME.GRF gives the download that keeps it in printer memory, to be "
            "printed with ^XG or ^IM. Sent to the --to printers, or written to -o FILE or "
            "standard output; --json then prints the size of each encoding."),
        .plan = GraphicPlan,
    };
}

std::vector<OptionInfo> GraphicOptions()
{
    return {
        { QStringLiteral("width"), QChar(), QStringLiteral("LENGTH"),
          QStringLiteral("graphic: width in dots, mm or in (40mm); render: the media's") },
        { QStringLiteral("height"), QChar(), QStringLiteral("LENGTH"),
          QStringLiteral("graphic: height in dots, mm or in") },
        { QStringLiteral("threshold"), QChar(), QStringLiteral("N|auto"),
          QStringLiteral("graphic: grey below N prints black (128)") },
        { QStringLiteral("dither"), QChar(), QStringLiteral("none|floyd|atkinson"),
          QStringLiteral("graphic: error diffusion for photographs (none)") },
        { QStringLiteral("invert"), QChar(), QString(),
          QStringLiteral("graphic: black for white") },
        { QStringLiteral("rotate"), QChar(), QStringLiteral("90|180|270"),
          QStringLiteral("graphic: turn clockwise") },
        { QStringLiteral("trim"), QChar(), QString(),
          QStringLiteral("graphic: cut white borders off") },
        { QStringLiteral("encoding"), QChar(), QStringLiteral("hex|rle|b64|z64|auto"),
          QStringLiteral("graphic: how the data is written (auto: the smallest)") },
        { QStringLiteral("store"), QChar(), QStringLiteral("DEVICE:NAME.GRF"),
          QStringLiteral("graphic: a download into printer memory instead of a label") },
        { QStringLiteral("field-only"), QChar(), QString(),
          QStringLiteral("graphic: the ^GF field alone, to paste into a format") },
    };
}

int RunGraphic(const CommandLine &line, const CliStreams &io)
{
    BuiltGraphic built;
    try {
        built = Build(line);
    } catch (const EUsageError &) {
        throw;
    } catch (const ETarvolinError &e) {
        throw EUsageError(QStringLiteral("graphic: ") + e.Message());
    }
    const bool json = line.Has(QStringLiteral("json"));
    const QString output = line.Value(QStringLiteral("output"));
    if (!output.isEmpty()) {
        try {
            WriteOutputFile(output, built.bytes);
        } catch (const ETarvolinError &e) {
            Put(io.err, QStringLiteral("tarvolin-cli: graphic: %1\n").arg(e.Message()).toUtf8());
            return ExitFailed;
        }
    }
    if (json) {
        QJsonObject o = Sizes(built);
        if (!output.isEmpty())
            o.insert(QStringLiteral("output"), output);
        Put(io.out, QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n');
    } else if (!output.isEmpty()) {
        Put(io.out,
            QStringLiteral("%1: %2, %3 bytes\n")
                .arg(output, Summary(built))
                .arg(built.bytes.size())
                .toUtf8());
    } else {
        Put(io.out, built.bytes);
    }
    return ExitOk;
}
