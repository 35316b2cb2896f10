// The download group's builders: font download command, file name rules,
// BIN and data files, reading from real files.
#include "core/exceptions.h"
#include "files/downloadcommand.h"
#include "files/fileread.h"
#include "support/qtprint.h"
#include "support/tempfile.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

class DownloadFiles : public ::testing::Test
{
protected:
    QString Write(const QString &name, const QByteArray &bytes)
    {
        return WriteTempFile(dir, name, bytes);
    }
    QTemporaryDir dir;
};

const QByteArray AllByteValues = [] {
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(char(i));
    return all;
}();

} // namespace

TEST_F(DownloadFiles, DemoFontGivesTheTwentyTwoByteCommand)
{
    const QString path = Write("Demo.ttf", QByteArray::fromHex("007fff"));
    const QByteArray expected = "~DUE:DEMO,3,\r\n007FFF\r\n";
    ASSERT_EQ(expected.size(), 22);
    EXPECT_EQ(FontDownloadCommandFromFile("E:", FontNameOf("Demo.ttf"), path), expected);
    EXPECT_EQ(FontDownloadCommand("E:", "DEMO", QByteArray::fromHex("007fff")), expected);
    EXPECT_EQ(
        DownloadCommand({ .fileType = 0, .device = 1, .fileNameText = "Demo.ttf", .path = path }),
        expected);
}

TEST_F(DownloadFiles, EmptyFontFile)
{
    const QString path = Write("empty.ttf", QByteArray());
    EXPECT_EQ(
        DownloadCommand({ .fileType = 0, .device = 0, .fileNameText = "empty.ttf", .path = path }),
        "~DUR:EMPTY,0,\r\n\r\n");
}

TEST(FontName, TakenBeforeTheFirstDotAndRaised)
{
    const struct
    {
        QString field;
        QString name;
    } cases[] = {
        { "Demo.ttf", "DEMO" },
        { "arial.ttf", "ARIAL" },
        { "my.font.ttf", "MY" },
        { "nodot", "" },
        { "", "" },
        { ".ttf", "" },
        { "a-z_09.otf", "A-Z_09" },
        { QString::fromUtf8("schön.ttf"), QString::fromUtf8("SCHöN") },
        { QString::fromUtf8("éa.ttf"), QString::fromUtf8("éA") },
    };
    for (const auto &c : cases)
        EXPECT_EQ(FontNameOf(c.field), c.name) << c.field.toStdString();
}

TEST_F(DownloadFiles, NameWithoutDotAndNonAsciiNameInTheCommand)
{
    const QString path = Write("f", QByteArray::fromHex("0a"));
    EXPECT_EQ(
        DownloadCommand({ .fileType = 0, .device = 1, .fileNameText = "nodot", .path = path }),
        "~DUE:,1,\r\n0A\r\n");
    // Non-ASCII letters stay as they are and travel as UTF-8.
    EXPECT_EQ(DownloadCommand({ .fileType = 0,
                                .device = 1,
                                .fileNameText = QString::fromUtf8("schön.ttf"),
                                .path = path }),
              "~DUE:SCH\xC3\xB6N,1,\r\n0A\r\n");
}

TEST_F(DownloadFiles, EveryDeviceGetsTheCommandWithItsLetter)
{
    const QString path = Write("x.ttf", QByteArray::fromHex("ff"));
    const char *letters[] = { "R:", "E:", "B:", "A:", "Z:" };
    for (int device = 0; device < 5; ++device) {
        EXPECT_EQ(DownloadCommand(
                      { .fileType = 0, .device = device, .fileNameText = "x.ttf", .path = path }),
                  "~DU" + QByteArray(letters[device]) + "X,1,\r\nFF\r\n");
    }
    for (int none : { -1, 5 }) {
        EXPECT_EQ(DownloadCommand(
                      { .fileType = 0, .device = none, .fileNameText = "x.ttf", .path = path }),
                  QByteArray());
    }
}

TEST_F(DownloadFiles, BinAndDataFilesGoByteForByte)
{
    const QByteArray bytes = QByteArray("\0\0^XA\0\r\n", 9) + AllByteValues + QByteArray(3, '\0');
    const QString path = Write("label.bin", bytes);
    for (int type : { 1, 2 }) {
        for (int device : { -1, 0, 4 }) {
            EXPECT_EQ(
                DownloadCommand(
                    { .fileType = type, .device = device, .fileNameText = "x", .path = path }),
                bytes);
        }
    }
    EXPECT_EQ(DownloadCommand({ .fileType = 1,
                                .device = 1,
                                .fileNameText = "e.bin",
                                .path = Write("empty.bin", QByteArray()) }),
              QByteArray());
    // No type selected: nothing is built, not even from a missing file.
    EXPECT_EQ(DownloadCommand({ .fileType = -1,
                                .device = 1,
                                .fileNameText = "m.ttf",
                                .path = dir.filePath("missing") }),
              QByteArray());
}

