#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <map>

// What the program prints about each target and about the whole run: one
// line per target and a summary, or one JSON object per line.

// Differs: the printer's stored settings are not the profile's.
enum class Verdict { Ok, NotReady, Differs, Failed };

struct TargetReport
{
    QString uri;
    Verdict verdict = Verdict::Failed;
    QString error; // why it failed
    qint64 bytes = 0; // bytes sent
    qint64 elapsedMs = 0;
    QString detail; // what the printer answered, or what it was given
    QStringList moreLines; // a longer answer (the file list), one entry per line
    QJsonObject extra; // the same for --json, by field
};

struct Tally
{
    int ok = 0;
    int notReady = 0;
    int failed = 0;
    int differs = 0;
    int busy = 0; // of the failed: took the connection but did not answer
    qint64 elapsedMs = 0;
    // The targets that were not ok, by their position in the target list,
    // so the summary names them in the order they were given.
    std::map<size_t, QString> failedTargets;
    std::map<size_t, QString> notReadyTargets;
    std::map<size_t, QString> differingTargets;
    void Add(Verdict v);
    // Counts the verdict and remembers a target that was not ok.
    void Add(Verdict v, const QString &uri, size_t position);
    int Total() const { return ok + notReady + differs + failed; }
};

// "150 B", "1.2 KB", "3.4 MB" (binary multiples).
QString FormatSize(qint64 bytes);
// "35 ms", "1.2 s".
QString FormatDuration(qint64 ms);

// "tcp://10.0.0.7 ok 1.2 KB 35 ms", "tcp://10.0.0.8 FAILED: Connect error",
// "com:///dev/ttyS0 NOT READY: Head Open, Out of Paper 31 ms"; a longer
// answer follows on lines of its own, indented. Ends with a line break.
QString ReportText(const TargetReport &report);
// {"target": ..., "result": "ok" | "not-ready" | "failed", ...} and a line break.
QByteArray ReportJson(const TargetReport &report);

// "200 targets in 1.4 s: 195 ok, 5 failed: tcp://10.0.3.12, ..." naming
// every target that was not ok, so a long run's failures need not be
// searched for among the ok lines.
QString SummaryText(const Tally &tally);
// {"summary": {"targets": 200, "ok": 195, ..., "failedTargets": [...]}}
QByteArray SummaryJson(const Tally &tally);

// Offset, sixteen bytes in hex, and the printable ones as text.
QString HexDump(const QByteArray &bytes);
