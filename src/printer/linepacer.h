#pragma once

#include <QtGlobal>

// The pace of a serial line: each byte takes ten bit times (start bit, eight
// data bits, stop bit), so at 9600 baud 960 bytes cross a second. A pacer
// hands out the bytes that may cross by a given time; after a quiet spell it
// allows at most a short burst, as the line does not store up time.
class LinePacer
{
public:
    // 0: unlimited, every byte crosses at once.
    explicit LinePacer(qint64 baud = 0);

    bool Unlimited() const { return baud_ == 0; }
    qint64 Baud() const { return baud_; }

    // Of `wanted` bytes, how many may cross by `nowNs` (a monotonic clock in
    // nanoseconds); those are counted as gone.
    qint64 Take(qint64 wanted, qint64 nowNs);
    // Nanoseconds from `nowNs` until one more byte may cross (0 when one may
    // now).
    qint64 NanosecondsToNext(qint64 nowNs);

private:
    void Accrue(qint64 nowNs);

    qint64 baud_ = 0;
    double bytesPerNs_ = 0;
    double credit_ = 0;
    double maxCredit_ = 0;
    qint64 lastNs_ = -1;
};
