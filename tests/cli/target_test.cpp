// Printer URIs and targets files: what each names, and the message for each
// malformed one.
#include "cli/target.h"
#include "cli/usageerror.h"
#include "support/qtprint.h"
#include "support/tempfile.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using Kind = CliTarget::Kind;

struct Good
{
    const char *uri;
    Kind kind;
    const char *where; // host, device or queue
    int port;
    quint32 baud;
};

TEST(CliTargetUri, NamesItsInterfaceAndSettings)
{
    const Good cases[] = {
        { "tcp://10.0.0.7", Kind::Tcp, "10.0.0.7", 9100, 9600 },
        { "tcp://10.0.0.7:6101/", Kind::Tcp, "10.0.0.7", 6101, 9600 },
        { "TCP://label-printer.example:9100", Kind::Tcp, "label-printer.example", 9100, 9600 },
        { "com:///dev/ttyUSB0?baud=19200", Kind::Com, "/dev/ttyUSB0", 9100, 19200 },
        { "com://COM2", Kind::Com, "COM2", 9100, 9600 },
        { "com://ttyACM0?baud=115200", Kind::Com, "ttyACM0", 9100, 115200 },
        { "lpt:///dev/usb/lp0", Kind::Lpt, "/dev/usb/lp0", 9100, 9600 },
        { "lpt://LPT1", Kind::Lpt, "LPT1", 9100, 9600 },
        { "cups://labels/draft", Kind::Cups, "labels/draft", 9100, 9600 },
        { "file:///tmp/out%20one.prn", Kind::File, "/tmp/out one.prn", 9100, 9600 },
    };
    for (const Good &c : cases) {
        SCOPED_TRACE(c.uri);
        const CliTarget t = ParseTargetUri(QString::fromLatin1(c.uri));
        EXPECT_EQ(t.kind, c.kind);
        EXPECT_EQ(t.uri, QString::fromLatin1(c.uri));
        const QString where = c.kind == Kind::Tcp ? t.host
            : c.kind == Kind::Cups                ? t.queue
                                                  : t.device;
        EXPECT_EQ(where, QString::fromLatin1(c.where));
        EXPECT_EQ(t.port, c.port);
        EXPECT_EQ(t.baudRate, c.baud);
    }
}

TEST(CliTargetUri, MalformedOnesAreNamedWithTheReason)
{
    const std::pair<const char *, const char *> cases[] = {
        { "10.0.0.7", "10.0.0.7: not a target URI" },
        { "ftp://x", "ftp://x: unknown kind of target 'ftp'" },
        { "tcp://", "tcp://: no host given" },
        { "tcp://10.0.0.256", "tcp://10.0.0.256: '10.0.0.256' is not an IPv4 address" },
        { "tcp://bad_name", "tcp://bad_name: 'bad_name' is not a host name or IPv4 address" },
        { "tcp://host:0", "tcp://host:0: '0' is not a port number (1 to 65535)" },
        { "tcp://host:65536", "tcp://host:65536: '65536' is not a port number (1 to 65535)" },
        { "tcp://host:", "tcp://host:: '' is not a port number (1 to 65535)" },
        { "tcp://host/queue",
          "tcp://host/queue: a network printer is named by host and port only" },
        { "tcp://[::1]:9100", "tcp://[::1]:9100: IPv6 addresses are not supported" },
        { "tcp://host?x=1", "tcp://host?x=1: this kind of target takes no parameters" },
        { "com://", "com://: no serial port given" },
        { "com:///dev/ttyS0?baud=1234", "com:///dev/ttyS0?baud=1234: '1234' is not a baud rate" },
        { "com:///dev/ttyS0?baud=", "com:///dev/ttyS0?baud=: '' is not a baud rate" },
        { "com:///dev/ttyS0?parity=none",
          "unknown parameter 'parity' (a serial port takes baud=)" },
        { "lpt://", "lpt://: no device given" },
        { "cups://", "cups://: no printer queue given" },
        { "file://out.prn", "file://out.prn: a file target needs an absolute path (file:///path)" },
        { "file:///tmp/", "file:///tmp/: names a directory, not a file" },
    };
    for (const auto &[uri, message] : cases) {
        SCOPED_TRACE(uri);
        try {
            ParseTargetUri(QString::fromLatin1(uri));
            ADD_FAILURE() << "accepted";
        } catch (const EUsageError &e) {
            EXPECT_TRUE(e.Message().contains(QString::fromLatin1(message)))
                << e.Message().toStdString();
        }
    }
}

TEST(CliTargetUri, TargetsOnOnePortShareAKey)
{
    auto key = [](const char *uri) {
        return ParseTargetUri(QString::fromLatin1(uri)).ExclusiveKey();
    };
    EXPECT_EQ(key("com://COM1"), key("com:///dev/ttyS0?baud=19200"));
    EXPECT_EQ(key("lpt://LPT2"), key("lpt:///dev/lp1"));
    EXPECT_EQ(key("tcp://10.0.0.7"), key("tcp://10.0.0.7:9100"));
    EXPECT_EQ(key("cups://labels"), key("cups://labels/draft"));
    EXPECT_NE(key("tcp://10.0.0.7"), key("tcp://10.0.0.7:9101"));
    EXPECT_NE(key("com://COM1"), key("com://COM2"));
}

TEST(CliTargetsFile, SkipsCommentsAndNamesTheBadLine)
{
    QTemporaryDir dir;
    const QString good = WriteTempFile(dir, QStringLiteral("fleet.txt"),
                                       "# hall 3\n"
                                       "tcp://10.0.0.7   # by the door\n"
                                       "\n"
                                       "   com://COM1?baud=38400\n"
                                       "file:///tmp/x#1\n");
    const QList<CliTarget> targets = ReadTargetsFile(good);
    ASSERT_EQ(targets.size(), 3);
    EXPECT_EQ(targets[0].uri, QStringLiteral("tcp://10.0.0.7"));
    EXPECT_EQ(targets[1].baudRate, 38400);
    // A "#" inside a URI is part of it.
    EXPECT_EQ(targets[2].device, QStringLiteral("/tmp/x#1"));

    const QString bad
        = WriteTempFile(dir, QStringLiteral("bad.txt"), "tcp://10.0.0.7\n\ntcp://10.0.0.999\n");
    try {
        ReadTargetsFile(bad);
        ADD_FAILURE() << "accepted";
    } catch (const EUsageError &e) {
        EXPECT_EQ(
            e.Message(),
            bad + QStringLiteral(":3: tcp://10.0.0.999: '10.0.0.999' is not an IPv4 address"));
    }
    EXPECT_THROW(ReadTargetsFile(dir.filePath(QStringLiteral("missing.txt"))), EUsageError);
}

} // namespace
