// The virtual printer fed with the program's own commands: its replies read
// back through the program's own parsers, its state after each command, and
// what it does with bad input.
#include "commands/functioncommands.h"
#include "commands/hostreplies.h"
#include "commands/printerstatus.h"
#include "commands/settingsbuilder.h"
#include "commands/statusquery.h"
#include "commands/testlabel.h"
#include "files/downloadcommand.h"
#include "files/memorycommands.h"
#include "network/addresscommands.h"
#include "printer/virtualprinter.h"
#include "support/qtprint.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingLog : public PrinterLog
{
public:
    QStringList info;
    QStringList errors;
    void Info(const QString &line) override { info << line; }
    void Error(const QString &line) override { errors << line; }
};

class RecordingOutput : public LabelOutput
{
public:
    std::vector<PrintJob> jobs;
    std::vector<QByteArray> dumps;
    bool printing = false;
    void Print(const PrintJob &job) override { jobs.push_back(job); }
    qint64 CancelAll() override
    {
        const qint64 n = qint64(jobs.size());
        jobs.clear();
        return n;
    }
    bool Printing() const override { return printing; }
    bool Backlogged() const override { return false; }
    void Dump(const QByteArray &bytes) override { dumps.push_back(bytes); }
};

class Printer : public ::testing::Test
{
protected:
    void Make(PrinterConfig config = {})
    {
        session.reset();
        printer = std::make_unique<VirtualPrinter>(config, log, output);
        QString error;
        ASSERT_TRUE(printer->LoadState(&error)) << error.toStdString();
        session = printer->OpenSession([this](const QByteArray &r) { replies += r; });
    }
    void SetUp() override { Make(); }

    // One connection's bytes; returns what the printer answered.
    QByteArray Send(const QByteArray &bytes)
    {
        replies.clear();
        session->Feed(bytes);
        session->EndOfInput();
        return replies;
    }
    QByteArray Font(int size, char fill = 'A')
    {
        return FontDownloadCommand("E:", QStringLiteral("FONT"), QByteArray(size, fill));
    }

    RecordingLog log;
    RecordingOutput output;
    std::unique_ptr<VirtualPrinter> printer;
    std::unique_ptr<PrinterSession> session;
    QByteArray replies;
};

} // namespace

TEST_F(Printer, StatusByteLightsExactlyTheConditions)
{
    const struct
    {
        quint8 conditions;
        bool printing;
        QByteArray reply;
    } cases[] = {
        { 0, false, QByteArray(1, '\0') },
        { status::HeadOpen | status::PaperOut, false, "\x05" },
        { status::HeadOpen | status::PaperOut, true, "\x25" },
        { 0xFF, false, "\xFF" },
    };
    for (const auto &c : cases) {
        printer->SetConditions(c.conditions);
        output.printing = c.printing;
        const QByteArray reply = Send(StatusRequestCommand());
        EXPECT_EQ(reply, c.reply);
        const StatusLamps lamps = EvaluateStatusReply(reply);
        for (int bit = 0; bit < 8; ++bit)
            EXPECT_EQ(lamps.conditions[bit], bool(static_cast<quint8>(c.reply[0]) & (1 << bit)));
        EXPECT_EQ(lamps.ready, c.reply[0] == '\0');
    }
}

