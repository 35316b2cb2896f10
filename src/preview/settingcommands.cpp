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

bool LabelInterpreter::Kept(const LabelCommand &command)
{
    const SettingRule &rule = *FindCommand(command.kind, command.name)->rule;
    const SettingValues read
        = ReadSetting(rule, command.args, printer_.delimiter, printer_.units, options.dotsPerMm);
    ApplySetting(rule, read, printer_.kept);
    if (!read.refusal.isEmpty())
        Warn(QStringLiteral("%1%2: %3")
                 .arg(Written(command), QString::fromLatin1(command.args.trimmed()), read.refusal),
             command);
    return read.refusal.isEmpty();
}

// Settings the printer keeps, read by the command table's rule: shown
// beside the picture, some also shape the page.
bool LabelInterpreter::SettingCommand(const LabelCommand &command, const Args &args)
{
    const quint16 key = KeyOf(command.name);
    const KeptSettings &kept = printer_.kept;
    const auto dots = [](int n) {
        return QStringLiteral("%1 dots").arg(n);
    };
    if (command.kind == LabelCommand::Kind::Control) {
        if (key == Key("SD")) {
            Kept(command);
            Setting(command, QStringLiteral("Darkness"), QString::number(kept.darkness));
            return true;
        }
        if (key == Key("TA")) {
            Setting(command, QStringLiteral("Tear-off position"), dots(int(args.Int(0, 0))));
            return true;
        }
        return false;
    }
    switch (key) {
    case Key("PR"):
        Kept(command);
        Setting(command, QStringLiteral("Print speed"), QStringLiteral("%1 in/s").arg(kept.speed));
        return true;
    case Key("MD"):
        Setting(command, QStringLiteral("Darkness adjustment"), QString::number(args.Int(0, 0)));
        return true;
    case Key("MN"):
        Kept(command);
        Setting(command, QStringLiteral("Media tracking"),
                MeaningOf(kept.mediaSensing,
                          { { 'N', "Continuous" },
                            { 'W', "Web sensing" },
                            { 'M', "Mark sensing" },
                            { 'A', "Auto-detect" },
                            { 'V', "Continuous, variable length" } }));
        return true;
    case Key("MT"):
        Kept(command);
        Setting(
            command, QStringLiteral("Media type"),
            MeaningOf(kept.mediaType, { { 'D', "Thermal direct" }, { 'T', "Thermal transfer" } }));
        return true;
    case Key("MM"):
        Kept(command);
        Setting(command, QStringLiteral("Post-print action"),
                MeaningOf(kept.postPrint,
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
    case Key("PO"):
        Kept(command);
        Setting(command, QStringLiteral("Print orientation"),
                kept.orientation == 'I' ? QStringLiteral("Inverted (180°)")
                                        : QStringLiteral("Normal"));
        return true;
    case Key("PM"):
        printer_.mirrored = args.Letter(0, 'N') == 'Y';
        Setting(command, QStringLiteral("Mirror image"),
                printer_.mirrored ? QStringLiteral("Yes") : QStringLiteral("No"));
        return true;
    case Key("PW"):
        printer_.widthGiven |= Kept(command);
        Setting(command, QStringLiteral("Print width"), dots(kept.widthDots));
        return true;
    case Key("LL"):
        printer_.lengthGiven |= Kept(command);
        Setting(command, QStringLiteral("Label length"), dots(kept.lengthDots));
        return true;
    case Key("LH"):
        Kept(command);
        Setting(command, QStringLiteral("Label home"),
                QStringLiteral("%1, %2 dots").arg(kept.homeX).arg(kept.homeY));
        return true;
    case Key("LT"):
        Kept(command);
        Setting(command, QStringLiteral("Label top"), dots(kept.top));
        return true;
    case Key("LS"):
        Kept(command);
        Setting(command, QStringLiteral("Label shift"), dots(kept.shift));
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
