// The virtual printer's state directory under faults: names no printer
// takes, a state that does not read right, an older layout, left-overs of a
// crash; and the real program killed while it stores, on a full disk and in
// a read-only folder.
#include "commands/settingsbuilder.h"
#include "commands/statusquery.h"
#include "files/downloadcommand.h"
#include "files/memorycommands.h"
#include "printer/virtualprinter.h"
#include "support/printerprocess.h"
#include "support/tcpclient.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/mount.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class NullOutput : public LabelOutput
{
public:
    void Print(const PrintJob &) override { }
    qint64 CancelAll() override { return 0; }
    bool Printing() const override { return false; }
    bool Backlogged() const override { return false; }
    void Dump(const QByteArray &) override { }
};

class RecordingLog : public PrinterLog
{
public:
    QStringList info;
    QStringList errors;
    void Info(const QString &line) override { info << line; }
    void Error(const QString &line) override { errors << line; }
};

// A printer on a state directory, fed one connection at a time.
struct StatePrinter
{
    explicit StatePrinter(const QString &dir)
    {
        PrinterConfig config;
        config.stateDir = dir;
        printer = std::make_unique<VirtualPrinter>(config, log, output);
        loaded = printer->LoadState(&loadError);
    }
    QByteArray Send(const QByteArray &bytes)
    {
        QByteArray replies;
        auto session = printer->OpenSession([&](const QByteArray &r) { replies += r; });
        session->Feed(bytes);
        session->EndOfInput();
        return replies;
    }
    QByteArray Status() { return Send(StatusRequestCommand()); }
    QByteArray Data(QChar device, const QString &name) const
    {
        const StoredFile *f = printer->Memory().Find(device, name);
        return f ? f->data : QByteArray("(none)");
    }

    RecordingLog log;
    NullOutput output;
    std::unique_ptr<VirtualPrinter> printer;
    bool loaded = false;
    QString loadError;
};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Version v of file i: its own bytes, recognisable after a crash.
QByteArray Version(int file, int v)
{
    return QByteArray("F%1V%2;")
               .replace("%1", QByteArray::number(file))
               .replace("%2", QByteArray::number(v))
        + QByteArray(100 + (v * 379) % 20000, char('a' + (file + v) % 26));
}

} // namespace

TEST(StateStore, EveryStoreChecksTheNameAndARefusalLightsTheError)
{
    QTemporaryDir dir;
    StatePrinter p(dir.path());
    ASSERT_TRUE(p.loaded) << p.loadError.toStdString();
    p.Send(FontDownloadCommand("E:", QStringLiteral("KEPT"), "k"));

    const struct
    {
        const char *what;
        QByteArray command;
        const char *reason;
    } refused[] = {
        { "a name of 17 characters",
          FontDownloadCommand("E:", QStringLiteral("ABCDEFGHIJKLMNOPQ"), "x"),
          "17 characters (1 to 16)" },
        { "a name as long as a path", "~DUE:" + QByteArray(60, 'N') + ".FNT,1,\r\n41",
          "60 characters (1 to 16)" },
        { "an extension of 4 characters", "~DUE:ABC.FONT,1,\r\n41", "extension has 4 characters" },
        { "two dots", "~DUE:A.B.FNT,1,\r\n41", "one \".\"" },
        { "a blank", "~DUE:A B.FNT,1,\r\n41", "holds \" \"" },
        { "a colon", "~DUE:A:B.FNT,1,\r\n41", "holds \":\"" },
        { "a C1 control",
          "~DUE:A\x9B"
          "2J.FNT,1,\r\n41",
          "\"A<9B>2J.FNT\"" },
        { "a long stored format", "^XA^DFE:" + QByteArray(30, 'F') + ".ZPL^FS^FO1,1^FDx^FS^XZ",
          "30 characters" },
        { "a stored format without a name", "^XA^DFE:.ZPL^FS^XZ", "0 characters" },
        { "a graphic with a long name", "~DYE:" + QByteArray(20, 'G') + ",B,G,4,1,\x01\x02\x03\x04",
          "20 characters" },
    };
    for (const auto &c : refused) {
        SCOPED_TRACE(c.what);
        p.log.errors.clear();
        p.Send(c.command);
        ASSERT_EQ(p.log.errors.size(), 1) << p.log.errors.join("\n").toStdString();
        EXPECT_TRUE(p.log.errors[0].contains("not stored")) << p.log.errors[0].toStdString();
        EXPECT_TRUE(p.log.errors[0].contains(c.reason)) << p.log.errors[0].toStdString();
        EXPECT_EQ(p.Status(), "\x80");
        EXPECT_EQ(p.Send(FileListRequest()), "DRAM FILES: FLASH FILES: KEPT.FNT\r");
    }
    // The longest names a printer takes are stored; the next store clears
    // the error.
    p.Send(FontDownloadCommand("E:", QStringLiteral("ABCDEFGHIJKLMNOP"), "y"));
    EXPECT_EQ(p.Status(), QByteArray(1, '\0'));
    StatePrinter again(dir.path());
    ASSERT_TRUE(again.loaded) << again.loadError.toStdString();
    EXPECT_EQ(again.Data('E', "ABCDEFGHIJKLMNOP.FNT"), "y");
    EXPECT_EQ(again.Data('E', "KEPT.FNT"), "k");
}