TEST_F(Printer, FileListAndFreeMemoryInTheShapesTheProgramReads)
{
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: FLASH FILES: \r");
    EXPECT_EQ(Send(FreeMemoryRequest()), "DRAM FREE BYTE(KB): 8192FLASH FREE BYTE(KB): 65536\r\n");

    EXPECT_EQ(Send(Font(3000)), "");
    EXPECT_EQ(Send(FontDownloadCommand("R:", QStringLiteral("A"), "x")), "");
    EXPECT_EQ(Send(FontDownloadCommand("E:", QStringLiteral("B"), "yy")), "");
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: A.FNT FLASH FILES: FONT.FNT B.FNT\r");
    EXPECT_EQ(FileListLayout("DRAM FILES: A.FNT FLASH FILES: FONT.FNT B.FNT\r"),
              "DRAM FILES: \r\nA.FNT \r\nFLASH FILES: \r\nFONT.FNT B.FNT\r");
    const FreeMemoryFigures figures = ParseFreeMemory(Send(FreeMemoryRequest()));
    EXPECT_EQ(figures.dram, "8191");
    EXPECT_EQ(figures.flash, "65533"); // 3002 bytes take three kilobytes

    EXPECT_EQ(Send(FormatCommand(FormatMemory::Flash)), "");
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: A.FNT FLASH FILES: \r");
    EXPECT_EQ(Send(FormatCommand(FormatMemory::Dram)), "");
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: FLASH FILES: \r");
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join("\n").toStdString();
}

TEST_F(Printer, StoreSettingsAppliesAndKeepsTheProgramsSettings)
{
    const PrinterSettings factory = printer->Settings();
    Send(StoreSettingsCommand(StartSetupValues()));
    PrinterSettings expected = factory;
    expected.speed = 3;
    expected.darkness = 15;
    expected.widthDots = 608;
    expected.lengthDots = 1600;
    expected.mediaSensing = 'N';
    expected.postPrint = 'T';
    expected.prePeel = true;
    expected.mediaType = 'D';
    expected.orientation = 'N';
    EXPECT_EQ(printer->Settings(), expected) << printer->Settings().Describe().toStdString();
    EXPECT_EQ(printer->StoredSettings(), expected);

    // A test label applies its settings without keeping them.
    SetupPanelValues values = StartSetupValues();
    values.resolution = Resolution::Dpi300;
    Send(TestLabelCommand(values));
    EXPECT_EQ(printer->Settings().widthDots, 912);
    EXPECT_EQ(printer->StoredSettings(), expected);

    // Reset brings the stored ones back; factory default stores the factory's.
    Send(ResetPrinterCommand());
    EXPECT_EQ(printer->Settings(), expected);
    Send(FactoryDefaultCommand());
    EXPECT_EQ(printer->Settings(), factory);
    EXPECT_EQ(printer->StoredSettings(), factory);
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join("\n").toStdString();
}

TEST_F(Printer, ConfigurationAnswerIsTheDumpInItsColumns)
{
    const QByteArray factory = "\x02"
                               "  +10.0               DARKNESS          \r\n"
                               "  4.0 IPS             PRINT SPEED       \r\n"
                               "  +000                TEAR OFF ADJUST   \r\n"
                               "  TEAR OFF            PRINT MODE        \r\n"
                               "  GAP/NOTCH           MEDIA TYPE        \r\n"
                               "  THERMAL-TRANS.      PRINT METHOD      \r\n"
                               "  832                 PRINT WIDTH       \r\n"
                               "  1216                LABEL LENGTH      \r\n"
                               "  9600                BAUD              \r\n"
                               "  8 BITS              DATA BITS         \r\n"
                               "  NONE                PARITY            \r\n"
                               "  XON/XOFF            HOST HANDSHAKE    \r\n"
                               "  +000                LABEL TOP         \r\n"
                               "  +0000               LEFT POSITION     \r\n"
                               "  192.168.123.100     IP ADDRESS        \r\n"
                               "   832 8/MM FULL      RESOLUTION        \r\n"
                               "  V1.01VP <-          FIRMWARE          \r\n"
                               "\x03";
    EXPECT_EQ(Send("^XA^HH^XZ"), factory);

    // Settings the dump shows change their own lines and no other.
    Send(StoreSettingsCommand(StartSetupValues()));
    Send("^XA^LT-12^LS-345^XZ");
    QByteArray changed = factory;
    for (const auto &[before, after] : std::vector<std::pair<QByteArray, QByteArray>> {
             { "  +10.0               DARKNESS", "  +15.0               DARKNESS" },
             { "  4.0 IPS             PRINT SPEED", "  3.0 IPS             PRINT SPEED" },
             { "  GAP/NOTCH           MEDIA TYPE", "  CONTINUOUS          MEDIA TYPE" },
             { "  THERMAL-TRANS.      PRINT METHOD", "  DIRECT-THERMAL      PRINT METHOD" },
             { "  832                 PRINT WIDTH", "  608                 PRINT WIDTH" },
             { "  1216                LABEL LENGTH", "  1600                LABEL LENGTH" },
             { "  +000                LABEL TOP", "  -012                LABEL TOP" },
             { "  +0000               LEFT POSITION", "  -0345               LEFT POSITION" },
         }) {
        ASSERT_TRUE(changed.contains(before)) << before.constData();
        changed.replace(before, after);
    }
    // The top and shift were not stored: the dump says what comes back at
    // power-on.
    changed.insert(changed.size() - 1,
                   "  +000                POWER-ON LABEL TOP\r\n"
                   "  +0000               POWER-ON LEFT POSITION\r\n");
    EXPECT_EQ(Send("^XA^HH^XZ"), changed);
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join("\n").toStdString();
}

