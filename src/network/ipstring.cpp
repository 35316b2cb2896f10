#include "network/ipstring.h"

#include <climits>

std::optional<int> ParseInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0'
               && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    const qint64 number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        return std::nullopt;
    return int(number);
}

namespace {

// Takes the part before the first full stop off the front of rest (the full
// stop stays) and returns its number, or -1 when it does not parse or lies
// outside 0 to 255.
int ParseOctet(QStringView &rest)
{
    const qsizetype dot = rest.indexOf(u'.');
    const QStringView part = dot < 0 ? rest : rest.left(dot);
    rest = rest.mid(part.size());
    const std::optional<int> number = ParseInteger(part);
    if (!number || *number < 0 || *number > 255)
        return -1;
    return *number;
}

// Removes the full stop that separates two parts; false when there is none.
bool SkipDot(QStringView &rest)
{
    if (rest.isEmpty() || rest.front() != u'.')
        return false;
    rest = rest.mid(1);
    return true;
}

} // namespace

std::optional<std::array<quint8, 4>> ParseIPString(QStringView text)
{
    std::array<quint8, 4> octets {};
    QStringView rest = text;
    for (int part = 0; part < 4; ++part) {
        const int octet = ParseOctet(rest);
        octets[part] = octet < 0 ? 255 : quint8(octet);
        if (part < 3 && !SkipDot(rest))
            return std::nullopt;
    }
    return octets;
}
