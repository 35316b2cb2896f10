#include "cli/profile.h"

#include "cli/usageerror.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <functional>
#include <map>

namespace {

// The digit filter's message in the window's Home X field.
const QString DigitsOnly = QStringLiteral("只能输入数字");
// Both home fields take at most this many characters.
constexpr int HomeFieldLength = 4;

struct Key
{
    const char *name;
    std::function<void(SetupPanelValues &, const QString &)> set;
};

[[noreturn]] void Refuse(const QString &message)
{
    throw EUsageError(message);
}

QString ListOf(const QStringList &items)
{
    QStringList named;
    for (const QString &item : items)
        if (!item.isEmpty())
            named << item;
    if (named.size() > 6)
        return QStringLiteral("%1 to %2").arg(named.first(), named.last());
    return named.join(QStringLiteral(", "));
}

ComboValue Pick(const QStringList &items, const QString &value)
{
    for (int i = 0; i < items.size(); ++i)
        if (items[i].compare(value, Qt::CaseInsensitive) == 0)
            return ComboAt(items, i);
    Refuse(QStringLiteral("'%1' is not one of %2 (or empty)").arg(value, ListOf(items)));
}

const std::vector<Key> &Keys()
{
    const SetupPanelItemLists &items = SetupPanelItems();
    auto combo = [](const QStringList &list, ComboValue SetupPanelValues::*field) {
        return [list, field](SetupPanelValues &v, const QString &value) {
            v.*field = Pick(list, value);
        };
    };
    auto text = [](QString SetupPanelValues::*field) {
        return [field](SetupPanelValues &v, const QString &value) {
            v.*field = value;
        };
    };
    static const std::vector<Key> keys = {
        { "resolution",
          [](SetupPanelValues &v, const QString &value) {
              if (value.compare(QLatin1String("203dpi"), Qt::CaseInsensitive) == 0)
                  v.resolution = Resolution::Dpi203;
              else if (value.compare(QLatin1String("300dpi"), Qt::CaseInsensitive) == 0)
                  v.resolution = Resolution::Dpi300;
              else
                  Refuse(QStringLiteral("'%1' is not one of 203dpi, 300dpi").arg(value));
          } },
        { "unit",
          [](SetupPanelValues &v, const QString &value) {
              const LengthUnit units[] = { LengthUnit::Inch, LengthUnit::Mm, LengthUnit::Cm };
              for (LengthUnit unit : units) {
                  if (UnitName(unit).compare(value, Qt::CaseInsensitive) == 0) {
                      v.unit = unit;
                      return;
                  }
              }
              Refuse(QStringLiteral("'%1' is not one of Inch, mm, cm").arg(value));
          } },
        { "speed", combo(items.speed, &SetupPanelValues::speed) },
        { "density", combo(items.density, &SetupPanelValues::density) },
        { "width", text(&SetupPanelValues::width) },
        { "height", text(&SetupPanelValues::height) },
        { "media-sensor", combo(items.mediaSensor, &SetupPanelValues::mediaSensor) },
        { "media-type", combo(items.mediaType, &SetupPanelValues::mediaType) },
        { "post-print-action", combo(items.postAction, &SetupPanelValues::postAction) },
        { "direction", combo(items.direction, &SetupPanelValues::direction) },
        { "top", text(&SetupPanelValues::top) },
        { "shift", text(&SetupPanelValues::shift) },
        { "home-x",
          [](SetupPanelValues &v, const QString &value) {
              for (QChar c : value)
                  if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                      Refuse(QStringLiteral("'%1': %2 (digits only)").arg(value, DigitsOnly));
              if (value.size() > HomeFieldLength)
                  Refuse(QStringLiteral("'%1' is longer than the field's %2 characters")
                             .arg(value)
                             .arg(HomeFieldLength));
              v.homeX = value;
          } },
        { "home-y",
          [](SetupPanelValues &v, const QString &value) {
              if (value.size() > HomeFieldLength)
                  Refuse(QStringLiteral("'%1' is longer than the field's %2 characters")
                             .arg(value)
                             .arg(HomeFieldLength));
              v.homeY = value;
          } },
    };
    return keys;
}

QString KeyNames()
{
    QStringList names;
    for (const Key &k : Keys())
        names << QString::fromLatin1(k.name);
    return names.join(QStringLiteral(", "));
}

QString Where(const Profile &p, const QString &key)
{
    const int line = p.lineOf.value(key, 0);
    return line > 0 ? QStringLiteral("%1:%2: %3").arg(p.path).arg(line).arg(key)
                    : QStringLiteral("%1: %2").arg(p.path, key);
}

// Converts a length as the builders will, so a bad one is named before
// anything is sent.
void CheckLength(const Profile &p, const QString &key, const QString &text, long double factor,
                 const QLocale &locale)
{
    try {
        LengthToDots(text, DotsPerMm(p.values.resolution), factor, locale);
    } catch (const EConvertError &e) {
        Refuse(QStringLiteral("%1: %2").arg(Where(p, key), e.Message()));
    }
}

// The window shows each offset's range in its caption ("Label Top:[-15,15]mm"),
// and a label has a size; it does not check them itself, but a profile
// outside them is a mistake: refused before anything is sent.
void CheckRange(const Profile &p, const QString &key, const QString &text, double low, double high,
                const QString &unit, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (ok && (value < low || value > high))
        Refuse(QStringLiteral("%1: %2 is outside the window's range %3 to %4 %5")
                   .arg(Where(p, key), text)
                   .arg(low)
                   .arg(high)
                   .arg(unit));
}

void CheckPositive(const Profile &p, const QString &key, const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (ok && !(value > 0))
        Refuse(
            QStringLiteral("%1: %2 is no label size (above 0 is needed)").arg(Where(p, key), text));
}

} // namespace

