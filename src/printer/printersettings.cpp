#include "printer/printersettings.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

// One member of the settings object: its JSON name, where it lives and the
// values the printer commands can give it (a state file is checked against
// them, so that it cannot set what no command could).
struct IntMember
{
    const char *name;
    int PrinterSettings::*field;
    int low;
    int high;
};
struct CharMember
{
    const char *name;
    char PrinterSettings::*field;
    const char *letters;
};

constexpr IntMember IntMembers[] = {
    { "speed", &PrinterSettings::speed, 1, 14 },
    { "darkness", &PrinterSettings::darkness, 0, 30 },
    { "width", &PrinterSettings::widthDots, 2, 32000 },
    { "length", &PrinterSettings::lengthDots, 1, 32000 },
    { "top", &PrinterSettings::top, -120, 120 },
    { "shift", &PrinterSettings::shift, -9999, 9999 },
    { "homeX", &PrinterSettings::homeX, 0, 32000 },
    { "homeY", &PrinterSettings::homeY, 0, 32000 },
};
constexpr CharMember CharMembers[] = {
    { "mediaSensing", &PrinterSettings::mediaSensing, "NWMAV" },
    { "postPrint", &PrinterSettings::postPrint, "TPRACDFLUK" },
    { "mediaType", &PrinterSettings::mediaType, "TD" },
    { "orientation", &PrinterSettings::orientation, "NI" },
};

bool ReadInt(const QJsonObject &json, const IntMember &m, int &out, QString *error)
{
    const QJsonValue v = json.value(QLatin1String(m.name));
    const double d = v.toDouble(-1e300);
    if (!v.isDouble() || d < m.low || d > m.high || d != double(int(d))) {
        if (error)
            *error = QStringLiteral("\"%1\" is missing or not a whole number from %2 to %3")
                         .arg(m.name)
                         .arg(m.low)
                         .arg(m.high);
        return false;
    }
    out = int(d);
    return true;
}

template<size_t N>
std::optional<std::array<quint8, N>> ReadBytes(const QJsonObject &json, const char *name,
                                               QString *error)
{
    const QJsonArray a = json.value(QLatin1String(name)).toArray();
    std::array<quint8, N> bytes {};
    bool ok = a.size() == qsizetype(N);
    for (qsizetype i = 0; ok && i < a.size(); ++i) {
        const int v = a.at(i).toInt(-1);
        ok = a.at(i).isDouble() && v >= 0 && v <= 255;
        bytes[size_t(i)] = quint8(v);
    }
    if (!ok) {
        if (error)
            *error = QStringLiteral("\"%1\" must be %2 numbers from 0 to 255").arg(name).arg(N);
        return std::nullopt;
    }
    return bytes;
}

template<size_t N> QJsonArray WriteBytes(const std::array<quint8, N> &bytes)
{
    QJsonArray a;
    for (quint8 b : bytes)
        a.append(int(b));
    return a;
}

} // namespace

PrinterSettings PrinterSettings::Factory(int dotsPerMm)
{
    return KeptSettings::Factory(dotsPerMm);
}

QJsonObject PrinterSettings::ToJson() const
{
    QJsonObject json;
    for (const IntMember &m : IntMembers)
        json.insert(QLatin1String(m.name), this->*m.field);
    for (const CharMember &m : CharMembers)
        json.insert(QLatin1String(m.name), QString(QLatin1Char(this->*m.field)));
    json.insert(QStringLiteral("prePeel"), prePeel);
    json.insert(QStringLiteral("lengthForced"), lengthForced);
    json.insert(QStringLiteral("mediaLength"), mediaLengthDots);
    return json;
}

std::optional<PrinterSettings> PrinterSettings::FromJson(const QJsonObject &json, QString *error)
{
    PrinterSettings s;
    for (const IntMember &m : IntMembers) {
        if (!ReadInt(json, m, s.*m.field, error))
            return std::nullopt;
    }
    for (const CharMember &m : CharMembers) {
        const QString text = json.value(QLatin1String(m.name)).toString();
        if (text.size() != 1 || text.at(0).unicode() > 127
            || !QByteArray(m.letters).contains(char(text.at(0).unicode()))) {
            if (error)
                *error = QStringLiteral("\"%1\" must be one of the letters %2")
                             .arg(m.name, QLatin1String(m.letters));
            return std::nullopt;
        }
        s.*m.field = char(text.at(0).unicode());
    }
    const QJsonValue peel = json.value(QStringLiteral("prePeel"));
    if (!peel.isBool()) {
        if (error)
            *error = QStringLiteral("\"prePeel\" must be true or false");
        return std::nullopt;
    }
    s.prePeel = peel.toBool();
    // Files of printers that did not keep these yet: the media was as long
    // as the labels.
    s.lengthForced = json.value(QStringLiteral("lengthForced")).toBool(false);
    s.mediaLengthDots = s.lengthDots;
    if (json.contains(QStringLiteral("mediaLength"))
        && !ReadInt(json, { "mediaLength", &PrinterSettings::mediaLengthDots, 1, 32000 },
                    s.mediaLengthDots, error))
        return std::nullopt;
    return s;
}

QString PrinterSettings::Describe() const
{
    return QStringLiteral("speed %1, darkness %2, width %3, length %4, media sensing %5, "
                          "post-print %6%7, media type %8, orientation %9, top %10, shift %11, "
                          "home %12,%13")
        .arg(speed)
        .arg(darkness)
        .arg(widthDots)
        .arg(lengthDots)
        .arg(QLatin1Char(mediaSensing))
        .arg(QLatin1Char(postPrint))
        .arg(prePeel ? QStringLiteral(" (pre-peel)") : QString())
        .arg(QLatin1Char(mediaType))
        .arg(QLatin1Char(orientation))
        .arg(top)
        .arg(shift)
        .arg(homeX)
        .arg(homeY);
}

QString PrinterIdentity::IpText() const
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(ipAddress[0])
        .arg(ipAddress[1])
        .arg(ipAddress[2])
        .arg(ipAddress[3]);
}

QString PrinterIdentity::EthernetIdText() const
{
    QStringList parts;
    for (quint8 b : ethernetId)
        parts << QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
    return parts.join(QLatin1Char(':'));
}

QJsonObject PrinterIdentity::ToJson() const
{
    return { { QStringLiteral("ipAddress"), WriteBytes(ipAddress) },
             { QStringLiteral("ethernetId"), WriteBytes(ethernetId) } };
}

std::optional<PrinterIdentity> PrinterIdentity::FromJson(const QJsonObject &json, QString *error)
{
    const auto ip = ReadBytes<4>(json, "ipAddress", error);
    if (!ip)
        return std::nullopt;
    const auto id = ReadBytes<6>(json, "ethernetId", error);
    if (!id)
        return std::nullopt;
    PrinterIdentity identity;
    identity.ipAddress = *ip;
    identity.ethernetId = *id;
    return identity;
}