TEST_F(Printer, TestLabelPrintsItsQuantityWithSerialNumbers)
{
    SetupPanelValues values = StartSetupValues();
    values.quantity = QStringLiteral("3");
    Send(TestLabelCommand(values));
    ASSERT_EQ(output.jobs.size(), 1u);
    const PrintJob &job = output.jobs[0];
    EXPECT_EQ(job.kind, PrintJob::Kind::Label);
    EXPECT_EQ(job.quantity.labels, 3);
    EXPECT_EQ(job.settings.widthDots, 608);
    EXPECT_EQ(job.settings.lengthDots, 1600);
    // The format goes to the print mechanism as it came: the interpreter
    // counts the serial number on for each label it draws.
    EXPECT_TRUE(job.format.contains("^FO240,1536^FWN,0^SN0001,1,Y^FS")) << job.format.toStdString();
}

TEST_F(Printer, NetworkCommandsChangeTheIdentity)
{
    Send(BuildNewAddressCommand({ 10, 16, 20, 9 }));
    EXPECT_EQ(printer->Identity().IpText(), "10.16.20.9");
    EthernetId id;
    id.id3 = 16;
    id.id4 = 20;
    id.id5 = 30;
    Send(BuildEthernetIdCommand(id));
    EXPECT_EQ(printer->Identity().EthernetIdText(), "00:4B:56:10:14:1E");
    EXPECT_TRUE(log.info.filter("new IP address: 192.168.123.100 -> 10.16.20.9").size() == 1)
        << log.info.join("\n").toStdString();
}

TEST_F(Printer, PrinterMadeLabelsAndDumpMode)
{
    Send(Font(10));
    Send(DirectoryLabelCommand(1));
    ASSERT_EQ(output.jobs.size(), 1u);
    EXPECT_EQ(output.jobs[0].kind, PrintJob::Kind::Directory);
    EXPECT_TRUE(output.jobs[0].format.contains("^FDFONT.FNT  10 bytes^FS"))
        << output.jobs[0].format.toStdString();

    Send(PrintTestPageCommand());
    ASSERT_EQ(output.jobs.size(), 2u);
    EXPECT_EQ(output.jobs[1].kind, PrintJob::Kind::Configuration);
    EXPECT_TRUE(output.jobs[1].format.contains("^FDIP address 192.168.123.100^FS"));

    Send(DumpModeCommand());
    EXPECT_TRUE(printer->InDumpMode());
    EXPECT_EQ(Send("\x1B!?abc"), ""); // shown, not acted on
    ASSERT_EQ(output.dumps.size(), 2u); // a page whenever the sender is done
    EXPECT_EQ(output.dumps[0], "\r\n^XZ\r\n");
    EXPECT_EQ(output.dumps[1], "\x1B!?abc");
    Send("~JE");
    EXPECT_FALSE(printer->InDumpMode());
    EXPECT_EQ(Send("\x1B!?"), QByteArray(1, '\0'));
}

