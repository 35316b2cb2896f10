#include "cli/drift.h"

#include "cli/usageerror.h"
#include "commands/printertext.h"
#include "commands/setuppanel.h"
#include "core/exceptions.h"

#include <QJsonValue>

#include <cmath>

namespace {

enum class Kind { Number, Item, Length };

struct Setting
{
    const char *key;
    Kind kind;
    const char *command; // what the settings command writes before the value
    const char *after; // and after it
    // Item settings: the command letter of each list item after the blank.
    const char *letters;
    QStringList SetupPanelItemLists::*items;
};

const std::vector<Setting> &Settings()
{
    static const std::vector<Setting> settings = {
        { "speed", Kind::Number, "^PR", ",\r\n", nullptr, &SetupPanelItemLists::speed },
        { "density", Kind::Number, "~SD", "\r\n", nullptr, &SetupPanelItemLists::density },
        // The width shares its line with the height, as in Store Settings.
        { "width", Kind::Length, "^PW", "", nullptr, nullptr },
        { "height", Kind::Length, "^LL", "\r\n", nullptr, nullptr },
        { "media-sensor", Kind::Item, "^MN", "\r\n", "NWM", &SetupPanelItemLists::mediaSensor },
        { "post-print-action", Kind::Item, "^MM", ",Y\r\n", "RTP",
          &SetupPanelItemLists::postAction },
        { "media-type", Kind::Item, "^MT", "\r\n", "DT", &SetupPanelItemLists::mediaType },
        { "direction", Kind::Item, "^PO", "\r\n", "NI", &SetupPanelItemLists::direction },
        { "top", Kind::Length, "^LT", "\r\n", nullptr, nullptr },
        { "shift", Kind::Length, "^LS", "\r\n", nullptr, nullptr },
        { "home-x", Kind::Length, "^LH", ",", nullptr, nullptr },
        { "home-y", Kind::Length, "", "\r\n", nullptr, nullptr },
    };
    return settings;
}

const Setting *Find(const QString &key)
{
    for (const Setting &s : Settings())
        if (key == QLatin1String(s.key))
            return &s;
    return nullptr;
}

bool IsNumber(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

// The length fields of a profile, with the factor their unit gives.
struct LengthField
{
    const char *key;
    QString SetupPanelValues::*text;
    bool inUnit; // width and height are in the profile's unit, the rest in mm
};

const LengthField LengthFields[] = {
    { "width", &SetupPanelValues::width, true },   { "height", &SetupPanelValues::height, true },
    { "top", &SetupPanelValues::top, false },      { "shift", &SetupPanelValues::shift, false },
    { "home-x", &SetupPanelValues::homeX, false }, { "home-y", &SetupPanelValues::homeY, false },
};

struct ItemField
{
    const char *key;
    ComboValue SetupPanelValues::*box;
};

const ItemField ItemFields[] = {
    { "speed", &SetupPanelValues::speed },
    { "density", &SetupPanelValues::density },
    { "media-sensor", &SetupPanelValues::mediaSensor },
    { "post-print-action", &SetupPanelValues::postAction },
    { "media-type", &SetupPanelValues::mediaType },
    { "direction", &SetupPanelValues::direction },
};

// Millimetres for a number of dots, exact enough to give the same dots back
// and no longer than needed.
QString Millimetres(qint64 dots, int dotsPerMm, const QLocale &locale)
{
    QString text = locale.toString(double(dots) / dotsPerMm, 'f', 4);
    const QString point = locale.decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(point.size());
    }
    return text;
}

} // namespace

const QStringList &SettingKeys()
{
    static const QStringList keys = [] {
        QStringList k;
        for (const Setting &s : Settings())
            k << QLatin1String(s.key);
        return k;
    }();
    return keys;
}

SettingValues ProfileSettings(const Profile &profile, const QLocale &locale)
{
    const SetupPanelValues &v = profile.values;
    const int dotsPerMm = DotsPerMm(v.resolution);
    SettingValues out;
    for (const ItemField &f : ItemFields) {
        const ComboValue &box = v.*f.box;
        if (profile.lineOf.contains(QLatin1String(f.key)) && box.position > 0)
            out.insert(QLatin1String(f.key), box.itemText);
    }
    // The printer keeps home as one command: either coordinate asks for both.
    const bool home = profile.lineOf.contains(QStringLiteral("home-x"))
        || profile.lineOf.contains(QStringLiteral("home-y"));
    for (const LengthField &f : LengthFields) {
        const QString key = QLatin1String(f.key);
        const QString text = v.*f.text;
        const bool given
            = key.startsWith(QLatin1String("home-")) ? home : profile.lineOf.contains(key);
        if (!given || (f.inUnit && text.isEmpty()))
            continue;
        const long double factor = f.inUnit ? UnitFactor(v.unit) : 1.0L;
        out.insert(key, QString::number(LengthToDots(text, dotsPerMm, factor, locale)));
    }
    return out;
}

