#pragma once

// How a printer reads the parameters of a setting it keeps: each one a
// number in a range or one of a few letters, and what leaving it out does.
// The command table gives each such command its rule; a printer refuses a
// value outside it and keeps what it had. The interpreter and the virtual
// printer read every kept setting through this one rule.

#include "preview/keptsettings.h"

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
        Defaulted, // not written or empty: the value `absent`
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
    // A length in the units ^MU set; its range is in dots.
    bool length = false;
    int absent = 0;
    // The kept setting it changes (a flag is set by the letter Y).
    int KeptSettings::*number = nullptr;
    char KeptSettings::*letter = nullptr;
    bool KeptSettings::*flag = nullptr;

    constexpr SettingParam To(int KeptSettings::*to) const
    {
        SettingParam p = *this;
        p.number = to;
        return p;
    }
    constexpr SettingParam To(char KeptSettings::*to) const
    {
        SettingParam p = *this;
        p.letter = to;
        return p;
    }
    constexpr SettingParam To(bool KeptSettings::*to) const
    {
        SettingParam p = *this;
        p.flag = to;
        return p;
    }
    constexpr SettingParam Length() const
    {
        SettingParam p = *this;
        p.length = true;
        return p;
    }
};

// ^MU: lengths in dots (D), inches (I) or millimetres (M); dots are scaled
// by dotScale when the format was written for another resolution.
struct LengthUnits
{
    char letter = 'D';
    double dotScale = 1.0;

    double DotsPerUnit(int dotsPerMm) const
    {
        return letter == 'M' ? dotsPerMm : letter == 'I' ? dotsPerMm * 25.4 : dotScale;
    }
    bool InDots() const { return letter == 'D' && dotScale == 1.0; }
};

// ^MU's parameters: false (units unchanged) when the letter is none of D, I
// and M; a scale from one resolution to another is taken either way.
bool ReadUnits(QByteArrayView params, char delimiter, LengthUnits &units);

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

SettingValues ReadSetting(const SettingRule &rule, QByteArrayView params, char delimiter = ',',
                          LengthUnits units = {}, int dotsPerMm = 8);

// The values read into the kept settings their parameters change.
void ApplySetting(const SettingRule &rule, const SettingValues &read, KeptSettings &kept);
