#include "core/exceptions.h"
#include "tool/commandfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QByteArray ReadBytes(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    return f.readAll();
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// Every byte but 00, CR and LF.
QByteArray AllTextBytes()
{
    QByteArray bytes;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            bytes += char(b);
    return bytes;
}

} // namespace

TEST(CommandFile, LineBreaksAndZeroByte)
{
    const struct
    {
        QByteArray file;
        QStringList lines;
    } cases[] = {
        { "^XA\r\n^XZ", { "^XA", "^XZ" } },
        { "^XA\n^XZ\n", { "^XA", "^XZ", "" } },
        { "a\rb\r\n\r\nc\n\rd", { "a", "b", "", "c", "", "d" } },
        { QByteArray("ab\0cd\r\nef", 9), { "ab" } },
        { QByteArray("\0abc", 4), { "" } },
        { "", { "" } },
        { "\r\n", { "", "" } },
    };
    for (const auto &c : cases) {
        const PageText page = DecodeCommandFile(c.file);
        EXPECT_EQ(page.lines, c.lines) << c.file.toHex(' ').toStdString();
        EXPECT_EQ(page.encoding, PageEncoding::Utf8);
    }
}

TEST(CommandFile, DecodesUtf8OnlyWhenExact)
{
    const struct
    {
        QByteArray file;
        PageEncoding encoding;
        QString firstLine;
    } cases[] = {
        { "caf\xC3\xA9", PageEncoding::Utf8, QStringLiteral("caf\u00E9") },
        { "\xEF\xBB\xBFX", PageEncoding::Utf8, QStringLiteral("\uFEFFX") }, // order mark kept
        { "caf\xE9", PageEncoding::Latin1, QStringLiteral("caf\u00E9") },
        { "\xC0\xAF", PageEncoding::Latin1, QStringLiteral("\u00C0\u00AF") }, // overlong
        { "\xED\xA0\x80", PageEncoding::Latin1, QStringLiteral("\u00ED\u00A0\u0080") }, // surrogate
        { "\xE2\x80\xA9", PageEncoding::Latin1, QStringLiteral("\u00E2\u0080\u00A9") }, // U+2029
        { "\xC3", PageEncoding::Latin1, QStringLiteral("\u00C3") }, // cut short
    };
    for (const auto &c : cases) {
        const PageText page = DecodeCommandFile(c.file);
        EXPECT_EQ(page.encoding, c.encoding) << c.file.toHex(' ').toStdString();
        EXPECT_EQ(page.lines.value(0), c.firstLine) << c.file.toHex(' ').toStdString();
        // Whatever was chosen, the bytes come back.
        EXPECT_EQ(EncodePageText(page.lines, page.encoding), c.file);
    }
}

TEST(CommandFile, EveryByteButBreaksAndZeroSurvives)
{
    const QByteArray file = AllTextBytes() + "\r\n" + AllTextBytes();
    const PageText page = DecodeCommandFile(file);
    EXPECT_EQ(page.encoding, PageEncoding::Latin1);
    ASSERT_EQ(page.lines.size(), 2);
    EXPECT_EQ(EncodePageText(page.lines, page.encoding), file);
}

TEST(CommandFile, EncodingOfTypedText)
{
    const QStringList euro { QStringLiteral("\u20AC \u00E9") };
    EXPECT_EQ(EncodePageText(euro, PageEncoding::Utf8), "\xE2\x82\xAC \xC3\xA9");
    EXPECT_EQ(EncodePageText({ QStringLiteral("\u00E9") }, PageEncoding::Latin1), "\xE9");
    EXPECT_EQ(EncodePageText({ "^XA", "^XZ" }, PageEncoding::Utf8), "^XA\r\n^XZ");
    EXPECT_EQ(BuildSendTextCommand({ { "^XA", "^XZ" }, PageEncoding::Utf8 }), "^XA\r\n^XZ\r\n");
    EXPECT_EQ(BuildSendTextCommand({}), "\r\n");
}

// A Latin-1 page that gained "€" is never written as UTF-8 on its own: the
// é would silently become two bytes.
TEST(CommandFile, Latin1PageWithForeignCharactersIsNotRewritten)
{
    const QByteArray file = "^FDcaf\xE9\r\n^FS";
    PageText page = DecodeCommandFile(file);
    ASSERT_EQ(page.encoding, PageEncoding::Latin1);
    page.lines[0] += QStringLiteral("\u20AC\U0001F600\u20AC\u00FC");
    try {
        EncodePageText(page.lines, page.encoding);
        FAIL() << "written without asking";
    } catch (const ETarvolinError &e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("The page holds characters Latin-1 cannot hold: "
                                 "\u20AC\U0001F600"));
    }
    EXPECT_THROW(BuildSendTextCommand(page), ETarvolinError);
    EXPECT_EQ(CharactersOutsideLatin1(page.lines), QStringLiteral("\u20AC\U0001F600"));
    EXPECT_EQ(CharactersChangedByUtf8(page.lines), QStringLiteral("\u00E9\u00FC"));
    EXPECT_EQ(CharactersChangedByUtf8({ QStringLiteral("\u0080a\u00A0b\u00FF\u0100") }),
              QStringLiteral("\u0080\u00A0\u00FF"));
    EXPECT_EQ(EncodePageText(page.lines, PageEncoding::Utf8),
              "^FDcaf\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x82\xAC\xC3\xBC\r\n^FS");
    EXPECT_EQ(PageEncodingName(PageEncoding::Latin1), "Latin-1");
    EXPECT_EQ(PageEncodingName(PageEncoding::Utf8), "UTF-8");
}

