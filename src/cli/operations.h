#pragma once

#include "cli/commandline.h"
#include "cli/report.h"
#include "cli/runner.h"
#include "cli/target.h"
#include "link/printerlink.h"
#include "link/printerquery.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

// The bytes one target gets, and what to say about them beyond "ok".
struct TargetCommand
{
    QByteArray bytes;
    QString detail;
    QJsonObject extra;
    // When not empty, the bytes are this file's, read as they are sent.
    QString streamFrom = {};
};

// How an operation serves its targets, worked out from the command line
// before anything is sent.
struct OperationPlan
{
    // The command for each target in turn, in target order. Most operations
    // give every target the same bytes.
    std::function<TargetCommand()> next;
    // Read-backs: the exchange over the serial port and the reading of the
    // reply into the report.
    std::optional<ExchangeOptions> exchange;
    std::function<void(const QByteArray &reply, const CliTarget &target, TargetReport &report)>
        evaluate;
    // The same read-back over the network or a USB printer device.
    std::optional<PrinterQuery> query;
    // Operations that talk with the printer more than once (read, compare,
    // send, read again) do it here, on the target's own thread with its
    // link, and fill in the report; the link's failures are thrown.
    Conversation converse;
    // How many targets the operation may serve at most (0: any number).
    int maxTargets = 0;
};

struct Operation
{
    enum class Kind { Send, ReadBack, Local };

    QString name {};
    QString operands {}; // for the synopsis: "PROFILE", "dram|flash", ...
    int operandCount = 0;
    QStringList options {}; // its own options, beyond the global ones
    Kind kind = Kind::Send;
    QString summary {}; // one line
    QString description {}; // what it sends or reads, as the window's button does
    // Send and ReadBack: builds the plan or throws EUsageError (or the
    // window's error for a file it cannot read).
    std::function<OperationPlan(const CommandLine &)> plan {};
};

// What a serial printer that sent nothing back concerns and what to check,
// as lines under the failure: the device, its line settings, and advice.
QStringList NoReplyAdvice(const CliTarget &target);

// Every operation, in the order the help lists them.
const std::vector<Operation> &Operations();
const Operation *FindOperation(const QString &name);

// The global options, then every operation's own.
const std::vector<OptionInfo> &AllOptions();
const OptionInfo *FindOption(const QString &name);
bool IsGlobalOption(const QString &name);

// "tarvolin-cli --help" and "tarvolin-cli OPERATION --help".
QString ProgramHelp();
QString OperationHelp(const Operation &operation);
