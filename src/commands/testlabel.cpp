#include "commands/testlabel.h"

#include "commands/settingsbuilder.h"

namespace {
const QByteArray CrLf = QByteArrayLiteral("\r\n");

QByteArray Num(qint64 n)
{
    return QByteArray::number(n);
}
} // namespace

QByteArray LabelFrame(qint32 widthDots, qint32 heightDots, int dotsPerMm)
{
    // 64-bit arithmetic: the label size may be any 32-bit value.
    const qint64 d = dotsPerMm;
    return "^FO" + Num(2 * d) + "," + Num(2 * d) + "^GB" + Num(qint64(widthDots) - 4 * d) + ","
        + Num(qint64(heightDots) - 4 * d) + "," + Num(d) + ",B,0" + "^FS";
}

QByteArray LabelQuantity(const QString &quantity)
{
    return "^PQ" + quantity.toUtf8() + ",0," + "1,N" + CrLf;
}

QByteArray TestLabelCommand(const SetupPanelValues &values, const QLocale &locale)
{
    QByteArray command = BuildSettingsBlock(values, locale);
    command += "^XZ" + CrLf;
    command += "^XA" + CrLf;

    const qint64 d = DotsPerMm(values.resolution);
    const qint64 w = LabelWidthDots(values, locale);
    const qint64 h = LabelHeightDots(values, locale);

    // Integer division truncates toward zero, also for negative widths.
    command += "^CF" + QByteArray("D,") + "40,20";
    command += "^FO" + Num(5 * d) + "," + Num(5 * d);
    command += "^FD" + QByteArray("Printer Test!") + "^FS" + CrLf;
    command += "^FO" + Num(w / 4) + "," + Num(15 * d);
    command += "^FD" + QByteArray("Speed ") + values.speed.displayText.toUtf8() + "^FS" + CrLf;
    command += "^FO" + Num(w / 4) + "," + Num(25 * d);
    command += "^FD" + QByteArray("Density ") + values.density.displayText.toUtf8() + "^FS" + CrLf;
    command += "^FO" + Num(w / 2 - 8 * d) + "," + Num(h - 8 * d);
    command += "^FWN" + QByteArray(",0");
    command += "^SN" + QByteArray("0001") + "," + "1" + ",Y" + "^FS" + CrLf;
    if (values.box)
        command += LabelFrame(qint32(w), qint32(h), int(d));
    command += LabelQuantity(values.quantity);
    command += "^XZ" + CrLf;
    return command;
}
