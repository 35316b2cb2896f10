#include "network/addresscommands.h"

#include "core/exceptions.h"

#include <QRandomGenerator>
#include <QTime>

#include <memory>

namespace {

constexpr int EscapeFirst = 16;
constexpr int EscapeSecond = 20;

char Byte(int value)
{
    return static_cast<char>(static_cast<unsigned char>(value & 0xFF));
}

int ParseDecimal(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

} // namespace

QByteArray AddressCommandPrefix()
{
    return QByteArray("\x1F\x1B\x1F\x91\x00", 5);
}

IPv4Octets SplitIPString(const QString &ipString)
{
    IPv4Octets octets {};
    QString rest = ipString;
    for (int i = 0; i < 3; ++i) {
        const qsizetype dot = rest.indexOf(QLatin1Char('.'));
        octets[i] = ParseDecimal(dot < 0 ? rest : rest.left(dot));
        rest = dot < 0 ? QString() : rest.mid(dot + 1);
    }
    octets[3] = ParseDecimal(rest);
    return octets;
}

bool IsAcceptableNewAddress(const IPv4Octets &octets)
{
    for (const int octet : octets) {
        if (octet < 0 || octet > 255)
            return false;
    }
    return octets[0] >= 1 && octets[0] <= 223 && octets[3] >= 2 && octets[3] <= 254;
}

QByteArray BuildNewAddressCommand(const IPv4Octets &octets)
{
    // The printer sees bytes, so the pair is looked for in the bytes sent.
    char o[4];
    for (int i = 0; i < 4; ++i)
        o[i] = Byte(octets[i]);
    QByteArray command = AddressCommandPrefix() + "IP";
    for (int i = 0; i < 4; ++i) {
        command += o[i];
        const bool followsPair = i >= 2 && o[i - 2] == EscapeFirst && o[i - 1] == EscapeSecond;
        const bool closesPair = i == 3 && o[2] == EscapeFirst && o[3] == EscapeSecond;
        if (followsPair || closesPair)
            command += o[i];
    }
    return command;
}

EthernetIdDraw TimeSeededEthernetIdDraw()
{
    return SeededEthernetIdDraw(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()));
}

EthernetIdDraw SeededEthernetIdDraw(quint32 seed)
{
    auto generator = std::make_shared<QRandomGenerator>(seed);
    return [generator] {
        return generator->bounded(EthernetIdDrawLow, EthernetIdDrawHigh + 1);
    };
}

EthernetId DrawEthernetId(const EthernetIdDraw &draw)
{
    EthernetId id;
    id.id3 = draw();
    id.id4 = draw();
    id.id5 = draw();
    return id;
}

QString EthernetIdBoxText(int value)
{
    return QStringLiteral("%1").arg(value, 3, 10, QLatin1Char('0'));
}

int ParseEthernetIdBox(const QString &text)
{
    return ParseDecimal(text);
}

QByteArray BuildEthernetIdCommand(const EthernetId &id)
{
    QByteArray command = AddressCommandPrefix() + "ID";
    command += '\0';
    command += Byte(id.id1);
    command += Byte(id.id2);
    if (id.id3 == EscapeFirst && id.id4 == EscapeSecond) {
        command += Byte(id.id3);
        command += Byte(id.id3);
        command += Byte(id.id4);
        command += Byte(id.id5);
        command += Byte(id.id5);
    } else if (id.id4 == EscapeFirst && id.id5 == EscapeSecond) {
        command += Byte(id.id3);
        command += Byte(id.id4);
        command += Byte(id.id5);
        command += Byte(id.id5);
    } else {
        command += Byte(id.id3);
        command += Byte(id.id4);
        command += Byte(id.id5);
    }
    return command;
}
