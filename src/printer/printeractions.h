#pragma once

// What the virtual printer adds to the label language: the commands a real
// printer acts on beyond drawing (the settings it keeps, ^JU, ^ID, ^DF and ^XF
// storage, ^WD, ^HH and the tilde commands on the printer itself), each
// registered once by its entry in the command table. A format is read with
// the same lexer and table as the preview reads it; the label itself is drawn
// by the renderer. Making the printer act on one more command is one
// registration in printeractions.cpp (and its handler).

#include "preview/commandtable.h"
#include "printer/commandstream.h"
#include "printer/printersettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <utility>

class VirtualPrinter;
struct PrinterAction;

// ^PQ: labels in all, and how many labels carry each serial number.
struct PrintQuantity
{
    static constexpr qint64 Max = 99999999;
    qint64 labels = 1;
    qint64 replicates = 1;
};

// One format as the printer acts on it.
struct FormatRun
{
    explicit FormatRun(const QByteArray &f)
        : format(f)
        , printable(f)
    { }
    const QByteArray &format;
    QByteArray printable; // with the stored formats it recalls in place
    bool recalled = false;
    std::optional<QString> storeAs; // ^DF
    QList<std::pair<qsizetype, qsizetype>> storeCommands; // the ^DF commands, start and end
    QStringList done; // what it changed, in words, for its log line
    bool askedForConfiguration = false; // ^HH
};

// A command the printer acts on, as it stands in what was sent.
struct PrinterCommand
{
    const CommandEntry &entry;
    const PrinterAction &action;
    QByteArrayView params; // as written, line breaks included
    qsizetype offset = 0; // in the format: where its prefix stands
    qsizetype end = 0; // and where its parameters end
    char delimiter = ',';
    FormatRun *run = nullptr; // null for a tilde command outside a format
    const std::function<void(const QByteArray &)> *reply = nullptr;

    // "^PW" or "~SD", whatever prefix it was sent with.
    QString Written() const;
};

struct PrinterAction
{
    LabelCommand::Kind kind;
    const char *name;
    void (VirtualPrinter::*act)(const PrinterCommand &);
    // A tilde command the printer acts on even inside a format.
    bool inFormat = false;
    // A setting the printer keeps, read by its table rule into the kept
    // setting the rule names: its name in the log ("width"), and what the
    // log adds while its flag is set.
    const char *setting = nullptr;
    const char *flagText = nullptr;
};

// The printer's action for a table entry, or null when it leaves the
// command to the picture (or does not know it).
const PrinterAction *FindPrinterAction(const CommandEntry &entry);

// Whether the printer acts on this tilde command ("SD") even inside a
// format, where others are text.
bool ActsInsideFormats(QByteArrayView name);

// Every registration, for tests.
const PrinterAction *PrinterActions(qsizetype &count);

// Each format command as the printer reads it (prefix and delimiter changes
// followed), with its table entry and the delimiter in force; commands the
// table lacks are passed over.
template<typename Visit>
void ReadFormatCommands(const QByteArray &format, CommandPrefixes prefixes, Visit &&visit)
{
    CommandLexer lexer(format);
    lexer.SetFormatPrefix(prefixes.format);
    lexer.SetControlPrefix(prefixes.control);
    lexer.KeepArgs(false); // read in place: WrittenParams
    LabelCommand command;
    while (lexer.Next(command)) {
        const char delimiter = lexer.Delimiter();
        lexer.Follow(command);
        // Tilde commands inside a format were acted on as they arrived, or
        // are text.
        if (command.kind != LabelCommand::Kind::Format)
            continue;
        if (const CommandEntry *entry = FindCommand(command.kind, command.name))
            visit(command, *entry, delimiter);
    }
}

// A command's parameters as written, line breaks included.
QByteArrayView WrittenParams(const QByteArray &format, const LabelCommand &command);

// What a format prints, gathered as its commands are read.
struct FormatFacts
{
    // Whether it puts anything on a label: a command the table says marks
    // it. A field without data, or a ^XF whose stored format is missing,
    // prints no label.
    bool printsLabel = false;
    // From the last ^PQ (none: one label); quantityError says why the
    // printer cannot print it.
    PrintQuantity quantity;
    QString quantityError;

    void Note(const CommandEntry &entry, QByteArrayView params, char delimiter);
};

FormatFacts ReadFormatFacts(const QByteArray &format, CommandPrefixes prefixes = {});

// The settings in words after a setting command changed them ("width 608").
QString DescribeSetting(const PrinterAction &action, const SettingRule &rule,
                        const PrinterSettings &settings);
