#include "printer/printeroptions.h"

#include "printer/printercontrol.h"
#include "printer/printermemory.h"
#include "printer/printersettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace {

// A whole number in a range; fills *error naming the option otherwise.
std::optional<qint64> Number(const QString &option, const QString &text, qint64 low, qint64 high,
                             QString *error)
{
    bool ok = false;
    const qint64 v = text.toLongLong(&ok, 10);
    if (!ok || v < low || v > high) {
        *error = QStringLiteral("--%1 needs a whole number from %2 to %3, not \"%4\"")
                     .arg(option)
                     .arg(low)
                     .arg(high)
                     .arg(text);
        return std::nullopt;
    }
    return v;
}

} // namespace

QString PrinterHelp()
{
    QString help = QStringLiteral(
        "Usage: tarvolin-printer [options]\n"
        "\n"
        "A label printer in software, to try Tarvolin and printer command files\n"
        "without hardware. It answers the status, file list and free memory\n"
        "queries, stores downloaded files, keeps its settings and prints every\n"
        "label format it receives (as pictures, with --out). Without --pty or\n"
        "--tcp it listens on a pseudo-terminal. It logs one line per command\n"
        "received and per label printed.\n"
        "\n"
        "Lines:\n"
        "  --pty             listen on a new pseudo-terminal; its device path is\n"
        "                    printed first, as \"pty: /dev/pts/7\"\n"
        "  --link PATH       keep a symbolic link PATH to that device (implies\n"
        "                    --pty); removed on exit\n"
        "  --tcp PORT        listen for raw TCP connections on PORT (0: any free\n"
        "                    port); printed as \"tcp: 127.0.0.1:9100\"\n"
        "  --bind ADDR       the numeric address to listen on (default 127.0.0.1);\n"
        "                    any other than a loopback address makes the printer\n"
        "                    reachable from the network, and is warned about\n"
        "  --discovery PORT  answer the network discovery probe on UDP PORT (default\n"
        "                    4201 with --tcp; 0: any free port; printed as\n"
        "                    \"discovery: 127.0.0.1:4201\")\n"
        "  --name NAME       the system name the discovery answer gives\n"
        "  --serial NUMBER   the serial number the discovery answer gives\n"
        "  --idle-timeout S  close a TCP client that completes no command in S\n"
        "                    seconds (default 15; 0: never), so that a silent or\n"
        "                    trickling client cannot keep the others out\n"
        "  --baud N          read the serial line at N baud (10 bits a byte),\n"
        "                    stopping the sender with Xoff while the 4 KB receive\n"
        "                    buffer is full and going on with Xon; replies leave\n"
        "                    at the same rate. \"unlimited\" (the default) takes\n"
        "                    bytes as fast as they come. Serial line only.\n"
        "\n"
        "Printer:\n"
        "  --status LIST     start with these conditions set, e.g.\n"
        "                    head-open,paper-out\n"
        "  --dpi 203|300     print head resolution (default 203)\n"
        "  --dram KB         size of the DRAM, R: (default 8192)\n"
        "  --flash KB        size of the FLASH, E: (default 65536); B:, A: and Z:\n"
        "                    hold 65536 KB each, all devices together 256 MB\n"
        "  --state DIR       keep the stored settings, the network identity and the\n"
        "                    files of E:, B:, A: and Z: in DIR (state.json and\n"
        "                    files/), read again at the next start; without it\n"
        "                    nothing outlives the printer\n"
        "  --out DIR         save each printed label as DIR/label-0001.png and\n"
        "                    each page of dump mode as DIR/dump-0001.txt,\n"
        "                    numbered on after those already there\n"
        "\n"
        "Control:\n"
        "  --control PATH    also take control commands from the named pipe PATH\n"
        "                    (made when missing, removed on exit), e.g.\n"
        "                    echo 'status paper-out' > PATH\n"
        "  -q, --quiet       log nothing but errors, on standard error; the device\n"
        "                    path, the TCP address and \"ready\" are still printed\n"
        "  -h, --help        this text\n"
        "  -v, --version     the version\n"
        "\n"
        "Control commands, one a line, on standard input or the control pipe:\n");
    for (const QString &line : ControlHelp().split(QLatin1Char('\n')))
        help += QStringLiteral("  ") + line + QLatin1Char('\n');
    help += QStringLiteral("\nSIGINT and SIGTERM end the printer cleanly.\n");
    return help;
}

