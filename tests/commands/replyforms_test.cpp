// Replies in the forms different printers and firmware write them, composed
// here so that a clone of the repository alone checks every reply parser:
// host status of direct-thermal and ribbon printers, identifications framed
// and bare, configuration dumps of old and new firmware, replies without
// frames.
#include "commands/configdump.h"
#include "commands/hostreplies.h"

#include <gtest/gtest.h>

namespace {

QByteArray Framed(const QByteArray &text)
{
    return '\x02' + text + "\x03\r\n";
}

QByteArray HostStatusReply(const QByteArray &one, const QByteArray &two, const QByteArray &three)
{
    return Framed(one) + Framed(two) + Framed(three);
}

TEST(ReplyForms, HostStatusOfDirectThermalAndRibbonPrinters)
{
    const struct
    {
        const char *what;
        QByteArray reply;
        int interfaceSettings, labelLength, printWidthMode, graphics;
        bool thermalTransfer, paperOut, paused, headOpen, ribbonOut, error;
    } cases[] = {
        // A direct-thermal printer reports ribbon out; that is no fault.
        { "direct thermal, ready",
          HostStatusReply("030,0,0,0346,000,0,0,0,000,0,0,0", "000,0,0,1,0,2,4,0,00000000,1,012",
                          "1234,0"),
          30, 346, 4, 12, false, false, false, false, true, false },
        { "ribbon printer, ready",
          HostStatusReply("030,0,0,0414,000,0,0,0,000,0,0,0", "001,0,0,0,1,2,6,0,00000000,1,000",
                          "0000,0"),
          30, 414, 6, 0, true, false, false, false, false, false },
        { "paused with the head up",
          HostStatusReply("030,0,1,0414,000,0,0,0,000,0,0,0", "001,0,1,0,1,2,6,0,00000000,1,000",
                          "0000,0"),
          30, 414, 6, 0, true, false, true, true, false, true },
        { "out of paper",
          HostStatusReply("030,1,0,0414,000,0,0,0,000,0,0,0", "001,0,0,0,1,2,6,0,00000000,1,000",
                          "0000,0"),
          30, 414, 6, 0, true, true, false, false, false, true },
        { "ribbon out on a ribbon printer",
          HostStatusReply("014,0,0,0633,000,0,0,0,000,0,0,0", "001,0,0,1,1,2,6,0,00000000,1,000",
                          "1234,0"),
          14, 633, 6, 0, true, false, false, false, true, true },
        // Newer firmware: a wider interface field, replies without the final line break.
        { "newer firmware",
          QByteArray("\x02"
                     "287,0,0,0178,000,0,0,0,000,0,0,0\x03\r\n"
                     "\x02"
                     "001,0,0,0,1,2,3,0,00000000,1,000\x03\r\n"
                     "\x02"
                     "1234,0\x03"),
          287, 178, 3, 0, true, false, false, false, false, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const HostStatus s = ParseHostStatus(c.reply);
        EXPECT_EQ(s.interfaceSettings, c.interfaceSettings);
        EXPECT_EQ(s.labelLengthDots, c.labelLength);
        EXPECT_EQ(s.printWidthMode, c.printWidthMode);
        EXPECT_EQ(s.graphicsStored, c.graphics);
        EXPECT_EQ(s.thermalTransfer, c.thermalTransfer);
        EXPECT_EQ(s.functionSettings, c.thermalTransfer ? 1 : 0);
        EXPECT_EQ(s.printMode, QLatin1Char('2'));
        EXPECT_EQ(s.paperOut, c.paperOut);
        EXPECT_EQ(s.paused, c.paused);
        EXPECT_EQ(s.headOpen, c.headOpen);
        EXPECT_EQ(s.ribbonOut, c.ribbonOut);
        EXPECT_EQ(s.AnyError(), c.error);
        EXPECT_EQ(s.labelsRemaining, 0);
    }
}

TEST(ReplyForms, IdentificationsFramedBareAndPadded)
{
    const struct
    {
        QByteArray reply;
        Identification id;
    } cases[] = {
        { Framed("VT210-200dpi,V70.11.2A,8,4096KB"), { "VT210-200dpi", "V70.11.2A", 8, 4096, "" } },
        { Framed("VT410-300dpi,V90.1.3A,12,8176KB,CUTTER DETECTED"),
          { "VT410-300dpi", "V90.1.3A", 12, 8176, "CUTTER DETECTED" } },
        // Older models pad the firmware and leave the resolution out of the model.
        { Framed("VT2800-A,V40.10.1A   ,8,8192KB"), { "VT2800-A", "V40.10.1A", 8, 8192, "" } },
        // A model name with blanks and parentheses, a firmware without a V.
        { Framed("VT 500 (LBL)-200dpi,ASP-001234B,8,2104KB"),
          { "VT 500 (LBL)-200dpi", "ASP-001234B", 8, 2104, "" } },
        // Some printers answer without frames, as a line of text.
        { "VT420t-200dpi,V60.1.1A,8,2104KB\r\n", { "VT420t-200dpi", "V60.1.1A", 8, 2104, "" } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        EXPECT_EQ(ParseIdentification(c.reply), c.id);
    }
}

// A configuration line: the value in a column of 20, then the name.
QByteArray ConfigLine(const QByteArray &value, const QByteArray &name)
{
    return "  " + value.leftJustified(20, ' ') + name + "\r\n";
}

TEST(ReplyForms, ConfigurationDumpsOfOldAndNewFirmware)
{
    // New firmware: repeated names (the counters), a value beginning with a
    // blank, names with a double blank.
    const QByteArray newer = '\x02' + ConfigLine("10", "LCD CONTRAST")
        + ConfigLine("+17.0", "DARKNESS") + ConfigLine("2 IPS", "PRINT SPEED")
        + ConfigLine("NON-CONTINUOUS", "MEDIA TYPE") + ConfigLine("WEB", "SENSOR TYPE")
        + ConfigLine("DIRECT-THERMAL", "PRINT METHOD") + ConfigLine("TEAR OFF", "PRINT MODE")
        + ConfigLine("609", "PRINT WIDTH") + ConfigLine("0346", "LABEL LENGTH")
        + ConfigLine(" 832 8/MM FULL", "RESOLUTION") + ConfigLine("12,345 LABELS", "NONRESET CNTR")
        + ConfigLine("3,086 IN", "NONRESET CNTR") + ConfigLine("7,838 CM", "NONRESET CNTR")
        + ConfigLine("+000", "LABEL TOP") + ConfigLine("+0000", "LEFT POSITION") + "\x03";
    const QList<ConfigSetting> n = ParseConfiguration(newer);
    EXPECT_EQ(n.first(), (ConfigSetting { "LCD CONTRAST", "10" }));
    EXPECT_TRUE(n.contains(ConfigSetting { "RESOLUTION", " 832 8/MM FULL" }));
    EXPECT_EQ(std::count_if(n.begin(), n.end(),
                            [](const ConfigSetting &s) { return s.name == "NONRESET CNTR"; }),
              3);
    EXPECT_EQ(PanelSettings(n),
              (QList<QPair<QString, QString>> { { "resolution", "203dpi" },
                                                { "speed", "2" },
                                                { "density", "17" },
                                                { "width", "76.125" },
                                                { "height", "43.25" },
                                                { "media-sensor", "Web Sensing" },
                                                { "media-type", "Thermal Direct" },
                                                { "post-print-action", "Tear off" },
                                                { "top", "0" },
                                                { "shift", "0" } }));

    // Old firmware: a serial number without a name first, the width in
    // millimetres and eighths, a name with two blanks.
    const QByteArray older = '\x02' + QByteArray("  46A012345678\r\n")
        + ConfigLine("+27", "DARKNESS") + ConfigLine("025 0/8 MM", "PRINT  WIDTH")
        + ConfigLine("0235", "LABEL LENGTH") + ConfigLine("MARK", "MEDIA TYPE") + "\x03";
    const QList<ConfigSetting> o = ParseConfiguration(older);
    EXPECT_EQ(o.first(), (ConfigSetting { "DARKNESS", "+27" }));
    EXPECT_TRUE(o.contains(ConfigSetting { "PRINT  WIDTH", "025 0/8 MM" }));
    EXPECT_EQ(PanelSettings(o),
              (QList<QPair<QString, QString>> { { "density", "27" },
                                                { "width", "25" },
                                                { "height", "29.375" },
                                                { "media-sensor", "Mark Sensing" } }));
}

TEST(ReplyForms, OtherRepliesAreOneFrameEach)
{
    const struct
    {
        QByteArray reply;
        QByteArray text;
    } cases[] = {
        { Framed("4096,4096,4074"), "4096,4096,4074" },
        { Framed("0,F,Y,N,255.255.255.255,162\r\n"), "0,F,Y,N,255.255.255.255,162\r\n" },
        { Framed("\r\n- DIR R:*.* \r\n\r\n-   4171776 bytes free R: RAM \r\n"),
          "\r\n- DIR R:*.* \r\n\r\n-   4171776 bytes free R: RAM \r\n" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(ReplyFrames(c.reply, "Other"), QList<QByteArray> { c.text });
    }
}

} // namespace
