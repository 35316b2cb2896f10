// Discovery replies: what the virtual printer builds reads back field by
// field, and datagrams that are no replies are refused rather than shown.
#include "core/exceptions.h"
#include "link/discovery.h"

#include <gtest/gtest.h>

namespace {

DiscoveredPrinter Sample()
{
    DiscoveredPrinter p;
    p.address = QStringLiteral("10.0.3.11");
    p.productNumber = QStringLiteral("1001");
    p.productName = QStringLiteral("TARVOLIN VP-300dpi");
    p.firmware = QStringLiteral("V1.01VP");
    p.serialNumber = QStringLiteral("123456789");
    p.systemName = QStringLiteral("hall-3-left");
    p.subnetMask = QStringLiteral("255.255.0.0");
    p.gateway = QStringLiteral("10.0.0.1");
    p.macAddress = QStringLiteral("00:4B:56:01:E2:40");
    return p;
}

TEST(DiscoveryReply, WhatIsBuiltReadsBackInTheCapturedLayout)
{
    const QByteArray reply = BuildDiscoveryReply(Sample());
    EXPECT_EQ(reply.size(), DiscoveryReplySize);
    EXPECT_EQ(reply.left(4), QByteArray(":,.\x03"));
    EXPECT_EQ(reply.mid(0x48, 4), QByteArray("\x0a\x00\x03\x0b", 4));
    EXPECT_EQ(ParseDiscoveryReply(reply), Sample());
    // Fields longer than their room are cut, never spilling into the next.
    DiscoveredPrinter longer = Sample();
    longer.serialNumber = QStringLiteral("12345678901234");
    const auto cut = ParseDiscoveryReply(BuildDiscoveryReply(longer));
    ASSERT_TRUE(cut.has_value());
    EXPECT_EQ(cut->serialNumber, "123456789");
    EXPECT_EQ(cut->address, "10.0.3.11");
}

TEST(DiscoveryReply, DatagramsThatAreNoRepliesAreRefused)
{
    const QByteArray good = BuildDiscoveryReply(Sample());
    QByteArray marker = good;
    marker[2] = 'x';
    QByteArray binaryName = good;
    binaryName[0x0C + 2] = '\x01';
    QByteArray noAddress = good;
    noAddress.replace(0x48, 4, QByteArray(4, '\0'));
    const struct
    {
        const char *what;
        QByteArray datagram;
    } cases[] = {
        { "empty", QByteArray() },
        { "the probe itself", DiscoveryProbe() },
        { "cut short", good.left(0x50) },
        { "wrong marker", marker },
        { "a name that is not text", binaryName },
        { "address 0.0.0.0", noAddress },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(ParseDiscoveryReply(c.datagram).has_value());
    }
    EXPECT_TRUE(IsDiscoveryProbe(QByteArray(".,:\x01\x00\x00", 6)));
    EXPECT_FALSE(IsDiscoveryProbe(QByteArray(".,:\x01\x00", 5)));
}

TEST(DiscoverySweep, ASubnetThatCannotBeSweptIsRefusedBeforeAnythingIsSent)
{
    for (const char *sweep : { "10.0.0.0", "10.0.0.0/8", "10.0.0.0/33", "10.0.0/24", "x/24" }) {
        SCOPED_TRACE(sweep);
        DiscoveryOptions options;
        options.broadcast = false;
        options.timeoutMs = 1;
        options.sweep = QString::fromLatin1(sweep);
        EXPECT_THROW(DiscoverPrinters(options), ETarvolinError);
    }
}

} // namespace
