#include "cli/metrics.h"

#include <QJsonValue>

namespace {

// Label values may hold any text; these three are the ones the format escapes.
QByteArray LabelValue(const QString &value)
{
    QByteArray out;
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray Series(const char *name, const QString &target, qint64 value,
                  const QByteArray &moreLabels = QByteArray())
{
    return QByteArray(name) + "{target=\"" + LabelValue(target) + '"' + moreLabels + "} "
        + QByteArray::number(value) + '\n';
}

QByteArray Family(const char *name, const char *type, const char *help)
{
    return QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

} // namespace

QString SnakeCase(const QString &camelCase)
{
    QString out;
    for (const QChar c : camelCase) {
        if (c.isUpper()) {
            if (!out.isEmpty())
                out += QLatin1Char('_');
            out += c.toLower();
        } else {
            out += c;
        }
    }
    return out;
}

PrinterMetrics MetricsFromReport(const QString &target, bool answered, const QJsonObject &fields,
                                 qint64 elapsedMs)
{
    PrinterMetrics m;
    m.target = target;
    m.up = answered;
    m.busy = fields.value(QStringLiteral("busy")).toBool();
    m.elapsedMs = elapsedMs;
    if (!answered)
        return m;
    const auto keys = [&fields](const char *name) {
        return fields.value(QLatin1String(name)).toVariant().toStringList();
    };
    const QStringList set = keys("conditions");
    for (const QString &key : keys("checked"))
        m.conditions.emplace_back(key, set.contains(key));
    m.warnings = keys("warnings");
    m.modes = keys("modes");
    const QJsonObject hs = fields.value(QStringLiteral("hostStatus")).toObject();
    auto number = [&hs](const char *key) -> std::optional<qint64> {
        const QJsonValue v = hs.value(QLatin1String(key));
        if (!v.isDouble())
            return std::nullopt;
        return qint64(v.toDouble());
    };
    m.labelsRemaining = number("labelsRemaining");
    m.formatsInBuffer = number("formatsInBuffer");
    m.labelLengthDots = number("labelLengthDots");
    return m;
}

QByteArray PrometheusText(const std::vector<PrinterMetrics> &printers)
{
    QByteArray out = Family("tarvolin_printer_up", "gauge",
                            "Whether the printer answered the last query (1) or not (0).");
    for (const PrinterMetrics &p : printers)
        out += Series("tarvolin_printer_up", p.target, p.up ? 1 : 0);

    out += Family("tarvolin_printer_busy", "gauge",
                  "Whether the printer took the connection but did not answer (1): it serves "
                  "one client at a time, and another may hold it.");
    for (const PrinterMetrics &p : printers)
        out += Series("tarvolin_printer_busy", p.target, p.busy ? 1 : 0);

    out += Family("tarvolin_printer_condition", "gauge",
                  "Whether a condition that stops printing is set (1) or clear (0).");
    for (const PrinterMetrics &p : printers)
        for (const auto &[name, set] : p.conditions)
            out += Series("tarvolin_printer_condition", p.target, set ? 1 : 0,
                          ",condition=\"" + LabelValue(name) + '"');

    const auto named = [&](const char *family, const char *type, const char *help,
                           QStringList PrinterMetrics::*list, const char *label) {
        QByteArray series;
        for (const PrinterMetrics &p : printers)
            for (const QString &name : p.*list)
                series += Series(family, p.target, 1,
                                 QByteArray(",") + label + "=\"" + LabelValue(name) + '"');
        if (!series.isEmpty())
            out += Family(family, type, help) + series;
    };
    named("tarvolin_printer_warning", "gauge",
          "A warning the printer reports that does not stop it printing.",
          &PrinterMetrics::warnings, "warning");
    named("tarvolin_printer_mode", "gauge",
          "A mode the printer works in (print method, print mode); never a condition.",
          &PrinterMetrics::modes, "mode");

    struct Gauge
    {
        const char *name;
        const char *help;
        std::optional<qint64> PrinterMetrics::*field;
    };
    const Gauge gauges[] = {
        { "tarvolin_printer_labels_remaining", "Labels still to print of the current batch.",
          &PrinterMetrics::labelsRemaining },
        { "tarvolin_printer_formats_in_buffer", "Formats waiting in the receive buffer.",
          &PrinterMetrics::formatsInBuffer },
        { "tarvolin_printer_label_length_dots", "The label length the printer measured, in dots.",
          &PrinterMetrics::labelLengthDots },
    };
    for (const Gauge &g : gauges) {
        QByteArray series;
        for (const PrinterMetrics &p : printers)
            if (p.*g.field)
                series += Series(g.name, p.target, *(p.*g.field));
        // A family with no series at all is left out rather than announced empty.
        if (!series.isEmpty())
            out += Family(g.name, "gauge", g.help) + series;
    }

    out += Family("tarvolin_printer_query_seconds", "gauge",
                  "How long the query to the printer took.");
    for (const PrinterMetrics &p : printers)
        out += QByteArray("tarvolin_printer_query_seconds{target=\"") + LabelValue(p.target)
            + "\"} " + QByteArray::number(p.elapsedMs / 1000.0, 'f', 3) + '\n';
    return out;
}
