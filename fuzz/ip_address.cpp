// Address text, as the entry control's IPString reads it and as the address
// command builder splits it: a parsed address is four octets 0 to 255, an
// address the builder takes is one the printer can use, and the bytes of the
// new-address command read back (escapes undone) as exactly its octets.
//
// Input: the address text (UTF-8).

#include "fuzzinput.h"

#include "core/exceptions.h"
#include "network/addresscommands.h"
#include "network/ipstring.h"

#include <optional>

namespace {

// Reads the octets back out of a new-address command: after the byte pair
// 16, 20 the next byte comes twice, and so does a closing 20 of such a pair.
std::optional<IPv4Octets> ReadBack(const QByteArray &command)
{
    const QByteArray head = AddressCommandPrefix() + "IP";
    if (!command.startsWith(head))
        return std::nullopt;
    qsizetype at = head.size();
    auto next = [&]() -> std::optional<int> {
        if (at >= command.size())
            return std::nullopt;
        return int(uchar(command[at++]));
    };
    IPv4Octets octets {};
    for (int i = 0; i < 4; ++i) {
        const std::optional<int> byte = next();
        if (!byte)
            return std::nullopt;
        octets[i] = *byte;
        const bool afterPair = i >= 2 && octets[i - 2] == 16 && octets[i - 1] == 20;
        const bool closingPair = i == 3 && octets[2] == 16 && octets[3] == 20;
        if ((afterPair || closingPair) && next() != byte)
            return std::nullopt;
    }
    if (at != command.size())
        return std::nullopt;
    return octets;
}

QString Dotted(const IPv4Octets &o)
{
    return QStringLiteral("%1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));

    // The entry control: whatever it accepts is four octets, and the dotted
    // text it then shows reads back as the same four.
    if (const auto parsed = ParseIPString(text)) {
        const IPv4Octets octets { (*parsed)[0], (*parsed)[1], (*parsed)[2], (*parsed)[3] };
        const QString shown = Dotted(octets);
        FUZZ_CHECK(ParseIPString(shown) == parsed, "'%s' shown as %s reads back differently",
                   qPrintable(text.left(100)), qPrintable(shown));
        // The window hands that text to the command builder.
        FUZZ_CHECK(SplitIPString(shown) == octets, "%s splits differently", qPrintable(shown));
    }

    // The command builder, as a direct caller (the command line) uses it.
    IPv4Octets octets {};
    try {
        octets = SplitIPString(text);
    } catch (const EConvertError &) {
        return 0;
    }
    if (!IsAcceptableNewAddress(octets))
        return 0;
    for (const int octet : octets)
        FUZZ_CHECK(octet >= 0 && octet <= 255, "'%s' accepted with octet %d",
                   qPrintable(text.left(100)), octet);
    FUZZ_CHECK(octets[0] >= 1 && octets[0] <= 223 && octets[3] >= 2 && octets[3] <= 254,
               "'%s' accepted", qPrintable(text.left(100)));
    const QByteArray command = BuildNewAddressCommand(octets);
    FUZZ_CHECK(ReadBack(command) == octets, "'%s' sent as %s", qPrintable(text.left(100)),
               Shown(command).constData());
    return 0;
}