ParsedOptions ParsePrinterOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption pty(QStringLiteral("pty"));
    const QCommandLineOption link(QStringLiteral("link"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption bind(QStringLiteral("bind"), QString(), QStringLiteral("ADDR"));
    const QCommandLineOption discovery(QStringLiteral("discovery"), QString(),
                                       QStringLiteral("PORT"));
    const QCommandLineOption name(QStringLiteral("name"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("NUMBER"));
    const QCommandLineOption idleTimeout(QStringLiteral("idle-timeout"), QString(),
                                         QStringLiteral("S"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("N"));
    const QCommandLineOption statusList(QStringLiteral("status"), QString(),
                                        QStringLiteral("LIST"));
    const QCommandLineOption dpi(QStringLiteral("dpi"), QString(), QStringLiteral("DPI"));
    const QCommandLineOption dram(QStringLiteral("dram"), QString(), QStringLiteral("KB"));
    const QCommandLineOption flash(QStringLiteral("flash"), QString(), QStringLiteral("KB"));
    const QCommandLineOption state(QStringLiteral("state"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption out(QStringLiteral("out"), QString(), QStringLiteral("DIR"));
    const QCommandLineOption control(QStringLiteral("control"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption quiet(QStringList { QStringLiteral("q"), QStringLiteral("quiet") });
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(
        QStringList { QStringLiteral("v"), QStringLiteral("version") });
    parser.addOptions({ discovery, name, serial });
    parser.addOptions({ pty, link, tcp, bind, idleTimeout, baud, statusList, dpi, dram, flash,
                        state, out, control, quiet, help, version });

    ParsedOptions result;
    const auto fail = [&](const QString &why) {
        result.text = QStringLiteral("tarvolin-printer: %1\n(tarvolin-printer --help lists the "
                                     "options)\n")
                          .arg(why);
        result.exitCode = 2;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        result.text = PrinterHelp();
        return result;
    }
    if (parser.isSet(version)) {
        result.text
            = QStringLiteral("tarvolin-printer %1\n").arg(QCoreApplication::applicationVersion());
        return result;
    }

    PrinterOptions o;
    QString error;
    o.link = parser.value(link);
    o.pty = parser.isSet(pty) || !o.link.isEmpty() || !parser.isSet(tcp);
    if (parser.isSet(tcp)) {
        const auto port = Number(QStringLiteral("tcp"), parser.value(tcp), 0, 65535, &error);
        if (!port)
            return fail(error);
        o.tcpPort = quint16(*port);
    }
    if (parser.isSet(bind))
        o.bind = parser.value(bind);
    if (parser.isSet(discovery)) {
        const auto port
            = Number(QStringLiteral("discovery"), parser.value(discovery), 0, 65535, &error);
        if (!port)
            return fail(error);
        o.discoveryPort = quint16(*port);
        o.discoveryAsked = true;
    } else if (o.tcpPort) {
        o.discoveryPort = quint16(4201);
    }
    o.systemName = parser.value(name).left(100);
    o.serialNumber = parser.value(serial).left(9);
    if (parser.isSet(idleTimeout)) {
        const auto seconds
            = Number(QStringLiteral("idle-timeout"), parser.value(idleTimeout), 0, 86400, &error);
        if (!seconds)
            return fail(error);
        o.idleTimeout = int(*seconds);
    }
    if (parser.isSet(baud) && parser.value(baud).toLower() != QLatin1String("unlimited")) {
        const auto rate = Number(QStringLiteral("baud"), parser.value(baud), 0, 4000000, &error);
        if (!rate)
            return fail(error);
        o.baud = *rate;
    }
    if (parser.isSet(statusList)) {
        const auto bits = status::ParseConditions(parser.value(statusList), &error);
        if (!bits)
            return fail(QStringLiteral("--status: ") + error);
        o.conditions = *bits;
    }
    if (parser.isSet(dpi)) {
        if (parser.value(dpi) == QLatin1String("203"))
            o.dotsPerMm = 8;
        else if (parser.value(dpi) == QLatin1String("300"))
            o.dotsPerMm = 12;
        else
            return fail(QStringLiteral("--dpi is 203 or 300, not \"%1\"").arg(parser.value(dpi)));
    }
    const qint64 maxKb = PrinterMemory::MaxTotalBytes / 1024;
    for (auto [option, field] :
         { std::pair { &dram, &o.dramKb }, std::pair { &flash, &o.flashKb } }) {
        if (!parser.isSet(*option))
            continue;
        const auto kb = Number(option->names().first(), parser.value(*option), 1, maxKb, &error);
        if (!kb)
            return fail(error);
        *field = *kb;
    }
    o.stateDir = parser.value(state);
    o.outDir = parser.value(out);
    o.controlPath = parser.value(control);
    o.quiet = parser.isSet(quiet);
    result.options = o;
    return result;
}
