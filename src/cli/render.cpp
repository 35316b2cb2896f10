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
    if (n <= 1)
        return output;
    const QFileInfo info(output);
    const QString suffix = info.suffix();
    const QString stem = suffix.isEmpty() ? output : output.chopped(suffix.size() + 1);
    return QStringLiteral("%1-%2").arg(stem).arg(n)
        + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
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

    const RenderResult result = RenderLabels(commands, options);
    for (const RenderWarning &w : result.warnings)
        Say(io.err,
            QStringLiteral("%1:%2:%3: %4\n").arg(input).arg(w.line).arg(w.column).arg(w.text));
    if (result.labels.isEmpty()) {
        Say(io.err, QStringLiteral("tarvolin-cli: render: %1 prints no label\n").arg(input));
        return ExitFailed;
    }
    for (qsizetype i = 0; i < result.labels.size(); ++i) {
        const QString name = LabelFileName(output, int(i + 1));
        const QImage &label = result.labels[i];
        if (!label.save(name, "PNG")) {
            Say(io.err, QStringLiteral("tarvolin-cli: render: cannot write %1\n").arg(name));
            return ExitFailed;
        }
        Say(io.out,
            QStringLiteral("%1 %2 x %3 dots\n").arg(name).arg(label.width()).arg(label.height()));
    }
    if (result.labelsRequested > result.labels.size())
        Say(io.out,
            QStringLiteral("%1 more labels not drawn\n")
                .arg(result.labelsRequested - result.labels.size()));
    std::fflush(io.out);
    return ExitOk;
}
