#pragma once

#include <QByteArray>

#include <initializer_list>

// Command text as lines, each ended by CR LF.
inline QByteArray Lines(std::initializer_list<const char *> lines)
{
    QByteArray out;
    for (const char *l : lines)
        out += QByteArray(l) + "\r\n";
    return out;
}
