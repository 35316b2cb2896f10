#pragma once

// The label language's commands, each once: what it is to the printer and
// which handler of the interpreter reads it. Adding a command is adding one
// entry to the table in commandtable.cpp.

#include "preview/commandlexer.h"
#include "preview/labelinterpreter.h"
#include "preview/settingrule.h"

enum class CommandRole {
    Marks, // puts something on the label: a format without one prints no label
    Draws, // shapes the field that marks the label, or recalls a format
    State, // changes what later fields and labels look like
    Setting, // a printer setting: listed beside the picture with its value
    Printer, // the printer acts on it (memory, jobs, answers); the picture does not change
};

struct CommandEntry
{
    LabelCommand::Kind kind;
    char name[3]; // one letter for ^A
    CommandRole role;
    LabelInterpreter::Handler handler;
    // Acts outside ^XA ... ^XZ too (caret settings and prefixes do).
    bool anywhere = false;
    // The setting's name in the list, for settings read by ListedSetting.
    const char *setting = nullptr;
    // How a printer reads the parameters of a setting it keeps.
    const SettingRule *rule = nullptr;
};

// The entry of a command as written ("FO", "A", "B0"), or null when the
// printer does not know it.
const CommandEntry *FindCommand(LabelCommand::Kind kind, const QByteArray &name);

// Every entry, for listing and for tests.
const CommandEntry *CommandTable(qsizetype &count);
