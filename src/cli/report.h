#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// What the program prints about each target and about the whole run: one
// line per target and a summary, or one JSON object per line.

enum class Verdict { Ok, NotReady, Failed };

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
    qint64 elapsedMs = 0;
    void Add(Verdict v);
    int Total() const { return ok + notReady + failed; }
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

// "200 targets: 197 ok, 3 failed in 1.4 s"
QString SummaryText(const Tally &tally);
QByteArray SummaryJson(const Tally &tally);

// Offset, sixteen bytes in hex, and the printable ones as text.
QString HexDump(const QByteArray &bytes);