TEST(StateStore, TheLoaderRefusesWhatNoCommandCouldHaveStored)
{
    QTemporaryDir dir;
    {
        StatePrinter p(dir.path());
        p.Send(FontDownloadCommand("E:", QStringLiteral("FONT"), "abc"));
        p.Send("~DGB:LOGO.GRF,4,2,A0A0B0B0");
    }
    const QByteArray good = ReadAll(dir.filePath("state.json"));
    const QJsonObject root = QJsonDocument::fromJson(good).object();
    ASSERT_EQ(root.value("version").toInt(), 2) << good.toStdString();

    using Edit = std::function<void(QJsonObject &)>;
    const auto setting = [](const char *name, QJsonValue v) -> Edit {
        return [=](QJsonObject &r) {
            QJsonObject s = r.value("settings").toObject();
            s.insert(name, v);
            r.insert("settings", s);
        };
    };
    const auto file = [](int index, const char *name, QJsonValue v) -> Edit {
        return [=](QJsonObject &r) {
            QJsonArray files = r.value("files").toArray();
            QJsonObject f = files.at(index).toObject();
            f.insert(name, v);
            files.replace(index, f);
            r.insert("files", files);
        };
    };
    const struct
    {
        const char *what;
        Edit edit;
        const char *message;
    } cases[] = {
        { "speed 99", setting("speed", 99),
          "\"speed\" is missing or not a whole number from 1 to 14" },
        { "darkness -1", setting("darkness", -1),
          "\"darkness\" is missing or not a whole number from 0 to 30" },
        { "width 0", setting("width", 0), "\"width\"" },
        { "top 999", setting("top", 999), "\"top\"" },
        { "media type X", setting("mediaType", "X"),
          "\"mediaType\" must be one of the letters TD" },
        { "a path out of the folder", file(0, "file", "../../state.json"),
          "is not a data file of this state" },
        { "another device's data", file(0, "file", "files/B/d-aaaaaa"),
          "is not a data file of this state" },
        { "a name no printer takes", file(0, "name", "A B.FNT"), "holds \" \"" },
        { "a size that does not match", file(0, "size", 4), "holds 3 bytes, the list says 4" },
        { "negative bytes a row", file(1, "rowBytes", -3), "-3 bytes a row" },
        { "a newer version", [](QJsonObject &r) { r.insert("version", 3); }, "unknown version" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QJsonObject edited = root;
        c.edit(edited);
        const QByteArray bad = QJsonDocument(edited).toJson();
        WriteAll(dir.filePath("state.json"), bad);
        const QStringList before = QDir(dir.filePath("files/E")).entryList(QDir::Files);
        StatePrinter p(dir.path());
        EXPECT_FALSE(p.loaded);
        EXPECT_TRUE(p.loadError.contains(c.message)) << p.loadError.toStdString();
        // Nothing on disk is touched by a state that does not load.
        EXPECT_EQ(ReadAll(dir.filePath("state.json")), bad);
        EXPECT_EQ(QDir(dir.filePath("files/E")).entryList(QDir::Files), before);
    }
    WriteAll(dir.filePath("state.json"), good);
    StatePrinter p(dir.path());
    ASSERT_TRUE(p.loaded) << p.loadError.toStdString();
    EXPECT_EQ(p.Data('B', "LOGO.GRF"), QByteArray::fromHex("A0A0B0B0"));
}

TEST(StateStore, AnOlderStateLoadsAndLeftOversOfACrashGo)
{
    QTemporaryDir dir;
    // The first layout: data under the percent-encoded name, no data file
    // names in the list.
    WriteAll(dir.filePath("files/E/DEMO.FNT"), "demo");
    WriteAll(dir.filePath("files/B/%2ETTF.TTF"), "ttf");
    StatePrinter fresh(QString {});
    QJsonObject settings = fresh.printer->StoredSettings().ToJson();
    settings.insert("speed", 6);
    const QJsonObject v1 {
        { "version", 1 },
        { "settings", settings },
        { "identity", fresh.printer->Identity().ToJson() },
        { "files",
          QJsonArray { QJsonObject { { "device", "E" }, { "name", "DEMO.FNT" }, { "size", 4 } },
                       QJsonObject { { "device", "B" }, { "name", ".TTF.TTF" }, { "size", 3 } } } },
    };
    // .TTF.TTF has two dots: an older printer took it, this one does not.
    QJsonObject broken = v1;
    WriteAll(dir.filePath("state.json"), QJsonDocument(broken).toJson());
    {
        StatePrinter p(dir.path());
        EXPECT_FALSE(p.loaded);
        EXPECT_TRUE(p.loadError.contains("B:\".TTF.TTF\" is no file name"))
            << p.loadError.toStdString();
    }
    QJsonObject ok = v1;
    ok.insert("files", QJsonArray { v1.value("files").toArray().at(0) });
    WriteAll(dir.filePath("state.json"), QJsonDocument(ok).toJson());
    // Left-overs of a crash: a data file and a list never made current.
    WriteAll(dir.filePath("files/E/d-Zz09aB"), "half");
    WriteAll(dir.filePath(".state.json-q1w2e3"), "{");

    StatePrinter p(dir.path());
    ASSERT_TRUE(p.loaded) << p.loadError.toStdString();
    EXPECT_EQ(p.printer->Settings().speed, 6);
    EXPECT_EQ(p.Data('E', "DEMO.FNT"), "demo");
    EXPECT_FALSE(QFile::exists(dir.filePath("files/E/d-Zz09aB")));
    EXPECT_FALSE(QFile::exists(dir.filePath(".state.json-q1w2e3")));

    // The next change moves it to the current layout.
    p.Send(FontDownloadCommand("E:", QStringLiteral("MORE"), "more"));
    EXPECT_FALSE(QFile::exists(dir.filePath("files/E/DEMO.FNT")));
    EXPECT_EQ(QDir(dir.filePath("files/E")).entryList(QDir::Files).size(), 2);
    StatePrinter again(dir.path());
    ASSERT_TRUE(again.loaded) << again.loadError.toStdString();
    EXPECT_EQ(again.Data('E', "DEMO.FNT"), "demo");
    EXPECT_EQ(again.Data('E', "MORE.FNT"), "more");
    EXPECT_EQ(again.printer->Settings().speed, 6);
}

// The real program killed at random moments while it stores, replaces and
// deletes files: every start after it succeeds, and each file is whole, in
// a version that was sent.
TEST(PrinterProcessState, KilledWhileStoringItStartsAgainWithWholeFiles)
{
    QTemporaryDir dir;
    const QString state = dir.filePath("state");
    QRandomGenerator random(26);
    int version = 0;
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        PrinterProcess printer({ "--tcp", "0", "--state", state, "-q" });
        ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();

        QByteArray stream;
        for (int k = 0; k < 100; ++k, ++version) {
            const int file = version % 5;
            if (version % 7 == 6)
                stream += "^XA^IDE:F" + QByteArray::number(file) + ".FNT^XZ";
            else if (version % 11 == 10)
                stream += "^XA^PR" + QByteArray::number(2 + version % 5) + "^JUS^XZ";
            else
                stream += FontDownloadCommand("E:", QStringLiteral("F%1").arg(file),
                                              Version(file, version));
        }
        const int fd = ConnectLoopback(printer.TcpPort());
        ASSERT_GE(fd, 0);
        std::thread sender([fd, &stream] {
            [[maybe_unused]] const ssize_t n
                = send(fd, stream.constData(), size_t(stream.size()), MSG_NOSIGNAL);
        });
        usleep(useconds_t(1000 + random.bounded(60000)));
        printer.Stop(SIGKILL);
        shutdown(fd, SHUT_RDWR);
        sender.join();
        close(fd);

        StatePrinter p(state);
        ASSERT_TRUE(p.loaded) << p.loadError.toStdString();
        for (const StoredFile &f : p.printer->Memory().Files('E')) {
            const int file = f.name.mid(1, 1).toInt();
            const int v
                = f.data.mid(f.data.indexOf('V') + 1, f.data.indexOf(';') - f.data.indexOf('V') - 1)
                      .toInt();
            EXPECT_EQ(f.data, Version(file, v)) << f.name.toStdString();
        }
    }
    PrinterProcess last({ "--tcp", "0", "--state", state, "-q" });
    EXPECT_TRUE(last.IsRunning()) << last.Error().toStdString();
}

