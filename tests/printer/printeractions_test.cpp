// How the virtual printer reads a format through the command table: the
// settings it keeps, quantity, serial numbers, what prints, prefix changes,
// and what it registers beside the table; its memory's name patterns; and
// the pace of its serial line.
#include "preview/commandtable.h"
#include "preview/fielddata.h"
#include "printer/linepacer.h"
#include "printer/printeractions.h"
#include "printer/printermemory.h"
#include "printer/virtualprinter.h"
#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

class Recorder : public PrinterLog, public LabelOutput
{
public:
    QStringList info;
    QStringList errors;
    int printed = 0;
    void Info(const QString &line) override { info << line; }
    void Error(const QString &line) override { errors << line; }
    void Print(const PrintJob &) override { ++printed; }
    qint64 CancelAll() override { return 0; }
    bool Printing() const override { return false; }
    bool Backlogged() const override { return false; }
    void Dump(const QByteArray &) override { }
};

// A printer fresh from the factory (8 dots per mm) fed one connection.
struct Fed
{
    explicit Fed(const QByteArray &bytes)
    {
        const auto session = printer.OpenSession([this](const QByteArray &r) { replies += r; });
        session->Feed(bytes);
        session->EndOfInput();
    }
    Recorder record;
    VirtualPrinter printer { PrinterConfig {}, record, record };
    QByteArray replies;
};

} // namespace

TEST(FormatCommands, SettingsCommandsTakeOnlyWhatAPrinterTakes)
{
    const struct
    {
        QByteArray format;
        QString described; // PrinterSettings::Describe() afterwards
        int errors;
    } cases[] = {
        { "^XA^PR3,^PW608^LL1600^MNN^MMT,Y^MTD^PON^LT0^LS0^LH0,0^XZ",
          "speed 3, darkness 10, width 608, length 1600, media sensing N, post-print T (pre-peel), "
          "media type D, orientation N, top 0, shift 0, home 0,0",
          0 },
        { "^XA^PRD^MNY^MMR^POI^LT-120^LS-9999^LH12,^XZ",
          "speed 6, darkness 10, width 832, length 1216, media sensing W, post-print R, "
          "media type T, orientation I, top -120, shift -9999, home 12,0",
          0 },
        // Out of range or not a value: unchanged.
        { "^XA^PR,^PR15^PW-80^PWabc^LL0^MNQ^MM^MTX^POZ^LT160^LS10000^LH-1,5^XZ",
          PrinterSettings::Factory(8).Describe(), 12 },
    };
    for (const auto &c : cases) {
        const Fed fed(c.format);
        EXPECT_EQ(fed.printer.Settings().Describe(), c.described) << c.format.toStdString();
        EXPECT_EQ(fed.record.errors.size(), c.errors) << c.format.toStdString();
    }
}

