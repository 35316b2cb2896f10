// The program's help and each operation's, from the tables of operations
// and options.
#include "cli/operations.h"

namespace {

QString OptionLine(const OptionInfo &o)
{
    QString left
        = o.shortName.isNull() ? QStringLiteral("    ") : QStringLiteral("-%1, ").arg(o.shortName);
    left += QStringLiteral("--") + o.name;
    if (!o.valueName.isEmpty())
        left += QLatin1Char(' ') + o.valueName;
    return QStringLiteral("  %1  %2\n").arg(left, -26).arg(o.help);
}

// Breaks a paragraph into lines of at most 78 characters.
QString Wrapped(const QString &text)
{
    QString out;
    QString line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > 78) {
            out += line + QLatin1Char('\n');
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line + QLatin1Char('\n');
}

QString Synopsis(const Operation &op)
{
    QString s = QStringLiteral("tarvolin-cli");
    if (op.kind != Operation::Kind::Local)
        s += QStringLiteral(" [OPTIONS] --to URI...");
    s += QLatin1Char(' ') + op.name;
    if (!op.operands.isEmpty())
        s += QLatin1Char(' ') + op.operands;
    for (const QString &name : op.options) {
        const OptionInfo *o = FindOption(name);
        s += QStringLiteral(" [--") + name
            + (o->valueName.isEmpty() ? QString() : QLatin1Char(' ') + o->valueName)
            + QLatin1Char(']');
    }
    return s;
}

} // namespace

QString ProgramHelp()
{
    QString help = QStringLiteral(
        "Usage: tarvolin-cli [OPTIONS] --to URI... OPERATION [ARGUMENTS]\n\nSets up, "
        "tests and maintains label printers from a script: each operation "
        "sends\nexactly the bytes of the Tarvolin window's button, to one printer or "
        "a fleet.\n\nOperations:\n");
    for (const Operation &op : Operations()) {
        const QString left
            = op.name + (op.operands.isEmpty() ? QString() : QLatin1Char(' ') + op.operands);
        help += QStringLiteral("  %1  %2\n").arg(left, -26).arg(op.summary);
    }
    help += QStringLiteral(
        "\nPrinters (URI):\n  tcp://HOST[:PORT]            network printer, raw TCP "
        "(port 9100)\n  com:///dev/ttyUSB0?baud=N    serial port (COM1..COM4 as "
        "com://COM1); 9600 baud\n                               unless given; status, "
        "files, free-memory need one\n  lpt:///dev/usb/lp0           printer device "
        "(LPT1..LPT4 as lpt://LPT1)\n  cups://QUEUE                 installed "
        "printer, one raw job per send\n  file:///PATH                 a file "
        "standing in for the printer\n\nOptions:\n");
    for (const OptionInfo &o : AllOptions())
        if (IsGlobalOption(o.name))
            help += OptionLine(o);
    help += QStringLiteral(
        "\nExit status: 0 when every printer got its command (status: is Ready), 1 "
        "when a\nprinter failed, 2 for bad input (nothing is sent), 3 when every "
        "printer answered\na status request but some are in a condition, 4 when "
        "settings differ, 5 when\nevery printer that failed was busy (it took the "
        "connection but did not answer).\n\n'tarvolin-cli "
        "OPERATION --help' tells more about one operation; see "
        "also\ntarvolin-cli(1).\n");
    return help;
}

QString OperationHelp(const Operation &op)
{
    QString help = QStringLiteral("Usage: ") + Synopsis(op) + QStringLiteral("\n\n");
    help += Wrapped(op.summary.left(1).toUpper() + op.summary.mid(1) + QStringLiteral(". ")
                    + op.description);
    if (!op.options.isEmpty()) {
        help += QStringLiteral("\nOptions:\n");
        for (const QString &name : op.options)
            help += OptionLine(*FindOption(name));
    }
    if (op.kind != Operation::Kind::Local)
        help += QStringLiteral(
            "\nSee 'tarvolin-cli --help' for the targets and the options of every "
            "operation.\n");
    return help;
}
