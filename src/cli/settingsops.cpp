#include "cli/settingsops.h"

#include "cli/drift.h"
#include "cli/metrics.h"
#include "cli/outputfile.h"
#include "cli/runner.h"
#include "cli/usageerror.h"
#include "commands/configdump.h"
#include "commands/hostreplies.h"
#include "commands/printertext.h"
#include "link/printerquery.h"

#include <QDateTime>
#include <QJsonArray>

namespace {

// What the printer holds, in the terms profiles are compared in.
struct PrinterReading
{
    SettingValues values;
    int dotsPerMm = 0; // 0 when the printer does not say
    PowerOnChanges powerOn; // where it says what it runs with is not stored
};

PrinterReading ReadSettings(PrinterLink &link, const PrinterQuery &query)
{
    PrinterReading reading;
    const QList<ConfigSetting> settings = ParseConfiguration(link.Query(query));
    reading.values = PrinterSettingValues(PanelSettings(settings), &reading.dotsPerMm);
    reading.powerOn = PowerOnSettings(settings);
    return reading;
}

// "density 10, width 76 mm, BAUD 19200": what the printer comes back with.
QString PowerOnText(const PowerOnChanges &changes)
{
    static const QStringList lengths = { QStringLiteral("width"), QStringLiteral("height"),
                                         QStringLiteral("top"), QStringLiteral("shift") };
    QStringList parts;
    for (const auto &[key, value] : changes.panel)
        parts << key + QLatin1Char(' ') + ShownText(value)
                + (lengths.contains(key) ? QStringLiteral(" mm") : QString());
    for (const auto &[name, value] : changes.others)
        parts << ShownText(name) + QLatin1Char(' ') + ShownText(value);
    return parts.join(QStringLiteral(", "));
}

// Snapshot and diff read the running settings; where the printer says they
// are not the stored ones, the report says so and what would change at
// power-on.
void NotePowerOn(const PrinterReading &printer, TargetReport &report)
{
    if (!printer.powerOn.reported)
        return;
    QJsonObject atPowerOn;
    for (const auto &[key, value] : printer.powerOn.panel + printer.powerOn.others)
        atPowerOn.insert(key, value);
    report.extra.insert(QStringLiteral("stored"), false);
    report.extra.insert(QStringLiteral("atPowerOn"), atPowerOn);
    report.moreLines << QStringLiteral("the printer runs with settings it has not stored; at "
                                       "power-on: ")
            + PowerOnText(printer.powerOn);
}

// A profile for one resolution does not fit a printer of the other: its
// lengths would come out in the wrong dots.
void RequireResolution(const Profile &profile, const PrinterReading &printer)
{
    const int wanted = DotsPerMm(profile.values.resolution);
    if (printer.dotsPerMm == 0 || printer.dotsPerMm == wanted)
        return;
    throw ETarvolinError(QStringLiteral("the profile is for %1 dots per mm, the printer prints "
                                        "at %2; its lengths would come out wrong")
                             .arg(wanted)
                             .arg(printer.dotsPerMm));
}

QJsonArray Names(const QStringList &keys)
{
    return QJsonArray::fromStringList(keys);
}

QStringList DriftLines(const std::vector<SettingDrift> &differing)
{
    QStringList lines;
    for (const SettingDrift &d : differing)
        lines << DriftLine(d);
    return lines;
}

QStringList Keys(const std::vector<SettingDrift> &differing)
{
    QStringList keys;
    for (const SettingDrift &d : differing)
        keys << d.key;
    return keys;
}

struct Wanted
{
    Profile profile;
    SettingValues values;
};

Wanted ReadWanted(const QString &path)
{
    Wanted w;
    w.profile = ReadProfile(path);
    w.values = ProfileSettings(w.profile);
    if (w.values.isEmpty())
        throw EUsageError(QStringLiteral("%1: gives no setting to compare").arg(path));
    return w;
}

// The JSON fields are made only for --json: in a fleet's text report they
// would cost more than the comparison itself.
void SetDrift(TargetReport &report, const DriftResult &drift, bool json)
{
    if (json) {
        report.extra.insert(QStringLiteral("drift"), DriftJson(drift.differing));
        report.extra.insert(QStringLiteral("unchecked"), Names(drift.unchecked));
    }
    report.moreLines = DriftLines(drift.differing);
    if (!drift.unchecked.isEmpty())
        report.moreLines << QStringLiteral("not compared (the printer does not report them): ")
                + drift.unchecked.join(QStringLiteral(", "));
}

} // namespace