TEST_F(Printer, StoredFormatsAreRecalledAndFilesDeleted)
{
    Send("^XA^DFE:SHIP.ZPL^FS^FO10,10^FDstored field^FS^XZ");
    EXPECT_TRUE(output.jobs.empty()); // stored, not printed
    ASSERT_NE(printer->Memory().Find('E', "SHIP.ZPL"), nullptr);
    EXPECT_EQ(printer->Memory().Find('E', "SHIP.ZPL")->data, "^FS^FO10,10^FDstored field^FS");
    Send("^XA^XFE:SHIP.ZPL^FS^PQ2^XZ");
    ASSERT_EQ(output.jobs.size(), 1u);
    EXPECT_EQ(output.jobs[0].format, "^XA^FS^FO10,10^FDstored field^FS^FS^PQ2^XZ");
    EXPECT_EQ(output.jobs[0].quantity.labels, 2);

    Send(Font(1));
    Send("^XA^IDE:*.ZPL^FS^XZ");
    EXPECT_EQ(printer->Memory().Names('E'), QStringList({ "FONT.FNT" }));
    EXPECT_TRUE(log.errors.isEmpty()) << log.errors.join("\n").toStdString();
}

TEST_F(Printer, BadInputIsReportedAndHarmsNothing)
{
    Send(Font(100));
    Send(StoreSettingsCommand(StartSetupValues()));
    const PrinterSettings settings = printer->Settings();
    const QByteArray list = Send(FileListRequest());
    const QByteArray longName(10 * 1024, 'N');
    const struct
    {
        const char *what;
        QByteArray input;
    } cases[] = {
        { "garbage", QByteArray("\x01\x02\xFF\xFEgarbage") },
        { "odd-length hex", "~DUE:ODD,2,\r\n123\r\n" },
        { "not hex", "~DUE:NOHEX,2,\r\nXYZW\r\n" },
        { "a quantity of 2 billion", "^XA^FDx^FS^PQ2000000000^XZ" },
        { "a name of 10 kB", "~DUE:" + longName + ",1,\r\n41\r\n" },
        { "a name with a path", "~DUE:../X,1,\r\n41\r\n" },
        { "format cut short", "^XA^PW100^FDx" },
        { "download cut short", "~DUE:SHORT,100,\r\n4142" },
        { "settings out of range", "^XA^PW-80^LT160^MNQ^XZ" },
        { "unknown commands", "~ZZ\r\n^XA^JUQ^XZ\r\nHELLO\r\n" },
    };
    for (const auto &c : cases) {
        log.errors.clear();
        EXPECT_EQ(Send(c.input), "") << c.what;
        EXPECT_FALSE(log.errors.isEmpty()) << c.what;
        EXPECT_EQ(printer->Settings(), settings) << c.what;
        EXPECT_EQ(Send(FileListRequest()), list) << c.what;
        EXPECT_TRUE(output.jobs.empty()) << c.what;
        EXPECT_EQ(Send(StatusRequestCommand()), QByteArray(1, '\0')) << c.what;
    }
}

TEST_F(Printer, FullMemoryRefusesTheStoreUntilSomethingIsDeleted)
{
    PrinterConfig config;
    config.flashKb = 4;
    Make(config);
    Send(Font(3000));
    Send(FontDownloadCommand("E:", QStringLiteral("BIG"), QByteArray(2000, 'x')));
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: FLASH FILES: FONT.FNT\r");
    EXPECT_EQ(Send(StatusRequestCommand()), "\x80"); // "Other Error"
    EXPECT_EQ(log.errors.filter("memory full").size(), 1) << log.errors.join("\n").toStdString();
    Send(FormatCommand(FormatMemory::Flash));
    EXPECT_EQ(Send(StatusRequestCommand()), QByteArray(1, '\0'));
}

