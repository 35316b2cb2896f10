#include "printer/printercontrol.h"

#include "printer/virtualprinter.h"

namespace {

ControlResult Failed(const QString &why)
{
    return ControlResult { why, false, false };
}

QString StatusText(const VirtualPrinter &printer)
{
    const quint8 bits = printer.StatusByte();
    return QStringLiteral("status %1 (%2)")
        .arg(bits, 2, 16, QLatin1Char('0'))
        .arg(status::DescribeConditions(printer.ShownConditions()));
}

} // namespace

QString ControlHelp()
{
    return QStringLiteral(
               "status                      show the status byte and its conditions\n"
               "status CONDITION[,...]      set exactly these conditions (\"ready\": none)\n"
               "status +CONDITION           set one condition\n"
               "status -CONDITION           clear one condition\n"
               "show                        identity, settings, memory and status\n"
               "cancel                      drop the labels not printed yet\n"
               "reset                       power the printer off and on\n"
               "quit                        end the printer\n"
               "help                        this list\n"
               "conditions: ready, %1")
        .arg(status::ConditionNames().join(QStringLiteral(", ")));
}

ControlResult RunControlCommand(const QString &line, VirtualPrinter &printer, LabelOutput &)
{
    const QString text = line.trimmed();
    const QString word = text.section(QLatin1Char(' '), 0, 0).toLower();
    const QString rest = text.section(QLatin1Char(' '), 1).trimmed();
    if (text.isEmpty())
        return {};
    if (word == QLatin1String("status")) {
        if (rest.isEmpty())
            return ControlResult { StatusText(printer) };
        QString error;
        if (rest.startsWith(QLatin1Char('+')) || rest.startsWith(QLatin1Char('-'))) {
            const auto bits = status::ParseConditions(rest.mid(1), &error);
            if (!bits)
                return Failed(error);
            printer.SetConditions(rest.startsWith(QLatin1Char('+'))
                                      ? printer.Conditions() | *bits
                                      : printer.Conditions() & ~*bits);
        } else {
            const auto bits = status::ParseConditions(rest, &error);
            if (!bits)
                return Failed(error);
            printer.SetConditions(*bits);
        }
        return ControlResult { StatusText(printer) };
    }
    if (word == QLatin1String("show"))
        return ControlResult { printer.Describe() };
    if (word == QLatin1String("cancel"))
        return ControlResult { QStringLiteral("%1 labels not printed").arg(printer.CancelAll()) };
    if (word == QLatin1String("reset")) {
        printer.PowerCycle();
        return {};
    }
    if (word == QLatin1String("quit") || word == QLatin1String("exit"))
        return ControlResult { QString(), true, true };
    if (word == QLatin1String("help"))
        return ControlResult { ControlHelp() };
    return Failed(QStringLiteral("unknown control command \"%1\" (\"help\" lists them)").arg(text));
}
