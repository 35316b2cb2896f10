#pragma once

// How a printer reads the parameters of a setting it keeps: each one a
// number in a range or one of a few letters, and what leaving it out does.
// The command table gives each such command its rule; a printer refuses a
// value outside it and keeps what it had.

#include <QByteArrayView>
#include <QString>

#include <array>
#include <optional>

struct SettingParam
{
    enum class Kind : char {
        Skipped, // read by nobody
        Number, // a whole number from low to high (or one of the letters)
        Letter, // one of the letters
    };
    enum class Omitted : char {
        Refused, // empty is no value
        KeptWhenAbsent, // not written: unchanged; written empty: refused
        Kept, // not written or empty: unchanged
    };
    Kind kind = Kind::Skipped;
    int low = 0;
    int high = 0;
    // The letters taken; for a number, letters that stand for a value.
    const char *letters = nullptr;
    // What each letter sets, in the order of the letters (0: the letter).
    std::array<int, 10> values {};
    Omitted omitted = Omitted::Refused;
    // What the refusal says ("%1" low, "%2" high, "%3" the letters); null
    // for the usual words, empty to ignore a bad value without a word.
    const char *refusal = nullptr;
};

struct SettingRule
{
    std::array<SettingParam, 3> params;
};

// A setting's parameters as the printer takes them: for each, the value
// (a letter as its code) or nothing when it keeps what it had. Reading stops
// at the first value refused: refusal then says why ("a value from 2 to
// 32000 is needed; unchanged"), and that parameter and those after it change
// nothing.
struct SettingValues
{
    std::array<std::optional<int>, 3> values;
    QString refusal;
};

SettingValues ReadSetting(const SettingRule &rule, QByteArrayView params, char delimiter = ',');
