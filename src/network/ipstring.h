#pragma once

// The dotted address text of the IP address entry control, read without a
// widget so that every caller (and the fuzzer) shares one reading.

#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

// Integer text as an operator may type or paste it: leading blanks, an
// optional sign, then decimal digits or hexadecimal written as 0x… or $….
// Nothing may follow the number. Empty text or text beyond the range of int
// does not parse.
std::optional<int> ParseInteger(QStringView text);

// Reads dotted address text into four numbers. Fewer than four parts give
// nothing; a part that does not parse or lies outside 0 to 255 becomes 255;
// text after the fourth part is ignored.
std::optional<std::array<quint8, 4>> ParseIPString(QStringView text);
