#include "printer/linepacer.h"

#include <algorithm>
#include <cmath>

namespace {
// The burst a line allows after a quiet spell: 20 ms of bytes, at least one.
constexpr double BurstNs = 20e6;
} // namespace

LinePacer::LinePacer(qint64 baud)
    : baud_(std::max<qint64>(0, baud))
    , bytesPerNs_(double(baud_) / 10.0 / 1e9)
    , maxCredit_(std::max(1.0, bytesPerNs_ * BurstNs))
{ }

void LinePacer::Accrue(qint64 nowNs)
{
    if (lastNs_ >= 0 && nowNs > lastNs_)
        credit_ = std::min(maxCredit_, credit_ + double(nowNs - lastNs_) * bytesPerNs_);
    lastNs_ = std::max(lastNs_, nowNs);
}

qint64 LinePacer::Take(qint64 wanted, qint64 nowNs)
{
    if (Unlimited())
        return wanted;
    Accrue(nowNs);
    const qint64 n = std::min<qint64>(wanted, qint64(std::floor(credit_)));
    credit_ -= double(std::max<qint64>(0, n));
    return std::max<qint64>(0, n);
}

qint64 LinePacer::NanosecondsToNext(qint64 nowNs)
{
    if (Unlimited())
        return 0;
    Accrue(nowNs);
    if (credit_ >= 1.0)
        return 0;
    return qint64(std::ceil((1.0 - credit_) / bytesPerNs_));
}
