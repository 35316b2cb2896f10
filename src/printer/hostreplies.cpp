#include "printer/hostreplies.h"

#include "commands/printerstatus.h"
#include "printer/virtualprinter.h"

#include <algorithm>

namespace {

QByteArray Framed(const QByteArray &text)
{
    return '\x02' + text + "\x03\r\n";
}

QByteArray Digits(qint64 value, int width)
{
    return QByteArray::number(value).rightJustified(width, '0');
}

QByteArray Signed(int value, int width)
{
    return (value < 0 ? "-" : "+") + Digits(qAbs(value), width);
}

QByteArray Flag(bool on)
{
    return on ? "1" : "0";
}

// Two blanks, the value in 20 columns, the name in 18. Written into the
// reply in place: a fleet asks every printer for it.
void AddSettingLine(QByteArray &text, QByteArrayView value, QByteArrayView name)
{
    text += "  ";
    text += value;
    text.append(std::max<qsizetype>(0, 20 - value.size()), ' ');
    text += name;
    text.append(std::max<qsizetype>(0, 18 - name.size()), ' ');
    text += "\r\n";
}

int GraphicsStored(const PrinterMemory &memory)
{
    int count = 0;
    for (QChar device : PrinterMemory::DeviceLetters())
        for (const StoredFile &f : memory.Files(device))
            count += f.name.endsWith(QLatin1String(".GRF"), Qt::CaseInsensitive) ? 1 : 0;
    return count;
}

QByteArray PrintModeCode(char postPrint)
{
    switch (postPrint) {
    case 'R':
        return "0";
    case 'P':
        return "1";
    case 'C':
        return "3";
    case 'A':
        return "4";
    default:
        return "2"; // tear off
    }
}

QByteArray PrintModeName(char postPrint)
{
    switch (postPrint) {
    case 'R':
        return "REWIND";
    case 'P':
        return "PEEL OFF";
    case 'C':
        return "CUTTER";
    case 'A':
        return "APPLICATOR";
    default:
        return "TEAR OFF";
    }
}

QByteArray MediaTypeName(char sensing)
{
    switch (sensing) {
    case 'N':
        return "CONTINUOUS";
    case 'M':
        return "MARK";
    default:
        return "GAP/NOTCH";
    }
}

QByteArray DarknessText(int darkness)
{
    return "+" + QByteArray::number(darkness) + ".0";
}

QByteArray SpeedText(int speed)
{
    return QByteArray::number(speed) + ".0 IPS";
}

QByteArray MethodText(char mediaType)
{
    return mediaType == 'D' ? "DIRECT-THERMAL" : "THERMAL-TRANS.";
}

// A setting taken but not stored is listed once more with the value it
// comes back with at power-on, as "POWER-ON <name>".
void AddPowerOnLines(QByteArray &text, const PrinterSettings &s, const PrinterSettings &stored)
{
    const auto line = [&](bool differs, QByteArrayView value, QByteArrayView name) {
        if (differs)
            AddSettingLine(text, value, "POWER-ON " + name.toByteArray());
    };
    line(s.darkness != stored.darkness, DarknessText(stored.darkness), "DARKNESS");
    line(s.speed != stored.speed, SpeedText(stored.speed), "PRINT SPEED");
    line(s.postPrint != stored.postPrint, PrintModeName(stored.postPrint), "PRINT MODE");
    line(s.mediaSensing != stored.mediaSensing, MediaTypeName(stored.mediaSensing), "MEDIA TYPE");
    line(s.mediaType != stored.mediaType, MethodText(stored.mediaType), "PRINT METHOD");
    line(s.widthDots != stored.widthDots, QByteArray::number(stored.widthDots), "PRINT WIDTH");
    line(s.lengthDots != stored.lengthDots, Digits(stored.lengthDots, 4), "LABEL LENGTH");
    line(s.top != stored.top, Signed(stored.top, 3), "LABEL TOP");
    line(s.shift != stored.shift, Signed(stored.shift, 4), "LEFT POSITION");
}

} // namespace

QByteArray VirtualPrinterModel(int dotsPerMm)
{
    return dotsPerMm == 12 ? "TARVOLIN VP-300dpi" : "TARVOLIN VP-200dpi";
}

QByteArray VirtualPrinterFirmware()
{
    return "V1.01VP";
}

