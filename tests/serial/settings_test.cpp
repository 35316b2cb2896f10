// Settings, text conversions, errors and the mapping onto the terminal
// interface: everything that needs no device.

#include "serial/cport.h"
#include "serial/termiosmap.h"

#include <asm/termbits.h>

#include <gtest/gtest.h>

#include <cerrno>

TEST(ComTextTest, BaudRateFromText)
{
    const struct
    {
        const char *text;
        TBaudRate expected;
    } cases[] = {
        { "9600", br9600 },     { "19200", br19200 },   { "38400", br38400 },
        { "115200", br115200 }, { "110", br110 },       { "256000", br256000 },
        { "Custom", brCustom }, { "CUSTOM", brCustom }, { "cUsToM", brCustom },
        { "", br9600 },         { "115 200", br9600 },  { " 9600", br9600 },
        { "1200x", br9600 },    { "14400", br14400 },   { "0", br9600 },
    };
    for (const auto &c : cases)
        EXPECT_EQ(BaudRateFromText(QString::fromLatin1(c.text)), c.expected) << c.text;
}

namespace {
// Each value has its text in value order, and the text in another letter
// case converts back to the value.
template<class E>
void ExpectTexts(const QStringList &texts, QString (*toText)(E), E (*fromText)(const QString &))
{
    for (int i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(toText(E(i)), texts[i]);
        EXPECT_EQ(fromText(texts[i].toLower()), E(i)) << texts[i].toStdString();
        EXPECT_EQ(fromText(texts[i].toUpper()), E(i)) << texts[i].toStdString();
    }
}
} // namespace

TEST(ComTextTest, EveryValueRoundTripsThroughItsText)
{
    ExpectTexts<TBaudRate>({ "Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400",
                             "19200", "38400", "56000", "57600", "115200", "128000", "256000" },
                           BaudRateToText, BaudRateFromText);
    ExpectTexts<TStopBits>({ "1", "1.5", "2" }, StopBitsToText, StopBitsFromText);
    ExpectTexts<TDataBits>({ "5", "6", "7", "8" }, DataBitsToText, DataBitsFromText);
    ExpectTexts<TParityBits>({ "None", "Odd", "Even", "Mark", "Space" }, ParityToText,
                             ParityFromText);
    ExpectTexts<TFlowControl>({ "Hardware", "Software", "None", "Custom" }, FlowControlToText,
                              FlowControlFromText);
    ExpectTexts<TDTRFlowControl>({ "Disable", "Enable", "Handshake" }, DTRToText, DTRFromText);
    ExpectTexts<TRTSFlowControl>({ "Disable", "Enable", "Handshake", "Toggle" }, RTSToText,
                                 RTSFromText);
}

TEST(ComTextTest, FromTextFallbacks)
{
    EXPECT_EQ(StopBitsFromText("1,5"), sbOneStopBit);
    EXPECT_EQ(DataBitsFromText("9"), dbEight);
    EXPECT_EQ(ParityFromText("odd "), prNone);
    EXPECT_EQ(FlowControlFromText("Xon"), fcCustom);
    EXPECT_EQ(DTRFromText(""), dtrDisable);
    EXPECT_EQ(RTSFromText("on"), rtsDisable);
}

TEST(ComTextTest, FlagsAndCharacters)
{
    EXPECT_EQ(FlagToText(true), "Yes");
    EXPECT_EQ(FlagToText(false), "No");
    EXPECT_TRUE(FlagFromText("yes"));
    EXPECT_TRUE(FlagFromText("YES"));
    EXPECT_FALSE(FlagFromText("Y"));
    EXPECT_FALSE(FlagFromText("yes "));
    EXPECT_FALSE(FlagFromText("True"));

    const struct
    {
        int code;
        const char *text;
    } toText[] = { { 17, "#17" }, { 65, "A" }, { 200, "#200" }, { 0, "#0" },
                   { 32, "#32" }, { 33, "!" }, { 127, "\x7f" }, { 128, "#128" } };
    for (const auto &c : toText)
        EXPECT_EQ(CharToText(std::uint8_t(c.code)), QString::fromLatin1(c.text)) << c.code;

    const struct
    {
        const char *text;
        int code;
    } fromText[] = { { "#17", 17 }, { "#A", 0 },     { "#", '#' }, { "", 0 },     { "A", 'A' },
                     { "AB", 'A' }, { "#200", 200 }, { "#1x", 0 }, { "#256", 0 }, { "#-1", 0 } };
    for (const auto &c : fromText)
        EXPECT_EQ(CharFromText(QString::fromLatin1(c.text)), c.code) << c.text;
}

