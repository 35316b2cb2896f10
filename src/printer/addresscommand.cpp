#include "printer/addresscommand.h"

// The byte-level address commands use 10 14 (16, 20) as a control pair: the
// byte after such a pair, or a 14 that closes one at the end, comes twice.

Decode DecodeAddress(QByteArrayView b, bool atEnd, std::array<quint8, 4> &o, qsizetype &length)
{
    qsizetype i = 0;
    const auto at = [&](qsizetype k) {
        return static_cast<quint8>(b[k]);
    };
    for (int k = 0; k < 4; ++k) {
        if (i >= b.size())
            return atEnd ? Decode::Invalid : Decode::NeedMore;
        o[size_t(k)] = at(i++);
        const bool followsPair = k >= 2 && o[size_t(k - 2)] == 16 && o[size_t(k - 1)] == 20;
        const bool closesPair = k == 3 && o[2] == 16 && o[3] == 20;
        if (followsPair || closesPair) {
            if (i >= b.size())
                return atEnd ? Decode::Invalid : Decode::NeedMore;
            if (at(i++) != o[size_t(k)])
                return Decode::Invalid;
        }
    }
    length = i;
    return Decode::Complete;
}

// The last three ID values come in one of three layouts, chosen by the first
// rule that applies when the command is built; the longest layout the bytes
// complete wins, and one that more bytes could still complete is waited for.
Decode DecodeEthernetId(QByteArrayView b, bool atEnd, std::array<quint8, 6> &id, qsizetype &length)
{
    const auto has = [&](qsizetype k) {
        return k < b.size();
    };
    const auto at = [&](qsizetype k) {
        return static_cast<quint8>(b[k]);
    };
    if (!has(3))
        return has(0) && at(0) != 0 ? Decode::Invalid : atEnd ? Decode::Invalid : Decode::NeedMore;
    if (at(0) != 0)
        return Decode::Invalid;
    // r(k) is the k-th byte after id1 and id2.
    const auto r = [&](qsizetype k) {
        return at(3 + k);
    };
    const auto rHas = [&](qsizetype k) {
        return has(3 + k);
    };
    // Whether a constraint on bytes that are there fails.
    const auto fails = [&](std::initializer_list<std::pair<qsizetype, quint8>> equal) {
        for (auto [k, v] : equal) {
            if (rHas(k) && r(k) != v)
                return true;
        }
        return false;
    };
    struct Layout
    {
        bool impossible;
        qsizetype length;
        std::array<qsizetype, 3> values;
    };
    const Layout layouts[] = {
        // id3 = 16, id4 = 20: id3 id3 id4 id5 id5
        { fails({ { 0, 16 }, { 1, 16 }, { 2, 20 } }) || (rHas(4) && r(4) != r(3)), 5, { 0, 2, 3 } },
        // id4 = 16, id5 = 20: id3 id4 id5 id5
        { fails({ { 1, 16 }, { 2, 20 }, { 3, 20 } }), 4, { 0, 1, 2 } },
        // otherwise: id3 id4 id5, where neither rule applies
        { (rHas(1) && r(0) == 16 && r(1) == 20) || (rHas(2) && r(1) == 16 && r(2) == 20),
          3,
          { 0, 1, 2 } },
    };
    const Layout *best = nullptr;
    for (const Layout &l : layouts) {
        if (l.impossible)
            continue;
        if (!rHas(l.length - 1)) {
            if (!atEnd)
                return Decode::NeedMore;
            continue;
        }
        if (!best)
            best = &l;
    }
    if (!best)
        return Decode::Invalid;
    id = { 0, at(1), at(2), r(best->values[0]), r(best->values[1]), r(best->values[2]) };
    length = 3 + best->length;
    return Decode::Complete;
}
