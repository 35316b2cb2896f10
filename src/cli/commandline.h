#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <vector>

// One option of the command line.
struct OptionInfo
{
    QString name; // the long name, given as --name
    QChar shortName; // -x, or null for none
    QString valueName; // "N", "FILE", ...; empty for a flag
    QString help;
};

// What the arguments say: the operation, its operands and the options.
struct CommandLine
{
    QString operation;
    QStringList operands;
    QStringList given; // option names in the order given
    QHash<QString, QStringList> values; // option name -> values (a flag: one empty value per use)
    // When the operation began: --timeout counts from here.
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();

    bool Has(const QString &name) const { return values.contains(name); }
    // The last value given, or `fallback`.
    QString Value(const QString &name, const QString &fallback = QString()) const;
    QStringList Values(const QString &name) const { return values.value(name); }
};

// Options may stand before or after the operation: --name, --name=VALUE,
// --name VALUE, -x VALUE, -xVALUE; "--" ends the options. Throws
// EUsageError for an unknown option or a missing value.
CommandLine ParseCommandLine(const QStringList &args, const std::vector<OptionInfo> &options);

// " (did you mean 'status'?)" for a name one or two typing slips away from
// one of `names` (a letter wrong, missing, extra or two swapped); empty when
// none is that close, or more than one is.
QString DidYouMean(const QString &typed, const QStringList &names);

// Reads a whole number in [low, high] given to an option, or throws
// EUsageError naming the option.
qint64 OptionNumber(const QString &option, const QString &text, qint64 low, qint64 high);