TEST(ComErrorTest, TextsAndSystemSuffix)
{
    const EComPort open(pcOpen, ENOENT);
    EXPECT_EQ(open.Message(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(open.PortCode(), 1);
    EXPECT_EQ(open.SystemCode(), ENOENT);

    const EComPort link(pcLink);
    EXPECT_EQ(link.Message(), "Link (un)registration failed");
    EXPECT_EQ(link.SystemCode(), -1);
    EXPECT_STREQ(link.what(), "Link (un)registration failed");

    const char *texts[] = { "Unable to open com port",
                            "WriteFile function failed",
                            "ReadFile function failed",
                            "Invalid Async parameter",
                            "PurgeComm function failed",
                            "Unable to get async status",
                            "SetCommState function failed",
                            "SetCommTimeouts failed",
                            "SetupComm function failed",
                            "ClearCommError function failed",
                            "GetCommModemStatus function failed",
                            "EscapeCommFunction function failed",
                            "TransmitCommChar function failed",
                            "Cannot set property while connected",
                            "EnumPorts function failed",
                            "Failed to store settings",
                            "Failed to load settings",
                            "Link (un)registration failed",
                            "Cannot change led state if ComPort is selected",
                            "Cannot wait for event if event thread is created",
                            "WaitForEvent method failed",
                            "A component is linked to OnRxBuf event",
                            "Registry error" };
    for (int code = 1; code <= 23; ++code)
        EXPECT_EQ(EComPort::TextOf(code), QString::fromLatin1(texts[code - 1])) << code;
    // The application's error box shows it: it is one of ours.
    EXPECT_NO_THROW(static_cast<void>(dynamic_cast<const ETarvolinError &>(open)));
}

TEST(ComSettingsTest, DefaultsAndThePrinterPort)
{
    TComPort port;
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600u);
    EXPECT_EQ(port.Events().Bits(), 0x3FF);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024);
    EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
    EXPECT_FALSE(port.Connected());

    ConfigurePrinterPort(port);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcSoftware);
    EXPECT_TRUE(port.FlowControl().XonXoffIn());
    EXPECT_TRUE(port.FlowControl().XonXoffOut());
    EXPECT_EQ(port.FlowControl().XonChar(), 0x11);
    EXPECT_EQ(port.FlowControl().XoffChar(), 0x13);
    EXPECT_EQ(port.FlowControl().ControlDTR(), dtrDisable);
    EXPECT_EQ(port.FlowControl().ControlRTS(), rtsDisable);
    EXPECT_EQ(port.Buffer().InputSize(), 1024);
    EXPECT_EQ(port.Buffer().OutputSize(), 0);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
}

TEST(ComSettingsTest, FlowControlSummary)
{
    TComFlowControl f;
    f.SetXonXoffIn(true);
    f.SetXonXoffOut(true);
    f.SetOutDSRFlow(true);
    f.SetControlDTR(dtrEnable);
    EXPECT_EQ(f.FlowControl(), fcSoftware); // DSR flow and DTR do not count

    f.SetFlowControl(fcNone);
    EXPECT_FALSE(f.XonXoffIn());
    EXPECT_FALSE(f.XonXoffOut());
    EXPECT_TRUE(f.OutDSRFlow());
    EXPECT_EQ(f.ControlDTR(), dtrEnable);
    EXPECT_EQ(f.FlowControl(), fcNone);

    f.SetFlowControl(fcHardware);
    EXPECT_EQ(f.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_EQ(f.FlowControl(), fcHardware);

    f.SetXonXoffIn(true); // hardware plus half of software
    EXPECT_EQ(f.FlowControl(), fcCustom);
    f.SetFlowControl(fcCustom);
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.OutCTSFlow());

    f.SetFlowControl(fcSoftware);
    EXPECT_EQ(f.ControlRTS(), rtsDisable);
    EXPECT_FALSE(f.OutCTSFlow());
    EXPECT_EQ(f.FlowControl(), fcSoftware);

    f.SetControlRTS(rtsEnable);
    EXPECT_EQ(f.FlowControl(), fcCustom);
}

