#include "cli/cli.h"

#include "cli/graphicop.h"
#include "cli/hostoperations.h"
#include "cli/inputfile.h"
#include "cli/interruption.h"
#include "cli/metrics.h"
#include "cli/operations.h"
#include "cli/outputfile.h"
#include "cli/profile.h"
#include "cli/render.h"
#include "cli/runner.h"
#include "cli/target.h"
#include "cli/terminalprogress.h"
#include "cli/usageerror.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QLocale>

#include <map>
#include <memory>
#include <unistd.h>

namespace {

constexpr int DefaultJobs = 16;
constexpr int MaxJobs = 1024;

void Write(FILE *to, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

void Write(FILE *to, const QString &text)
{
    Write(to, text.toUtf8());
}

QStringList OperationNames()
{
    QStringList names;
    for (const Operation &op : Operations())
        names << op.name;
    return names;
}

const Operation &OperationOf(const CommandLine &line)
{
    if (line.operation.isEmpty())
        throw EUsageError(QStringLiteral("no operation given"));
    const Operation *op = FindOperation(line.operation);
    if (!op)
        throw EUsageError(QStringLiteral("unknown operation '%1'%2")
                              .arg(line.operation, DidYouMean(line.operation, OperationNames())));
    for (const QString &name : line.given)
        if (!IsGlobalOption(name) && !op->options.contains(name))
            throw EUsageError(
                QStringLiteral("%1: --%2 is not an option of this operation").arg(op->name, name));
    if (line.Has(QStringLiteral("help")))
        return *op;
    const int given = int(line.operands.size());
    const bool optionalOperand = op->operands.startsWith(QLatin1Char('['));
    if (given > op->operandCount)
        throw EUsageError(QStringLiteral("%1: unexpected argument '%2'")
                              .arg(op->name, line.operands.value(op->operandCount)));
    if (given < op->operandCount && !optionalOperand)
        throw EUsageError(QStringLiteral("%1: %2 is missing").arg(op->name, op->operands));
    return *op;
}

QList<CliTarget> TargetsOf(const CommandLine &line, const CliStreams &io)
{
    QList<CliTarget> given;
    for (const QString &uri : line.Values(QStringLiteral("to")))
        given << ParseTargetUri(uri);
    for (const QString &file : line.Values(QStringLiteral("targets")))
        given << ReadTargetsFile(file);
    // A printer named twice gets its command once: a second copy of a label
    // or a download is never what was meant.
    QList<CliTarget> targets;
    QHash<QString, int> seen;
    for (const CliTarget &t : std::as_const(given)) {
        if (seen[t.uri]++ == 0)
            targets << t;
    }
    for (const CliTarget &t : std::as_const(targets)) {
        if (seen.value(t.uri) > 1)
            Write(io.err,
                  QStringLiteral("tarvolin-cli: warning: %1 is given %2 times; it is "
                                 "served once\n")
                      .arg(t.uri)
                      .arg(seen.value(t.uri)));
    }
    return targets;
}

RunOptions RunOptionsOf(const CommandLine &line)
{
    RunOptions options;
    options.jobs = int(
        OptionNumber(QStringLiteral("jobs"),
                     line.Value(QStringLiteral("jobs"), QString::number(DefaultJobs)), 1, MaxJobs));
    options.timeoutMs = TimeoutMsOf(line);
    options.deadline = OperationDeadline(line);
    return options;
}

// Writes what would be sent: once when every target gets the same bytes,
// otherwise each target's bytes in target order.
void DryRun(const std::vector<CliJob> &jobs, const QByteArray &single, const CliStreams &io,
            bool verbose)
{
    std::vector<QByteArray> outputs;
    if (jobs.empty()) {
        outputs.push_back(single);
    } else {
        const bool same = std::all_of(jobs.begin(), jobs.end(), [&](const CliJob &j) {
            return j.bytes == jobs.front().bytes;
        });
        for (const CliJob &job : jobs) {
            outputs.push_back(job.bytes);
            if (same)
                break;
        }
    }
    for (const QByteArray &bytes : outputs) {
        if (verbose)
            Write(io.err, HexDump(bytes));
        Write(io.out, bytes);
    }
}

void ShowSent(const std::vector<CliJob> &jobs, const CliStreams &io)
{
    for (size_t i = 0; i < jobs.size(); ++i) {
        // Consecutive targets with the same bytes share one dump.
        size_t last = i;
        while (last + 1 < jobs.size() && jobs[last + 1].bytes == jobs[i].bytes)
            ++last;
        const QString to
            = last == i ? jobs[i].target.uri : QStringLiteral("%1 targets").arg(last - i + 1);
        Write(io.err,
              QStringLiteral("%1 to %2:\n").arg(FormatSize(jobs[i].bytes.size()), to)
                  + HexDump(jobs[i].bytes));
        i = last;
    }
}

int ExitStatusOf(const Tally &tally)
{
    return tally.failed && tally.failed == tally.busy ? ExitBusy
        : tally.failed                                ? ExitFailed
        : tally.differs                               ? ExitDrift
        : tally.notReady                              ? ExitNotReady
                                                      : ExitOk;
}

bool IsPrometheusFormat(const Operation &op, const CommandLine &line)
{
    if (!op.options.contains(QStringLiteral("format")))
        return false;
    const QString format = line.Value(QStringLiteral("format"), QStringLiteral("text"));
    if (format != QLatin1String("text") && format != QLatin1String("prometheus"))
        throw EUsageError(
            QStringLiteral("--format: '%1' is not one of text, prometheus").arg(format));
    if (line.Has(QStringLiteral("output")) && format != QLatin1String("prometheus"))
        throw EUsageError(QStringLiteral("--output: only with --format prometheus"));
    return format == QLatin1String("prometheus");
}

// The metrics of every target at once, so a collector reads one whole run.
CliOutcome WriteMetrics(const CommandLine &line, const std::vector<PrinterMetrics> &metrics,
                        const Tally &tally, const CliStreams &io, bool finished)
{
    const QByteArray text = PrometheusText(metrics);
    CliOutcome outcome;
    outcome.threadsLeftBehind = !finished;
    outcome.exitStatus = ExitStatusOf(tally);
    const QString output = line.Value(QStringLiteral("output"));
    if (output.isEmpty()) {
        Write(io.out, text);
        return outcome;
    }
    try {
        WriteOutputFile(output, text);
    } catch (const ETarvolinError &e) {
        Write(io.err, QStringLiteral("tarvolin-cli: %1\n").arg(e.Message()));
        outcome.exitStatus = ExitFailed;
    }
    return outcome;
}

CliOutcome Run(const CommandLine &line, const CliStreams &io)
{
    if (line.Has(QStringLiteral("version"))) {
        Write(io.out,
              QStringLiteral("tarvolin-cli %1\n").arg(QCoreApplication::applicationVersion()));
        return {};
    }
    if (line.Has(QStringLiteral("help")) && line.operation.isEmpty()) {
        Write(io.out, ProgramHelp());
        return {};
    }
    const Operation &op = OperationOf(line);
    if (line.Has(QStringLiteral("help"))) {
        Write(io.out, OperationHelp(op));
        return {};
    }
    if (op.name == QLatin1String("help")) {
        if (line.operands.isEmpty()) {
            Write(io.out, ProgramHelp());
            return {};
        }
        const Operation *about = FindOperation(line.operands[0]);
        if (!about)
            throw EUsageError(
                QStringLiteral("unknown operation '%1'%2")
                    .arg(line.operands[0], DidYouMean(line.operands[0], OperationNames())));
        Write(io.out, OperationHelp(*about));
        return {};
    }
    if (op.name == QLatin1String("render"))
        return { RunRender(line, io), false };
    if (op.name == QLatin1String("graphic") && !line.Has(QStringLiteral("to"))
        && !line.Has(QStringLiteral("targets")) && !line.Has(QStringLiteral("dry-run")))
        return { RunGraphic(line, io), false };
    if (op.name == QLatin1String("discover"))
        return RunDiscover(line, io);
    if (op.name == QLatin1String("profile")) {
        if (!line.Has(QStringLiteral("example")))
            throw EUsageError(QStringLiteral("profile: --example is missing"));
        Write(io.out, ExampleProfile());
        return {};
    }

    const bool dryRun = line.Has(QStringLiteral("dry-run"));
    const bool json = line.Has(QStringLiteral("json"));
    const bool quiet = line.Has(QStringLiteral("quiet"));
    const bool verbose = line.Has(QStringLiteral("verbose"));
    const bool prometheus = IsPrometheusFormat(op, line);
    const QList<CliTarget> targets = TargetsOf(line, io);
    if (targets.isEmpty() && !dryRun)
        throw EUsageError(QStringLiteral("no printer given (--to URI or --targets FILE)"));
    RunOptions options = RunOptionsOf(line);

    OperationPlan plan;
    try {
        plan = op.plan(line);
    } catch (const ETarvolinError &e) {
        // Whatever stops the command from being built is bad input.
        throw EUsageError(op.name + QStringLiteral(": ") + e.Message());
    }
    if (op.kind == Operation::Kind::ReadBack) {
        for (const CliTarget &t : targets)
            if (t.kind == CliTarget::Kind::Cups || t.kind == CliTarget::Kind::File)
                throw EUsageError(QStringLiteral("%1: %2: %3")
                                      .arg(op.name, t.uri,
                                           t.kind == CliTarget::Kind::Cups
                                               ? QStringLiteral("A print queue carries data one "
                                                                "way; connect over the network, "
                                                                "USB or serial to read the printer")
                                               : QStringLiteral("A file carries data one way; "
                                                                "connect over the network, USB or "
                                                                "serial to read the printer")));
        options.exchange = plan.exchange;
        options.query = plan.query;
    }
    options.converse = plan.converse;
    if (plan.maxTargets > 0 && targets.size() > plan.maxTargets)
        throw EUsageError(QStringLiteral("%1 takes one printer at a time (%2 given)")
                              .arg(op.name)
                              .arg(targets.size()));

    // Every command is built before the first byte goes out.
    std::vector<CliJob> jobs;
    std::vector<TargetCommand> commands;
    jobs.reserve(size_t(targets.size()));
    commands.reserve(size_t(targets.size()));
    for (const CliTarget &t : targets) {
        commands.push_back(plan.next());
        jobs.push_back({ t, commands.back().bytes, commands.back().streamFrom });
    }

    if (dryRun) {
        DryRun(jobs, jobs.empty() ? plan.next().bytes : QByteArray(), io, verbose);
        return {};
    }
    if (verbose)
        ShowSent(jobs, io);

    // A single printer's long transfer shows its progress; a fleet's report
    // is its lines.
    std::unique_ptr<TerminalProgress> bar;
    if (jobs.size() == 1 && !json && !quiet && !prometheus && !plan.converse) {
        bar = std::make_unique<TerminalProgress>(io.err, ::isatty(::fileno(io.err)) == 1);
        options.progress = bar.get();
    }

    // A fleet's lines on a terminal are followed by how far it has got.
    std::unique_ptr<FleetProgress> fleet;
    if (jobs.size() > 1 && !json && !prometheus && ::isatty(::fileno(io.err)) == 1)
        fleet = std::make_unique<FleetProgress>(io.err, int(jobs.size()));

    Tally tally;
    std::vector<PrinterMetrics> metrics(jobs.size());
    QElapsedTimer clock;
    clock.start();
    Interruption interruption;
    options.interrupt = interruption.Flag();
    // Results come in as targets finish; their lines go out in the order the
    // targets were given, each as soon as those before it are out.
    std::map<size_t, QByteArray> waiting;
    size_t nextShown = 0;
    const auto show = [&](size_t index, QByteArray text) {
        waiting.emplace(index, std::move(text));
        for (auto it = waiting.find(nextShown); it != waiting.end();
             it = waiting.find(++nextShown)) {
            if (!it->second.isEmpty()) {
                if (fleet)
                    fleet->Clear();
                Write(io.out, it->second);
            }
            waiting.erase(it);
        }
    };
    const bool finished = RunJobs(jobs, options, [&](const CliJobResult &result) {
        if (result.interrupted)
            interruption.Note(result, jobs[result.index].target.uri,
                              jobs[result.index].TotalBytes());
        const TargetCommand &command = commands[result.index];
        TargetReport report;
        report.uri = jobs[result.index].target.uri;
        report.elapsedMs = result.elapsedMs;
        report.extra = command.extra;
        if (!result.ok) {
            report.verdict = Verdict::Failed;
            report.error = result.error;
            if (!result.done.isEmpty())
                report.error += QStringLiteral("; ") + result.done;
            report.bytes = result.bytesSent;
            for (auto it = result.extra.begin(); it != result.extra.end(); ++it)
                report.extra.insert(it.key(), it.value());
            if (!result.advice.isEmpty()) {
                report.moreLines = result.advice.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                report.extra.insert(QStringLiteral("advice"), result.advice);
            }
            if (result.busy) {
                report.extra.insert(QStringLiteral("busy"), true);
                ++tally.busy;
            }
        } else if (result.report) {
            report = *result.report;
            report.uri = jobs[result.index].target.uri;
            report.elapsedMs = result.elapsedMs;
        } else {
            report.verdict = Verdict::Ok;
            report.bytes = result.bytesSent;
            report.detail = command.detail;
            if (plan.evaluate)
                plan.evaluate(result.reply, jobs[result.index].target, report);
        }
        if (bar)
            bar->Finish();
        tally.Add(report.verdict, report.uri, result.index);
        // Quiet leaves out the printers that are fine as they were.
        const bool unremarkable = report.verdict == Verdict::Ok
            && !report.extra.value(QStringLiteral("changed")).toBool();
        if (prometheus)
            metrics[result.index] = MetricsFromReport(report.uri, report.verdict != Verdict::Failed,
                                                      report.extra, report.elapsedMs);
        else if (json)
            show(result.index, ReportJson(report));
        else
            show(result.index, quiet && unremarkable ? QByteArray() : ReportText(report).toUtf8());
        if (fleet)
            fleet->Show(tally.Total(), tally.failed);
    });
    fleet.reset();
    tally.elapsedMs = clock.elapsed();
    if (prometheus)
        return WriteMetrics(line, metrics, tally, io, finished);
    const bool interrupted = interruption.Happened();
    if (json)
        Write(io.out, SummaryJson(tally));
    else if ((!quiet && tally.Total() > 1) || interrupted)
        Write(io.out, SummaryText(tally));
    if (interrupted)
        Write(io.out, json ? interruption.Json() : interruption.Text().toUtf8());

    CliOutcome outcome;
    outcome.threadsLeftBehind = !finished;
    outcome.exitStatus = interrupted ? ExitInterrupted : ExitStatusOf(tally);
    return outcome;
}

} // namespace

CliOutcome RunCli(const QStringList &arguments, const CliStreams &streams)
{
    try {
        return Run(ParseCommandLine(arguments, AllOptions()), streams);
    } catch (const EUsageError &e) {
        Write(streams.err,
              QStringLiteral("tarvolin-cli: %1\nTry 'tarvolin-cli --help'.\n").arg(e.Message()));
        return { ExitUsage, false };
    }
}

bool NeedsGuiApplication(const QStringList &arguments)
{
    try {
        const QString operation = ParseCommandLine(arguments, AllOptions()).operation;
        return operation == QLatin1String("render") || operation == QLatin1String("graphic");
    } catch (const EUsageError &) {
        return false; // reported once the program runs
    }
}
