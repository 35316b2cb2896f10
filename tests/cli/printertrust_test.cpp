// tarvolin-cli against printers that cannot be trusted: a scripted network
// printer answers with escapes, line breaks, numbers too large to hold,
// replies split by pauses or cut short, and read-backs that are not what was
// sent. What it says is shown as data, never as the program's own lines.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/scriptedprinter.h"
#include "support/tempfile.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

#include <gtest/gtest.h>

namespace {

using Answer = ScriptedPrinter::Answer;
using Piece = ScriptedPrinter::Piece;

QByteArray Framed(const QByteArray &text)
{
    return "\x02" + text + "\x03\r\n";
}

QByteArray Identification(const QByteArray &model, const QByteArray &firmware = "V1.0",
                          const QByteArray &dotsPerMm = "8", const QByteArray &memory = "8192KB")
{
    return Framed(model + ',' + firmware + ',' + dotsPerMm + ',' + memory);
}

// A configuration as printers lay it out: value in a 20-character column,
// then the name.
QByteArray Dump(const std::vector<std::pair<QByteArray, QByteArray>> &lines)
{
    QByteArray text;
    for (const auto &[value, name] : lines)
        text += "  " + value.leftJustified(20, ' ') + name + "\r\n";
    return Framed(text);
}

QByteArray Dump(const QByteArray &darkness, const QByteArray &resolution = " 832 8/MM FULL")
{
    std::vector<std::pair<QByteArray, QByteArray>> lines { { "3.0 IPS", "PRINT SPEED" },
                                                           { "0400", "LABEL LENGTH" } };
    if (!darkness.isEmpty())
        lines.push_back({ darkness, "DARKNESS" });
    lines.push_back({ resolution, "RESOLUTION" });
    return Dump(lines);
}

QJsonObject FirstObject(const QByteArray &out)
{
    return QJsonDocument::fromJson(out.split('\n').value(0)).object();
}

TEST(CliPrinterText, WhatAPrinterCallsItselfIsShownEscapedAndNeverMakesALine)
{
    ScriptedPrinter hostile;
    // A line break and a forged report line and summary in the model, an
    // escape sequence, a C1 control in the firmware; a valid UTF-8 name.
    const QByteArray model = "TV\x1b[2J\r\ntcp://10.0.0.9 ok 0 B 1 ms\n2 targets in 1 ms: 2 ok";
    hostile.On("~HI", Identification(model, "V1\xc2\x9b", "8"));
    hostile.On("~!F",
               "DRAM FILES: A\x1b]0;x\x07.GRF FLASH FILES: \xe2\x80\xae.FNT B\xc3\xbc.FNT\r");
    ScriptedPrinter plain;
    plain.On("~HI",
             Identification("Etikettendr\xc3\xbc"
                            "cker-200dpi"));

    const CliRun info
        = RunCliProgram({ "--jobs", "1", "--to", hostile.Uri(), "--to", plain.Uri(), "info" });
    EXPECT_EQ(info.exitCode, ExitOk) << info.err.toStdString();
    const QStringList lines = QString::fromUtf8(info.out).split('\n');
    ASSERT_EQ(lines.size(), 4) << info.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(hostile.Uri() + " ok 0 B ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(" ms: TV\\x1b[2J\\x0d\\x0atcp://10.0.0.9 ok 0 B 1 ms\\x0a2 "
                                  "targets in 1 ms: 2 ok, firmware V1\\x9b, 8 dots/mm, 8192 KB"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith(plain.Uri() + " ok 0 B "));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(": Etikettendr\u00fccker-200dpi, firmware V1.0, 8 "
                                                 "dots/mm, 8192 KB")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("2 targets in ")) << lines[2].toStdString();
    EXPECT_EQ(lines[3], "");

    // JSON keeps the exact text.
    const CliRun json = RunCliProgram({ "--json", "--to", hostile.Uri(), "info" });
    const QJsonObject id = FirstObject(json.out).value("info").toObject();
    EXPECT_EQ(id.value("model").toString(), QString::fromUtf8(model));
    EXPECT_EQ(id.value("firmware").toString(), QStringLiteral("V1\u009b"));

    // Found by a sweep: the same text, the same escapes.
    const CliRun swept = RunCliProgram({ "discover", "--timeout", "1500", "--port-discovery",
                                         QString::number(plain.Port()), "--sweep", "127.0.0.1/32",
                                         "--sweep-port", QString::number(hostile.Port()) });
    EXPECT_EQ(swept.exitCode, ExitOk) << swept.err.toStdString();
    EXPECT_EQ(swept.out,
              "127.0.0.1 TV\\x1b[2J\\x0d\\x0atcp://10.0.0.9 ok 0 B 1 ms\\x0a2 targets "
              "in 1 ms: 2 ok firmware V1\\x9b\n");

    const CliRun files = RunCliProgram({ "--to", hostile.Uri(), "files" });
    EXPECT_EQ(files.exitCode, ExitOk) << files.out.toStdString();
    EXPECT_TRUE(files.out.contains("\n  A\\x1b]0;x\\x07.GRF \n")) << files.out.toStdString();
    EXPECT_TRUE(files.out.contains("\n  \\u202e.FNT B\xc3\xbc.FNT\n")) << files.out.toStdString();
    for (char c : files.out)
        EXPECT_TRUE(c == '\n' || uchar(c) >= 0x20) << files.out.toStdString();
}

TEST(CliPrinterText, AnIdentityCannotPlantSettingsInASnapshot)
{
    ScriptedPrinter printer;
    printer.On("~HI",
               Identification("TV\ndirection = Invert\nhome-x = 4000\nresolution = 300dpi",
                              "V1\r\nhome-y = 2000"));
    printer.On("^HH", Dump("+15.0"));
    QTemporaryDir dir;
    const QString snap = dir.filePath("snap.ini");
    const CliRun run = RunCliProgram({ "--to", printer.Uri(), "snapshot", "-o", snap });
    ASSERT_EQ(run.exitCode, ExitOk) << run.out.toStdString() << run.err.toStdString();
    QFile file(snap);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> settings;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (!line.startsWith('#') && !line.isEmpty())
            settings << line;
    EXPECT_EQ(settings,
              (QList<QByteArray> { "resolution = 203dpi", "unit = mm", "speed = 3", "density = 15",
                                   "height = 50" }));
    // The profile reads, and sends what its settings alone send.
    const QString clean = WriteTempFile(dir, "clean.ini", settings.join('\n') + '\n');
    const CliRun store = RunCliProgram({ "--dry-run", "store-settings", snap });
    EXPECT_EQ(store.exitCode, ExitOk) << store.err.toStdString();
    EXPECT_EQ(store.out, RunCliProgram({ "--dry-run", "store-settings", clean }).out);
}

TEST(CliPrinterNumbers, ANumberTooLargeToHoldFailsAndIsNeverReadAsAnother)
{
    QTemporaryDir dir;
    const QString profile = WriteTempFile(dir, "p.ini", "density = 0\n");
    const QByteArray ready = Framed("030,0,0,0400,000,0,0,0,000,0,0,0")
        + Framed("001,0,0,0,1,2,6,0,00000000,1,000") + Framed("1234,0");
    const struct
    {
        const char *what;
        QByteArray request;
        QByteArray reply;
        QStringList args;
        QString error;
    } cases[] = {
        { "darkness of 2^32",
          "^HH",
          Dump("+4294967296"),
          { "apply", profile },
          "Configuration: DARKNESS '+4294967296' is not a number the printer could hold" },
        { "darkness in diff",
          "^HH",
          Dump("+4294967296.0"),
          { "diff", profile },
          "Configuration: DARKNESS '+4294967296.0' is not a number the printer could hold" },
        { "label length",
          "^HH",
          Dump({ { "4294967296", "LABEL LENGTH" } }),
          { "config" },
          "Configuration: LABEL LENGTH '4294967296' is not a number the printer could hold" },
        { "host status of 10 digits",
          "~HS",
          QByteArray(ready).replace("0400", "4294967296"),
          { "host-status" },
          "Host status: field 4 of string 1 (label length) is not a number the printer could "
          "hold: '4294967296'" },
        { "memory",
          "~HI",
          Identification("TV", "V1", "8", "99999999999KB"),
          { "info" },
          "Identification: memory is not a number the printer could hold: '99999999999KB'" },
        { "free memory",
          "~!A",
          "DRAM FREE BYTE(KB): 99999999999999999999FLASH FREE BYTE(KB): 1\r\n",
          { "free-memory" },
          "Free memory: the DRAM figure '99999999999999999999' is not a number the printer "
          "could hold" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrinter printer;
        printer.On(c.request, c.reply);
        const CliRun run = RunCliProgram(QStringList { "--to", printer.Uri() } + c.args);
        EXPECT_EQ(run.exitCode, ExitFailed) << run.out.toStdString();
        EXPECT_EQ(QString::fromUtf8(run.out).section('\n', 0, 0),
                  printer.Uri() + " FAILED: " + c.error);
    }
}

// apply's read-back: the printer answers its first configuration with
// density 10, the one after the settings as each case has it.
TEST(CliApplyVerifies, AReadBackThatIsNotWhatWasSentIsAFailureThatSaysTheSettingsWent)
{
    QTemporaryDir dir;
    const QString profile = WriteTempFile(dir, "p.ini", "density = 15\n");
    const QByteArray sentSettings = "^XA\r\n~SD15\r\n^XZ\r\n^XA\r\n^JUS\r\n^XZ\r\n";
    const QString sent = "; the settings were sent and may be stored";
    const struct
    {
        const char *what;
        Answer after;
        QByteArray idAfter;
        QString result; // the report line after the target
        bool verified;
    } cases[] = {
        { "taken", { { Piece { Dump("+15.0") } } }, "TV", "ok", true },
        { "density left out of the read-back",
          { { Piece { Dump(QByteArray()) } } },
          "TV",
          "FAILED: not read back: density" + sent,
          false },
        { "another resolution",
          { { Piece { Dump("+15.0", "1248 12/MM FULL") } } },
          "TV",
          "FAILED: the read-back is at 12 dots per mm, the printer was at 8" + sent,
          false },
        { "another printer",
          { { Piece { Dump("+15.0") } } },
          "OTHER",
          "FAILED: another printer answered the read-back (OTHER, firmware V1.0; before: TV, "
          "firmware V1.0)"
              + sent,
          false },
        { "not taken",
          { { Piece { Dump("+10.0") } } },
          "TV",
          "FAILED: did not take: density: printer 10, profile 15" + sent,
          false },
        { "connection dropped after the settings",
          { {}, true },
          "TV",
          "FAILED: Configuration: the printer closed the connection without answering" + sent,
          false },
    };
    const auto scripted = [](const Answer &after, const QByteArray &idAfter) {
        auto printer = std::make_unique<ScriptedPrinter>();
        printer->On("^HH", { Answer { { Piece { Dump("+10.0") } } }, after });
        printer->On("~HI",
                    { Answer { { Piece { Identification("TV") } } },
                      Answer { { Piece { Identification(idAfter) } } } });
        return printer;
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::unique_ptr<ScriptedPrinter> text = scripted(c.after, c.idAfter);
        const ScriptedPrinter &printer = *text;
        const CliRun run = RunCliProgram({ "--to", printer.Uri(), "apply", profile });
        EXPECT_EQ(run.exitCode, c.verified ? ExitOk : ExitFailed) << run.out.toStdString();
        const QString line = QString::fromUtf8(run.out).section('\n', 0, 0);
        if (c.verified)
            EXPECT_TRUE(line.endsWith(": changed density (verified)")) << line.toStdString();
        else
            EXPECT_EQ(line, printer.Uri() + ' ' + c.result);
        const std::vector<QByteArray> requests = printer.Requests();
        ASSERT_GE(requests.size(), 3u);
        EXPECT_TRUE(requests[2].startsWith(sentSettings)) << requests[2].toStdString();

        const std::unique_ptr<ScriptedPrinter> again = scripted(c.after, c.idAfter);
        const CliRun json = RunCliProgram({ "--json", "--to", again->Uri(), "apply", profile });
        const QJsonObject o = FirstObject(json.out);
        EXPECT_EQ(o.value("result").toString(), c.verified ? "ok" : "failed");
        EXPECT_EQ(o.value("bytes").toInteger(), sentSettings.size()) << json.out.toStdString();
        EXPECT_TRUE(o.value("changed").toBool());
        EXPECT_EQ(o.value("verified").toBool(), c.verified);
    }
}

TEST(CliUnframedReplies, EndOnTheFormOfTheirLastLineNotOnAPause)
{
    const struct
    {
        const char *what;
        const char *operation;
        Answer answer;
        QByteArray line; // the report's first line after the target
        QByteArray more = {}; // and what follows
    } cases[] = {
        { "free memory split by a pause",
          "free-memory",
          { { Piece { "DRAM FREE BYTE(KB): 65" }, Piece { "536FLASH FREE BYTE(KB): 10", 400 },
              Piece { "24\r\n", 400 } } },
          ": DRAM 65536 KB free, FLASH 1024 KB free" },
        { "file list split by a pause",
          "files",
          { { Piece { "DRAM FILES: A.GRF " }, Piece { "B.GRF FLASH FILES: C.FNT", 400 },
              Piece { " D.FNT\r", 400 } } },
          "",
          "  DRAM FILES: \n  A.GRF B.GRF \n  FLASH FILES: \n  C.FNT D.FNT\n" },
        { "free memory cut short",
          "free-memory",
          { { Piece { "DRAM FREE BYTE(KB): 65" } }, true },
          " FAILED: Free memory: the reply was cut short: the printer closed the connection "
          "after 22 bytes, before the reply was complete" },
        { "file list cut short",
          "files",
          { { Piece { "DRAM FILES: A.GRF FLASH FILES: B" } }, true },
          " FAILED: File list: the reply was cut short: the printer closed the connection "
          "after 32 bytes, before the reply was complete" },
        { "another answer ends with a quiet line",
          "free-memory",
          { { Piece { "hello\r\n" } } },
          " FAILED: The printer's reply is not a free-memory answer: \"hello<0D><0A>\" (7 "
          "bytes)" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedPrinter printer;
        printer.On(c.operation == QLatin1String("files") ? "~!F" : "~!A", { c.answer });
        const CliRun run = RunCliProgram({ "--to", printer.Uri(), c.operation });
        const QByteArray first = run.out.left(run.out.indexOf('\n'));
        const QByteArray uri = printer.Uri().toUtf8();
        if (c.line.startsWith(" FAILED")) {
            EXPECT_EQ(run.exitCode, ExitFailed);
            EXPECT_EQ(first, uri + c.line);
        } else {
            EXPECT_EQ(run.exitCode, ExitOk) << run.out.toStdString();
            EXPECT_TRUE(first.startsWith(uri + " ok ") && first.endsWith(c.line))
                << run.out.toStdString();
            EXPECT_EQ(run.out.mid(first.size() + 1), c.more);
        }
    }
}

} // namespace