Profile ParseProfile(const QByteArray &bytes, const QString &path, const QLocale &locale)
{
    Profile p;
    p.path = path;
    p.values = StartSetupValues();

    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        Refuse(QStringLiteral("%1: not UTF-8 text").arg(path));

    // Every bad line is named at once, in the order of the lines.
    std::multimap<int, QString> problems;
    const auto check = [&problems](int line, const std::function<void()> &step) {
        try {
            step();
        } catch (const EUsageError &e) {
            problems.emplace(line, e.Message());
        }
    };
    static const QRegularExpression comment(QStringLiteral("(^|\\s)[#;].*$"));
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const int lineNumber = i + 1;
        QString line = lines[i];
        line.remove(comment);
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            problems.emplace(lineNumber,
                             QStringLiteral("%1:%2: expected 'key = value', found '%3'")
                                 .arg(path)
                                 .arg(lineNumber)
                                 .arg(line));
            continue;
        }
        const QString key = line.left(eq).trimmed().toLower();
        const QString value = line.mid(eq + 1).trimmed();
        const auto known = std::find_if(Keys().begin(), Keys().end(),
                                        [&](const Key &k) { return key == QLatin1String(k.name); });
        if (known == Keys().end()) {
            problems.emplace(lineNumber,
                             QStringLiteral("%1:%2: unknown key '%3' (known: %4)")
                                 .arg(path)
                                 .arg(lineNumber)
                                 .arg(key, KeyNames()));
            continue;
        }
        if (p.lineOf.contains(key)) {
            problems.emplace(lineNumber,
                             QStringLiteral("%1:%2: %3 is given twice (first on line %4)")
                                 .arg(path)
                                 .arg(lineNumber)
                                 .arg(key)
                                 .arg(p.lineOf.value(key)));
            continue;
        }
        p.lineOf.insert(key, lineNumber);
        check(lineNumber, [&] {
            try {
                known->set(p.values, value);
            } catch (const EUsageError &e) {
                Refuse(QStringLiteral("%1: %2").arg(Where(p, key), e.Message()));
            }
        });
    }

    // The settings leave out an empty width or height, but always convert
    // the offsets.
    const long double unit = UnitFactor(p.values.unit);
    const bool fine = p.values.resolution == Resolution::Dpi300;
    const QString mm = fine ? QStringLiteral("mm at 300dpi") : QStringLiteral("mm at 203dpi");
    const double top = fine ? 10 : 15;
    const double shift = fine ? 833 : 1249;
    const double home = fine ? 2666 : 4000;
    // Each length is converted, then held to its range, as far as it gets.
    const auto length = [&](const char *name, const QString &value, long double factor,
                            const std::function<void()> &more) {
        check(p.lineOf.value(QLatin1String(name)), [&] {
            CheckLength(p, QLatin1String(name), value, factor, locale);
            more();
        });
    };
    if (!p.values.width.isEmpty())
        length("width", p.values.width, unit,
               [&] { CheckPositive(p, QStringLiteral("width"), p.values.width, locale); });
    if (!p.values.height.isEmpty())
        length("height", p.values.height, unit,
               [&] { CheckPositive(p, QStringLiteral("height"), p.values.height, locale); });
    length("top", p.values.top, 1.0L,
           [&] { CheckRange(p, QStringLiteral("top"), p.values.top, -top, top, mm, locale); });
    length("shift", p.values.shift, 1.0L, [&] {
        CheckRange(p, QStringLiteral("shift"), p.values.shift, -shift, shift, mm, locale);
    });
    length("home-x", p.values.homeX, 1.0L,
           [&] { CheckRange(p, QStringLiteral("home-x"), p.values.homeX, 0, home, mm, locale); });
    length("home-y", p.values.homeY, 1.0L,
           [&] { CheckRange(p, QStringLiteral("home-y"), p.values.homeY, 0, home, mm, locale); });
    if (!problems.empty()) {
        QStringList lines;
        for (const auto &[line, problem] : problems)
            lines << problem;
        Refuse(lines.join(QLatin1Char('\n')));
    }
    return p;
}