// Each setting by its table rule: a value in range is taken, one outside
// keeps the old value and says why, a parameter left out does what the
// printer does with it.
TEST(FormatCommands, SettingsFollowTheTablesRangesAndDefaults)
{
    const struct
    {
        QByteArray input;
        QString change; // the log line, or the error
        QString described; // the settings it touches afterwards, in words
    } cases[] = {
        { "^XA^PW608^XZ", "format (12 bytes): width 608", "width 608" },
        { "^XA^PW2^XZ", "format (10 bytes): width 2", "width 2" },
        { "^XA^PW1^XZ", "^PW1: a value from 2 to 32000 is needed; unchanged", "width 832" },
        { "^XA^PW32001^XZ", "^PW32001: a value from 2 to 32000 is needed; unchanged", "width 832" },
        { "^XA^PW^XZ", "^PW: a value from 2 to 32000 is needed; unchanged", "width 832" },
        // Blanks and line breaks around a value are no part of it; in a
        // message they are shown as they came.
        { "^XA^PW 400\r\n^XZ", "format (15 bytes): width 400", "width 400" },
        { "^XA^PW4OO\r\n^XZ", "^PW4OO<0D><0A>: a value from 2 to 32000 is needed; unchanged",
          "width 832" },
        { "^XA^LT-121^XZ", "^LT-121: a value from -120 to 120 is needed; unchanged", "top 0" },
        { "^XA^LT-120^XZ", "format (13 bytes): top -120", "top -120" },
        { "^XA^PRb^XZ", "format (10 bytes): speed 3", "speed 3" },
        { "^XA^PR0^XZ", "^PR0: a value from 1 to 14 is needed; unchanged", "speed 4" },
        { "^XA^MNy^XZ", "format (10 bytes): media sensing W", "media sensing W" },
        { "^XA^MTX^XZ", "^MTX: one of the letters TD is needed; unchanged", "media type T" },
        { "^XA^MMP^XZ", "format (10 bytes): post-print P", "post-print P" },
        { "^XA^MMP,^XZ", "^MMP,: the pre-peel choice is Y or N; unchanged", "post-print P" },
        { "^XA^LH,7^XZ", "format (11 bytes): home 0,7", "home 0,7" },
        { "^XA^LH5^XZ", "format (10 bytes): home 5,0", "home 5,0" },
        { "^XA^LH5,32001^XZ", "^LH5,32001: a value from 0 to 32000 is needed; unchanged",
          "home 5,0" },
        { "~SD25", "~SD: darkness 25", "darkness 25" },
        { "~SD31", "~SD31: a darkness from 0 to 30 is needed; unchanged", "darkness 10" },
        { "~SD", "~SD: a darkness from 0 to 30 is needed; unchanged", "darkness 10" },
        // ^CD changes the delimiter the parameters are split at.
        { "^XA^CD;^LH3;4^XZ", "format (16 bytes): home 3,4", "home 3,4" },
    };
    for (const auto &c : cases) {
        const QByteArray &input = c.input;
        const Fed fed(input);
        const QStringList lines = fed.record.info + fed.record.errors;
        EXPECT_TRUE(lines.contains(c.change))
            << input.toStdString() << ": " << lines.join(" | ").toStdString();
        const QStringList settings = fed.printer.Settings().Describe().split(QStringLiteral(", "));
        EXPECT_TRUE(settings.contains(c.described))
            << input.toStdString() << ": " << settings.join(", ").toStdString();
    }
}

TEST(FormatCommands, QuantityAndSerialNumbers)
{
    const struct
    {
        QByteArray format;
        qint64 labels;
        qint64 replicates;
        bool error;
    } quantities[] = {
        { "^XA^FDx^XZ", 1, 1, false },
        { "^XA^PQ3,0,1,N^XZ", 3, 1, false },
        { "^XA^PQ,0,1,N^XZ", 1, 1, false },
        { "^XA^PQ6,0,2,N^XZ", 6, 2, false },
        { "^XA^PQ1^PQ99999999^XZ", 99999999, 1, false },
        { "^XA^PQ100000000^XZ", 1, 1, true },
        { "^XA^PQ2000000000^XZ", 1, 1, true },
        { "^XA^PQ-1^XZ", 1, 1, true },
        { "^XA^PQthree^XZ", 1, 1, true },
    };
    for (const auto &c : quantities) {
        const FormatFacts facts = ReadFormatFacts(c.format);
        EXPECT_EQ(facts.quantity.labels, c.labels) << c.format.toStdString();
        EXPECT_EQ(facts.quantity.replicates, c.replicates) << c.format.toStdString();
        EXPECT_EQ(!facts.quantityError.isEmpty(), c.error) << c.format.toStdString();
    }
    const Fed fed("^XA^FDx^FS^PQ100000000,0,1^XZ");
    EXPECT_EQ(fed.record.errors,
              QStringList { "^PQ100000000,0,1: a quantity from 1 to 99999999 is needed; the "
                            "format (29 bytes) prints nothing" });
    EXPECT_EQ(fed.record.printed, 0);
}

TEST(FormatCommands, SerialNumbersCountOnFromLabelToLabel)
{
    // What ^SNstart,step,zeros prints on a label, the first being 0.
    const struct
    {
        QByteArray start;
        qint64 step;
        bool zeros;
        qint64 index;
        QByteArray value;
    } serials[] = {
        { "0001", 1, true, 2, "0003" },
        { "100", -10, false, 1, " 90" },
        { "AB0998CD", 1, true, 3, "AB1001CD" },
        { "7", 1, false, 5, "2" }, // a counter of one digit
        { "X", 1, false, 5, "X" },
    };
    for (const auto &c : serials)
        EXPECT_EQ(SerialValue(c.start, c.step, c.zeros, c.index), c.value) << c.start.constData();
}

