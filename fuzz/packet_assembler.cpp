// The receive packet assembler fed an arbitrary byte stream in batches split
// at arbitrary points, with arbitrary start and stop strings and sizes: every
// byte comes out at most once and in order (with the strings kept, packets,
// discards and what stays buffered are the stream exactly), a packet ends at
// the first stop string or after exactly Size bytes, leaving the strings out
// removes nothing but them, and where no buffer limit and no mixed end rule
// makes it depend on timing, where the batches were split changes nothing.
//
// Input lines: start string, stop string, Size, MaxBufferSize, flags ("case"
// for CaseInsensitive, "strip" to leave the strings out), batch lengths
// (numbers, used in turn); the rest of the input is the byte stream.

#include "fuzzinput.h"

#include "serial/comdatapacket.h"

#include <memory>
#include <vector>

namespace {

struct Event
{
    bool packet = false; // otherwise a discard
    QByteArray text;
    bool operator==(const Event &) const = default;
};

struct Settings
{
    QByteArray start;
    QByteArray stop;
    int size = 0;
    int maxBufferSize = 0;
    bool caseInsensitive = false;
    bool includeStrings = true;
};

struct Run
{
    std::vector<Event> events;
    QByteArray buffered;
};

Run Feed(const Settings &s, const QByteArray &stream, const std::vector<int> &batches)
{
    Run run;
    TComDataPacket assembler;
    assembler.SetStartString(s.start);
    assembler.SetStopString(s.stop);
    assembler.SetSize(s.size);
    assembler.SetMaxBufferSize(s.maxBufferSize);
    assembler.SetCaseInsensitive(s.caseInsensitive);
    assembler.SetIncludeStrings(s.includeStrings);
    assembler.OnPacket = [&run](QObject *, const QByteArray &text) {
        run.events.push_back({ true, text });
    };
    assembler.OnDiscard = [&run](QObject *, const QByteArray &text) {
        run.events.push_back({ false, text });
    };
    qsizetype at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const qsizetype n = batches.empty() ? stream.size() : batches[i % batches.size()];
        assembler.AppendReceived(stream.mid(at, n));
        at += n;
    }
    run.buffered = assembler.Buffer();
    return run;
}

QByteArray Folded(const QByteArray &text, bool caseInsensitive)
{
    return caseInsensitive ? text.toUpper() : text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput input(data, size);
    Settings settings;
    settings.start = input.Line();
    settings.stop = input.Line();
    settings.size = int(input.Number(-1, 64));
    settings.maxBufferSize = int(input.Number(-1, 256));
    const QByteArray flags = input.Line();
    settings.caseInsensitive = flags.contains("case");
    std::vector<int> batches;
    for (const QByteArray &n : input.Line().split(' ')) {
        const int length = n.toInt();
        if (length > 0 && batches.size() < 64)
            batches.push_back(std::min(length, 4096));
    }
    const QByteArray stream = input.Rest();
    const bool ci = settings.caseInsensitive;

    // With the strings kept, nothing is lost, doubled or reordered.
    const Run kept = Feed(settings, stream, batches);
    QByteArray out;
    for (const Event &e : kept.events)
        out += e.text;
    FUZZ_CHECK(out + kept.buffered == stream, "stream %s came out as %s + buffered %s",
               Shown(stream).constData(), Shown(out).constData(), Shown(kept.buffered).constData());

    const bool packetEnd = settings.size > 0 || !settings.stop.isEmpty();
    for (const Event &e : kept.events) {
        if (!e.packet || !packetEnd)
            continue;
        if (settings.size > 0 && settings.stop.isEmpty()) {
            FUZZ_CHECK(e.text.size() == settings.size, "packet %s of size %d",
                       Shown(e.text).constData(), settings.size);
        } else if (settings.size <= 0) {
            // The stop string is searched after the start string's length.
            const QByteArray p = Folded(e.text, ci);
            const qsizetype from = settings.start.size();
            const qsizetype at = p.indexOf(Folded(settings.stop, ci), from);
            FUZZ_CHECK(at >= from && at + settings.stop.size() == p.size(),
                       "packet %s does not end at its first stop %s", Shown(e.text).constData(),
                       Shown(settings.stop).constData());
        }
    }

    // Leaving the strings out changes the packets by them alone.
    Settings strip = settings;
    strip.includeStrings = false;
    const Run stripped = Feed(strip, stream, batches);
    FUZZ_CHECK(stripped.events.size() == kept.events.size() && stripped.buffered == kept.buffered,
               "%zu events with the strings, %zu without", kept.events.size(),
               stripped.events.size());
    for (std::size_t i = 0; i < kept.events.size(); ++i) {
        const Event &k = kept.events[i];
        const Event &s = stripped.events[i];
        FUZZ_CHECK(k.packet == s.packet, "event %zu", i);
        if (!k.packet || !packetEnd) {
            FUZZ_CHECK(k.text == s.text, "event %zu: %s / %s", i, Shown(k.text).constData(),
                       Shown(s.text).constData());
            continue;
        }
        const QByteArray start = Folded(settings.start, ci);
        const QByteArray stop = Folded(settings.stop, ci);
        const QByteArray full = Folded(k.text, ci);
        const QByteArray inner = Folded(s.text, ci);
        FUZZ_CHECK(full == inner || full == start + inner || full == inner + stop
                       || full == start + inner + stop,
                   "packet %s stripped to %s", Shown(k.text).constData(),
                   Shown(s.text).constData());
        FUZZ_CHECK(k.text.contains(s.text), "packet %s stripped to %s", Shown(k.text).constData(),
                   Shown(s.text).constData());
    }

    // Without a buffer limit, and unless Size and a stop string race, the
    // split points do not matter.
    if (packetEnd && settings.maxBufferSize <= 0
        && !(settings.size > 0 && !settings.stop.isEmpty())) {
        const Run whole = Feed(settings, stream, {});
        FUZZ_CHECK(whole.events == kept.events && whole.buffered == kept.buffered,
                   "split into batches: %zu events, in one: %zu", kept.events.size(),
                   whole.events.size());
    }
    return 0;
}