Profile ReadProfile(const QString &path, const QLocale &locale)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Refuse(QStringLiteral("%1: cannot read the profile (%2)").arg(path, file.errorString()));
    // A profile is a few hundred bytes; anything far larger is the wrong file.
    constexpr qint64 MaxProfileBytes = 64 * 1024;
    const QByteArray bytes = file.read(MaxProfileBytes + 1);
    if (bytes.size() > MaxProfileBytes)
        Refuse(QStringLiteral("%1: too large for a profile").arg(path));
    return ParseProfile(bytes, path, locale);
}

void RequireLabelSize(const Profile &profile, const QLocale &locale)
{
    const long double unit = UnitFactor(profile.values.unit);
    CheckLength(profile, QStringLiteral("width"), profile.values.width, unit, locale);
    CheckLength(profile, QStringLiteral("height"), profile.values.height, unit, locale);
}

QByteArray ExampleProfile()
{
    return QByteArrayLiteral(
        "# Tarvolin printer profile: the values of the window's printer setup panel.\n"
        "# A key left out keeps the window's start value (shown here). An empty value\n"
        "# selects the blank item: its command is then left out of the settings.\n"
        "# Lengths use the system's decimal separator, as in the window.\n"
        "\n"
        "resolution = 203dpi          # 203dpi or 300dpi (8 or 12 dots per mm)\n"
        "unit = mm                    # Inch, mm or cm: the unit of width and height\n"
        "\n"
        "speed = 3                    # 2 to 5\n"
        "density = 15                 # 0 to 30\n"
        "width = 76                   # label width, in the unit above\n"
        "height = 200                 # label height, in the unit above\n"
        "media-sensor = Continuous    # Continuous, Web Sensing or Mark Sensing\n"
        "media-type = Thermal Direct  # Thermal Direct or Thermal Transfer\n"
        "post-print-action = Tear off # Rewind, Tear off or Peel off\n"
        "direction = Normal           # Normal or Invert:Rotation 180\n"
        "\n"
        "# Offsets, always in millimetres (the printer's ranges at 203dpi; at 300dpi\n"
        "# they are -10..10, -833..833 and 0..2666).\n"
        "top = 0                      # label top, -15 to 15\n"
        "shift = 0                    # label shift, -1249 to 1249\n"
        "home-x = 0                   # label home x, 0 to 4000 (digits only)\n"
        "home-y = 0                   # label home y, 0 to 4000\n");
}
