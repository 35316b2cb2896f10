// Replies captured from real printers (the shared reference folder beside
// the source tree, never copied into it): every one parses to the values
// its description gives.
#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "link/discovery.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

// ../shared/printer-replies from the source root; a worktree one level
// deeper looks one level further up.
QString RepliesDir()
{
    QDir up(QStringLiteral(TARVOLIN_SOURCE_DIR));
    for (int i = 0; i < 3 && up.cdUp(); ++i)
        if (QFileInfo(up.filePath(QStringLiteral("shared/printer-replies"))).isDir())
            return up.filePath(QStringLiteral("shared/printer-replies"));
    return {};
}

QByteArray Capture(const QString &name)
{
    QFile f(RepliesDir() + QLatin1Char('/') + name);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    return f.readAll();
}

// Every file of a folder is named in a table below: a capture added later
// is not left unchecked.
void ExpectAllListed(const QString &folder, QStringList listed)
{
    QStringList present = QDir(RepliesDir() + QLatin1Char('/') + folder).entryList(QDir::Files);
    present.sort();
    listed.sort();
    EXPECT_EQ(present, listed) << folder.toStdString();
}

class Captures : public ::testing::Test
{
protected:
    // A clone of the repository alone has no reference folder beside it;
    // the project's own fixtures (tests/commands, tests/link) cover the same
    // parsers there.
    void SetUp() override
    {
        if (RepliesDir().isEmpty())
            GTEST_SKIP() << "no captured printer replies beside the source tree "
                            "(../shared/printer-replies): nothing to compare with";
    }
};

struct StatusCase
{
    const char *file;
    int interfaceSettings;
    int labelLength;
    bool thermalTransfer;
    int printWidthMode;
    int graphics;
    const char *password;
    bool paperOut, paused, headOpen, ribbonOut;
    bool error;
};

TEST_F(Captures, HostStatusRepliesDecodeFieldByField)
{
    const StatusCase cases[] = {
        { "hs-at230-ready.bin", 30, 346, false, 4, 12, "1234", false, false, false, true, false },
        { "hs-v93-203dpi-tt-ready.bin", 30, 414, true, 6, 0, "0000", false, false, false, false,
          false },
        { "hs-v93-203dpi-tt-paused-head-up.bin", 30, 414, true, 6, 0, "0000", false, true, true,
          false, true },
        { "hs-v93-203dpi-tt-paper-out.bin", 30, 414, true, 6, 0, "0000", true, false, false, false,
          true },
        { "hs-v93-203dpi-tt-paused.bin", 30, 414, true, 6, 0, "0000", false, true, false, false,
          true },
        { "hs-v93-203dpi-tt-head-up.bin", 30, 414, true, 6, 0, "0000", false, false, true, false,
          true },
        { "hs-webtest-ready.bin", 14, 633, false, 6, 0, "1234", false, false, false, false, false },
        { "hs-ap46dlite-ready.bin", 287, 178, true, 3, 0, "1234", false, false, false, false,
          false },
    };
    QStringList listed;
    for (const StatusCase &c : cases) {
        SCOPED_TRACE(c.file);
        listed << QString::fromLatin1(c.file);
        const HostStatus s = ParseHostStatus(Capture(QStringLiteral("host-status/") + c.file));
        EXPECT_EQ(s.interfaceSettings, c.interfaceSettings);
        EXPECT_EQ(s.labelLengthDots, c.labelLength);
        EXPECT_EQ(s.thermalTransfer, c.thermalTransfer);
        // The function bit agrees with the thermal-transfer field.
        EXPECT_EQ(s.functionSettings, c.thermalTransfer ? 1 : 0);
        EXPECT_EQ(s.printMode, QLatin1Char('2')); // tear-off
        EXPECT_EQ(s.printWidthMode, c.printWidthMode);
        EXPECT_EQ(s.graphicsStored, c.graphics);
        EXPECT_EQ(s.password, QLatin1String(c.password));
        EXPECT_EQ(s.paperOut, c.paperOut);
        EXPECT_EQ(s.paused, c.paused);
        EXPECT_EQ(s.headOpen, c.headOpen);
        EXPECT_EQ(s.ribbonOut, c.ribbonOut);
        EXPECT_EQ(s.AnyError(), c.error);
        // Thermal transfer is a mode, and ribbon out without a ribbon nothing.
        const PrinterStatus model = StatusFromHost(s);
        EXPECT_EQ(model.Ready(), !c.error);
        EXPECT_EQ(
            model.modes,
            QStringList({ QLatin1String(c.thermalTransfer ? "thermal_transfer" : "direct_thermal"),
                          QStringLiteral("tear_off") }));
        EXPECT_EQ(s.formatsInBuffer, 0);
        EXPECT_EQ(s.labelsRemaining, 0);
        EXPECT_FALSE(s.bufferFull || s.partialFormat || s.corruptRam || s.underTemperature
                     || s.overTemperature || s.labelWaiting || s.staticRam);
    }
    ExpectAllListed(QStringLiteral("host-status"), listed);
}

