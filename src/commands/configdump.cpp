#include "commands/configdump.h"

#include "commands/hostreplies.h"
#include "commands/printertext.h"
#include "core/exceptions.h"

#include <QLocale>

#include <algorithm>
#include <climits>
#include <cmath>
#include <optional>

namespace {

[[noreturn]] void Bad(const QString &what)
{
    throw ETarvolinError(QStringLiteral("Configuration: %1").arg(what));
}

// Value column: two blanks of indent, then 20 characters.
constexpr int Indent = 2;
constexpr int ValueWidth = 20;
constexpr int MaxLine = 80;

std::optional<QString> Find(const QList<ConfigSetting> &settings, const QString &name)
{
    for (const ConfigSetting &s : settings)
        if (s.name == name)
            return s.value.trimmed();
    return std::nullopt;
}

// "76.125": millimetres without trailing zeros, in command-line form.
QString Millimetres(double mm)
{
    QString text = QLocale::c().toString(mm, 'f', 3);
    while (text.contains(QLatin1Char('.')) && (text.endsWith(QLatin1Char('0'))))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

// The values are read by hand rather than by pattern: a fleet's diff reads
// one dump a printer, and matching a pattern costs more than the rest.

bool AllDigits(QStringView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

// "15", "15.0", "15.00": the digits before the point; empty when the text is
// not a whole number written so.
QStringView WholeNumber(QStringView text)
{
    const qsizetype point = text.indexOf(QLatin1Char('.'));
    const QStringView whole = point < 0 ? text : text.first(point);
    if (!AllDigits(whole))
        return {};
    if (point >= 0) {
        const QStringView zeros = text.sliced(point + 1);
        if (zeros.isEmpty() || !std::all_of(zeros.begin(), zeros.end(), [](QChar c) {
                return c == QLatin1Char('0');
            }))
            return {};
    }
    return whole;
}

// The digits right before the first "/MM" that has any: " 832 8/MM FULL".
QStringView DotsPerMmDigits(QStringView text)
{
    for (qsizetype at = text.indexOf(u"/MM"); at >= 0; at = text.indexOf(u"/MM", at + 1)) {
        qsizetype start = at;
        while (start > 0 && AllDigits(text.sliced(start - 1, 1)))
            --start;
        if (start < at)
            return text.sliced(start, at - start);
    }
    return {};
}

// No length of the label language reaches further, in dots.
constexpr qint64 MaxDots = 32000;

// The value of a setting in whole units up to max; nullopt when it is not
// digits; a number beyond max is no value the printer could hold, and fails.
std::optional<int> Bounded(const QString &name, const QString &value, QStringView digits,
                           qint64 max)
{
    const PrinterNumber n = ReadPrinterNumber(digits, max);
    if (!n.digits)
        return std::nullopt;
    if (!n.fits)
        Bad(QStringLiteral("%1 '%2' is %3").arg(name, value, NotHoldable()));
    return int(n.value);
}

std::optional<int> SignedNumber(const QString &name, const QString &text)
{
    const bool sign = text.startsWith(QLatin1Char('+')) || text.startsWith(QLatin1Char('-'));
    const std::optional<int> n
        = Bounded(name, text, QStringView(text).sliced(sign ? 1 : 0), MaxDots);
    if (!n)
        return std::nullopt;
    return text.startsWith(QLatin1Char('-')) ? -*n : *n;
}

} // namespace

PrinterQuery ConfigurationQuery()
{
    PrinterQuery q;
    q.name = QStringLiteral("Configuration");
    q.request = "^XA^HH^XZ";
    q.frames = 1;
    q.deadlineMs = 8000;
    q.maxBytes = 64 * 1024;
    return q;
}

bool operator==(const ConfigSetting &a, const ConfigSetting &b)
{
    return a.name == b.name && a.value == b.value;
}

QList<ConfigSetting> ParseConfiguration(const QByteArray &reply)
{
    QByteArray text;
    if (reply.contains('\x02') || reply.contains('\x03')) {
        const QList<QByteArray> frames = ReplyFrames(reply, QStringLiteral("Configuration"));
        if (frames.size() != 1)
            Bad(QStringLiteral("%1 frames, not one").arg(frames.size()));
        text = frames[0];
    } else {
        text = reply;
    }
    // Read in place, line by line: a fleet's run parses one reply a printer.
    const auto withoutTrailingBlanks = [](QByteArrayView field) {
        while (field.endsWith(' '))
            field.chop(1);
        return QString::fromLatin1(field);
    };
    QList<ConfigSetting> settings;
    int lineNumber = 0;
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line(text.constData() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty())
            continue;
        for (char c : line)
            if (uchar(c) < 0x20 || uchar(c) > 0x7e)
                Bad(QStringLiteral("line %1 holds bytes that are not text").arg(lineNumber));
        if (line.size() > MaxLine)
            Bad(QStringLiteral("line %1 is longer than a setting line (%2 characters)")
                    .arg(lineNumber)
                    .arg(line.size()));
        // Some stored dumps lost the indent of every line but the first.
        const int indent = line.startsWith("  ") && line.size() > Indent + ValueWidth ? Indent : 0;
        if (line.size() <= indent + ValueWidth)
            continue; // no name
        const QString name = withoutTrailingBlanks(line.sliced(indent + ValueWidth));
        if (name.isEmpty())
            continue;
        settings << ConfigSetting { name, withoutTrailingBlanks(line.sliced(indent, ValueWidth)) };
    }
    if (settings.isEmpty())
        Bad(QStringLiteral("no settings in the reply"));
    return settings;
}

QList<QPair<QString, QString>> PanelSettings(const QList<ConfigSetting> &settings)
{
    QList<QPair<QString, QString>> panel;
    int dotsPerMm = 8;
    if (const auto resolution = Find(settings, QStringLiteral("RESOLUTION"))) {
        const QStringView perMm = DotsPerMmDigits(*resolution);
        if (perMm == QLatin1String("8") || perMm == QLatin1String("12")) {
            dotsPerMm = perMm.toInt();
            panel << qMakePair(QStringLiteral("resolution"),
                               dotsPerMm == 8 ? QStringLiteral("203dpi")
                                              : QStringLiteral("300dpi"));
        }
    }
    if (const auto speed = Find(settings, QStringLiteral("PRINT SPEED"))) {
        const QStringView ips = speed->endsWith(QLatin1String(" IPS"))
            ? WholeNumber(QStringView(*speed).chopped(4))
            : QStringView();
        const std::optional<int> n = Bounded(QStringLiteral("PRINT SPEED"), *speed, ips, INT_MAX);
        if (n && *n >= 2 && *n <= 5)
            panel << qMakePair(QStringLiteral("speed"), QString::number(*n));
    }
    if (const auto darkness = Find(settings, QStringLiteral("DARKNESS"))) {
        const bool plus = darkness->startsWith(QLatin1Char('+'));
        const QStringView level = WholeNumber(QStringView(*darkness).sliced(plus ? 1 : 0));
        const std::optional<int> n = Bounded(QStringLiteral("DARKNESS"), *darkness, level, INT_MAX);
        if (n && *n <= 30)
            panel << qMakePair(QStringLiteral("density"), QString::number(*n));
    }
    std::optional<QString> width = Find(settings, QStringLiteral("PRINT WIDTH"));
    if (!width)
        width = Find(settings, QStringLiteral("PRINT  WIDTH"));
    if (width) {
        // "104 0/8 MM"
        const QStringView head = width->endsWith(QLatin1String("/8 MM"))
            ? QStringView(*width).chopped(5)
            : QStringView();
        const qsizetype n = head.size();
        if (n >= 3 && head[n - 1] >= QLatin1Char('0') && head[n - 1] <= QLatin1Char('7')
            && head[n - 2] == QLatin1Char(' ') && AllDigits(head.first(n - 2))) {
            const int mm
                = *Bounded(QStringLiteral("PRINT WIDTH"), *width, head.first(n - 2), MaxDots / 8);
            panel << qMakePair(QStringLiteral("width"),
                               Millimetres(mm + head.sliced(n - 1).toInt() / 8.0));
        } else if (const auto dots = SignedNumber(QStringLiteral("PRINT WIDTH"), *width);
                   dots && *dots >= 0)
            panel << qMakePair(QStringLiteral("width"), Millimetres(double(*dots) / dotsPerMm));
    }
    if (const auto length = Find(settings, QStringLiteral("LABEL LENGTH"))) {
        if (const auto dots = SignedNumber(QStringLiteral("LABEL LENGTH"), *length);
            dots && *dots >= 0)
            panel << qMakePair(QStringLiteral("height"), Millimetres(double(*dots) / dotsPerMm));
    }
    // Media sensing: older printers say NON-CONTINUOUS and name the sensor.
    const std::optional<QString> media = Find(settings, QStringLiteral("MEDIA TYPE"));
    const std::optional<QString> sensor = Find(settings, QStringLiteral("SENSOR TYPE"));
    if (media) {
        QString sensing;
        if (*media == QLatin1String("CONTINUOUS"))
            sensing = QStringLiteral("Continuous");
        else if (*media == QLatin1String("GAP/NOTCH"))
            sensing = QStringLiteral("Web Sensing");
        else if (*media == QLatin1String("MARK"))
            sensing = QStringLiteral("Mark Sensing");
        else if (*media == QLatin1String("NON-CONTINUOUS") && sensor)
            sensing = *sensor == QLatin1String("MARK") ? QStringLiteral("Mark Sensing")
                : *sensor == QLatin1String("WEB")      ? QStringLiteral("Web Sensing")
                                                       : QString();
        if (!sensing.isEmpty())
            panel << qMakePair(QStringLiteral("media-sensor"), sensing);
    }
    if (const auto method = Find(settings, QStringLiteral("PRINT METHOD"))) {
        if (*method == QLatin1String("DIRECT-THERMAL"))
            panel << qMakePair(QStringLiteral("media-type"), QStringLiteral("Thermal Direct"));
        else if (*method == QLatin1String("THERMAL-TRANS."))
            panel << qMakePair(QStringLiteral("media-type"), QStringLiteral("Thermal Transfer"));
    }
    if (const auto mode = Find(settings, QStringLiteral("PRINT MODE"))) {
        if (*mode == QLatin1String("REWIND"))
            panel << qMakePair(QStringLiteral("post-print-action"), QStringLiteral("Rewind"));
        else if (*mode == QLatin1String("TEAR OFF"))
            panel << qMakePair(QStringLiteral("post-print-action"), QStringLiteral("Tear off"));
        else if (*mode == QLatin1String("PEEL OFF"))
            panel << qMakePair(QStringLiteral("post-print-action"), QStringLiteral("Peel off"));
    }
    if (const auto top = Find(settings, QStringLiteral("LABEL TOP"))) {
        if (const auto dots = SignedNumber(QStringLiteral("LABEL TOP"), *top))
            panel << qMakePair(QStringLiteral("top"), Millimetres(double(*dots) / dotsPerMm));
    }
    if (const auto left = Find(settings, QStringLiteral("LEFT POSITION"))) {
        if (const auto dots = SignedNumber(QStringLiteral("LEFT POSITION"), *left))
            panel << qMakePair(QStringLiteral("shift"), Millimetres(double(*dots) / dotsPerMm));
    }
    return panel;
}

PowerOnChanges PowerOnSettings(const QList<ConfigSetting> &settings)
{
    static const QString prefix = QStringLiteral("POWER-ON ");
    PowerOnChanges changes;
    QList<ConfigSetting> running;
    QList<ConfigSetting> powerOn;
    for (const ConfigSetting &s : settings)
        (s.name.startsWith(prefix) ? powerOn : running) << s;
    if (powerOn.isEmpty())
        return changes;
    changes.reported = true;
    QList<ConfigSetting> stored = running;
    for (const ConfigSetting &p : powerOn) {
        const QString name = p.name.mid(prefix.size());
        const auto at = std::find_if(stored.begin(), stored.end(),
                                     [&](const ConfigSetting &s) { return s.name == name; });
        if (at != stored.end())
            at->value = p.value;
        else
            stored << ConfigSetting { name, p.value };
    }
    const QList<QPair<QString, QString>> now = PanelSettings(running);
    const QList<QPair<QString, QString>> then = PanelSettings(stored);
    for (const auto &[key, value] : then)
        if (!now.contains(qMakePair(key, value)))
            changes.panel << qMakePair(key, value);
    // Settings the panel does not hold are named as the printer names them.
    QList<ConfigSetting> alone = running;
    for (const ConfigSetting &p : powerOn) {
        const QString name = p.name.mid(prefix.size());
        for (ConfigSetting &s : alone)
            if (s.name == name)
                s.value = p.value;
        if (PanelSettings(alone) == now && Find(running, name) != std::optional(p.value.trimmed()))
            changes.others << qMakePair(name, p.value.trimmed());
        alone = running;
    }
    return changes;
}
