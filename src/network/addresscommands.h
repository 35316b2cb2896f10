#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>

// Byte-level commands that give the printer a new IP address or a new
// Ethernet ID. Both start with the same five-byte prefix (00 included) and a
// two-letter command name.

// 1F 1B 1F 91 00
QByteArray AddressCommandPrefix();

using IPv4Octets = std::array<int, 4>;

// Splits a dotted address "o1.o2.o3.o4" into its four numbers. Throws
// EConvertError when a part is not a decimal integer.
IPv4Octets SplitIPString(const QString &ipString);

// Every number is an octet (0..255), and a printer address must not be a
// network, broadcast, multicast or reserved one: the first number lies in
// 1..223 and the last in 2..254.
bool IsAcceptableNewAddress(const IPv4Octets &octets);

// Prefix, "IP", the four octets as bytes. The printer reads the byte pair
// 16, 20 as a control sequence, so the byte after such a pair (or the closing
// 20 when the pair ends the address) is sent twice. Send only addresses that
// IsAcceptableNewAddress accepts; a number beyond a byte sends its low eight
// bits.
QByteArray BuildNewAddressCommand(const IPv4Octets &octets);

// The six-byte Ethernet ID is 00 followed by these five values; the first two
// are fixed, the last three drawn at random.
struct EthernetId
{
    int id1 = 75;
    int id2 = 86;
    int id3 = 0;
    int id4 = 0;
    int id5 = 0;
};

constexpr int EthernetIdDrawLow = 14;
constexpr int EthernetIdDrawHigh = 255;

// Returns one random value in EthernetIdDrawLow..EthernetIdDrawHigh.
using EthernetIdDraw = std::function<int()>;

// A draw seeded from the time of day, as every press makes a new ID.
EthernetIdDraw TimeSeededEthernetIdDraw();

// A draw from a given seed: the same seed gives the same values, in order.
EthernetIdDraw SeededEthernetIdDraw(quint32 seed);

// id1 and id2 fixed; id3, id4 and id5 drawn in that order.
EthernetId DrawEthernetId(const EthernetIdDraw &draw);

// The value as its box shows it: decimal, zero-padded to three digits.
QString EthernetIdBoxText(int value);

// Reads an ID box back. Throws EConvertError when it holds no decimal integer.
int ParseEthernetIdBox(const QString &text);

// Prefix, "ID", 00, then the five values as bytes, with the 16, 20 pair
// handled as for the address command.
QByteArray BuildEthernetIdCommand(const EthernetId &id);
