// Directory label, file list, free memory and format: the command bytes and
// the reading of the printer's replies.
#include "files/memorycommands.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

TEST(MemoryCommands, DirectoryLabelForEachDeviceAndForNone)
{
    const struct
    {
        int position;
        QByteArray command;
    } cases[] = {
        { 0, "^XA^WDR:*.*\r\n^XZ" }, { 1, "^XA^WDE:*.*\r\n^XZ" }, { 2, "^XA^WDB:*.*\r\n^XZ" },
        { 3, "^XA^WDA:*.*\r\n^XZ" }, { 4, "^XA^WDZ:*.*\r\n^XZ" }, { -1, "^XA^XZ" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(DirectoryLabelCommand(c.position), c.command) << c.position;
}

TEST(MemoryCommands, RequestsAndFormat)
{
    EXPECT_EQ(FileListRequest(), "~!F\r\n");
    EXPECT_EQ(FreeMemoryRequest(), "CLS\r\n~!A\r\n");
    EXPECT_EQ(FormatCommand(FormatMemory::Dram), QByteArray::fromHex("4b494c4c20222a220d0a"));
    EXPECT_EQ(FormatCommand(FormatMemory::Flash), "KILL F,\"*\"\r\n");
    EXPECT_EQ(FormatCommand(FormatMemory::Flash).size(), 12);
}

TEST(FileListLayout, LabelsGetTheirLineBreaks)
{
    const struct
    {
        QByteArray reply; // as the exchange returns it, LF already after each CR
        QByteArray shown;
    } cases[] = {
        // The example reply ends in CR; the exchange adds the LF.
        { "DRAM FILES: A.FNT B.FNT FLASH FILES: C.FNT\r\n",
          "DRAM FILES: \r\nA.FNT B.FNT \r\nFLASH FILES: \r\nC.FNT\r\n" },
        // A reply in CR LF lines comes out of the exchange as CR LF LF.
        { "DRAM FILES: \r\n\nA.FNT\r\n\nFLASH FILES: \r\n\nC.FNT\r\n\n",
          "DRAM FILES: \r\n\r\n\nA.FNT\r\n\n\r\nFLASH FILES: \r\n\r\n\nC.FNT\r\n\n" },
        { "no files here\r\n", "no files here\r\n" },
        { "", "" },
        { "FLASH FILES: C.FNT", "\r\nFLASH FILES: \r\nC.FNT" },
        { "DRAM FILES: A.FNT", "DRAM FILES: \r\nA.FNT" },
        // Only the first occurrence of each label; labels are case-sensitive.
        { "DRAM FILES: A DRAM FILES: B flash files: c",
          "DRAM FILES: \r\nA DRAM FILES: B flash files: c" },
        { "FLASH FILES: X FLASH FILES: Y", "\r\nFLASH FILES: \r\nX FLASH FILES: Y" },
        // The label needs its trailing space.
        { "DRAM FILES:A", "DRAM FILES:A" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(FileListLayout(c.reply), c.shown) << c.reply.toStdString();
}

TEST(FreeMemory, FiguresBetweenTheLabels)
{
    const struct
    {
        QByteArray reply;
        QString dram;
        QString flash;
    } cases[] = {
        { "DRAM FREE BYTE(KB): 512FLASH FREE BYTE(KB): 4096\r\n", "512", "4096" },
        { "DRAM FREE BYTE(KB): 512 FLASH FREE BYTE(KB): 4096 \r\nOK\r\n", "512", "4096" },
        // Reordered, and text before the labels.
        { "FLASH FREE BYTE(KB): 4096DRAM FREE BYTE(KB): 512\r\n", "512", "4096" },
        { "CLS\r\n~!A\r\nDRAM FREE BYTE(KB): 512\r\nFLASH FREE BYTE(KB): 4096\r\n", "512", "4096" },
        // Without the line end the figure runs to the end of the reply.
        { "DRAM FREE BYTE(KB): 512FLASH FREE BYTE(KB): 4096", "512", "4096" },
        // A missing label leaves its field empty.
        { "DRAM FREE BYTE(KB): 512\r\n", "512", "" },
        { "FLASH FREE BYTE(KB): 4096\r\n", "", "4096" },
        { "ready\r\n", "", "" },
        { "", "", "" },
        // The label's space may be missing; the figure is trimmed either way.
        { "DRAM FREE BYTE(KB):512\r\nFLASH FREE BYTE(KB):   77  \r\n", "512", "77" },
        // A label with nothing after it.
        { "DRAM FREE BYTE(KB): ", "", "" },
    };
    for (const auto &c : cases) {
        const FreeMemoryFigures figures = ParseFreeMemory(c.reply);
        EXPECT_EQ(figures.dram, c.dram) << c.reply.toStdString();
        EXPECT_EQ(figures.flash, c.flash) << c.reply.toStdString();
    }
}

TEST(ReplyText, Utf8WhenValidOtherwiseOneCharacterPerByte)
{
    EXPECT_EQ(ReplyText("A.FNT \xC3\xA9"), QString::fromUtf8("A.FNT é"));
    EXPECT_EQ(ReplyText("A\xE9"
                        "B"),
              QString::fromLatin1("A\xE9"
                                  "B"));
    EXPECT_EQ(ReplyText(QByteArray("A\0B", 3)), QString::fromLatin1("A\0B", 3));
}

// What the printer sent is shown byte for byte: an initial byte order mark
// stays a character, in UTF-8 and in one-character-per-byte replies alike.
TEST(ReplyText, KeepsEveryByteOfTheReply)
{
    const struct
    {
        QByteArray reply;
        bool utf8;
    } cases[] = {
        { "\xEF\xBB\xBF"
          "DRAM FILES: A.FNT\r",
          true },
        { "\xEF\xBB\xBF\xEF\xBB\xBF", true },
        { "\xEF\xBB\xBF", true },
        { "A\xEF\xBB\xBF"
          "B",
          true },
        { "\xEF\xBB\xBF"
          "caf\xE9",
          false },
        { "\xEF\xBB", false },
    };
    for (const auto &c : cases) {
        const QString text = ReplyText(c.reply);
        EXPECT_EQ(c.utf8 ? text.toUtf8() : text.toLatin1(), c.reply) << c.reply.toHex(' ').data();
    }
    EXPECT_EQ(ReplyText("\xEF\xBB\xBFOK"), QStringLiteral("\uFEFFOK"));
}
