// What the program prints: sizes and times, the line and the JSON object of
// each target, the summary, the hex dump and the progress bar.
#include "cli/render.h"
#include "cli/report.h"
#include "cli/terminalprogress.h"
#include "support/qtprint.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

TEST(CliReport, SizesAndTimes)
{
    const std::pair<qint64, const char *> sizes[] = {
        { 0, "0 B" },
        { 1023, "1023 B" },
        { 1024, "1.0 KB" },
        { 1229, "1.2 KB" },
        { 4 * 1024 * 1024 + 1, "4.0 MB" },
        { qint64(3) << 30, "3.0 GB" },
    };
    for (const auto &[bytes, text] : sizes)
        EXPECT_EQ(FormatSize(bytes), QString::fromLatin1(text)) << bytes;
    EXPECT_EQ(FormatDuration(35), QStringLiteral("35 ms"));
    EXPECT_EQ(FormatDuration(1449), QStringLiteral("1.4 s"));
}

TEST(CliReport, OneLinePerTarget)
{
    TargetReport r;
    r.uri = QStringLiteral("tcp://10.0.0.7");
    r.verdict = Verdict::Ok;
    r.bytes = 1229;
    r.elapsedMs = 35;
    EXPECT_EQ(ReportText(r), QStringLiteral("tcp://10.0.0.7 ok 1.2 KB 35 ms\n"));
    r.detail = QStringLiteral("Ready");
    r.moreLines = QStringList { QStringLiteral("DRAM FILES: "), QStringLiteral("A.FNT") };
    EXPECT_EQ(ReportText(r),
              QStringLiteral("tcp://10.0.0.7 ok 1.2 KB 35 ms: Ready\n  DRAM FILES: \n  A.FNT\n"));
    r.moreLines.clear();
    r.verdict = Verdict::NotReady;
    r.detail = QStringLiteral("Head Open, Pause");
    EXPECT_EQ(ReportText(r), QStringLiteral("tcp://10.0.0.7 NOT READY: Head Open, Pause 35 ms\n"));
    r.verdict = Verdict::Failed;
    r.error = QStringLiteral("Connect error");
    EXPECT_EQ(ReportText(r), QStringLiteral("tcp://10.0.0.7 FAILED: Connect error\n"));

    r.extra.insert(QStringLiteral("status"), QStringLiteral("x"));
    const QByteArray json = ReportJson(r);
    ASSERT_TRUE(json.endsWith('\n'));
    QJsonParseError error;
    const QJsonObject o = QJsonDocument::fromJson(json, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.toStdString();
    EXPECT_EQ(o.value(QStringLiteral("target")).toString(), r.uri);
    EXPECT_EQ(o.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
    EXPECT_EQ(o.value(QStringLiteral("error")).toString(), QStringLiteral("Connect error"));
    EXPECT_EQ(o.value(QStringLiteral("status")).toString(), QStringLiteral("x"));
}

TEST(CliReport, SummaryNamesTheTargetsThatWereNotOkInTargetOrder)
{
    Tally t;
    t.elapsedMs = 1400;
    // Results arrive in the order the targets finish.
    t.Add(Verdict::Ok, QStringLiteral("tcp://a"), 0);
    t.Add(Verdict::Failed, QStringLiteral("tcp://d"), 3);
    t.Add(Verdict::Ok, QStringLiteral("tcp://b"), 1);
    EXPECT_EQ(SummaryText(t), QStringLiteral("3 targets in 1.4 s: 2 ok, 1 failed: tcp://d\n"));
    t.Add(Verdict::Failed, QStringLiteral("tcp://c"), 2);
    t.Add(Verdict::NotReady, QStringLiteral("com:///dev/ttyS0"), 4);
    EXPECT_EQ(SummaryText(t),
              QStringLiteral("5 targets in 1.4 s: 2 ok, 1 not ready: com:///dev/ttyS0, 2 failed: "
                             "tcp://c, tcp://d\n"));
    const QJsonObject s = QJsonDocument::fromJson(SummaryJson(t))
                              .object()
                              .value(QStringLiteral("summary"))
                              .toObject();
    EXPECT_EQ(s.value(QStringLiteral("targets")).toInt(), 5);
    EXPECT_EQ(s.value(QStringLiteral("notReady")).toInt(), 1);
    EXPECT_EQ(s.value(QStringLiteral("failedTargets")).toArray(),
              QJsonArray({ QStringLiteral("tcp://c"), QStringLiteral("tcp://d") }));
    EXPECT_EQ(s.value(QStringLiteral("notReadyTargets")).toArray(),
              QJsonArray({ QStringLiteral("com:///dev/ttyS0") }));

    Tally clean;
    clean.Add(Verdict::Ok, QStringLiteral("tcp://a"), 0);
    EXPECT_EQ(SummaryText(clean), QStringLiteral("1 target in 0 ms: 1 ok, 0 failed\n"));
    EXPECT_TRUE(QJsonDocument::fromJson(SummaryJson(clean))
                    .object()
                    .value(QStringLiteral("summary"))
                    .toObject()
                    .value(QStringLiteral("failedTargets"))
                    .toArray()
                    .isEmpty());
}

TEST(CliReport, HexDump)
{
    EXPECT_EQ(HexDump(QByteArray("\x1f\x1b\x1f\x91\x00IP\xc0\xa8{\xc8^XA~WC\r\n^XZ", 22)),
              QStringLiteral(
                  "00000000  1f 1b 1f 91 00 49 50 c0 a8 7b c8 5e 58 41 7e 57  .....IP..{.^XA~W\n"
                  "00000010  43 0d 0a 5e 58 5a                                C..^XZ\n"));
    EXPECT_EQ(HexDump(QByteArray()), QString());
}

TEST(CliProgress, BarFitsTheWidthAndSaysWhatIsKnown)
{
    const QString half
        = TerminalProgress::BarText(2 * 1024 * 1024, 4 * 1024 * 1024, 1024.0 * 1024, 80);
    EXPECT_LE(half.size(), 80);
    EXPECT_TRUE(half.startsWith(QStringLiteral("[#"))) << half.toStdString();
    EXPECT_TRUE(half.endsWith(QStringLiteral(" 50%  2.0 MB of 4.0 MB  1.0 MB/s  0:02 left")))
        << half.toStdString();
    EXPECT_EQ(half.count(QLatin1Char('#')), (half.indexOf(QLatin1Char(']')) - 1) / 2);
    // Unknown total: the count alone; no room for a bar: the figures alone.
    EXPECT_EQ(TerminalProgress::BarText(1536, -1, 0, 80), QStringLiteral("1.5 KB"));
    EXPECT_EQ(TerminalProgress::BarText(1024, 1024, 0, 20),
              QStringLiteral("100%  1.0 KB of 1.0 ").left(20));
}

TEST(CliRender, OneFilePerLabel)
{
    EXPECT_EQ(LabelFileName(QStringLiteral("/tmp/out.png"), 1), QStringLiteral("/tmp/out.png"));
    EXPECT_EQ(LabelFileName(QStringLiteral("/tmp/out.png"), 12), QStringLiteral("/tmp/out-12.png"));
    EXPECT_EQ(LabelFileName(QStringLiteral("a.d/out"), 1), QStringLiteral("a.d/out.png"));
    EXPECT_EQ(LabelFileName(QStringLiteral("a.d/out"), 2), QStringLiteral("a.d/out-2.png"));
    EXPECT_EQ(LabelFileName(QStringLiteral("out.v2"), 3), QStringLiteral("out.v2-3.png"));
    EXPECT_EQ(LabelFileName(QStringLiteral("OUT.PNG"), 2), QStringLiteral("OUT-2.PNG"));
}

} // namespace