TEST_F(Printer, StateOutlivesThePrinter)
{
    QTemporaryDir dir;
    PrinterConfig config;
    config.stateDir = dir.path();
    Make(config);
    Send(StoreSettingsCommand(StartSetupValues()));
    Send(Font(5, '\0'));
    Send(FontDownloadCommand("R:", QStringLiteral("VOLATILE"), "x"));
    Send(FontDownloadCommand("B:", QStringLiteral("%2FODD"), "e"));
    Send(BuildNewAddressCommand({ 10, 0, 0, 5 }));
    Send("^XA^PW100^XZ"); // applied, not stored
    const PrinterSettings stored = printer->StoredSettings();

    Make(config);
    EXPECT_EQ(printer->Settings(), stored);
    EXPECT_EQ(printer->Identity().IpText(), "10.0.0.5");
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: FLASH FILES: FONT.FNT\r");
    ASSERT_NE(printer->Memory().Find('E', "FONT.FNT"), nullptr);
    EXPECT_EQ(printer->Memory().Find('E', "FONT.FNT")->data, QByteArray(5, '\0'));
    // Names from the wire never name a path on disk.
    ASSERT_NE(printer->Memory().Find('B', "%2FODD.FNT"), nullptr);
    EXPECT_EQ(printer->Memory().Find('B', "%2FODD.FNT")->data, "e");

    // Format FLASH: gone after the next power-on too.
    Send(FormatCommand(FormatMemory::Flash));
    Make(config);
    EXPECT_EQ(Send(FileListRequest()), "DRAM FILES: FLASH FILES: \r");
}

TEST_F(Printer, UnreadableStateIsLeftAlone)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("state.json"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{ \"version\": 1, \"settings\": ");
    f.close();
    PrinterConfig config;
    config.stateDir = dir.path();
    VirtualPrinter p(config, log, output);
    QString error;
    EXPECT_FALSE(p.LoadState(&error));
    EXPECT_TRUE(error.contains("state.json")) << error.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "{ \"version\": 1, \"settings\": ");
}

// Every condition the printer can be put in, read back the three ways a
// program asks: each answer names what it can see, and none calls a mode a
// condition.
TEST_F(Printer, StatusByteHostStatusAndExtendedReportAgree)
{
    const struct
    {
        const char *condition;
        quint8 byte;
        QStringList byByte, byHost, byExtended;
    } cases[] = {
        { "ready", 0x00, {}, {}, {} },
        { "head-open", 0x01, { "head_open" }, { "head_open" }, { "head_open" } },
        { "paper-jam", 0x02, { "paper_jam" }, {}, { "paper_jam" } },
        { "paper-out", 0x04, { "paper_out" }, { "paper_out" }, { "paper_out" } },
        { "ribbon-out", 0x08, { "ribbon_out" }, { "ribbon_out" }, { "ribbon_out" } },
        { "pause", 0x10, { "paused" }, { "paused" }, { "paused" } },
        { "cover-open", 0x40, { "cover_open" }, { "head_open" }, { "head_open" } },
        { "other-error", 0x80, { "other_error" }, {}, { "other_error" } },
        { "over-temperature",
          0x80,
          { "other_error" },
          { "over_temperature" },
          { "over_temperature" } },
        { "under-temperature",
          0x80,
          { "other_error" },
          { "under_temperature" },
          { "under_temperature" } },
        { "cutter-fault", 0x80, { "other_error" }, {}, { "cutter_fault" } },
        { "corrupt-ram", 0x80, { "other_error" }, { "corrupt_ram" }, { "corrupt_ram" } },
    };
    // With a ribbon, so that ribbon out counts.
    Send("^XA^MTT^XZ");
    ASSERT_EQ(std::size(cases), size_t(status::Count)); // every name but "printing", and ready
    for (const auto &c : cases) {
        SCOPED_TRACE(c.condition);
        const auto bits = status::ParseConditions(QLatin1String(c.condition), nullptr);
        ASSERT_TRUE(bits);
        printer->SetConditions(*bits);
        const QByteArray byte = Send(StatusRequestCommand());
        ASSERT_EQ(byte.size(), 1);
        EXPECT_EQ(quint8(byte[0]), c.byte);
        EXPECT_EQ(StatusFromByte(quint8(byte[0])).conditions, c.byByte);
        const PrinterStatus host = StatusFromHost(ParseHostStatus(Send("~HS")));
        EXPECT_EQ(host.conditions, c.byHost);
        EXPECT_EQ(host.modes, (QStringList { "thermal_transfer", "tear_off" }));
        const PrinterStatus extended = StatusFromExtended(ParseExtendedStatus(Send("~HQES")));
        EXPECT_EQ(extended.conditions, c.byExtended);
        EXPECT_TRUE(extended.modes.isEmpty());
    }
    // A store that failed is an error of the printer's own, seen as such.
    PrinterConfig small;
    small.dramKb = 1;
    Make(small);
    Send(FontDownloadCommand("R:", QStringLiteral("BIG"), QByteArray(4096, 'A')));
    EXPECT_EQ(quint8(Send(StatusRequestCommand()).at(0)), status::OtherError);
    EXPECT_EQ(StatusFromExtended(ParseExtendedStatus(Send("~HQES"))).conditions,
              QStringList { "other_error" });
}