TEST(ComSettingsTest, QueueSizesAreEvened)
{
    const struct
    {
        int in, stored;
    } cases[] = { { 1025, 1024 }, { 1024, 1024 }, { 1, 0 }, { 0, 0 }, { -3, -3 }, { -4, -4 } };
    for (const auto &c : cases) {
        TComBuffer b;
        b.SetInputSize(c.in);
        b.SetOutputSize(c.in);
        EXPECT_EQ(b.InputSize(), c.stored) << c.in;
        EXPECT_EQ(b.OutputSize(), c.stored) << c.in;
    }
}

TEST(ComSettingsTest, AssignCopiesEveryField)
{
    TComPort port;
    TComParity p;
    p.SetBits(prMark);
    p.SetCheck(true);
    p.SetReplace(true);
    p.SetReplaceChar('?');
    port.SetParity(p);
    EXPECT_EQ(port.Parity().Bits(), prMark);
    EXPECT_TRUE(port.Parity().Check());
    EXPECT_TRUE(port.Parity().Replace());
    EXPECT_EQ(port.Parity().ReplaceChar(), '?');

    TComTimeouts t;
    t.SetReadInterval(5);
    t.SetReadTotalMultiplier(6);
    t.SetReadTotalConstant(7);
    t.SetWriteTotalMultiplier(8);
    t.SetWriteTotalConstant(9);
    port.SetTimeouts(t);
    EXPECT_EQ(port.Timeouts().ReadInterval(), 5);
    EXPECT_EQ(port.Timeouts().ReadTotalMultiplier(), 6);
    EXPECT_EQ(port.Timeouts().ReadTotalConstant(), 7);
    EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 8);
    EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 9);

    TComFlowControl f;
    f.SetFlowControl(fcHardware);
    f.SetXonChar(1);
    f.SetXoffChar(2);
    f.SetDSRSensitivity(true);
    f.SetTxContinueOnXoff(true);
    port.SetFlowControl(f);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcHardware);
    EXPECT_EQ(port.FlowControl().XonChar(), 1);
    EXPECT_EQ(port.FlowControl().XoffChar(), 2);
    EXPECT_TRUE(port.FlowControl().DSRSensitivity());
    EXPECT_TRUE(port.FlowControl().TxContinueOnXoff());
}

TEST(ComEventsTest, SetOfTenEvents)
{
    EXPECT_EQ(TComEvents::All().Bits(), 0x3FF);
    TComEvents s { evRxChar, evRx80Full };
    EXPECT_EQ(s.Bits(), 0x201);
    EXPECT_TRUE(s.Contains(evRx80Full));
    EXPECT_FALSE(s.Contains(evTxEmpty));
    s.Exclude(evRxChar);
    s.Include(evTxEmpty);
    EXPECT_EQ(s.Bits(), 0x202);
    EXPECT_EQ(TComEvents::FromBits(0xFFFF), TComEvents::All());
    EXPECT_TRUE(TComEvents().IsEmpty());
}

TEST(TermiosMapTest, DevicePaths)
{
    const struct
    {
        const char *port, *path;
    } cases[]
        = { { "COM1", "/dev/ttyS0" },      { "COM4", "/dev/ttyS3" },       { "com2", "/dev/ttyS1" },
            { "COM12", "/dev/ttyS11" },    { "/dev/pts/7", "/dev/pts/7" }, { "/tmp/x", "/tmp/x" },
            { "ttyUSB0", "/dev/ttyUSB0" }, { "COM0", "/dev/COM0" },        { "COMX", "/dev/COMX" },
            { "COM1 ", "/dev/COM1 " } };
    for (const auto &c : cases)
        EXPECT_EQ(DevicePath(QString::fromLatin1(c.port)), QByteArray(c.path)) << c.port;
}

