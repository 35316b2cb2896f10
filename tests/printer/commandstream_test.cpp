// The virtual printer's command splitter: what it finds in a byte stream,
// byte for byte, whether the bytes come whole or one at a time.
#include "printer/commandstream.h"
#include "support/qtprint.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

// Records every event as one line of text.
class Recorder : public CommandSink
{
public:
    QStringList events;
    bool dump = false;
    bool refuse = false; // refuse every download

    void OnFormat(const QByteArray &format) override { events << "format " + Text(format); }
    void OnTilde(const QByteArray &name, const QByteArray &params) override
    {
        events << "~" + Text(name) + " " + Text(params);
        if (name == "JD")
            dump = true;
        if (name == "JE")
            dump = false;
    }
    bool OnDownloadStart(const DownloadHeader &h) override
    {
        events << QStringLiteral("download %1 %2 %3")
                      .arg(h.Describe())
                      .arg(h.size)
                      .arg(h.hex ? "hex" : "binary");
        return !refuse;
    }
    void OnDownloadEnd(const DownloadHeader &, QByteArray data) override
    {
        events << "stored " + QString::fromLatin1(data.toHex().toUpper());
    }
    void OnStatusQuery() override { events << "status"; }
    void OnReset() override { events << "reset"; }
    void OnNewAddress(const std::array<quint8, 4> &o) override
    {
        events << QStringLiteral("IP %1.%2.%3.%4").arg(o[0]).arg(o[1]).arg(o[2]).arg(o[3]);
    }
    void OnNewEthernetId(const std::array<quint8, 6> &id) override
    {
        events
            << "ID "
                + QString::fromLatin1(
                    QByteArray(reinterpret_cast<const char *>(id.data()), 6).toHex(' ').toUpper());
    }
    void OnLine(const QByteArray &line) override { events << "line " + Text(line); }
    bool InDumpMode() const override { return dump; }
    void OnDump(QByteArrayView bytes) override
    {
        if (!events.isEmpty() && events.last().startsWith("dump "))
            events.last() += Text(bytes.toByteArray());
        else
            events << "dump " + Text(bytes.toByteArray());
    }
    void OnError(const QString &) override { events << "error"; }

    static QString Text(const QByteArray &b) { return ShownBytes(b, 1 << 20); }
};

QStringList Whole(const QByteArray &input, bool refuse = false)
{
    Recorder r;
    r.refuse = refuse;
    CommandStream s(r);
    s.Feed(input);
    s.EndOfInput();
    return r.events;
}

QStringList ByteByByte(const QByteArray &input, bool refuse = false)
{
    Recorder r;
    r.refuse = refuse;
    CommandStream s(r);
    for (char c : input)
        s.Feed(QByteArrayView(&c, 1));
    s.EndOfInput();
    return r.events;
}

QByteArray Network(const char *name, std::initializer_list<int> bytes)
{
    QByteArray b("\x1F\x1B\x1F\x91\x00", 5);
    b += name;
    for (int v : bytes)
        b += char(v);
    return b;
}

struct Case
{
    const char *what;
    QByteArray input;
    QStringList events;
};

} // namespace