TEST_F(Printer, AStoppedPrinterHoldsItsFormatsUntilItMayPrint)
{
    const QByteArray label = "^XA^FO10,10^GB50,50,3^FS^PQ2^XZ";
    for (const char *condition : { "pause", "head-open", "paper-out", "paper-jam", "other-error",
                                   "cutter-fault", "cover-open" }) {
        SCOPED_TRACE(condition);
        output.jobs.clear();
        printer->SetConditions(*status::ParseConditions(QLatin1String(condition), nullptr));
        Send(label + label);
        EXPECT_TRUE(output.jobs.empty());
        const HostStatus held = ParseHostStatus(Send("~HS"));
        EXPECT_EQ(held.formatsInBuffer, 2);
        EXPECT_EQ(held.labelsRemaining, 4);
        printer->SetConditions(0);
        EXPECT_EQ(output.jobs.size(), 2u);
        EXPECT_EQ(ParseHostStatus(Send("~HS")).formatsInBuffer, 0);
    }
    // Ribbon out stops only a printer that prints with a ribbon.
    output.jobs.clear();
    printer->SetConditions(status::RibbonOut);
    Send("^XA^MTD^XZ" + label);
    EXPECT_EQ(output.jobs.size(), 1u);
    Send("^XA^MTT^XZ" + label);
    EXPECT_EQ(output.jobs.size(), 1u);

    // Held labels are lost at power off, and ~JA cancels them.
    printer->SetConditions(status::Pause);
    Send("~JR");
    EXPECT_EQ(ParseHostStatus(Send("~HS")).formatsInBuffer, 0);
    output.jobs.clear();
    Send(label);
    Send("~JA");
    EXPECT_TRUE(log.info.contains(QStringLiteral("~JA: 2 labels not printed")));
    printer->SetConditions(0);
    EXPECT_TRUE(output.jobs.empty());
}

TEST_F(Printer, APausedPrinterWithAFullBufferTakesNoMore)
{
    printer->SetConditions(status::Pause);
    const QByteArray label = "^XA^FO10,10^FDheld^FS^XZ";
    int sent = 0;
    while (printer->ReadyForMore() && sent < 100000) {
        session->Feed(label);
        ++sent;
    }
    EXPECT_FALSE(printer->ReadyForMore());
    EXPECT_TRUE(ParseHostStatus(Send("~HS")).bufferFull);
    EXPECT_EQ(StatusFromHost(ParseHostStatus(Send("~HS"))).warnings, QStringList { "buffer_full" });
    printer->SetConditions(0);
    EXPECT_TRUE(printer->ReadyForMore());
    EXPECT_EQ(output.jobs.size(), size_t(sent));
}
