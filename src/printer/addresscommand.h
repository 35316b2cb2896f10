#pragma once

// The byte-level network address commands: after 1F 1B 1F 91 00 and "IP"
// or "ID", the octets of a new address or the bytes of a new Ethernet ID,
// with the pair 10 14 (16, 20) escaped as the program writes it.

#include <QByteArrayView>

#include <array>

// A decode either completes, needs more bytes, or finds bytes that no
// command of this kind can hold.
enum class Decode { Complete, NeedMore, Invalid };

Decode DecodeAddress(QByteArrayView b, bool atEnd, std::array<quint8, 4> &o, qsizetype &length);
Decode DecodeEthernetId(QByteArrayView b, bool atEnd, std::array<quint8, 6> &id, qsizetype &length);