TEST(CommandStream, FindsEachCommandWholeOrByteByByte)
{
    const QByteArray longName(10 * 1024, 'N');
    const Case cases[] = {
        { "status query", "\x1B!?", { "status" } },
        { "reset", "\x1B!,R\r\n", { "reset" } },
        { "format", "^XA^FO1,1^FDx^FS^XZ", { "format ^XA^FO1,1^FDx^FS^XZ" } },
        { "lower-case frame", "^xa^FDx^xz", { "format ^xa^FDx^xz" } },
        { "tilde command inside a format is taken out",
          "^XA\r\n^PR3,\r\n~SD15\r\n^PW608^XZ",
          { "~SD 15", "format ^XA<0D><0A>^PR3,<0D><0A><0D><0A>^PW608^XZ" } },
        { "text that looks like a tilde command stays",
          "^XA^FDa~b^FS^XZ",
          { "format ^XA^FDa~b^FS^XZ" } },
        { "test page", "^XA~WC\r\n^XZ", { "~WC ", "format ^XA<0D><0A>^XZ" } },
        { "font download",
          "~DUE:DEMO,3,\r\n007FFF\r\n",
          { "download ~DU E:DEMO.FNT 3 hex", "stored 007FFF" } },
        { "lower-case hex, no device",
          "~DUDEMO,2,\r\nabcd\r\n",
          { "download ~DU R:DEMO.FNT 2 hex", "stored ABCD" } },
        { "font without a name",
          "~DUE:,1,\r\n41\r\n",
          { "download ~DU E:UNKNOWN.FNT 1 hex", "stored 41" } },
        { "empty font", "~DUE:EMPTY,0,\r\n\r\n", { "download ~DU E:EMPTY.FNT 0 hex", "stored " } },
        { "graphic", "~DGR:LOGO.GRF,2,1,FF00", { "download ~DG R:LOGO.GRF 2 hex", "stored FF00" } },
        { "binary download with 00, ^ and ~ in the data",
          QByteArray("~DYE:LOGO,B,G,4,1,\x00^~\x1B\x1B!?", 25),
          { "download ~DY E:LOGO.GRF 4 binary", "stored 005E7E1B", "status" } },
        { "hexadecimal ~DY",
          "~DYB:F,A,T,2,,ABCD",
          { "download ~DY B:F.TTF 2 hex", "stored ABCD" } },
        { "download inside a format",
          "^XA~DGR:G.GRF,1,1,FF^FDx^XZ",
          { "download ~DG R:G.GRF 1 hex", "stored FF", "format ^XA^FDx^XZ" } },
        { "file list and free memory", "~!F\r\nCLS\r\n~!A\r\n", { "~!F ", "line CLS", "~!A " } },
        { "format commands",
          "KILL \"*\"\r\nKILL F,\"*\"\r\n",
          { "line KILL \"*\"", "line KILL F,\"*\"" } },
        { "dump mode",
          "^XA\r\n~JD\r\n^XZ\r\n~WC~JE\x1B!?",
          { "~JD ", "dump <0D><0A>^XZ<0D><0A>~WC", "~JE ", "status" } },
        // Faults: reported, and the stream goes on with the next command.
        { "garbage", "\x01\x02\x03\x1B!?", { "error", "status" } },
        { "caret command outside a format", "^FO10,10\r\n\x1B!?", { "error", "status" } },
        { "odd-length hex",
          "~DUE:X,3,\r\n007FF\r\n~!F\r\n",
          { "download ~DU E:X.FNT 3 hex", "error", "~!F " } },
        { "hex that is not hex",
          "~DUE:X,2,\r\n0G01\r\n\x1B!?",
          { "download ~DU E:X.FNT 2 hex", "error", "line G01", "status" } },
        { "a name of 10 kB",
          "~DUE:" + longName + ",3,\r\n007FFF\r\n\x1B!?",
          { "error", "error", "error", "status" } },
        { "size that is no number", "~DUE:X,many,\r\n\x1B!?", { "error", "status" } },
        { "unknown memory device", "~DUQ:X,1,\r\n41\r\n\x1B!?", { "error", "status" } },
        { "format without ^XZ", "^XA^FDa^FS^XA^FDb^FS^XZ", { "error", "format ^XA^FDb^FS^XZ" } },
        { "format cut short", "^XA^FDabc", { "error" } },
        { "download cut short", "~DUE:X,3,\r\n00", { "download ~DU E:X.FNT 3 hex", "error" } },
        { "escape cut short", "\x1B!", { "error" } },
        { "unknown escape", "\x1BXY\x1B!?", { "error", "line Y", "status" } },
        { "network prefix that goes wrong", "\x1F\x1B\x20\x1B!?", { "error", "status" } },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Whole(c.input), c.events) << c.what;
        EXPECT_EQ(ByteByByte(c.input), c.events) << c.what << " (byte by byte)";
    }
}

TEST(CommandStream, RefusedDownloadIsSkippedUnstored)
{
    for (const QByteArray &input : { QByteArray("~DUE:BIG,3,\r\n007FFF\r\n\x1B!?"),
                                     QByteArray("~DYE:B,B,G,3,,\x01\x02\x03\x1B!?") }) {
        const QStringList events = Whole(input, true);
        ASSERT_EQ(events.size(), 2) << events.join("|").toStdString();
        EXPECT_EQ(events.last(), "status");
        EXPECT_EQ(ByteByByte(input, true), events);
    }
}

TEST(CommandStream, NewAddressDecodesEveryDoubling)
{
    // The program's escaping, byte for byte, and back.
    const struct
    {
        std::initializer_list<int> bytes;
        const char *address;
    } cases[] = {
        { { 0xC0, 0xA8, 0x7B, 0xC8 }, "192.168.123.200" },
        { { 0x10, 0x14, 0x05, 0x05, 0x09 }, "16.20.5.9" },
        { { 0x0A, 0x10, 0x14, 0x09, 0x09 }, "10.16.20.9" },
        { { 0x0A, 0x09, 0x10, 0x14, 0x14 }, "10.9.16.20" },
        { { 0x10, 0x14, 0x10, 0x10, 0x14, 0x14 }, "16.20.16.20" },
        { { 0x10, 0x14, 0x14, 0x14, 0x09 }, "16.20.20.9" },
        { { 0x0A, 0x00, 0x00, 0x13 }, "10.0.0.19" }, // Xoff's byte is data here
    };
    for (const auto &c : cases) {
        const QByteArray input = Network("IP", c.bytes) + "\x1B!?";
        const QStringList expected { QStringLiteral("IP ") + c.address, "status" };
        EXPECT_EQ(Whole(input), expected) << c.address;
        EXPECT_EQ(ByteByByte(input), expected) << c.address;
    }
    // A doubled byte that is not the same byte: no address.
    EXPECT_EQ(Whole(Network("IP", { 0x10, 0x14, 0x05, 0x06, 0x09 })).first(), "error");
}

