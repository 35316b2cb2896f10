#pragma once

// What every fuzz target shares: a property check that stops the run with a
// readable reason, and a reader that takes the input apart line by line, so
// the seed files stay plain text that anyone can read and edit.

#include <QByteArray>
#include <QString>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A broken property is a crash to the fuzzer: it keeps the input that broke it.
#define FUZZ_CHECK(condition, ...)                                                                 \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::fprintf(stderr, __VA_ARGS__);                                                     \
            std::fputc('\n', stderr);                                                              \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// Printable form of bytes for a failure report.
inline QByteArray Shown(const QByteArray &bytes)
{
    return bytes.size() > 200 ? bytes.left(200).toHex(' ') + " ..." : bytes.toHex(' ');
}

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : bytes_(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)))
    { }

    bool AtEnd() const { return at_ >= bytes_.size(); }

    // The next line without its LF; the last line may end without one.
    QByteArray Line()
    {
        const qsizetype end = bytes_.indexOf('\n', at_);
        const qsizetype stop = end < 0 ? bytes_.size() : end;
        QByteArray line = bytes_.mid(at_, stop - at_);
        at_ = end < 0 ? bytes_.size() : end + 1;
        return line;
    }

    QString TextLine() { return QString::fromUtf8(Line()); }

    // A line read as a decimal number, kept within low..high; a line that is
    // no number gives low.
    long long Number(long long low, long long high)
    {
        const QByteArray line = Line();
        long long value = low;
        std::from_chars(line.constData(), line.constData() + line.size(), value);
        return value < low ? low : value > high ? high : value;
    }

    // Everything not read yet.
    QByteArray Rest()
    {
        QByteArray rest = bytes_.mid(at_);
        at_ = bytes_.size();
        return rest;
    }

private:
    QByteArray bytes_;
    qsizetype at_ = 0;
};
