#pragma once

// Reading a whole label format the way the printer acts on it: which commands
// change its settings, how many labels it prints, and the text of each label
// with its serial numbers counted on.

#include "printer/printersettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

// One caret command of a format: "^PW608" is ("PW", "608"). The parameters
// are a view into the format, which must outlive the command.
struct CaretCommand
{
    char name[3] = {}; // two characters, upper case
    QByteArrayView params;
    qsizetype offset = 0; // where its "^" stands in the format
    qsizetype length = 0; // up to the next "^"

    bool Is(const char (&n)[3]) const { return name[0] == n[0] && name[1] == n[1]; }
    QString Name() const { return QString::fromLatin1(name); }
};

// Split at the format prefix ("^" unless ^CC / ~CC changed it), following
// the prefix changes inside the format (^CC, ~CC, ^CT, ~CT) as the printer
// does.
std::vector<CaretCommand> SplitFormat(QByteArrayView format, char prefix = '^', char control = '~');

bool IsSettingsCommand(const CaretCommand &command);

// Applies a settings command (^PR, ^PW, ^LL, ^MN, ^MM, ^MT, ^PO, ^LT, ^LS,
// ^LH) to the settings. Returns false for any other command. A value the
// printer cannot take leaves the setting as it was and fills *error.
bool ApplySettingsCommand(const CaretCommand &command, PrinterSettings &settings, QString *error);
// ~SD: darkness 0..30.
bool ApplyDarkness(QByteArrayView params, PrinterSettings &settings, QString *error);

// ^PQ: labels in all, and how many labels carry each serial number.
struct PrintQuantity
{
    static constexpr qint64 Max = 99999999;
    qint64 labels = 1;
    qint64 replicates = 1;
};
// From the last ^PQ of the format (none: one label). A quantity outside
// 1..Max fills *error.
PrintQuantity ParseQuantity(const std::vector<CaretCommand> &commands, QString *error);

// Whether the format puts anything on a label (a field or a graphic); a
// format of settings alone prints nothing.
bool PrintsLabel(const std::vector<CaretCommand> &commands);
