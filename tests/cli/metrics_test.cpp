// The monitoring text: exact bytes with escaped label values, accepted by
// Prometheus's own checker, and a textfile that readers never see half
// written while it is replaced again and again.
#include "cli/metrics.h"
#include "cli/outputfile.h"
#include "commands/printerstatus.h"
#include "core/exceptions.h"
#include "support/childprocess.h"
#include "support/tempfile.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <sys/stat.h>
#include <thread>

#include <gtest/gtest.h>

namespace {

QJsonObject Json(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

std::vector<PrinterMetrics> SampleFleet()
{
    QJsonObject byte = StatusJson(StatusFromByte(0x25));
    byte.insert("statusByte", 0x25);
    return {
        MetricsFromReport("com:///dev/pts/3", true, byte, 41),
        MetricsFromReport("tcp://printer\"7\"\\a\nb", true,
                          Json(R"({"conditions": ["paper_out"], "checked": ["paper_out", "paused"],
                     "warnings": ["buffer_full"], "modes": ["thermal_transfer", "peel_off"],
                     "hostStatus": {"paperOut": true, "paused": false, "labelsRemaining": 12,
                     "formatsInBuffer": 0, "labelLengthDots": 1218, "printMode": 1}})"),
                          1250),
        MetricsFromReport("tcp://10.0.0.9", false, Json(R"({"busy": true})"), 5000),
    };
}

TEST(CliMetrics, TextHasEveryFamilyOnceWithEscapedLabels)
{
    const QByteArray text = PrometheusText(SampleFleet());
    const char *const t = R"(tcp://printer\"7\"\\a\nb)";
    const QByteArray expected = QByteArray()
        + "# HELP tarvolin_printer_up Whether the printer answered the last query (1) or not (0).\n"
          "# TYPE tarvolin_printer_up gauge\n"
          "tarvolin_printer_up{target=\"com:///dev/pts/3\"} 1\n"
          "tarvolin_printer_up{target=\""
        + t
        + "\"} 1\n"
          "tarvolin_printer_up{target=\"tcp://10.0.0.9\"} 0\n"
          "# HELP tarvolin_printer_busy Whether the printer took the connection but did not "
          "answer (1): it serves one client at a time, and another may hold it.\n"
          "# TYPE tarvolin_printer_busy gauge\n"
          "tarvolin_printer_busy{target=\"com:///dev/pts/3\"} 0\n"
          "tarvolin_printer_busy{target=\""
        + t
        + "\"} 0\n"
          "tarvolin_printer_busy{target=\"tcp://10.0.0.9\"} 1\n"
          "# HELP tarvolin_printer_condition Whether a condition that stops printing is set (1) "
          "or clear (0).\n"
          "# TYPE tarvolin_printer_condition gauge\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"head_open\"} 1\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"paper_jam\"} 0\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"paper_out\"} 1\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"ribbon_out\"} 0\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"paused\"} 0\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"cover_open\"} 0\n"
          "tarvolin_printer_condition{target=\"com:///dev/pts/3\",condition=\"other_error\"} 0\n"
          "tarvolin_printer_condition{target=\""
        + t
        + "\",condition=\"paper_out\"} 1\n"
          "tarvolin_printer_condition{target=\""
        + t
        + "\",condition=\"paused\"} 0\n"
          "# HELP tarvolin_printer_warning A warning the printer reports that does not stop it "
          "printing.\n"
          "# TYPE tarvolin_printer_warning gauge\n"
          "tarvolin_printer_warning{target=\""
        + t
        + "\",warning=\"buffer_full\"} 1\n"
          "# HELP tarvolin_printer_mode A mode the printer works in (print method, print mode); "
          "never a condition.\n"
          "# TYPE tarvolin_printer_mode gauge\n"
          "tarvolin_printer_mode{target=\"com:///dev/pts/3\",mode=\"printing\"} 1\n"
          "tarvolin_printer_mode{target=\""
        + t
        + "\",mode=\"thermal_transfer\"} 1\n"
          "tarvolin_printer_mode{target=\""
        + t
        + "\",mode=\"peel_off\"} 1\n"
          "# HELP tarvolin_printer_labels_remaining Labels still to print of the current batch.\n"
          "# TYPE tarvolin_printer_labels_remaining gauge\n"
          "tarvolin_printer_labels_remaining{target=\""
        + t
        + "\"} 12\n"
          "# HELP tarvolin_printer_formats_in_buffer Formats waiting in the receive buffer.\n"
          "# TYPE tarvolin_printer_formats_in_buffer gauge\n"
          "tarvolin_printer_formats_in_buffer{target=\""
        + t
        + "\"} 0\n"
          "# HELP tarvolin_printer_label_length_dots The label length the printer measured, in "
          "dots.\n"
          "# TYPE tarvolin_printer_label_length_dots gauge\n"
          "tarvolin_printer_label_length_dots{target=\""
        + t
        + "\"} 1218\n"
          "# HELP tarvolin_printer_query_seconds How long the query to the printer took.\n"
          "# TYPE tarvolin_printer_query_seconds gauge\n"
          "tarvolin_printer_query_seconds{target=\"com:///dev/pts/3\"} 0.041\n"
          "tarvolin_printer_query_seconds{target=\""
        + t
        + "\"} 1.250\n"
          "tarvolin_printer_query_seconds{target=\"tcp://10.0.0.9\"} 5.000\n";
    EXPECT_EQ(text.toStdString(), expected.toStdString());
}

TEST(CliMetrics, PrometheusCheckerAcceptsTheText)
{
    const QString promtool = QStandardPaths::findExecutable(QStringLiteral("promtool"));
    ASSERT_FALSE(promtool.isEmpty()) << "promtool (Debian's prometheus package) is not installed";
    QTemporaryDir dir;
    const std::vector<std::vector<PrinterMetrics>> fleets = { SampleFleet(), {} };
    for (const auto &fleet : fleets) {
        const QString file = WriteTempFile(dir, QStringLiteral("m.prom"), PrometheusText(fleet));
        ChildProcess check;
        // It reads the metrics from its standard input only.
        ASSERT_TRUE(
            check.Start(QStringLiteral("sh"),
                        { QStringLiteral("-c"),
                          QStringLiteral("exec \"$0\" check metrics < \"$1\""), promtool, file },
                        true));
        ASSERT_TRUE(check.WaitForExit(60000));
        EXPECT_EQ(check.ExitCode(), 0)
            << check.TakeOutput().toStdString() << check.Errors().toStdString();
    }
}

TEST(CliMetrics, ReplacedFileIsNeverSeenHalfWritten)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("printers.prom"));
    // Large enough that a plain rewrite would be caught part-way.
    auto content = [](int round) {
        const QByteArray line = "# round " + QByteArray::number(round) + '\n';
        return line + QByteArray(256 * 1024, char('a' + round % 26)) + "\n" + line;
    };
    ReplaceFileAtomically(path, content(0));

    std::atomic<bool> done { false };
    std::thread writer([&] {
        for (int round = 1; round <= 150; ++round)
            ReplaceFileAtomically(path, content(round));
        done = true;
    });
    int reads = 0;
    int torn = 0;
    while (!done) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "the file was missing for a moment";
        const QByteArray got = f.readAll();
        const int round = got.mid(8, got.indexOf('\n') - 8).toInt();
        if (got != content(round))
            ++torn;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 0);

    // Readable by a collector running as another user; no temporary left.
    struct stat st
    {
    };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0044, 0044u);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList { QStringLiteral("printers.prom") });
}

TEST(CliMetrics, AFolderThatCannotBeWrittenIsNamedAndLeavesNothing)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/printers.prom"));
    try {
        ReplaceFileAtomically(path, "x\n");
        FAIL() << "no error";
    } catch (const ETarvolinError &e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Cannot create file %1: No such file or directory").arg(path));
    }
}

} // namespace