TEST(FormatCommands, WhatPrintsALabel)
{
    EXPECT_FALSE(ReadFormatFacts("^XA^PR3,^PW608^LL1600^XZ").printsLabel);
    EXPECT_FALSE(ReadFormatFacts("^XA^JUS^XZ").printsLabel);
    EXPECT_TRUE(ReadFormatFacts("^XA^FO1,1^FDx^FS^XZ").printsLabel);
    EXPECT_TRUE(ReadFormatFacts("^XA^FO1,1^GB10,10,1^FS^XZ").printsLabel);
    EXPECT_TRUE(ReadFormatFacts("^xa^fo1,1^fdx^fs^xz").printsLabel);
    EXPECT_FALSE(ReadFormatFacts("^XA^FO1,1^A0N,20^BCN,50^FS^XZ").printsLabel);
    // A recall draws what it recalls: one that finds nothing draws nothing.
    EXPECT_FALSE(ReadFormatFacts("^XA^XFR:NONE.ZPL^FS^XZ").printsLabel);
    EXPECT_EQ(Fed("^XA^XFR:NONE.ZPL^FS^XZ").record.printed, 0);
}

TEST(FormatCommands, PrefixChangesInsideAFormatAreFollowed)
{
    // Each caret command as name and what follows it up to the next
    // command, "|" between them.
    const struct
    {
        QByteArray format;
        QByteArray commands;
    } cases[] = {
        { "^XA^CC!!PW400!XZ", "XA|CC!|PW400|XZ" },
        { "^XA~CC!!PW400!XZ", "XA|PW400|XZ" },
        { "^XA~cc!!pw400!xz", "XA|PW400|XZ" },
        // After ~CT the old control prefix is text, the new one changes.
        { "^XA^CT#~CC!^PW4#CC!!XZ", "XA|CT#~CC!|PW4|XZ" },
        { "^XA~CT##CC!!PW400!XZ", "XA|PW400|XZ" },
        // A tilde that starts no prefix change is the caret command's text.
        { "^XA^FDa~b^FS~CC!!XZ", "XA|FDa~b|FS|XZ" },
        { "^XA^FD~C^XZ", "XA|FD~C|XZ" },
    };
    for (const auto &c : cases) {
        struct Found
        {
            LabelCommand::Kind kind;
            QByteArray name;
            qsizetype argsAt;
            qsizetype offset;
        };
        QList<Found> found;
        CommandLexer lexer(c.format);
        LabelCommand command;
        while (lexer.Next(command)) {
            lexer.Follow(command);
            found.append({ command.kind, command.name, command.argsAt, command.offset });
        }
        QByteArrayList names;
        for (qsizetype i = 0; i < found.size(); ++i) {
            if (found[i].kind != LabelCommand::Kind::Format)
                continue;
            const qsizetype next = i + 1 < found.size() ? found[i + 1].offset : c.format.size();
            names << found[i].name + c.format.mid(found[i].argsAt, next - found[i].argsAt);
        }
        EXPECT_EQ(names.join('|'), c.commands) << c.format.toStdString();

        // The printer reads the same commands.
        QByteArrayList read;
        ReadFormatCommands(c.format, {}, [&](const LabelCommand &cmd, const CommandEntry &, char) {
            read << cmd.name;
        });
        QByteArrayList expected;
        for (const QByteArray &each : c.commands.split('|'))
            expected << each.left(2);
        EXPECT_EQ(read, expected) << c.format.toStdString();
    }
}