QByteArray HostStatusReply(const VirtualPrinter &printer)
{
    const PrinterSettings &s = printer.Settings();
    const quint32 c = printer.Conditions();
    const bool transfer = s.mediaType == 'T';
    // The serial line the program sets: 9600 baud, 8 data bits, 1 stop bit,
    // Xon/Xoff. Function bits: 7 continuous media, 0 thermal transfer.
    const QByteArray first = "030," + Flag(c & status::PaperOut) + ',' + Flag(c & status::Pause)
        + ',' + Digits(s.lengthDots, 4) + ',' + Digits(std::min(printer.FormatsHeld(), 999), 3)
        + ',' + Flag(!printer.ReadyForMore()) + ',' + Flag(printer.InDumpMode()) + ",0,000,"
        + Flag(c & status::CorruptRam) + ',' + Flag(c & status::UnderTemperature) + ','
        + Flag(c & status::OverTemperature);
    const int function = (s.mediaSensing == 'N' ? 0x80 : 0) | (transfer ? 0x01 : 0);
    const QByteArray second = Digits(function, 3) + ",0,"
        + Flag(c & (status::HeadOpen | status::CoverOpen)) + ',' + Flag(c & status::RibbonOut) + ','
        + Flag(transfer) + ',' + PrintModeCode(s.postPrint) + ",6,0,"
        + Digits(std::min<qint64>(printer.LabelsHeld(), 99999999), 8) + ",1,"
        + Digits(GraphicsStored(printer.Memory()), 3);
    return Framed(first) + Framed(second) + Framed("1234,0");
}

QByteArray ExtendedStatusReply(const VirtualPrinter &printer)
{
    const quint32 c = printer.Conditions();
    const auto bit = [c](quint32 condition, quint32 reported) {
        return c & condition ? reported : 0u;
    };
    ExtendedStatus e;
    e.errors = bit(status::PaperOut, extended::PaperOut)
        | bit(printer.Settings().mediaType == 'T' ? status::RibbonOut : 0, extended::RibbonOut)
        | bit(status::HeadOpen | status::CoverOpen, extended::HeadOpen)
        | bit(status::CutterFault, extended::CutterFault)
        | bit(status::OverTemperature, extended::HeadOverTemperature)
        | bit(status::UnderTemperature, extended::HeadUnderTemperature)
        | bit(status::PaperJam, extended::PaperJam) | bit(status::Pause, extended::Paused)
        | bit(status::CorruptRam, extended::CorruptRam)
        | bit(status::OtherError, extended::MemoryError)
        | (printer.StoreError() ? extended::MemoryError : 0u);
    e.anyError = e.errors != 0;
    return ExtendedStatusText(e);
}

QByteArray IdentificationReply(const VirtualPrinter &printer)
{
    const qint64 memoryKb = printer.Memory().CapacityBytes(QLatin1Char('R')) / 1024;
    return Framed(VirtualPrinterModel(printer.DotsPerMm()) + ',' + VirtualPrinterFirmware() + ','
                  + QByteArray::number(printer.DotsPerMm()) + ',' + QByteArray::number(memoryKb)
                  + "KB");
}

QByteArray ConfigurationReply(const VirtualPrinter &printer)
{
    const PrinterSettings &s = printer.Settings();
    const int dpm = printer.DotsPerMm();
    QByteArray text;
    text.reserve(1024);
    text += '\x02';
    AddSettingLine(text, DarknessText(s.darkness), "DARKNESS");
    AddSettingLine(text, SpeedText(s.speed), "PRINT SPEED");
    AddSettingLine(text, "+000", "TEAR OFF ADJUST");
    AddSettingLine(text, PrintModeName(s.postPrint), "PRINT MODE");
    AddSettingLine(text, MediaTypeName(s.mediaSensing), "MEDIA TYPE");
    AddSettingLine(text, MethodText(s.mediaType), "PRINT METHOD");
    AddSettingLine(text, QByteArray::number(s.widthDots), "PRINT WIDTH");
    AddSettingLine(text, Digits(s.lengthDots, 4), "LABEL LENGTH");
    AddSettingLine(text, "9600", "BAUD");
    AddSettingLine(text, "8 BITS", "DATA BITS");
    AddSettingLine(text, "NONE", "PARITY");
    AddSettingLine(text, "XON/XOFF", "HOST HANDSHAKE");
    AddSettingLine(text, Signed(s.top, 3), "LABEL TOP");
    AddSettingLine(text, Signed(s.shift, 4), "LEFT POSITION");
    AddSettingLine(text, printer.Identity().IpText().toLatin1(), "IP ADDRESS");
    AddSettingLine(text,
                   QByteArray::number(104 * dpm).rightJustified(4, ' ') + ' '
                       + QByteArray::number(dpm) + "/MM FULL",
                   "RESOLUTION");
    AddSettingLine(text, VirtualPrinterFirmware() + " <-", "FIRMWARE");
    AddPowerOnLines(text, s, printer.StoredSettings());
    text += '\x03';
    return text;
}