OperationPlan SnapshotPlan(const CommandLine &line)
{
    const QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty())
        throw EUsageError(QStringLiteral("snapshot: -o PROFILE is missing"));
    OperationPlan plan;
    plan.next = [] {
        return TargetCommand {};
    };
    plan.maxTargets = 1;
    plan.converse = [output](PrinterLink &link, const CliTarget &target, TargetReport &report) {
        const Identification id = ParseIdentification(link.Query(IdentificationQuery()));
        const PrinterReading printer = ReadSettings(link, ConfigurationQuery());
        const int dotsPerMm = printer.dotsPerMm ? printer.dotsPerMm : id.dotsPerMm == 12 ? 12 : 8;
        QStringList header = {
            QStringLiteral("Tarvolin printer profile: the running settings of %1").arg(target.uri),
            QStringLiteral("printer: %1, firmware %2")
                .arg(ShownText(id.model), ShownText(id.firmware)),
            QStringLiteral("read %1").arg(QDateTime::currentDateTimeUtc().toString(
                QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"))),
        };
        if (printer.powerOn.reported)
            header << QStringLiteral("not the stored settings: at power-on the printer comes "
                                     "back with ")
                    + PowerOnText(printer.powerOn);
        NotePowerOn(printer, report);
        WriteOutputFile(output, SnapshotProfile(printer.values, dotsPerMm, header));
        report.verdict = Verdict::Ok;
        report.detail
            = QStringLiteral("%1 settings into %2").arg(printer.values.size()).arg(output);
        report.extra.insert(QStringLiteral("profile"), output);
        report.extra.insert(QStringLiteral("settings"), printer.values.size());
    };
    return plan;
}

// The printer's running settings against the profile, the drift noted in
// the report.
DriftResult ReadDrift(PrinterLink &link, const Wanted &wanted, TargetReport &report, bool json,
                      PrinterReading *reading = nullptr)
{
    const PrinterReading printer = ReadSettings(link, ConfigurationQuery());
    RequireResolution(wanted.profile, printer);
    const DriftResult drift = CompareSettings(printer.values, wanted.values);
    SetDrift(report, drift, json);
    if (reading)
        *reading = printer;
    return drift;
}

OperationPlan DiffPlan(const CommandLine &line)
{
    const Wanted wanted = ReadWanted(line.operands[0]);
    const bool json = line.Has(QStringLiteral("json"));
    OperationPlan plan;
    plan.next = [] {
        return TargetCommand {};
    };
    plan.converse = [=](PrinterLink &link, const CliTarget &, TargetReport &report) {
        PrinterReading printer;
        const DriftResult drift = ReadDrift(link, wanted, report, json, &printer);
        NotePowerOn(printer, report);
        if (drift.differing.empty()) {
            report.verdict = Verdict::Ok;
            report.detail = QStringLiteral("matches the profile");
        } else {
            report.verdict = Verdict::Differs;
            report.detail = drift.differing.size() == 1
                ? QStringLiteral("1 setting differs")
                : QStringLiteral("%1 settings differ").arg(drift.differing.size());
        }
    };
    return plan;
}

namespace {

// How apply's verification reads what it sent back: every profile setting
// the printer reported before must be there again and equal, from the same
// printer at the same resolution.
QStringList Unverified(const PrinterReading &before, const Identification &id,
                       const PrinterReading &after, const Identification &idAfter,
                       const Wanted &wanted, TargetReport &report)
{
    QStringList failures;
    if (!(idAfter == id))
        failures << QStringLiteral("another printer answered the read-back (%1, firmware %2; "
                                   "before: %3, firmware %4)")
                        .arg(ShownText(idAfter.model), ShownText(idAfter.firmware),
                             ShownText(id.model), ShownText(id.firmware));
    if (after.dotsPerMm != before.dotsPerMm)
        failures << QStringLiteral("the read-back is at %1 dots per mm, the printer was at %2")
                        .arg(after.dotsPerMm)
                        .arg(before.dotsPerMm);
    const DriftResult left = CompareSettings(after.values, wanted.values);
    QStringList missing;
    for (const QString &key : left.unchecked)
        if (before.values.contains(key))
            missing << key;
    if (!missing.isEmpty()) {
        failures << QStringLiteral("not read back: ") + missing.join(QStringLiteral(", "));
        report.extra.insert(QStringLiteral("notReadBack"), Names(missing));
    }
    if (!left.differing.empty()) {
        failures << QStringLiteral("did not take: ")
                + DriftLines(left.differing).join(QStringLiteral("; "));
        report.extra.insert(QStringLiteral("notTaken"), DriftJson(left.differing));
    }
    return failures;
}

} // namespace

OperationPlan ApplyPlan(const CommandLine &line)
{
    const Wanted wanted = ReadWanted(line.operands[0]);
    const bool check = line.Has(QStringLiteral("check"));
    const bool json = line.Has(QStringLiteral("json"));
    OperationPlan plan;
    plan.next = [] {
        return TargetCommand {};
    };
    plan.converse = [=](PrinterLink &link, const CliTarget &, TargetReport &report) {
        report.extra.insert(QStringLiteral("changed"), false);
        report.extra.insert(QStringLiteral("verified"), false);
        PrinterReading before;
        const DriftResult drift = ReadDrift(link, wanted, report, json, &before);
        if (drift.differing.empty()) {
            report.verdict = Verdict::Ok;
            report.detail = QStringLiteral("unchanged");
            report.extra.insert(QStringLiteral("verified"), true);
            return;
        }
        if (check) {
            report.verdict = Verdict::Differs;
            report.detail = QStringLiteral("would change %1")
                                .arg(Keys(drift.differing).join(QStringLiteral(", ")));
            return;
        }
        // Who the printer is, so that the read-back is known to be its own.
        const Identification id = ParseIdentification(link.Query(IdentificationQuery()));
        // The settings and the read-back travel as one request, so the
        // answer comes after the printer has taken them.
        const QByteArray restore = RestoreCommand(drift.differing, wanted.values);
        PrinterQuery again = ConfigurationQuery();
        again.request.prepend(restore);
        // Once the store command may have gone out, every failure says so.
        const auto noteSent = [&] {
            switch (link.LastRequestSent()) {
            case PrinterLink::RequestSent::None:
                return;
            case PrinterLink::RequestSent::Part:
                report.detail = QStringLiteral("the settings may have been sent in part and "
                                               "may be stored");
                break;
            case PrinterLink::RequestSent::Whole:
                report.bytes = restore.size();
                report.detail = QStringLiteral("the settings were sent and may be stored");
                break;
            }
            report.extra.insert(QStringLiteral("changed"), true);
        };
        PrinterReading after;
        Identification idAfter;
        try {
            after = ReadSettings(link, again);
            noteSent();
            idAfter = ParseIdentification(link.Query(IdentificationQuery()));
        } catch (...) {
            noteSent();
            throw;
        }
        const QStringList failures = Unverified(before, id, after, idAfter, wanted, report);
        if (!failures.isEmpty()) {
            report.verdict = Verdict::Failed;
            report.error
                = failures.join(QStringLiteral("; ")) + QStringLiteral("; ") + report.detail;
            return;
        }
        report.verdict = Verdict::Ok;
        report.detail = QStringLiteral("changed %1 (verified)")
                            .arg(Keys(drift.differing).join(QStringLiteral(", ")));
        report.extra.insert(QStringLiteral("verified"), true);
    };
    return plan;
}

std::vector<Operation> SettingsOperations()
{
    return {
        Operation {
            .name = QStringLiteral("snapshot"),
            .options = QStringList { QStringLiteral("output") },
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("write a printer's running settings as a profile"),
            .description = QStringLiteral(
                "Reads the printer's identification and configuration and writes the settings "
                "the setup panel holds, as the printer runs with them, into the profile named by "
                "-o, headed by a comment naming the printer and the time. Where the printer says "
                "it runs with settings it has not stored, the report and the comment say so and "
                "name what it comes back with at power-on. Settings the printer does not report "
                "are left out; a value a profile would refuse is kept as a comment saying why. "
                "Takes one printer; a file is replaced whole, a FIFO or device (/dev/stdout) is "
                "written into."),
            .plan = SnapshotPlan },
        Operation {
            .name = QStringLiteral("diff"),
            .operands = QStringLiteral("PROFILE"),
            .operandCount = 1,
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("compare printers' running settings with a profile"),
            .description = QStringLiteral(
                "Reads each printer's configuration (the settings it runs with) and compares "
                "the settings PROFILE gives, one line per differing setting (\"density: printer "
                "22, profile 15\"); lengths are compared in dots. Where a printer says it runs "
                "with settings it has not stored, a line names what it comes back with at "
                "power-on. Exits with 0 when every printer matches, 4 when any differs, 1 when a "
                "printer could not be read."),
            .plan = DiffPlan },
        Operation {
            .name = QStringLiteral("apply"),
            .operands = QStringLiteral("PROFILE"),
            .operandCount = 1,
            .options = QStringList { QStringLiteral("check") },
            .kind = Operation::Kind::ReadBack,
            .summary = QStringLiteral("send only the differing settings, store, verify"),
            .description = QStringLiteral(
                "Reads each printer's configuration, sends only the settings of PROFILE that "
                "differ (as Store Settings writes them) and the command that stores them, then "
                "reads the configuration and the printer's identification again: \"unchanged\", "
                "\"changed\" (verified), or FAILED when a setting did not take or was not read "
                "back, or another printer or resolution answered; a failure after the settings "
                "went out says they were sent and may be stored. --json reports \"changed\" "
                "(true once the store command went out, whatever followed), \"verified\" and "
                "the bytes sent. --check sends nothing and shows what would change (exit status "
                "4 when something would)."),
            .plan = ApplyPlan },
    };
}
