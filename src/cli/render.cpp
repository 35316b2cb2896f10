#include "cli/render.h"

#include "cli/usageerror.h"
#include "preview/labelrenderer.h"

#include <QFile>
#include <QLocale>

#include <QFileInfo>
#include <cmath>

namespace {

// A length of the media: dots, or a number with in or mm ("4in", "101.6mm").
int MediaDots(const CommandLine &line, const QString &option, int dotsPerMm)
{
    const QString text = line.Value(option).trimmed();
    const auto refuse = [&] {
        return EUsageError(QStringLiteral("render: --%1: '%2' is not a length from 1 to 32000 "
                                          "dots (a number of dots, or with in or mm)")
                               .arg(option, text));
    };
    double perUnit = 1;
    QString number = text;
    if (text.endsWith(QLatin1String("mm"), Qt::CaseInsensitive)) {
        perUnit = dotsPerMm;
        number.chop(2);
    } else if (text.endsWith(QLatin1String("in"), Qt::CaseInsensitive)) {
        perUnit = dotsPerMm * 25.4;
        number.chop(2);
    } else if (text.endsWith(QLatin1String("dots"), Qt::CaseInsensitive)) {
        number.chop(4);
    }
    bool ok = false;
    const double value = QLocale::c().toDouble(number.trimmed(), &ok) * perUnit;
    if (!ok || !std::isfinite(value) || std::lround(value) < 1 || std::lround(value) > 32000)
        throw refuse();
    return int(std::lround(value));
}

void Say(FILE *to, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
}

} // namespace

QString LabelFileName(const QString &output, int n)
{
    const QFileInfo info(output);
    const bool png = info.suffix().compare(QLatin1String("png"), Qt::CaseInsensitive) == 0;
    // "labels" and "labels.v2" are names without the picture's suffix.
    const QString stem = png ? output.chopped(4) : output;
    const QString suffix = png ? output.right(4) : QStringLiteral(".png");
    return n <= 1 ? stem + suffix : QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(suffix);
}

int RunRender(const CommandLine &line, const CliStreams &io)
{
    const QString input = line.operands[0];
    const QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty())
        throw EUsageError(QStringLiteral("render: -o OUT.png is missing"));
    const QString dpi = line.Value(QStringLiteral("dpi"), QStringLiteral("203"));
    if (dpi != QLatin1String("203") && dpi != QLatin1String("300"))
        throw EUsageError(QStringLiteral("render: --dpi: '%1' is not 203 or 300").arg(dpi));

    RenderOptions options;
    options.dotsPerMm = DotsPerMmForDpi(dpi.toInt());
    const QSize fresh = KeptSettings::Factory(options.dotsPerMm).Page();
    options.defaultLabelSize
        = QSize(line.Has(QStringLiteral("width"))
                    ? MediaDots(line, QStringLiteral("width"), options.dotsPerMm)
                    : fresh.width(),
                line.Has(QStringLiteral("length"))
                    ? MediaDots(line, QStringLiteral("length"), options.dotsPerMm)
                    : fresh.height());
    QFile file(input);
    if (!file.open(QIODevice::ReadOnly))
        throw EUsageError(
            QStringLiteral("render: %1: cannot read (%2)").arg(input, file.errorString()));
    const QByteArray commands = file.readAll();

    // Every label, however many and however long they take: each is written
    // as soon as it is drawn, so none is kept in memory.
    int written = 0;
    bool failed = false;
    options.deliver = [&](const QImage &label) {
        const QString name = LabelFileName(output, written + 1);
        if (!label.save(name, "PNG")) {
            Say(io.err, QStringLiteral("tarvolin-cli: render: cannot write %1\n").arg(name));
            failed = true;
            return false;
        }
        ++written;
        Say(io.out,
            QStringLiteral("%1 %2 x %3 dots\n").arg(name).arg(label.width()).arg(label.height()));
        return true;
    };
    const RenderResult result = RenderLabels(commands, options);
    std::fflush(io.out);
    for (const RenderWarning &w : result.warnings)
        Say(io.err,
            QStringLiteral("%1:%2:%3: %4\n").arg(input).arg(w.line).arg(w.column).arg(w.text));
    if (failed)
        return ExitFailed;
    if (written == 0) {
        Say(io.err, QStringLiteral("tarvolin-cli: render: %1 prints no label\n").arg(input));
        return ExitFailed;
    }
    if (result.incomplete) {
        Say(io.err,
            QStringLiteral("tarvolin-cli: render: %1: %2 of %3 labels drawn, not every one "
                           "whole (see the warnings above)\n")
                .arg(input)
                .arg(written)
                .arg(result.labelsRequested));
        return ExitFailed;
    }
    return ExitOk;
}
