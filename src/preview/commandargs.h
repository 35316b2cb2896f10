#pragma once

// What every command handler of the interpreter shares: the command's key,
// its parameters split at the delimiter, read the way a printer reads them.

#include "preview/commandlexer.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cmath>

namespace label {

constexpr int MaxDimension = 32000; // the largest ^PW / ^LL / field size a printer takes
constexpr qint64 MaxLabelDots = 32'000'000; // one canvas: 32 MB, 832 x 32000 dots fit

// Two letters (or one, for ^A) packed into a number a switch can take.
template<size_t N> constexpr quint16 Key(const char (&name)[N])
{
    static_assert(N == 2 || N == 3);
    return N == 2 ? quint16(uchar(name[0]) << 8) : quint16(uchar(name[0]) << 8 | uchar(name[1]));
}

inline quint16 KeyOf(const QByteArray &name)
{
    if (name.size() == 1)
        return quint16(uchar(name.at(0)) << 8);
    if (name.size() != 2)
        return 0;
    return quint16(uchar(name.at(0)) << 8 | uchar(name.at(1)));
}

// An object in printer memory: upper case, device R: and the extension
// when not given ("logo" -> "R:LOGO.GRF").
QString ObjectName(const QByteArray &text, const QString &extension);

inline QString Written(const LabelCommand &command)
{
    return QString::fromLatin1(command.Written());
}

// A command's parameters split at the delimiter.
class Args
{
public:
    Args(const QByteArray &text, char delimiter)
        : parts_(text.split(delimiter))
    { }

    qsizetype Count() const { return parts_.size(); }
    QByteArray Text(int i) const { return parts_.value(i).trimmed(); }
    bool Given(int i) const { return !Text(i).isEmpty(); }
    char Letter(int i, char fallback) const
    {
        const QByteArray t = Text(i);
        if (t.isEmpty())
            return fallback;
        const char c = t.at(0);
        return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
    }
    // A number as the printer reads it: the first digits, with the sign
    // before them (letters in front are passed over, what follows is
    // ignored); the fallback when there are none.
    qint64 Int(int i, qint64 fallback) const
    {
        const QByteArray t = Text(i);
        const auto digit = [&t](qsizetype at) {
            return at < t.size() && t.at(at) >= '0' && t.at(at) <= '9';
        };
        qsizetype from = 0;
        while (from < t.size() && !digit(from)
               && !((t.at(from) == '-' || t.at(from) == '+') && digit(from + 1)))
            ++from;
        qsizetype n = from < t.size() && !digit(from) ? from + 1 : from;
        const qsizetype digitsStart = n;
        while (digit(n) && n - digitsStart < 18)
            ++n;
        if (n == digitsStart)
            return fallback;
        return t.mid(from, n - from).toLongLong();
    }
    double Real(int i, double fallback) const
    {
        bool ok = false;
        const double v = Text(i).toDouble(&ok);
        return ok && std::isfinite(v) ? v : fallback;
    }

private:
    QList<QByteArray> parts_;
};

} // namespace label