// The printer registers only what the table has, each under its own entry,
// and acts on exactly the commands a real printer adds to the picture.
TEST(PrinterActions, EveryRegistrationIsATableEntryAndEveryActionIsRegistered)
{
    qsizetype count = 0;
    const PrinterAction *actions = PrinterActions(count);
    std::set<std::string> registered;
    for (qsizetype i = 0; i < count; ++i) {
        const PrinterAction &a = actions[i];
        const QByteArray written
            = (a.kind == LabelCommand::Kind::Format ? "^" : "~") + QByteArray(a.name);
        const CommandEntry *entry = FindCommand(a.kind, a.name);
        ASSERT_NE(entry, nullptr) << written.constData() << " is registered but not in the table";
        EXPECT_EQ(FindPrinterAction(*entry), &a) << written.constData();
        // A kept setting is read by the table's rule.
        EXPECT_EQ(a.setting != nullptr, entry->rule != nullptr) << written.constData();
        EXPECT_TRUE(registered.insert(written.toStdString()).second)
            << written.constData() << " is registered twice";
    }
    const std::set<std::string> acts = {
        "^PR", "^PW", "^LL", "^MN", "^MM", "^MT", "^PO", "^LT", "^LS",
        "^LH", "~SD", "^MU", "^JU", "^ID", "^DF", "^XF", "^WD", "^HH", "~WC",
        "~JD", "~JE", "~JA", "~JR", "~HS", "~HQ", "~HI", "~!F", "~!A",
    };
    EXPECT_EQ(registered, acts);

    // Inside a format the stream takes out at once the downloads and what
    // the printer registers as acted on there; every other tilde is text.
    qsizetype entries = 0;
    const CommandEntry *table = CommandTable(entries);
    std::set<std::string> immediate;
    for (qsizetype i = 0; i < entries; ++i) {
        if (table[i].kind == LabelCommand::Kind::Control
            && CommandStream::IsImmediateTilde(table[i].name))
            immediate.insert(table[i].name);
    }
    EXPECT_EQ(immediate,
              (std::set<std::string> { "SD", "WC", "JD", "JE", "JA", "JR", "!F", "!A", "DU", "DG",
                                       "DY", "DT" }));

    // Every tilde command of the table the printer does not act on is
    // reported as not known, and every one it acts on is not.
    for (qsizetype i = 0; i < entries; ++i) {
        const CommandEntry &entry = table[i];
        // Downloads and prefix changes are the command stream's.
        if (entry.kind != LabelCommand::Kind::Control || entry.role == CommandRole::State)
            continue;
        const Fed fed("~" + QByteArray(entry.name) + "\r\n");
        const bool unknown = !fed.record.errors.filter(QStringLiteral("is not known")).isEmpty();
        EXPECT_EQ(unknown, FindPrinterAction(entry) == nullptr) << entry.name;
    }
}

TEST(PrinterMemory, NamePatterns)
{
    const struct
    {
        const char *name;
        const char *pattern;
        bool matches;
    } cases[] = {
        { "DEMO.FNT", "*", true },      { "DEMO.FNT", "*.*", true },
        { "DEMO.FNT", "*.FNT", true },  { "demo.fnt", "DEMO.FNT", true },
        { "DEMO.FNT", "D?MO.*", true }, { "DEMO.FNT", "*.GRF", false },
        { "DEMO.FNT", "DEMO", false },  { "AAB", "*AB", true },
        { "ABAB", "*A*B", true },       { "", "*", true },
    };
    for (const auto &c : cases)
        EXPECT_EQ(PrinterMemory::Matches(c.name, c.pattern), c.matches)
            << c.name << " " << c.pattern;
}

TEST(LinePacer, BytesCrossAtTenBitsEach)
{
    constexpr qint64 Ms = 1000000;
    LinePacer line(9600); // 960 bytes a second
    EXPECT_EQ(line.Take(100, 0), 0);
    EXPECT_EQ(line.Take(100, 10 * Ms), 9); // 9.6 bytes have crossed
    EXPECT_EQ(line.Take(100, 20 * Ms), 10); // the 0.6 left over counts
    EXPECT_EQ(line.NanosecondsToNext(20 * Ms), 833334); // 0.8 of a byte to go
    // A quiet second stores up no more than 20 ms of bytes.
    EXPECT_EQ(line.Take(1000, 1020 * Ms), 19);
    EXPECT_EQ(line.Take(3, 1021 * Ms), 1); // 0.2 left and 0.96 more

    LinePacer unlimited;
    EXPECT_EQ(unlimited.Take(1 << 30, 0), 1 << 30);
    EXPECT_EQ(unlimited.NanosecondsToNext(0), 0);
}
