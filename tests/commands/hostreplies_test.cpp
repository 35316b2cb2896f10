// Replies that are cut short, over-long, miss frames or hold garbage fail
// with the query's name and what was wrong; none is half decoded.
#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "core/exceptions.h"

#include <gtest/gtest.h>

namespace {

QString Failure(const std::function<void()> &parse)
{
    try {
        parse();
    } catch (const ETarvolinError &e) {
        return e.Message();
    }
    return QStringLiteral("(parsed)");
}

const QByteArray S1 = "\x02"
                      "030,1,0,0414,002,0,0,1,000,0,0,1\x03\r\n";
const QByteArray S2 = "\x02"
                      "001,0,1,1,1,3,6,1,00000042,1,007\x03\r\n";
const QByteArray S3 = "\x02"
                      "1234,1\x03\r\n";

TEST(HostStatusReply, EveryFieldIsDecoded)
{
    const HostStatus s = ParseHostStatus(S1 + S2 + S3);
    EXPECT_TRUE(s.paperOut);
    EXPECT_FALSE(s.paused);
    EXPECT_EQ(s.formatsInBuffer, 2);
    EXPECT_TRUE(s.partialFormat);
    EXPECT_TRUE(s.overTemperature);
    EXPECT_TRUE(s.headOpen);
    EXPECT_TRUE(s.RibbonOutMatters());
    EXPECT_EQ(s.printMode, QLatin1Char('3'));
    EXPECT_TRUE(s.labelWaiting);
    EXPECT_EQ(s.labelsRemaining, 42);
    EXPECT_EQ(s.graphicsStored, 7);
    EXPECT_TRUE(s.staticRam);
    EXPECT_TRUE(s.AnyError());
    // Ribbon out on a direct-thermal printer is no fault.
    QByteArray direct = S2;
    direct.replace("1,1,1,3", "0,1,0,3");
    const HostStatus d
        = ParseHostStatus(S1.left(3) + "0,0,0,0414,000,0,0,0,000,0,0,0\x03" + direct + S3);
    EXPECT_TRUE(d.ribbonOut);
    EXPECT_FALSE(d.AnyError());
}

TEST(HostStatusReply, BrokenRepliesAreRefusedWithWhatWasWrong)
{
    const struct
    {
        QByteArray reply;
        const char *failure;
    } cases[] = {
        { S1 + S2, "Host status: 2 of 3 strings" },
        { S1 + S2.left(20), "Host status: frame 2 is cut short (no ETX)" },
        { QByteArray(), "Host status: 0 of 3 strings" },
        { "garbage" + S1 + S2 + S3, "Host status: the reply does not begin with STX" },
        { S1 + "xx" + S2 + S3, "Host status: unexpected bytes after frame 1" },
        { S1 + S2 + S3 + S3, "Host status: 4 of 3 strings" },
        { QByteArray(S1).replace("0414", "04x4") + S2 + S3,
          "Host status: field 4 of string 1 (label length) is not a number: '04x4'" },
        { QByteArray(S1).replace(",002,", ",") + S2 + S3,
          "Host status: string 1 has 11 fields, not 12" },
        { QByteArray(S1).replace("030,1,", "030,7,") + S2 + S3,
          "Host status: field 2 of string 1 (paper out) is not 0 or 1: 7" },
        { S1 + QByteArray(S2).replace(",3,6,", ",-,6,") + S3,
          "Host status: field 6 of string 2 (print mode) is not a code: '-'" },
        { S1.left(10) + S2 + S3, "Host status: frame 1 is cut short (STX before its ETX)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(Failure([&] { ParseHostStatus(c.reply); }), QLatin1String(c.failure));
    }
}

TEST(IdentificationReply, BrokenRepliesAreRefused)
{
    const struct
    {
        QByteArray reply;
        const char *failure;
    } cases[] = {
        { "\x02"
          "AT230,V72,8\x03",
          "Identification: 3 fields, not 4 or 5" },
        { "\x02"
          "AT230,V72,eight,4096KB\x03",
          "Identification: dots per mm is not a number: 'eight'" },
        { "\x02"
          "AT230,V72,8,lots\x03",
          "Identification: memory is not a size in KB: 'lots'" },
        { "\x02"
          "AT230,V72,8,4096KB",
          "Identification: frame 1 is cut short (no ETX)" },
        { "\x02"
          ",V72,8,4096KB\x03",
          "Identification: no model" },
        { "\x02"
          "A,V,8,1KB\x03\x02"
          "B,V,8,1KB\x03",
          "Identification: 2 frames, not one" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(Failure([&] { ParseIdentification(c.reply); }), QLatin1String(c.failure));
    }
}

TEST(ConfigurationReply, LinesAndBrokenReplies)
{
    const QByteArray good = "\x02  +12.0               DARKNESS          \r\n"
                            "  A VALUE OF 20 CHARS!NAME AFTER IT      \r\n"
                            "  46A000000000                          \r\n"
                            "\x03";
    EXPECT_EQ(ParseConfiguration(good),
              (QList<ConfigSetting> { { "DARKNESS", "+12.0" },
                                      { "NAME AFTER IT", "A VALUE OF 20 CHARS!" } }));
    const struct
    {
        QByteArray reply;
        const char *failure;
    } cases[] = {
        { good.left(good.size() - 1), "Configuration: frame 1 is cut short (no ETX)" },
        { "\x02\x03", "Configuration: no settings in the reply" },
        { "\x02  +12.0  \x01            DARKNESS\x03",
          "Configuration: line 1 holds bytes that are not text" },
        { "\x02  " + QByteArray(100, 'x') + "\x03",
          "Configuration: line 1 is longer than a setting line (102 characters)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        EXPECT_EQ(Failure([&] { ParseConfiguration(c.reply); }), QLatin1String(c.failure));
    }
}

TEST(ConfigurationReply, PanelValuesOutsideThePanelsRangeAreLeftOut)
{
    const QList<ConfigSetting> settings {
        { "PRINT SPEED", "8.0 IPS" },   { "DARKNESS", "+31.0" }, { "PRINT MODE", "CUTTER" },
        { "MEDIA TYPE", "CONTINUOUS" }, { "LABEL TOP", "-120" }, { "RESOLUTION", " 832 8/MM FULL" },
    };
    EXPECT_EQ(PanelSettings(settings),
              (QList<QPair<QString, QString>> { { "resolution", "203dpi" },
                                                { "media-sensor", "Continuous" },
                                                { "top", "-15" } }));
}

TEST(ConfigurationReply, PanelValuesInEveryFormPrintersWrite)
{
    using Panel = QList<QPair<QString, QString>>;
    const struct
    {
        const char *name;
        const char *value;
        Panel panel;
    } cases[] = {
        { "RESOLUTION", " 832 8/MM FULL", { { "resolution", "203dpi" } } },
        { "RESOLUTION", "1248 12/MM FULL", { { "resolution", "300dpi" } } },
        { "RESOLUTION", "/MM FULL 12/MM", { { "resolution", "300dpi" } } },
        { "RESOLUTION", "1248 08/MM FULL", {} },
        { "RESOLUTION", "2400 24/MM FULL", {} },
        { "RESOLUTION", "8 / MM", {} },
        { "PRINT SPEED", "4 IPS", { { "speed", "4" } } },
        { "PRINT SPEED", "5.00 IPS", { { "speed", "5" } } },
        { "PRINT SPEED", "4.5 IPS", {} },
        { "PRINT SPEED", "4. IPS", {} },
        { "PRINT SPEED", "4.0IPS", {} },
        { "PRINT SPEED", "1.0 IPS", {} },
        { "DARKNESS", "+15.0", { { "density", "15" } } },
        { "DARKNESS", "030", { { "density", "30" } } },
        { "DARKNESS", "+15.5", {} },
        { "DARKNESS", "-5.0", {} },
        { "DARKNESS", "++5", {} },
        { "DARKNESS", "+", {} },
        { "PRINT WIDTH", "104 4/8 MM", { { "width", "104.5" } } },
        { "PRINT WIDTH", "104 8/8 MM", {} },
        { "PRINT WIDTH", "104  0/8 MM", {} },
        { "PRINT WIDTH", "+609", { { "width", "76.125" } } },
        { "PRINT WIDTH", "-8", {} },
        { "PRINT  WIDTH", "832", { { "width", "104" } } },
        { "LABEL LENGTH", "1216", { { "height", "152" } } },
        { "LABEL LENGTH", "12a", {} },
        { "LEFT POSITION", "+0000", { { "shift", "0" } } },
        { "LEFT POSITION", "-016", { { "shift", "-2" } } },
        { "LABEL TOP", "+-1", {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.value);
        EXPECT_EQ(PanelSettings({ { c.name, c.value } }), c.panel);
    }
}

} // namespace