TEST(CommandFile, ReadRefusesMissingAndOversizedFiles)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.txt");
    try {
        ReadCommandFile(missing);
        FAIL() << "no error";
    } catch (const EFOpenError &e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + missing);
    }
    EXPECT_THROW(ReadCommandFile(dir.path()), EFOpenError);

    const QString big = dir.filePath("big.txt");
    WriteBytes(big, QByteArray(101, 'x'));
    try {
        ReadCommandFile(big, 100);
        FAIL() << "no error";
    } catch (const ETarvolinError &e) {
        EXPECT_EQ(e.Message(), "Text exceeds memo capacity");
    }
    EXPECT_EQ(ReadCommandFile(big, 101).lines.value(0).size(), 101);
}

TEST(CommandFile, SaveReplacesWholeAndFailureKeepsOldFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("page.txt");
    WriteBytes(path, "old content that is longer");
    WriteCommandFile(path, "new");
    EXPECT_EQ(ReadBytes(path), "new");

    // A directory that cannot be written: no temporary file can be made, the
    // old file stays as it was and the error names the target.
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes anywhere";
    QDir(dir.path()).mkdir("locked");
    const QString locked = dir.filePath("locked/page.txt");
    WriteBytes(locked, "keep me");
    ASSERT_TRUE(QFile::setPermissions(dir.filePath("locked"),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    try {
        WriteCommandFile(locked, "lost?");
        ADD_FAILURE() << "no error";
    } catch (const EFCreateError &e) {
        EXPECT_EQ(e.Message(), "Cannot create file " + locked);
    }
    QFile::setPermissions(dir.filePath("locked"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(ReadBytes(locked), "keep me");
    EXPECT_EQ(QDir(dir.filePath("locked")).entryList(QDir::Files), QStringList { "page.txt" });
}

TEST(CommandFile, SendFileReadsBytesUnchanged)
{
    QTemporaryDir dir;
    const QByteArray bytes("line1\nline2\0\xFF\r", 14);
    const QString path = dir.filePath("raw.prn");
    WriteBytes(path, bytes);
    EXPECT_EQ(ReadWholeFile(path), bytes);
    EXPECT_TRUE(CommandFileExists(path));
    EXPECT_FALSE(CommandFileExists(""));
    EXPECT_FALSE(CommandFileExists(dir.filePath("none")));
    EXPECT_FALSE(CommandFileExists(dir.path()));
}

// More than a page holds is found before it is all in memory: by the size a
// file states, by a line too long to type in, by what a pipe goes on giving.
TEST(CommandFile, ReaderStopsAtWhatAPageHolds)
{
    QTemporaryDir dir;
    const QString sized = dir.filePath("sized.txt");
    {
        QFile f(sized);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(50LL * 1024 * 1024));
    }
    const QString longLine = dir.filePath("long.txt");
    WriteBytes(longLine, "^XA\r\n^FO1,1\n" + QByteArray(MaxPageLineBytes + 1, 'A') + "\r\n^XZ");
    const QString justFits = dir.filePath("fits.txt");
    WriteBytes(justFits, "^XA\r\n" + QByteArray(MaxPageLineBytes, 'A') + "\r\n^XZ");
    const QString pipe = dir.filePath("pipe");
    signal(SIGPIPE, SIG_IGN);
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    std::thread writer([&] {
        const int fd = open(QFile::encodeName(pipe).constData(), O_WRONLY | O_CLOEXEC);
        const QByteArray lines = QByteArray("^XA^FDx^FS^XZ\n").repeated(64 * 1024);
        for (qint64 sent = 0; fd >= 0 && sent <= MaxPageFileBytes;) {
            const ssize_t n = write(fd, lines.constData(), size_t(lines.size()));
            if (n <= 0)
                break;
            sent += n;
        }
        if (fd >= 0)
            close(fd);
    });
    const struct
    {
        QString path;
        QString tooMuch;
        qint64 mostRead;
    } cases[] = {
        { sized, sized + " is 52,428,800 bytes; a page holds files of up to 16,777,216 bytes.", 0 },
        { longLine,
          "Line 3 of " + longLine + " is longer than 65,536 bytes, the longest line a page shows.",
          PageFileReader::PieceBytes },
        { justFits, "", PageFileReader::PieceBytes },
        { pipe, pipe + " holds more than 16,777,216 bytes, the most a page holds.",
          MaxPageFileBytes + PageFileReader::PieceBytes },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        PageFileReader reader(c.path);
        while (reader.ReadSome()) { }
        EXPECT_EQ(reader.TooMuch(), c.tooMuch);
        EXPECT_LE(reader.BytesRead(), c.mostRead);
    }
    writer.join();
    PageEncoding encoding;
    PageFileReader fits(justFits);
    while (fits.ReadSome()) { }
    EXPECT_EQ(fits.TakeText(&encoding), "^XA\n" + QString(MaxPageLineBytes, 'A') + "\n^XZ");
    EXPECT_EQ(encoding, PageEncoding::Utf8);
}
