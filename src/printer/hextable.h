#pragma once

// The value of each byte as a hexadecimal digit, -1 for those that are none:
// downloads arrive as millions of digits, read through this table.

namespace hex {

struct HexTable
{
    signed char value[256];
    constexpr HexTable()
        : value {}
    {
        for (int i = 0; i < 256; ++i)
            value[i] = -1;
        for (int i = 0; i < 10; ++i)
            value['0' + i] = char(i);
        for (int i = 0; i < 6; ++i) {
            value['A' + i] = char(10 + i);
            value['a' + i] = char(10 + i);
        }
    }
};
inline constexpr HexTable Hex;

} // namespace hex