// A tmpfs of its own, with a size limit: the disk that fills up.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &path, const char *size)
        : path_(QFile::encodeName(path))
    {
        QDir().mkpath(path);
        mounted_ = mount("tmpfs", path_.constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                         QByteArray("size=").append(size).constData())
            == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            umount2(path_.constData(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    bool MakeReadOnly()
    {
        return mount(nullptr, path_.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QByteArray path_;
    bool mounted_ = false;
};

TEST(PrinterProcessState, AFullDiskOrAReadOnlyFolderIsReportedAndTheOldStateKept)
{
    QTemporaryDir dir;
    const QString state = dir.filePath("disk");
    SmallDisk disk(state, "256k");
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";

    PrinterProcess printer({ "--tcp", "0", "--state", state });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QByteArray small(40 * 1024, 's');
    TcpExchange(printer.TcpPort(), FontDownloadCommand("E:", QStringLiteral("SMALL"), small));
    EXPECT_FALSE(printer.WaitForLine("E:SMALL.FNT stored").isEmpty());

    // Fits in the printer's FLASH, not on the disk.
    TcpExchange(printer.TcpPort(),
                FontDownloadCommand("E:", QStringLiteral("LARGE"), QByteArray(300 * 1024, 'L')));
    const QString full = printer.WaitForLine("not stored");
    EXPECT_TRUE(full.startsWith("error: E:LARGE.FNT (307200 bytes): not stored: "))
        << full.toStdString();
    EXPECT_TRUE(full.contains("No space left on device")) << full.toStdString();
    EXPECT_EQ(TcpExchange(printer.TcpPort(), StatusRequestCommand()), "\x80");
    EXPECT_EQ(TcpExchange(printer.TcpPort(), FileListRequest()),
              "DRAM FILES: FLASH FILES: SMALL.FNT\r");

    // A store that fits clears the error.
    TcpExchange(printer.TcpPort(), FontDownloadCommand("E:", QStringLiteral("TINY"), "t"));
    EXPECT_FALSE(printer.WaitForLine("E:TINY.FNT stored").isEmpty());
    EXPECT_EQ(TcpExchange(printer.TcpPort(), StatusRequestCommand()), QByteArray(1, '\0'));

    ASSERT_TRUE(disk.MakeReadOnly());
    TcpExchange(printer.TcpPort(), "^XA^PR2^JUS^XZ");
    const QString readOnly = printer.WaitForLine("not stored");
    EXPECT_TRUE(readOnly.startsWith("error: settings: not stored: ")) << readOnly.toStdString();
    EXPECT_TRUE(readOnly.contains("Read-only file system")) << readOnly.toStdString();
    TcpExchange(printer.TcpPort(), "^XA^IDE:*.*^XZ");
    EXPECT_FALSE(printer.WaitForLine("^IDE:*.*: not stored").isEmpty());
    EXPECT_EQ(TcpExchange(printer.TcpPort(), StatusRequestCommand()), "\x80");
    EXPECT_EQ(printer.Stop(), 0);

    PrinterProcess again({ "--tcp", "0", "--state", state });
    ASSERT_TRUE(again.IsRunning()) << again.Error().toStdString();
    EXPECT_EQ(TcpExchange(again.TcpPort(), FileListRequest()),
              "DRAM FILES: FLASH FILES: SMALL.FNT TINY.FNT\r");
    EXPECT_FALSE(again.WaitForLine("settings: speed 4,").isEmpty());
}

TEST(PrinterProcessState, AStateThatDoesNotLoadSaysWhatIsWrongAndHowToGoOn)
{
    QTemporaryDir dir;
    {
        StatePrinter p(dir.path());
        p.Send("^XA^PR6^JUS^XZ");
    }
    QJsonObject root = QJsonDocument::fromJson(ReadAll(dir.filePath("state.json"))).object();
    QJsonObject settings = root.value("settings").toObject();
    settings.insert("speed", 99);
    root.insert("settings", settings);
    WriteAll(dir.filePath("state.json"), QJsonDocument(root).toJson());

    PrinterProcess printer({ "--tcp", "0", "--state", dir.path() });
    EXPECT_FALSE(printer.IsRunning());
    EXPECT_EQ(printer.WaitForExit(), 1);
    const QString message = printer.ErrorOutput();
    EXPECT_TRUE(message.contains("the state cannot be read, and is left as it is: "
                                 + dir.filePath("state.json")
                                 + ": settings: \"speed\" is missing or not a whole number from 1 "
                                   "to 14"))
        << message.toStdString();
    EXPECT_TRUE(
        message.contains("move the folder aside (mv " + dir.path() + " " + dir.path() + ".old)"))
        << message.toStdString();
}

// Sizes a printer's memory cannot hold are refused before anything of that
// size is read: the printer says the state cannot be read, it does not abort.
TEST(PrinterProcessState, SizesBeyondTheMemoryAreRefusedUnread)
{
    const struct
    {
        const char *what;
        std::function<void(const QString &dir, QJsonObject &root)> spoil;
        QString says;
    } cases[] = {
        { "a file listed at 2^40 bytes",
          [](const QString &, QJsonObject &root) {
              QJsonArray files = root.value("files").toArray();
              QJsonObject file = files.at(0).toObject();
              file.insert("size", qint64(1) << 40);
              files.replace(0, file);
              root.insert("files", files);
          },
          "E:KEPT.FNT (1099511627776 bytes) does not fit in FLASH of 65536 KB" },
        { "a list larger than any list of files",
          [](const QString &, QJsonObject &root) {
              root.insert("padding", QString(17 * 1024 * 1024, QLatin1Char('x')));
          },
          "state.json: larger than 16 MB, more than a list of files can be" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        {
            StatePrinter p(dir.path());
            p.Send(FontDownloadCommand("E:", QStringLiteral("KEPT"), "k"));
        }
        QJsonObject root = QJsonDocument::fromJson(ReadAll(dir.filePath("state.json"))).object();
        c.spoil(dir.path(), root);
        WriteAll(dir.filePath("state.json"), QJsonDocument(root).toJson());

        PrinterProcess printer({ "--tcp", "0", "--state", dir.path() });
        EXPECT_FALSE(printer.IsRunning());
        EXPECT_EQ(printer.WaitForExit(), 1);
        const QString message = printer.ErrorOutput();
        EXPECT_TRUE(message.contains("the state cannot be read, and is left as it is: "))
            << message.toStdString();
        EXPECT_TRUE(message.contains(c.says)) << message.toStdString();
    }
}