TEST(TermiosMapTest, EnumsOntoFlags)
{
    EXPECT_EQ(DataBitsFlags(dbFive), unsigned(CS5));
    EXPECT_EQ(DataBitsFlags(dbSix), unsigned(CS6));
    EXPECT_EQ(DataBitsFlags(dbSeven), unsigned(CS7));
    EXPECT_EQ(DataBitsFlags(dbEight), unsigned(CS8));
    EXPECT_EQ(StopBitsFlags(sbOneStopBit), 0u);
    EXPECT_EQ(StopBitsFlags(sbOne5StopBits), unsigned(CSTOPB));
    EXPECT_EQ(StopBitsFlags(sbTwoStopBits), unsigned(CSTOPB));
    EXPECT_EQ(ParityFlags(prNone), 0u);
    EXPECT_EQ(ParityFlags(prOdd), unsigned(PARENB | PARODD));
    EXPECT_EQ(ParityFlags(prEven), unsigned(PARENB));
    EXPECT_EQ(ParityFlags(prMark), unsigned(PARENB | PARODD | CMSPAR));
    EXPECT_EQ(ParityFlags(prSpace), unsigned(PARENB | CMSPAR));
    EXPECT_EQ(DTRAction(dtrDisable), ModemLineAction::Lower);
    EXPECT_EQ(DTRAction(dtrEnable), ModemLineAction::Raise);
    EXPECT_EQ(RTSAction(rtsDisable), ModemLineAction::Lower);
    EXPECT_EQ(RTSAction(rtsEnable), ModemLineAction::Raise);
    EXPECT_EQ(RTSAction(rtsHandshake), ModemLineAction::Kernel);
}

TEST(TermiosMapTest, Speeds)
{
    const struct
    {
        TBaudRate rate;
        std::uint32_t custom, bps, code;
    } cases[] = {
        { br110, 0, 110, B110 },
        { br9600, 0, 9600, B9600 },
        { br19200, 0, 19200, B19200 },
        { br38400, 0, 38400, B38400 },
        { br57600, 0, 57600, B57600 },
        { br115200, 0, 115200, B115200 },
        { br14400, 0, 14400, BOTHER },
        { br56000, 0, 56000, BOTHER },
        { br128000, 0, 128000, BOTHER },
        { br256000, 0, 256000, BOTHER },
        { brCustom, 12345, 12345, BOTHER },
        { brCustom, 4800, 4800, B4800 },
    };
    for (const auto &c : cases) {
        LineSettings s;
        s.baudRate = c.rate;
        s.customBaudRate = c.custom;
        const DeviceLineSettings d = MapLineSettings(s);
        EXPECT_EQ(d.speed, c.bps) << c.rate;
        EXPECT_EQ(d.cflag & CBAUD, c.code) << c.rate;
    }
}

TEST(TermiosMapTest, ThePrinterLine)
{
    LineSettings s; // 9600 8N1
    s.xonXoffIn = true;
    s.xonXoffOut = true;
    const DeviceLineSettings d = MapLineSettings(s);
    EXPECT_EQ(d.cflag, unsigned(B9600 | CS8 | CREAD | CLOCAL));
    EXPECT_EQ(d.iflag, unsigned(IXON | IXOFF));
    EXPECT_EQ(d.oflag, 0u);
    EXPECT_EQ(d.lflag, 0u);
    EXPECT_EQ(d.startChar, 0x11);
    EXPECT_EQ(d.stopChar, 0x13);
    EXPECT_EQ(d.dtr, ModemLineAction::Lower);
    EXPECT_EQ(d.rts, ModemLineAction::Lower);

    s.xonXoffIn = s.xonXoffOut = false;
    s.outCTSFlow = true; // CTS output flow alone also takes the kernel's handshake
    s.parityCheck = true;
    const DeviceLineSettings h = MapLineSettings(s);
    EXPECT_EQ(h.cflag & CRTSCTS, unsigned(CRTSCTS));
    EXPECT_EQ(h.iflag, unsigned(INPCK));
}
