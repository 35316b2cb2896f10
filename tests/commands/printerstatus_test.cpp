// The extended error and warning report read bit by bit, broken reports
// refused, and what each answer's reading names as condition, warning and
// mode.
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "core/exceptions.h"

#include <gtest/gtest.h>

namespace {

QByteArray Report(const char *errors, const char *warnings)
{
    return QByteArray("\x02\r\n  PRINTER STATUS\r\n   ERRORS:         ") + errors
        + "\r\n   WARNINGS:       " + warnings + "\r\n\x03\r\n";
}

TEST(ExtendedStatus, EveryKnownBitIsItsConditionOrWarning)
{
    const struct
    {
        QByteArray reply;
        QStringList conditions, warnings;
    } cases[] = {
        { Report("0 00000000 00000000", "0 00000000 00000000"), {}, {} },
        { Report("1 00000000 00000005", "0 00000000 00000000"), { "head_open", "paper_out" }, {} },
        { Report("1 00000000 00002002", "1 00000000 0000000F"),
          { "paper_jam", "ribbon_out" },
          { "calibrate", "clean_head", "replace_head", "paper_near_end" } },
        { Report("1 00000000 00010000", "0 00000000 00000000"), { "paused" }, {} },
        { Report("1 00000000 00000030", "0 00000000 00000000"), { "over_temperature" }, {} },
        { Report("1 00000000 00000408", "0 00000000 00000000"),
          { "under_temperature", "cutter_fault" },
          {} },
        { Report("1 00000000 00060000", "0 00000000 00000000"),
          { "other_error", "corrupt_ram" },
          {} },
        // Bits this program does not know are still errors and warnings.
        { Report("1 00000000 00000040", "1 00000000 00000100"),
          { "other_error" },
          { "other_warning" } },
        { Report("1 00000001 00000000", "1 00000002 00000000"),
          { "other_error" },
          { "other_warning" } },
        // A flag without bits says there is an error all the same.
        { Report("1 00000000 00000000", "0 00000000 00000000"), { "other_error" }, {} },
        // Lower-case hexadecimal and other spacing.
        { "\x02PRINTER STATUS\r\nERRORS: 1 00000000 0000000c\r\nWARNINGS: 0 00000000 "
          "00000000\x03",
          { "head_open", "cutter_fault" },
          {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply.toStdString());
        const PrinterStatus s = StatusFromExtended(ParseExtendedStatus(c.reply));
        EXPECT_EQ(s.conditions, c.conditions);
        EXPECT_EQ(s.warnings, c.warnings);
        EXPECT_TRUE(s.modes.isEmpty());
        EXPECT_FALSE(s.checked.contains(QStringLiteral("cover_open")));
    }
    ExtendedStatus e;
    e.anyError = true;
    e.errors = extended::PaperJam | extended::Paused;
    e.anyWarning = true;
    e.warningsHigh = 0x80000000;
    EXPECT_EQ(ExtendedStatusText(e), Report("1 00000000 00012000", "1 80000000 00000000"));
    EXPECT_EQ(ParseExtendedStatus(ExtendedStatusText(e)), e);
}

TEST(ExtendedStatus, BrokenReportsAreRefusedWithWhatWasWrong)
{
    const struct
    {
        QByteArray reply;
        const char *failure;
    } cases[] = {
        { QByteArray(), "Extended status: 0 frames, not one" },
        { "PRINTER STATUS", "Extended status: the reply does not begin with STX" },
        { Report("1 00000000 00000005", "0 00000000 00000000").left(40),
          "Extended status: frame 1 is cut short (no ETX)" },
        { "\x02hello\x03", "Extended status: no PRINTER STATUS heading" },
        { "\x02PRINTER STATUS ERRORS: 1 00000000 00000005\x03",
          "Extended status: no WARNINGS line" },
        { Report("1 00000000", "0 00000000 00000000"),
          "Extended status: the ERRORS line has 2 fields, not 3" },
        { Report("2 00000000 00000005", "0 00000000 00000000"),
          "Extended status: the ERRORS flag is not 0 or 1" },
        { Report("1 00000000 0000005", "0 00000000 00000000"),
          "Extended status: a ERRORS group is not 8 hexadecimal digits" },
        { Report("1 00000000 0000000G", "0 00000000 00000000"),
          "Extended status: a ERRORS group is not 8 hexadecimal digits" },
        { Report("0 00000000 00000000", "0 -0000000 00000000"),
          "Extended status: a WARNINGS group is not 8 hexadecimal digits" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failure);
        QString failure = QStringLiteral("(parsed)");
        try {
            ParseExtendedStatus(c.reply);
        } catch (const ETarvolinError &e) {
            failure = e.Message();
        }
        EXPECT_EQ(failure, QLatin1String(c.failure));
    }
}

TEST(PrinterStatusReading, ModesAndWarningsAreNeverConditions)
{
    HostStatus h;
    h.thermalTransfer = true;
    h.printMode = QLatin1Char('K');
    h.bufferFull = h.partialFormat = h.labelWaiting = h.diagnosticMode = true;
    h.ribbonOut = false;
    const PrinterStatus host = StatusFromHost(h);
    EXPECT_TRUE(host.Ready());
    EXPECT_EQ(host.warnings, (QStringList { "buffer_full", "partial_format", "label_waiting" }));
    EXPECT_EQ(host.modes, (QStringList { "thermal_transfer", "print_mode_k", "diagnostic" }));
    EXPECT_EQ(StatusLine(host), QStringLiteral("Ready"));

    // Printing is a mode of the status byte; every other bit a condition.
    const PrinterStatus byte = StatusFromByte(0x25);
    EXPECT_EQ(byte.conditions, (QStringList { "head_open", "paper_out" }));
    EXPECT_EQ(byte.modes, QStringList { "printing" });
    EXPECT_EQ(StatusFromByte(0x20).conditions, QStringList());
    EXPECT_EQ(StatusLine(byte), QStringLiteral("Head Open, Paper Out"));

    // Two answers of one printer together, in one order, each name once.
    PrinterStatus merged = StatusFromByte(0x10);
    merged.Merge(StatusFromExtended(
        ParseExtendedStatus(Report("1 00000000 00010005", "0 00000000 00000000"))));
    EXPECT_EQ(merged.conditions, (QStringList { "head_open", "paper_out", "paused" }));
    merged.conditions.clear();
    merged.unseen << UnseenWithoutExtendedReport();
    EXPECT_TRUE(StatusLine(merged).startsWith(QStringLiteral("Ready as far as it shows")));
    for (const QString &key : StatusConditionKeys())
        EXPECT_FALSE(StatusModeKeys().contains(key) || StatusWarningKeys().contains(key))
            << key.toStdString();
    EXPECT_EQ(StatusCaption(QStringLiteral("corrupt_ram")), QStringLiteral("Corrupt RAM"));
    EXPECT_EQ(StatusCaption(QStringLiteral("paper_jam")), QStringLiteral("Paper Jam"));
}

} // namespace