SettingValues PrinterSettingValues(const QList<QPair<QString, QString>> &panel, int *dotsPerMm)
{
    *dotsPerMm = 0;
    for (const auto &[key, value] : panel) {
        if (key == QLatin1String("resolution"))
            *dotsPerMm = value == QLatin1String("300dpi") ? 12
                : value == QLatin1String("203dpi")        ? 8
                                                          : 0;
    }
    // Lengths are converted at the printer's own resolution.
    const int perMm = *dotsPerMm ? *dotsPerMm : 8;
    SettingValues out;
    for (const auto &[key, value] : panel) {
        const Setting *s = Find(key);
        if (!s)
            continue;
        switch (s->kind) {
        case Kind::Number:
            if (!IsNumber(value))
                throw ETarvolinError(
                    QStringLiteral("Configuration: %1 '%2' is not a number").arg(key, value));
            out.insert(key, QString::number(value.toLongLong()));
            break;
        case Kind::Item:
            out.insert(key, value);
            break;
        case Kind::Length:
            try {
                out.insert(key, QString::number(LengthToDots(value, perMm, 1.0L, QLocale::c())));
            } catch (const EConvertError &) {
                throw ETarvolinError(
                    QStringLiteral("Configuration: %1 '%2' is not a length").arg(key, value));
            }
            break;
        }
    }
    return out;
}

DriftResult CompareSettings(const SettingValues &printer, const SettingValues &profile)
{
    DriftResult result;
    for (const QString &key : SettingKeys()) {
        if (!profile.contains(key))
            continue;
        if (!printer.contains(key)) {
            result.unchecked << key;
            continue;
        }
        const QString want = profile.value(key);
        const QString have = printer.value(key);
        // Numbers compare by value: a printer may write "022".
        const bool same = IsNumber(want) && IsNumber(have)
            ? want.toLongLong() == have.toLongLong()
            : want.compare(have, Qt::CaseInsensitive) == 0;
        if (!same)
            result.differing.push_back({ key, have, want });
    }
    return result;
}

QString DriftLine(const SettingDrift &d)
{
    const Setting *s = Find(d.key);
    const QString unit = s && s->kind == Kind::Length ? QStringLiteral(" dots") : QString();
    return QStringLiteral("%1: printer %2, profile %3")
        .arg(d.key, d.printer + unit, d.profile + unit);
}

QJsonObject DriftJson(const std::vector<SettingDrift> &differing)
{
    auto value = [](const QString &text) {
        bool ok = false;
        const qint64 n = text.toLongLong(&ok);
        return ok ? QJsonValue(n) : QJsonValue(text);
    };
    QJsonObject out;
    for (const SettingDrift &d : differing) {
        QJsonObject pair;
        pair.insert(QStringLiteral("printer"), value(d.printer));
        pair.insert(QStringLiteral("profile"), value(d.profile));
        out.insert(d.key, pair);
    }
    return out;
}

QByteArray RestoreCommand(const std::vector<SettingDrift> &differing, const SettingValues &profile)
{
    auto differs = [&](const char *key) {
        return std::any_of(differing.begin(), differing.end(),
                           [&](const SettingDrift &d) { return d.key == QLatin1String(key); });
    };
    QByteArray out = "^XA\r\n";
    for (const Setting &s : Settings()) {
        const QString key = QLatin1String(s.key);
        const bool home = key.startsWith(QLatin1String("home-"));
        // Home is sent whole when either coordinate differs.
        if (home ? !(differs("home-x") || differs("home-y")) : !differs(s.key))
            continue;
        const QString value = profile.value(key, QStringLiteral("0"));
        QByteArray text = value.toUtf8();
        if (s.kind == Kind::Item) {
            const QStringList &items = SetupPanelItems().*s.items;
            const qsizetype position = items.indexOf(value);
            text = position > 0 ? QByteArray(1, s.letters[position - 1]) : QByteArray();
        }
        out += s.command + text + s.after;
    }
    return out + "^XZ\r\n^XA\r\n^JUS\r\n^XZ\r\n";
}

QByteArray SnapshotProfile(const SettingValues &printer, int dotsPerMm,
                           const QStringList &headerComments, const QLocale &locale)
{
    const QByteArray settingsHead
        = QStringLiteral("resolution = %1\nunit = mm\n")
              .arg(dotsPerMm == 12 ? QStringLiteral("300dpi") : QStringLiteral("203dpi"))
              .toUtf8();
    QByteArray out;
    // A comment is one line: what it quotes cannot become a setting.
    for (const QString &line : headerComments)
        out += "# " + OnOneLine(line).toUtf8() + '\n';
    out += '\n' + settingsHead + '\n';
    for (const Setting &s : Settings()) {
        const QString key = QLatin1String(s.key);
        if (!printer.contains(key))
            continue;
        QString value = printer.value(key);
        if (s.kind == Kind::Number && IsNumber(value))
            value = QString::number(value.toLongLong());
        if (s.kind == Kind::Length) {
            bool ok = false;
            const qint64 dots = value.toLongLong(&ok);
            if (ok)
                value = Millimetres(dots, dotsPerMm, locale);
        }
        const QByteArray line = QStringLiteral("%1 = %2\n").arg(key, value).toUtf8();
        // What a profile would refuse is kept as a comment, saying why, so
        // that the snapshot still reads and shows everything.
        try {
            ParseProfile(settingsHead + line, QStringLiteral("snapshot"), locale);
            out += line;
        } catch (const EUsageError &e) {
            const QString why = e.Message();
            const qsizetype at = why.indexOf(key + QStringLiteral(": "));
            out += "# " + line.trimmed()
                + " (not taken: " + (at < 0 ? why : why.mid(at + key.size() + 2)).toUtf8() + ")\n";
        }
    }
    return out;
}
