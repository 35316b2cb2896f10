#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

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
    bool busy = false; // it took the connection but did not answer
    // Condition name ("paper_out") and whether it is set; every name the
    // answer could see is listed, set or not, so a cleared condition shows 0.
    std::vector<std::pair<QString, bool>> conditions;
    QStringList warnings; // those set
    QStringList modes; // "thermal_transfer", "tear_off", ...
    std::optional<qint64> labelsRemaining;
    std::optional<qint64> formatsInBuffer;
    std::optional<qint64> labelLengthDots;
    qint64 elapsedMs = 0;
};

// Reads what a status or host-status report carries for --json: the
// status's "conditions", "checked", "warnings" and "modes", the figures of
// "hostStatus", and "busy".
PrinterMetrics MetricsFromReport(const QString &target, bool answered,
                                 const QJsonObject &reportFields, qint64 elapsedMs);

// "paperOut" -> "paper_out".
QString SnakeCase(const QString &camelCase);

// Every family with its HELP and TYPE lines, one series per target (and per
// condition), targets in the order given. Ends with a line break.
QByteArray PrometheusText(const std::vector<PrinterMetrics> &printers);
