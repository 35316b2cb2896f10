#include "files/fontsample.h"

#include "commands/testlabel.h"
#include "files/downloadcommand.h"

namespace {
const QByteArray CrLf = QByteArrayLiteral("\r\n");
const QByteArray Utf8ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
constexpr int RowPitch = 50;
const QByteArray LeftMargin = QByteArrayLiteral("15");

char HexDigit(int value)
{
    return "0123456789ABCDEF"[value & 15];
}

// "^FO15,<y>" CR LF, then "^FH" where escapes are used.
QByteArray FieldStart(int y, bool hexEscapes)
{
    return "^FO" + LeftMargin + "," + QByteArray::number(y) + CrLf + (hexEscapes ? "^FH" : "");
}
} // namespace

QByteArray FontSampleText()
{
    // "printers test", 5 and 8 letters.
    return QStringLiteral(u"\u062A\u062C\u0631\u0628\u0629 "
                          u"\u0627\u0644\u0637\u0627\u0628\u0639\u0627\u062A")
               .toUtf8()
        + QByteArrayLiteral("\x8A\xCD\x98\xAD\xA7");
}

QByteArray FontSampleLabel(const FontSampleOptions &options, const SetupPanelValues &panel,
                           const QLocale &locale)
{
    const int f = DotsPerMm(panel.resolution);
    QByteArray label = Utf8ByteOrderMark + "^XA" + CrLf;
    // Converted even without a frame: an unusable size stops the label.
    const qint32 w = LabelWidthDots(panel, locale);
    const qint32 h = LabelHeightDots(panel, locale);

    label += "^CI" + options.characterSet.toUtf8();
    const QByteArray font = FontNameOf(options.fileNameText).toUtf8();
    if (options.selectByA)
        label += "^CW1,E:" + font + ".FNT" + "^FS" + CrLf + "^A1,40,40";
    else
        label += "^A@" + QByteArray("E:") + font + ".FNT" + ",N,20,20" + CrLf;

    QByteArray row;
    for (int v = 128; v <= 255; ++v) {
        if (options.hexEscapes)
            row += QByteArray("_") + HexDigit(v >> 4) + HexDigit(v);
        else
            row += char(v);
        if (v % 16 != 15)
            continue;
        if (!options.hexEscapes)
            row += QByteArray(" ") + HexDigit(v / 16);
        label += FieldStart((v / 16 + 2) * RowPitch, options.hexEscapes);
        label += "^FD" + row + "^FS" + CrLf;
        row.clear();
    }
    // One row pitch is left free after the last row.
    label += FieldStart((256 / 16 + 3) * RowPitch, options.hexEscapes);
    label += "^FD" + FontSampleText() + "^FS" + CrLf;

    if (panel.box)
        label += LabelFrame(w, h, f);
    label += LabelQuantity(panel.quantity);
    label += "^XZ" + CrLf;
    return label;
}