TEST_F(DownloadFiles, HexIsUpperCaseTwoDigitsPerByteAcrossReadChunks)
{
    EXPECT_EQ(FontDownloadCommand("E:", "A", AllByteValues),
              "~DUE:A,256,\r\n" + AllByteValues.toHex().toUpper() + "\r\n");

    // Larger than the pieces the file is read in, and not a multiple of them.
    QByteArray data(3 * 65536 + 7, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &c : data)
        c = char(random.bounded(256));
    const QString path = Write("big.ttf", data);
    EXPECT_EQ(FontDownloadCommandFromFile("E:", "BIG", path),
              "~DUE:BIG,196615,\r\n" + data.toHex().toUpper() + "\r\n");
}

// The encoder works in blocks of sixteen bytes with a tail byte by byte:
// every start and length around the block size.
TEST(HexEncodeUpper, EveryAlignmentAndTail)
{
    for (qsizetype start = 0; start < 16; ++start) {
        for (qsizetype n = 0; n <= 48; ++n) {
            const QByteArray in = AllByteValues.mid(start * 7 + n, n);
            QByteArray out(2 * n + 2, '#');
            HexEncodeUpper(reinterpret_cast<const uchar *>(in.constData()), n, out.data() + 1);
            EXPECT_EQ(out, "#" + in.toHex().toUpper() + "#") << start << " " << n;
        }
    }
}

// A file that gives fewer bytes than its size says (as files of the kernel's
// /sys do: 4096 bytes said, a few given) is sent with the size it gave.
TEST(FontDownloadFromFile, SizeFieldDescribesTheBytesRead)
{
    const QString path = QStringLiteral("/sys/devices/system/cpu/online");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        GTEST_SKIP() << "no " << path.toStdString();
    const QByteArray given = file.readAll();
    ASSERT_LT(given.size(), file.size());
    EXPECT_EQ(FontDownloadCommandFromFile("E:", "CPU", path),
              "~DUE:CPU," + QByteArray::number(given.size()) + ",\r\n" + given.toHex().toUpper()
                  + "\r\n");
}

TEST_F(DownloadFiles, UnreadableFilesRaiseTheOpenError)
{
    const QString missing = dir.filePath("missing.ttf");
    const struct
    {
        int type;
        QString path;
    } cases[]
        = { { 0, missing }, { 1, missing }, { 2, missing }, { 0, QString() }, { 2, dir.path() } };
    for (const auto &c : cases) {
        try {
            DownloadCommand(
                { .fileType = c.type, .device = 1, .fileNameText = "m.ttf", .path = c.path });
            ADD_FAILURE() << "no error for " << c.path.toStdString();
        } catch (const EFOpenError &e) {
            EXPECT_EQ(e.Message(), "Cannot open file " + c.path);
        }
    }
}

TEST_F(DownloadFiles, FontTooLargeForTheSizeFieldIsRefused)
{
    // A sparse file: large on paper, nothing on disk.
    const QString path = dir.filePath("huge.ttf");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxFontDownloadSize + 1));
    }
    try {
        FontDownloadCommandFromFile("E:", "HUGE", path);
        ADD_FAILURE() << "no error";
    } catch (const ETarvolinError &e) {
        EXPECT_EQ(e.Message(),
                  "File too large for the font download command: 2147483648 bytes "
                  "(at most 2147483647)");
    }
}

TEST(FileNamePart, WhatFollowsTheLastSlash)
{
    EXPECT_EQ(FileNamePart("/home/op/fonts/Demo.ttf"), "Demo.ttf");
    EXPECT_EQ(FileNamePart("Demo.ttf"), "Demo.ttf");
    EXPECT_EQ(FileNamePart("/fonts/"), "");
    EXPECT_EQ(FileNamePart("/x/C:\\fonts\\a.ttf"), "C:\\fonts\\a.ttf");
}

TEST(FileSize, ReadOnlyOpenAndTheSystemsReason)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("ro.ttf");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("12345");
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    EXPECT_EQ(FileSizeOf(path), 5);
    // Refuses a read-write open even for root: only a read-only open works.
    EXPECT_EQ(FileSizeOf("/proc/version"), 0);
    try {
        FileSizeOf(dir.filePath("missing"));
        ADD_FAILURE() << "no error";
    } catch (const EInOutError &e) {
        EXPECT_EQ(e.Message(), "File not found");
    }
}