TEST(CommandStream, NewEthernetIdDecodesEveryLayout)
{
    const struct
    {
        std::initializer_list<int> bytes; // after "ID"
        const char *id;
        const char *then; // what follows the command
    } cases[] = {
        { { 0, 0x4B, 0x56, 0x14, 0x1E, 0x28 }, "00 4B 56 14 1E 28", "\x1B!?" },
        { { 0, 0x4B, 0x56, 0x10, 0x10, 0x14, 0x1E, 0x1E }, "00 4B 56 10 14 1E", "\x1B!?" },
        { { 0, 0x4B, 0x56, 0x0E, 0x10, 0x14, 0x14 }, "00 4B 56 0E 10 14", "\x1B!?" },
        // 16, 16, 20 and 16, 20, 20 begin alike; what follows tells them apart.
        { { 0, 0x4B, 0x56, 0x10, 0x10, 0x14, 0x14 }, "00 4B 56 10 10 14", "\x1B!?" },
        { { 0, 0x4B, 0x56, 0x10, 0x10, 0x14, 0x14, 0x14 }, "00 4B 56 10 14 14", "\x1B!?" },
        { { 0, 0x4B, 0x56, 0x10, 0x10, 0x14, 0x14 }, "00 4B 56 10 10 14", "" },
    };
    for (const auto &c : cases) {
        const QByteArray input = Network("ID", c.bytes) + c.then;
        QStringList expected { QStringLiteral("ID ") + c.id };
        if (*c.then)
            expected << "status";
        EXPECT_EQ(Whole(input), expected) << c.id;
        EXPECT_EQ(ByteByByte(input), expected) << c.id;
    }
}

TEST(CommandStream, OversizedFormatIsDroppedWithoutKeepingIt)
{
    QByteArray input
        = "^XA^FD" + QByteArray(CommandStream::MaxFormatBytes + 10, 'x') + "^FS^XZ\x1B!?";
    Recorder r;
    CommandStream s(r);
    for (qsizetype at = 0; at < input.size(); at += 1 << 20)
        s.Feed(QByteArrayView(input).sliced(at, std::min<qsizetype>(1 << 20, input.size() - at)));
    EXPECT_EQ(r.events, QStringList({ "error", "status" }));
    EXPECT_FALSE(s.InCommand());
}

TEST(CommandStream, HonoursChangedPrefixes)
{
    const Case cases[] = {
        { "new format prefix",
          "~CC+\r\n+XA+FO1,1+FDa^b+FS+XZ",
          { "format +XA+FO1,1+FDa^b+FS+XZ" } },
        { "caret form outside a format", "^CC!!XA!FDx!XZ^XA", { "format !XA!FDx!XZ", "error" } },
        { "new control prefix", "~CT#\r\n#SD15\r\n~SD3", { "~SD 15", "error" } },
        { "changed inside a format, kept in it for the interpreter",
          "^XA^CC%%FDa^b%XZ",
          { "format ^XA^CC%%FDa^b%XZ" } },
        { "control prefix changed inside a format",
          "^XA~CT#^FDa~b#SD9^XZ",
          { "~SD 9", "format ^XA~CT#^FDa~b^XZ" } },
        { "a letter cannot be a prefix", "~CCA^XA^XZ", { "error", "format ^XA^XZ" } },
        { "nor the other prefix", "~CT^^XA^XZ", { "error", "format ^XA^XZ" } },
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Whole(c.input), c.events) << c.what;
        EXPECT_EQ(ByteByByte(c.input), c.events) << c.what << " (byte by byte)";
    }
}

TEST(CommandStream, ReportsThePrefixesAFormatBeganWith)
{
    struct Prefixes : Recorder
    {
        CommandStream *stream = nullptr;
        QList<QByteArray> seen;
        void OnFormat(const QByteArray &format) override
        {
            const CommandPrefixes p = stream->FormatPrefixes();
            seen << QByteArray(1, p.format) + p.control + format;
        }
    } r;
    CommandStream s(r);
    r.stream = &s;
    s.Feed("^XA^CC+^FDx+XZ+XA+CT#+XZ#CC^^XA^XZ");
    s.EndOfInput();
    EXPECT_EQ(r.seen, (QList<QByteArray> { "^~^XA^CC+^FDx+XZ", "+~+XA+CT#+XZ", "^#^XA^XZ" }));
}
