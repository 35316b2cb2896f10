#include "preview/commandtable.h"
#include "preview/labelinterpreter.h"

#include <QByteArray>

namespace {

// What a setting's letter means; "unknown (x)" for a letter not listed.
struct Meaning
{
    char letter;
    const char *text;
};
QString MeaningOf(char letter, std::initializer_list<Meaning> meanings)
{
    for (const Meaning &meaning : meanings) {
        if (meaning.letter == letter)
            return QString::fromUtf8(meaning.text);
    }
    return QStringLiteral("unknown (%1)").arg(QLatin1Char(letter));
}

} // namespace

using namespace label;

int LabelInterpreter::KeptInRange(const LabelCommand &command, int i, qint64 value,
                                  const char *what)
{
    const SettingParam &param = FindCommand(command.kind, command.name)->rule->params[size_t(i)];
    return Clamped(command, value, param.low, param.high, what);
}

// Settings the printer keeps: shown beside the picture, some also move it.
bool LabelInterpreter::SettingCommand(const LabelCommand &command, const Args &args)
{
    const quint16 key = KeyOf(command.name);
    const bool control = command.kind == LabelCommand::Kind::Control;
    if (control) {
        if (key == Key("SD")) {
            Setting(command, QStringLiteral("Darkness"),
                    QString::number(KeptInRange(command, 0, args.Int(0, 15), "darkness")));
            return true;
        }
        if (key == Key("TA")) {
            Setting(command, QStringLiteral("Tear-off position"),
                    QStringLiteral("%1 dots").arg(args.Int(0, 0)));
            return true;
        }
        return false;
    }
    switch (key) {
    case Key("PR"): {
        // Letters A to E stand for 2, 3, 4, 6 and 8 inches per second.
        const char letter = args.Letter(0, '?');
        qint64 speed = args.Int(0, -1);
        if (speed < 0) {
            const QByteArray letters = "ABCDE";
            const int speeds[] = { 2, 3, 4, 6, 8 };
            const qsizetype at = letters.indexOf(letter);
            speed = at >= 0 ? speeds[at] : 2;
        }
        Setting(command, QStringLiteral("Print speed"), QStringLiteral("%1 in/s").arg(speed));
        return true;
    }
    case Key("MD"):
        Setting(command, QStringLiteral("Darkness adjustment"), QString::number(args.Int(0, 0)));
        return true;
    case Key("MN"):
        Setting(command, QStringLiteral("Media tracking"),
                MeaningOf(args.Letter(0, 'Y'),
                          { { 'N', "Continuous" },
                            { 'Y', "Web sensing" },
                            { 'W', "Web sensing" },
                            { 'M', "Mark sensing" },
                            { 'A', "Auto-detect" },
                            { 'V', "Continuous, variable length" } }));
        return true;
    case Key("MT"):
        Setting(command, QStringLiteral("Media type"),
                MeaningOf(args.Letter(0, 'T'),
                          { { 'D', "Thermal direct" }, { 'T', "Thermal transfer" } }));
        return true;
    case Key("MM"):
        Setting(command, QStringLiteral("Post-print action"),
                MeaningOf(args.Letter(0, 'T'),
                          { { 'T', "Tear off" },
                            { 'P', "Peel off" },
                            { 'R', "Rewind" },
                            { 'C', "Cutter" },
                            { 'D', "Delayed cut" },
                            { 'A', "Applicator" },
                            { 'K', "Kiosk" } }));
        return true;
    case Key("JU"):
        Setting(command, QStringLiteral("Configuration"),
                MeaningOf(args.Letter(0, '?'),
                          { { 'S', "Save current settings" },
                            { 'F', "Load factory defaults" },
                            { 'R', "Recall last saved settings" },
                            { 'A', "Load factory defaults, network included" },
                            { 'N', "Load network factory defaults" } }));
        return true;
    case Key("PO"): {
        const char m = args.Letter(0, 'N');
        if (m != 'N' && m != 'I')
            Warn(QStringLiteral("^PO%1: only N and I are known").arg(QLatin1Char(m)), command);
        printer_.inverted = m == 'I';
        Setting(command, QStringLiteral("Print orientation"),
                printer_.inverted ? QStringLiteral("Inverted (180°)") : QStringLiteral("Normal"));
        return true;
    }
    case Key("PM"):
        printer_.mirrored = args.Letter(0, 'N') == 'Y';
        Setting(command, QStringLiteral("Mirror image"),
                printer_.mirrored ? QStringLiteral("Yes") : QStringLiteral("No"));
        return true;
    case Key("PW"):
        printer_.printWidth = KeptInRange(command, 0, Len(args, 0, 0), "print width");
        Setting(command, QStringLiteral("Print width"),
                QStringLiteral("%1 dots").arg(printer_.printWidth));
        return true;
    case Key("LL"):
        printer_.labelLength = KeptInRange(command, 0, Len(args, 0, 0), "label length");
        Setting(command, QStringLiteral("Label length"),
                QStringLiteral("%1 dots").arg(printer_.labelLength));
        return true;
    case Key("LH"):
        printer_.home = QPoint(KeptInRange(command, 0, Len(args, 0, 0), "home x"),
                               KeptInRange(command, 1, Len(args, 1, 0), "home y"));
        Setting(command, QStringLiteral("Label home"),
                QStringLiteral("%1, %2 dots").arg(printer_.home.x()).arg(printer_.home.y()));
        return true;
    case Key("LT"):
        printer_.top = KeptInRange(command, 0, Len(args, 0, 0), "label top");
        Setting(command, QStringLiteral("Label top"), QStringLiteral("%1 dots").arg(printer_.top));
        return true;
    case Key("LS"):
        printer_.shift = KeptInRange(command, 0, Len(args, 0, 0), "label shift");
        Setting(command, QStringLiteral("Label shift"),
                QStringLiteral("%1 dots").arg(printer_.shift));
        return true;
    default:
        return false;
    }
}

bool LabelInterpreter::ControlCommand(const LabelCommand &command, const Args &)
{
    if (!lexer_->Follow(command))
        return false;
    printer_.formatPrefix = lexer_->FormatPrefix();
    printer_.controlPrefix = lexer_->ControlPrefix();
    printer_.delimiter = lexer_->Delimiter();
    return true;
}

bool LabelInterpreter::ListedSetting(const LabelCommand &command, const Args &)
{
    const CommandEntry *entry = FindCommand(command.kind, command.name);
    Setting(command, QString::fromLatin1(entry ? entry->setting : ""),
            QString::fromLatin1(command.args.trimmed()));
    return true;
}
