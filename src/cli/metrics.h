#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

// Printer conditions for a monitoring system, in the Prometheus text
// exposition format, and the file that a textfile collector reads.

// What one target told us.
struct PrinterMetrics
{
    QString target; // the URI as given
    bool up = false; // the printer answered
    // Condition name ("paper_out") and whether it is set; every name the
    // answer decodes is listed, set or not, so a cleared condition shows 0.
    std::vector<std::pair<QString, bool>> conditions;
    std::optional<qint64> labelsRemaining;
    std::optional<qint64> formatsInBuffer;
    std::optional<qint64> labelLengthDots;
    qint64 elapsedMs = 0;
};

// Reads what a status or host-status report carries for --json: the status
// byte ("statusByte") or the decoded host status ("hostStatus").
PrinterMetrics MetricsFromReport(const QString &target, bool answered,
                                 const QJsonObject &reportFields, qint64 elapsedMs);

// "paperOut" -> "paper_out".
QString SnakeCase(const QString &camelCase);

// Every family with its HELP and TYPE lines, one series per target (and per
// condition), targets in the order given. Ends with a line break.
QByteArray PrometheusText(const std::vector<PrinterMetrics> &printers);