TEST_F(Captures, IdentificationRepliesGiveModelFirmwareResolutionAndMemory)
{
    const struct
    {
        const char *file;
        Identification id;
    } cases[] = {
        { "hi-at230.bin", { "AT230-200dpi", "V72.20.01A", 8, 4096, "" } },
        { "hi-ad410.bin", { "AD410-200dpi", "V84.20.18A", 8, 8192, "" } },
        { "hi-ap2844-a.bin", { "AP2844-A", "V45.11.7A", 8, 8192, "" } },
        { "hi-ap505.bin", { "AP 500 (LBL)-200dpi", "ASP-002281B", 8, 2104, "" } },
        { "hi-at411.bin", { "AT411-300dpi", "V92.21.17A", 12, 8176, "CUTTER DETECTED" } },
        { "hi-ap46dlite.bin", { "TVSE AP 46 Dlite-200dpi", "V56.17.9A", 8, 8172, "" } },
        { "hi-ak420t.txt", { "AK420t-200dpi", "V61.17.17A", 8, 2104, "" } },
    };
    QStringList listed;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        listed << QString::fromLatin1(c.file);
        EXPECT_EQ(ParseIdentification(Capture(QStringLiteral("host-identification/") + c.file)),
                  c.id);
    }
    ExpectAllListed(QStringLiteral("host-identification"), listed);
}

using Settings = QList<QPair<QString, QString>>;

TEST_F(Captures, ConfigurationDumpsGiveTheirSettingsAndThePanelsValues)
{
    const auto p = [](const char *k, const char *v) {
        return qMakePair(QString::fromLatin1(k), QString::fromLatin1(v));
    };
    const struct
    {
        const char *file;
        const char *lengthLine; // LABEL LENGTH as written
        Settings panel;
    } cases[] = {
        { "hh-ad410.txt",
          "0212",
          { p("resolution", "203dpi"), p("density", "21"), p("width", "50"), p("height", "26.5"),
            p("media-sensor", "Web Sensing"), p("post-print-action", "Tear off"), p("top", "0"),
            p("shift", "0") } },
        { "hh-ad411.txt",
          "2217",
          { p("resolution", "203dpi"), p("density", "21"), p("width", "25"), p("height", "277.125"),
            p("media-sensor", "Mark Sensing"), p("post-print-action", "Tear off"), p("top", "0"),
            p("shift", "0") } },
        { "hh-ap2824plus.txt",
          "0894",
          { p("resolution", "203dpi"), p("speed", "2"), p("density", "15"), p("width", "50.75"),
            p("height", "111.75"), p("media-sensor", "Continuous"), p("top", "0"),
            p("shift", "0") } },
        { "hh-ap2844-a-network.txt",
          "1327",
          { p("resolution", "203dpi"), p("density", "21"), p("width", "100"),
            p("height", "165.875"), p("media-sensor", "Web Sensing"),
            p("media-type", "Thermal Direct"), p("post-print-action", "Tear off"), p("top", "0"),
            p("shift", "0") } },
        { "hh-ap2844-a.txt",
          "0235",
          { p("resolution", "203dpi"), p("density", "27"), p("width", "25"), p("height", "29.375"),
            p("media-sensor", "Mark Sensing"), p("media-type", "Thermal Direct"),
            p("post-print-action", "Tear off"), p("top", "0"), p("shift", "0") } },
        { "hh-ap505.txt",
          "1241",
          { p("resolution", "203dpi"), p("speed", "3"), p("density", "15"), p("width", "104"),
            p("height", "155.125"), p("media-sensor", "Continuous"),
            p("post-print-action", "Tear off"), p("top", "0"), p("shift", "0") } },
        { "hh-at230.txt",
          "0346",
          { p("resolution", "203dpi"), p("speed", "2"), p("density", "17"), p("width", "76.125"),
            p("height", "43.25"), p("media-sensor", "Web Sensing"),
            p("media-type", "Thermal Direct"), p("post-print-action", "Tear off"), p("top", "0"),
            p("shift", "0") } },
        { "hh-at411.txt",
          "1812",
          { p("resolution", "300dpi"), p("speed", "4"), p("density", "15"), p("width", "55.083"),
            p("height", "151"), p("media-sensor", "Web Sensing"), p("media-type", "Thermal Direct"),
            p("top", "0"), p("shift", "0") } },
        { "hh-r2844-a.txt",
          "1258",
          { p("resolution", "203dpi"), p("density", "10"), p("width", "104"), p("height", "157.25"),
            p("media-sensor", "Continuous"), p("media-type", "Thermal Direct"),
            p("post-print-action", "Tear off"), p("top", "0"), p("shift", "0") } },
        { "hh-tap2844-a.txt",
          "1020",
          { p("resolution", "203dpi"), p("density", "10"), p("width", "104"), p("height", "127.5"),
            p("media-sensor", "Continuous"), p("media-type", "Thermal Direct"),
            p("post-print-action", "Tear off"), p("top", "0"), p("shift", "0") } },
        { "hh-v93-203dpi-tt.txt",
          "0414",
          { p("resolution", "203dpi"), p("speed", "4"), p("density", "15"), p("width", "103.875"),
            p("height", "51.75"), p("media-sensor", "Web Sensing"),
            p("media-type", "Thermal Transfer"), p("post-print-action", "Tear off"), p("top", "0"),
            p("shift", "0") } },
    };
    QStringList listed;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        listed << QString::fromLatin1(c.file);
        const QList<ConfigSetting> settings
            = ParseConfiguration(Capture(QStringLiteral("config-dumps/") + c.file));
        EXPECT_TRUE(settings.contains(
            ConfigSetting { QStringLiteral("LABEL LENGTH"), QString::fromLatin1(c.lengthLine) }));
        for (const ConfigSetting &s : settings) {
            EXPECT_FALSE(s.name.startsWith(QLatin1Char(' '))) << s.name.toStdString();
            EXPECT_FALSE(s.name.endsWith(QLatin1Char(' ')) || s.value.endsWith(QLatin1Char(' ')));
        }
        EXPECT_EQ(PanelSettings(settings), c.panel);
    }
    ExpectAllListed(QStringLiteral("config-dumps"), listed);
}

