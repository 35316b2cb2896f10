#pragma once

// Where the printer puts each character of its scalable font "0": advance
// width and ink box, measured from printed labels at a height and width of
// 50 dots. The preview draws its own font's outline into that box.

struct Font0Glyph
{
    char32_t code;
    short advance; // dots from one pen position to the next
    short left, right; // ink, dots from the pen position (right exclusive)
    short top, bottom; // ink, dots from the baseline, up negative (bottom exclusive)
};

constexpr int Font0MeasuredHeight = 50;
constexpr int Font0MeasuredCapHeight = 37; // vertical places scale with the capital height

// Capitals are three quarters of the height; the baseline lies there below
// the top of the field.
constexpr double Font0CapHeight = 0.75;

// The measured box of a character, or null when it was not measured.
const Font0Glyph *Font0Metrics(char32_t code);
