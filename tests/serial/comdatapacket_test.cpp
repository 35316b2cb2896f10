// The packet assembler alone: batches in, packets and discards out.

#include "serial/comdatapacket.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

struct Assembler
{
    Assembler()
    {
        packet.OnPacket = [this](QObject *, const QByteArray &s) {
            log << "packet " + s;
        };
        packet.OnDiscard = [this](QObject *, const QByteArray &s) {
            log << "discard " + s;
        };
    }
    TComDataPacket packet;
    QByteArrayList log;
};

} // namespace

TEST(ComDataPacketTest, Scenarios)
{
    struct Case
    {
        const char *name;
        std::function<void(TComDataPacket &)> configure;
        QByteArrayList batches;
        QByteArrayList expected;
        QByteArray buffered;
        bool inPacket;
    };
    const auto startStop = [](bool include, bool caseInsensitive) {
        return [=](TComDataPacket &p) {
            p.SetStartString("S");
            p.SetStopString("E");
            p.SetIncludeStrings(include);
            p.SetCaseInsensitive(caseInsensitive);
        };
    };
    const Case cases[] = {
        { "no packet end: every batch is a packet",
          [](TComDataPacket &) {},
          { "abc", "", "de" },
          { "packet abc", "packet ", "packet de" },
          "",
          false },
        { "start and stop",
          startStop(false, false),
          { "xxSabEyy" },
          { "discard xx", "packet ab" },
          "yy",
          false },
        { "a later start discards what waited",
          startStop(false, false),
          { "xxSabEyy", "qSz" },
          { "discard xx", "packet ab", "discard yyq" },
          "Sz",
          true },
        { "strings included",
          startStop(true, false),
          { "xxSabEyy" },
          { "discard xx", "packet SabE" },
          "yy",
          false },
        { "several packets in one batch",
          startStop(false, false),
          { "S1ES2ES3" },
          { "packet 1", "packet 2" },
          "S3",
          true },
        { "packet split over batches",
          startStop(false, false),
          { "S12", "34", "5Ex" },
          { "packet 12345" },
          "x",
          false },
        { "a stop right after the start gives an empty packet",
          startStop(false, false),
          { "SEEK", "E" },
          { "packet " },
          "EKE",
          false },
        { "case folding off: lower case does not match",
          startStop(false, false),
          { "sabe" },
          {},
          "sabe",
          false },
        { "case folding on",
          startStop(false, true),
          { "xsabeY" },
          { "discard x", "packet ab" },
          "Y",
          false },
        { "upper-case stop string ends on lower case",
          [](TComDataPacket &p) {
              p.SetStopString("END");
              p.SetCaseInsensitive(true);
          },
          { "data1end", "more" },
          { "packet data1" },
          "more",
          true },
        { "size alone",
          [](TComDataPacket &p) { p.SetSize(4); },
          { "0123456789" },
          { "packet 0123", "packet 4567" },
          "89",
          true },
        { "size wins over a stop string",
          [](TComDataPacket &p) {
              p.SetSize(3);
              p.SetStopString("!");
          },
          { "ab!cdef" },
          { "packet ab", "packet cde" },
          "f",
          true },
        { "stop string alone",
          [](TComDataPacket &p) { p.SetStopString("\r\n"); },
          { "line1\r\nli", "ne2\r\n" },
          { "packet line1", "packet line2" },
          "",
          true },
        { "start string not found keeps everything",
          [](TComDataPacket &p) {
              p.SetStartString("<");
              p.SetStopString(">");
          },
          { "abc" },
          {},
          "abc",
          false },
        { "stop string inside the packet is kept when not at its end",
          [](TComDataPacket &p) {
              p.SetSize(5);
              p.SetStopString("E");
          },
          { "aEbEc" },
          { "packet aEbEc" },
          "",
          true },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Assembler a;
        c.configure(a.packet);
        for (const QByteArray &batch : c.batches)
            a.packet.AppendReceived(batch);
        EXPECT_EQ(a.log, c.expected);
        EXPECT_EQ(a.packet.Buffer(), c.buffered);
        EXPECT_EQ(a.packet.InPacket(), c.inPacket);
    }
}

TEST(ComDataPacketTest, MaxBufferSizeBoundsTheBuffer)
{
    Assembler a;
    a.packet.SetStopString("E");
    EXPECT_EQ(a.packet.MaxBufferSize(), 1024);
    a.packet.AppendReceived(QByteArray(1000, 'x'));
    EXPECT_TRUE(a.log.isEmpty());
    a.packet.AppendReceived(QByteArray(23, 'y'));
    EXPECT_TRUE(a.log.isEmpty());
    EXPECT_EQ(a.packet.Buffer().size(), 1023);
    a.packet.AppendReceived("z");
    ASSERT_EQ(a.log.size(), 1);
    EXPECT_EQ(a.log[0], "discard " + QByteArray(1000, 'x') + QByteArray(23, 'y') + "z");
    EXPECT_TRUE(a.packet.Buffer().isEmpty());
    EXPECT_FALSE(a.packet.InPacket());

    // Unbounded at 0.
    Assembler b;
    b.packet.SetStopString("E");
    b.packet.SetMaxBufferSize(0);
    b.packet.AppendReceived(QByteArray(5000, 'x'));
    EXPECT_TRUE(b.log.isEmpty());
    EXPECT_EQ(b.packet.Buffer().size(), 5000);
}