TEST_F(Captures, TheDumpsKeepRepeatedNamesAndValuesThatBeginWithABlank)
{
    const QList<ConfigSetting> at230 = ParseConfiguration(Capture("config-dumps/hh-at230.txt"));
    EXPECT_EQ(at230.count(ConfigSetting { "NONRESET CNTR", "443,279 LABELS" }), 1);
    EXPECT_EQ(std::count_if(at230.begin(), at230.end(),
                            [](const ConfigSetting &s) { return s.name == "NONRESET CNTR"; }),
              3);
    EXPECT_TRUE(at230.contains(ConfigSetting { "RESOLUTION", " 832 8/MM FULL" }));
    EXPECT_TRUE(at230.contains(ConfigSetting { "PRINT HEAD ID", "P1028902/1704-00574" }));
    EXPECT_EQ(at230.first(), (ConfigSetting { "LCD CONTRAST", "10" }));
    // The older printers' first line is their serial number, without a name.
    const QList<ConfigSetting> v45 = ParseConfiguration(Capture("config-dumps/hh-ap2844-a.txt"));
    EXPECT_EQ(v45.first(), (ConfigSetting { "DARKNESS", "+27" }));
    EXPECT_TRUE(v45.contains(ConfigSetting { "PRINT  WIDTH", "025 0/8 MM" }));
}

TEST_F(Captures, OtherRepliesAreOneFrameEach)
{
    const struct
    {
        const char *file;
        QByteArray text;
    } cases[] = {
        { "at230-memory-hm.bin", "4096,4096,4074" },
        { "at230-alerts-hu.bin", "0,F,Y,N,255.255.255.255,162\r\n" },
        { "at230-directory-hw.bin", "\r\n- DIR R:*.* \r\n\r\n-   4171776 bytes free R: RAM \r\n" },
    };
    QStringList listed { QStringLiteral("at230-head-diagnostic-hd.bin") };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        listed << QString::fromLatin1(c.file);
        EXPECT_EQ(ReplyFrames(Capture(QStringLiteral("other/") + c.file), "Other"),
                  QList<QByteArray> { c.text });
    }
    const QList<QByteArray> diagnostic
        = ReplyFrames(Capture("other/at230-head-diagnostic-hd.bin"), "Head diagnostic");
    ASSERT_EQ(diagnostic.size(), 1);
    EXPECT_TRUE(diagnostic[0].contains(" = ")) << diagnostic[0].toStdString();
    ExpectAllListed(QStringLiteral("other"), listed);
}

TEST_F(Captures, TheDiscoveryReplyNamesThePrintServer)
{
    EXPECT_EQ(Capture("discovery/probe.bin"), DiscoveryProbe());
    const std::optional<DiscoveredPrinter> p
        = ParseDiscoveryReply(Capture("discovery/reply-printserver.bin"));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->address, "10.1.0.158");
    EXPECT_EQ(p->productNumber, "79071");
    EXPECT_EQ(p->productName, "ACMENet Wired PS");
    EXPECT_EQ(p->firmware, "V56.17.11A");
    EXPECT_EQ(p->serialNumber, "4262077");
    EXPECT_EQ(p->systemName, "ZBR4262077");
    EXPECT_EQ(p->subnetMask, "255.255.255.0");
    EXPECT_EQ(p->gateway, "10.1.0.1");
    EXPECT_EQ(p->macAddress, "00:07:4D:41:08:BD");
}

} // namespace
