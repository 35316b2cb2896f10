// What printers answer about themselves, from printers that cannot be
// trusted: whatever the bytes, a printer's text reaches a report or a
// terminal with no control character and on its own line, a snapshot holds
// no setting line made of printer text, and no number is read as another
// (too large is a failure, never a wrapped value).
//
// Input: a line a printer might call itself by, then any reply bytes.

#include "fuzzinput.h"

#include "cli/drift.h"
#include "cli/report.h"
#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "commands/printertext.h"
#include "core/exceptions.h"
#include "files/memorycommands.h"

#include <QLocale>
#include <QSet>

#include <climits>

namespace {

bool Control(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7f && u < 0xa0) || u == 0x2028 || u == 0x2029
        || c.category() == QChar::Other_Format;
}

void CheckOneLine(const QString &text)
{
    for (QChar c : text)
        FUZZ_CHECK(!Control(c), "U+%04x in %s", unsigned(c.unicode()),
                   Shown(text.toUtf8()).constData());
}

// The digits as the number they write, without leading zeros.
QByteArray Canonical(QByteArray digits)
{
    while (digits.size() > 1 && digits.startsWith('0'))
        digits.remove(0, 1);
    return digits;
}

void CheckHostStatusNumbers(const QByteArray &reply)
{
    HostStatus s;
    try {
        s = ParseHostStatus(reply);
    } catch (const ETarvolinError &) {
        return;
    }
    const QList<QByteArray> frames = ReplyFrames(reply, QStringLiteral("Host status"));
    const QList<QByteArray> first = frames[0].split(',');
    const QList<QByteArray> second = frames[1].split(',');
    const struct
    {
        QByteArray field;
        qint64 value;
    } numbers[] = {
        { first[3], s.labelLengthDots },   { first[4], s.formatsInBuffer },
        { second[8], s.labelsRemaining },  { second[10], s.graphicsStored },
        { first[0], s.interfaceSettings }, { second[0], s.functionSettings },
    };
    for (const auto &n : numbers)
        FUZZ_CHECK(Canonical(n.field) == QByteArray::number(n.value), "%s read as %lld",
                   n.field.constData(), static_cast<long long>(n.value));
}

void CheckConfiguration(const QByteArray &reply, const QByteArray &identity)
{
    QList<ConfigSetting> settings;
    QList<QPair<QString, QString>> panel;
    SettingValues values;
    int dotsPerMm = 0;
    try {
        settings = ParseConfiguration(reply);
        panel = PanelSettings(settings);
        values = PrinterSettingValues(panel, &dotsPerMm);
    } catch (const ETarvolinError &) {
        return;
    }
    for (const auto &[key, value] : panel) {
        if (key != QLatin1String("density"))
            continue;
        QByteArray digits;
        for (const ConfigSetting &s : settings)
            if (s.name == QLatin1String("DARKNESS")) {
                for (QChar c : s.value.trimmed())
                    if (c == QLatin1Char('.'))
                        break;
                    else if (c.isDigit())
                        digits += char(c.unicode());
                break;
            }
        FUZZ_CHECK(Canonical(digits) == value.toLatin1(), "darkness %s read as %s",
                   digits.constData(), qPrintable(value));
    }

    const QByteArray profile = SnapshotProfile(
        values, dotsPerMm ? dotsPerMm : 8,
        { QStringLiteral("printer: ") + ReplyText(identity), ReplyText(reply.left(200)) },
        QLocale::c());
    QSet<QString> keys { QStringLiteral("resolution"), QStringLiteral("unit") };
    for (const QString &k : SettingKeys())
        keys.insert(k);
    QSet<QString> seen;
    const QList<QByteArray> lines = profile.split('\n');
    FUZZ_CHECK(lines.size() > 3 && lines[0].startsWith("# ") && lines[1].startsWith("# ")
                   && lines[2].isEmpty(),
               "%s", Shown(profile).constData());
    for (const QByteArray &line : lines) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString key = QString::fromUtf8(line.left(line.indexOf(" = ")));
        FUZZ_CHECK(keys.contains(key) && !seen.contains(key), "profile line %s", line.constData());
        seen.insert(key);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    const QByteArray identity = input.Line();
    const QByteArray reply = input.Rest();

    // Text output: a report's lines are its own, whatever the fields hold.
    TargetReport report;
    report.uri = QStringLiteral("tcp://printer");
    report.verdict = Verdict::Ok;
    report.detail = ShownText(ReplyText(identity));
    report.moreLines << ReplyText(reply);
    const QString text = ReportText(report);
    FUZZ_CHECK(text.count(QLatin1Char('\n')) == 2 && text.endsWith(QLatin1Char('\n')), "%s",
               Shown(text.toUtf8()).constData());
    CheckOneLine(text.chopped(1).replace(QLatin1Char('\n'), QLatin1Char(' ')));

    try {
        const Identification id = ParseIdentification(reply);
        CheckOneLine(ShownText(id.model) + ShownText(id.firmware) + ShownText(id.options));
    } catch (const ETarvolinError &) { }
    CheckHostStatusNumbers(reply);
    CheckConfiguration(reply, identity);

    // A free-memory reply complete by its form holds two figures.
    if (FreeMemoryQuery().form(reply) == ReplyStand::Complete) {
        const FreeMemoryFigures figures = ParseFreeMemory(reply);
        FUZZ_CHECK(ReadPrinterNumber(figures.dram, LLONG_MAX).digits
                       && ReadPrinterNumber(figures.flash, LLONG_MAX).digits,
                   "%s", Shown(reply).constData());
    }
    return 0;
}
