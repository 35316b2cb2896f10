#include "cli/report.h"

#include "commands/printertext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

void Tally::Add(Verdict v)
{
    switch (v) {
    case Verdict::Ok:
        ++ok;
        return;
    case Verdict::NotReady:
        ++notReady;
        return;
    case Verdict::Differs:
        ++differs;
        return;
    case Verdict::Failed:
        ++failed;
        return;
    }
}

void Tally::Add(Verdict v, const QString &uri, size_t position)
{
    Add(v);
    if (v == Verdict::Failed)
        failedTargets[position] = uri;
    else if (v == Verdict::NotReady)
        notReadyTargets[position] = uri;
    else if (v == Verdict::Differs)
        differingTargets[position] = uri;
}

namespace {

QStringList Uris(const std::map<size_t, QString> &targets)
{
    QStringList uris;
    for (const auto &[position, uri] : targets)
        uris << uri;
    return uris;
}

// "5 failed: a, b, c, d, e" when the names are known, else "5 failed".
QString Counted(int count, const QString &what, const std::map<size_t, QString> &targets)
{
    QString part = QStringLiteral("%1 %2").arg(count).arg(what);
    if (!targets.empty())
        part += QStringLiteral(": ") + Uris(targets).join(QStringLiteral(", "));
    return part;
}

// Figures in the C locale: a report is read by scripts as much as by people.
QString OneDecimal(double value)
{
    return QLocale::c().toString(value, 'f', 1);
}

QString VerdictName(Verdict v)
{
    switch (v) {
    case Verdict::Ok:
        return QStringLiteral("ok");
    case Verdict::NotReady:
        return QStringLiteral("not-ready");
    case Verdict::Differs:
        return QStringLiteral("differs");
    case Verdict::Failed:
        return QStringLiteral("failed");
    }
    return QString();
}

} // namespace

QString FormatSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return OneDecimal(bytes / 1024.0) + QStringLiteral(" KB");
    if (bytes < qint64(1024) * 1024 * 1024)
        return OneDecimal(bytes / (1024.0 * 1024.0)) + QStringLiteral(" MB");
    return OneDecimal(bytes / (1024.0 * 1024.0 * 1024.0)) + QStringLiteral(" GB");
}

QString FormatDuration(qint64 ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    return OneDecimal(ms / 1000.0) + QStringLiteral(" s");
}

namespace {

QString ReportLines(const TargetReport &r)
{
    QString line = r.uri + QLatin1Char(' ');
    switch (r.verdict) {
    case Verdict::Failed:
        line += QStringLiteral("FAILED: ") + r.error;
        break;
    case Verdict::NotReady:
        line += QStringLiteral("NOT READY: ") + r.detail + QLatin1Char(' ')
            + FormatDuration(r.elapsedMs);
        break;
    case Verdict::Differs:
        line += QStringLiteral("DIFFERS: ") + r.detail + QLatin1Char(' ')
            + FormatDuration(r.elapsedMs);
        break;
    case Verdict::Ok:
        line += QStringLiteral("ok ") + FormatSize(r.bytes) + QLatin1Char(' ')
            + FormatDuration(r.elapsedMs);
        if (!r.detail.isEmpty())
            line += QStringLiteral(": ") + r.detail;
        break;
    }
    line += QLatin1Char('\n');
    for (const QString &more : r.moreLines)
        line += QStringLiteral("  ") + more + QLatin1Char('\n');
    return line;
}

} // namespace

QString ReportText(const TargetReport &r)
{
    // Whatever a field holds, the report's lines are its own: no field can
    // break one or begin another.
    const TargetReport shown = [&r] {
        TargetReport s = r;
        s.uri = OnOneLine(r.uri);
        s.error = OnOneLine(r.error);
        s.detail = OnOneLine(r.detail);
        for (QString &more : s.moreLines)
            more = OnOneLine(more);
        return s;
    }();
    return ReportLines(shown);
}

QByteArray ReportJson(const TargetReport &r)
{
    QJsonObject o = r.extra;
    o.insert(QStringLiteral("target"), r.uri);
    o.insert(QStringLiteral("result"), VerdictName(r.verdict));
    o.insert(QStringLiteral("bytes"), r.bytes);
    o.insert(QStringLiteral("ms"), r.elapsedMs);
    if (r.verdict == Verdict::Failed)
        o.insert(QStringLiteral("error"), r.error);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString SummaryText(const Tally &t)
{
    QStringList parts;
    parts << QStringLiteral("%1 ok").arg(t.ok);
    if (t.notReady)
        parts << Counted(t.notReady, QStringLiteral("not ready"), t.notReadyTargets);
    if (t.differs)
        parts << Counted(t.differs, QStringLiteral("differ"), t.differingTargets);
    parts << Counted(t.failed, QStringLiteral("failed"), t.failedTargets);
    return QStringLiteral("%1 %2 in %3: %4\n")
        .arg(t.Total())
        .arg(t.Total() == 1 ? QStringLiteral("target") : QStringLiteral("targets"))
        .arg(FormatDuration(t.elapsedMs), parts.join(QStringLiteral(", ")));
}

QByteArray SummaryJson(const Tally &t)
{
    QJsonObject summary;
    summary.insert(QStringLiteral("targets"), t.Total());
    summary.insert(QStringLiteral("ok"), t.ok);
    summary.insert(QStringLiteral("notReady"), t.notReady);
    summary.insert(QStringLiteral("failed"), t.failed);
    summary.insert(QStringLiteral("ms"), t.elapsedMs);
    summary.insert(QStringLiteral("failedTargets"),
                   QJsonArray::fromStringList(Uris(t.failedTargets)));
    summary.insert(QStringLiteral("notReadyTargets"),
                   QJsonArray::fromStringList(Uris(t.notReadyTargets)));
    if (t.differs) {
        summary.insert(QStringLiteral("differs"), t.differs);
        summary.insert(QStringLiteral("differingTargets"),
                       QJsonArray::fromStringList(Uris(t.differingTargets)));
    }
    QJsonObject o;
    o.insert(QStringLiteral("summary"), summary);
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QString HexDump(const QByteArray &bytes)
{
    QString out;
    for (qsizetype at = 0; at < bytes.size(); at += 16) {
        const QByteArray row = bytes.mid(at, 16);
        QString hex = QString::fromLatin1(row.toHex(' '));
        QString text;
        for (char c : row)
            text += (c >= 0x20 && c < 0x7F) ? QLatin1Char(c) : QLatin1Char('.');
        out += QStringLiteral("%1  %2  %3\n")
                   .arg(at, 8, 16, QLatin1Char('0'))
                   .arg(hex, -47)
                   .arg(text);
    }
    return out;
}
