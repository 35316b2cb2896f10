#include "core/exceptions.h"
#include "network/addresscommands.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QByteArray Hex(const char *hex)
{
    return QByteArray::fromHex(hex);
}

} // namespace

TEST(NewAddressCommand, StartAddressIsElevenBytes)
{
    const QByteArray command = BuildNewAddressCommand(SplitIPString("192.168.123.200"));
    EXPECT_EQ(command, Hex("1F1B1F910049 50 C0A87BC8"));
    EXPECT_EQ(command.size(), 11);
}

TEST(NewAddressCommand, PairSixteenTwentyDoublesTheFollowingOctet)
{
    const struct
    {
        const char *address;
        const char *after;
    } cases[] = {
        { "192.168.123.200", "C0A87BC8" }, { "16.20.5.9", "1014050509" },
        { "10.16.20.9", "0A10140909" },    { "10.9.16.20", "0A09101414" },
        { "16.20.16.20", "101410101414" }, { "16.20.20.9", "1014141409" },
        { "20.16.9.9", "14100909" },       { "16.16.20.20", "1010141414" },
    };
    for (const auto &c : cases) {
        const QByteArray command = BuildNewAddressCommand(SplitIPString(c.address));
        EXPECT_EQ(command.left(7), Hex("1F1B1F91004950")) << c.address;
        EXPECT_EQ(command.mid(7).toHex(' '), Hex(c.after).toHex(' ')) << c.address;
    }
}

TEST(NewAddressCommand, AcceptsOnlyUsableFirstAndLastOctets)
{
    const struct
    {
        const char *address;
        bool accepted;
    } cases[] = {
        { "0.1.2.3", false },
        { "224.0.0.5", false },
        { "192.168.1.255", false },
        { "192.168.1.1", false },
        { "192.168.1.0", false },
        { "255.255.255.255", false },
        { "223.255.255.254", true },
        { "1.0.0.2", true },
        { "192.168.123.200", true },
        { "10.0.0.254", true },
        // Every number must be an octet; a direct caller may pass anything.
        { "1.272.20.5", false },
        { "1.256.0.5", false },
        { "1.-1.0.5", false },
        { "1.2.300.5", false },
        { "1.2.3.-254", false },
        { "257.2.3.4", false },
    };
    for (const auto &c : cases)
        EXPECT_EQ(IsAcceptableNewAddress(SplitIPString(c.address)), c.accepted) << c.address;
}

TEST(NewAddressCommand, EscapesTheBytesSentNotTheNumbers)
{
    const struct
    {
        IPv4Octets octets;
        const char *after;
    } cases[] = {
        { { 1, 272, 20, 5 }, "0110140505" }, // 272 goes out as 10
        { { 1, 16, 276, 9 }, "0110140909" }, // 276 goes out as 14
        { { 1, 16, 20, 5 }, "0110140505" },
        { { 1, 272, 276, 5 + 256 }, "0110140505" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(BuildNewAddressCommand(c.octets).mid(7).toHex(' '), Hex(c.after).toHex(' '));
}

TEST(NewAddressCommand, SplitRejectsTextThatIsNoAddress)
{
    EXPECT_EQ(SplitIPString("1.22.133.4"), (IPv4Octets { 1, 22, 133, 4 }));
    for (const char *bad : { "", "1.2.3", "1.2.x.4", "1..3.4" })
        EXPECT_THROW(SplitIPString(bad), EConvertError) << bad;
}

TEST(EthernetIdCommand, ByteRulesForDrawnValues)
{
    const struct
    {
        int id3, id4, id5;
        const char *afterZero;
    } cases[] = {
        { 20, 30, 40, "4B56141E28" },
        { 16, 20, 30, "4B561010141E1E" },
        { 99, 16, 20, "4B5663101414" },
        { 16, 20, 16, "4B561010141010" }, // first rule wins over the second
        { 14, 255, 128, "4B560EFF80" },
        { 20, 16, 30, "4B5614101E" },
    };
    for (const auto &c : cases) {
        EthernetId id;
        id.id3 = c.id3;
        id.id4 = c.id4;
        id.id5 = c.id5;
        const QByteArray command = BuildEthernetIdCommand(id);
        EXPECT_EQ(command.left(8), Hex("1F1B1F9100494400"));
        EXPECT_EQ(command.mid(8).toHex(' '), Hex(c.afterZero).toHex(' '))
            << c.id3 << " " << c.id4 << " " << c.id5;
    }
}

TEST(EthernetIdCommand, FullCommandLengths)
{
    EXPECT_EQ(BuildEthernetIdCommand({ 75, 86, 20, 30, 40 }), Hex("1F1B1F9100494400 4B56141E28"));
    EXPECT_EQ(BuildEthernetIdCommand({ 75, 86, 16, 20, 30 }).size(), 15);
    EXPECT_EQ(BuildEthernetIdCommand({ 75, 86, 7, 16, 20 }).size(), 14);
    EXPECT_TRUE(BuildEthernetIdCommand({ 75, 86, 7, 16, 20 }).endsWith(Hex("101414")));
}

TEST(EthernetIdCommand, DrawsThreeValuesInOrderAfterTheFixedTwo)
{
    std::vector<int> draws { 20, 30, 40 };
    size_t next = 0;
    const EthernetId id = DrawEthernetId([&] { return draws.at(next++); });
    EXPECT_EQ(next, 3u);
    EXPECT_EQ(id.id1, 75);
    EXPECT_EQ(id.id2, 86);
    EXPECT_EQ(id.id3, 20);
    EXPECT_EQ(id.id4, 30);
    EXPECT_EQ(id.id5, 40);
}

TEST(EthernetIdCommand, TimeSeededDrawStaysInOneByte)
{
    const EthernetIdDraw draw = TimeSeededEthernetIdDraw();
    bool sawLow = false, sawHigh = false;
    for (int i = 0; i < 20000; ++i) {
        const int v = draw();
        ASSERT_GE(v, 14);
        ASSERT_LE(v, 255);
        sawLow |= v == 14;
        sawHigh |= v == 255;
    }
    // Both ends of the range are reachable.
    EXPECT_TRUE(sawLow);
    EXPECT_TRUE(sawHigh);
}

TEST(EthernetIdCommand, BoxTextsAreThreeDigits)
{
    EXPECT_EQ(EthernetIdBoxText(75), "075");
    EXPECT_EQ(EthernetIdBoxText(86), "086");
    EXPECT_EQ(EthernetIdBoxText(14), "014");
    EXPECT_EQ(EthernetIdBoxText(255), "255");
    EXPECT_EQ(ParseEthernetIdBox("014"), 14);
    EXPECT_THROW(ParseEthernetIdBox(""), EConvertError);
    EXPECT_THROW(ParseEthernetIdBox("0x1"), EConvertError);
}