TEST(ComDataPacketTest, ChangingTheDelimitersFlushes)
{
    const struct
    {
        const char *name;
        std::function<void(TComDataPacket &)> change;
        bool flushes;
    } cases[] = {
        { "start string", [](TComDataPacket &p) { p.SetStartString("<"); }, true },
        { "stop string", [](TComDataPacket &p) { p.SetStopString("#"); }, true },
        { "size", [](TComDataPacket &p) { p.SetSize(100); }, true },
        { "case folding", [](TComDataPacket &p) { p.SetCaseInsensitive(true); }, true },
        { "same stop string", [](TComDataPacket &p) { p.SetStopString("E"); }, false },
        { "include strings", [](TComDataPacket &p) { p.SetIncludeStrings(true); }, false },
        { "buffer limit", [](TComDataPacket &p) { p.SetMaxBufferSize(2000); }, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Assembler a;
        a.packet.SetStopString("E");
        a.packet.AppendReceived("held");
        ASSERT_TRUE(a.packet.InPacket());
        c.change(a.packet);
        if (c.flushes) {
            EXPECT_EQ(a.log, QByteArrayList { "discard held" });
            EXPECT_TRUE(a.packet.Buffer().isEmpty());
            EXPECT_FALSE(a.packet.InPacket());
        } else {
            EXPECT_TRUE(a.log.isEmpty());
            EXPECT_EQ(a.packet.Buffer(), "held");
        }
    }
}

TEST(ComDataPacketTest, CustomStartAndStop)
{
    Assembler a;
    // Packets start at a digit and are three characters long.
    a.packet.OnCustomStart = [](QObject *, const QByteArray &s, int &pos) {
        for (int i = 0; i < s.size(); ++i) {
            if (s[i] >= '0' && s[i] <= '9') {
                pos = i + 1;
                return;
            }
        }
        pos = 0;
    };
    a.packet.OnCustomStop = [](QObject *, const QByteArray &s, int &pos) {
        if (s.size() >= 3)
            pos = 3;
        else
            pos = 0;
    };
    a.packet.AppendReceived("ab12");
    a.packet.AppendReceived("3cd45");
    EXPECT_EQ(a.log, QByteArrayList({ "discard ab", "packet 123", "discard cd" }));
    EXPECT_EQ(a.packet.Buffer(), "45");

    // A stop position past the end ends the packet at the end, once.
    Assembler b;
    b.packet.OnCustomStop = [](QObject *, const QByteArray &, int &pos) {
        pos = 50;
    };
    b.packet.AppendReceived("xy");
    EXPECT_EQ(b.log, QByteArrayList { "packet xy" });
    EXPECT_TRUE(b.packet.Buffer().isEmpty());
}

TEST(ComDataPacketTest, AFailingHandlerStillBoundsTheBuffer)
{
    Assembler a;
    a.packet.SetStopString("E");
    a.packet.SetMaxBufferSize(4);
    a.packet.OnPacket = [&](QObject *, const QByteArray &s) {
        a.log << "packet " + s;
        throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(a.packet.AppendReceived("aEbcdefg"), std::runtime_error);
    EXPECT_EQ(a.log, QByteArrayList({ "packet a", "discard bcdefg" }));
    EXPECT_TRUE(a.packet.Buffer().isEmpty());

    // A failing discard handler still empties the buffer.
    Assembler b;
    b.packet.SetStopString("E");
    b.packet.AppendReceived("kept");
    b.packet.OnDiscard = [](QObject *, const QByteArray &) {
        throw std::runtime_error("no");
    };
    EXPECT_THROW(b.packet.FlushBuffer(), std::runtime_error);
    EXPECT_TRUE(b.packet.Buffer().isEmpty());
    EXPECT_FALSE(b.packet.InPacket());
}

TEST(ComDataPacketTest, FollowsItsPort)
{
    auto port = std::make_unique<TComPort>();
    TComDataPacket packet;
    EXPECT_EQ(packet.ComPort(), nullptr);
    packet.SetComPort(port.get());
    EXPECT_EQ(packet.ComPort(), port.get());
    EXPECT_TRUE(port->HasLink());
    {
        TComDataPacket second;
        second.SetComPort(port.get());
    } // detaches itself when destroyed
    TComPort other;
    packet.SetComPort(&other);
    EXPECT_FALSE(port->HasLink());
    EXPECT_TRUE(other.HasLink());
    packet.SetComPort(port.get());
    port.reset(); // the port goes first: the assembler lets go of it
    EXPECT_EQ(packet.ComPort(), nullptr);
}
