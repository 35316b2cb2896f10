// tarvolin-cli against the real tarvolin-printer, nothing scripted: the
// status by name and its exit status, a font downloaded over the network
// that the file list and free memory then show over serial, a test label
// printed in its copies, and stored settings.
#include "cli/cli.h"
#include "support/cliprocess.h"
#include "support/printerprocess.h"
#include "support/tempfile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CliAgainstVirtualPrinter : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        printer = std::make_unique<PrinterProcess>(
            QStringList { QStringLiteral("--pty"), QStringLiteral("--tcp"), QStringLiteral("0"),
                          QStringLiteral("--status"), QStringLiteral("head-open,paper-out"),
                          QStringLiteral("--out"), dir.filePath(QStringLiteral("out")) });
        ASSERT_TRUE(printer->IsRunning()) << printer->Error().toStdString();
        com = QStringLiteral("com://") + printer->PtyPath();
        tcp = QStringLiteral("tcp://127.0.0.1:%1").arg(printer->TcpPort());
    }

    // Read-backs over the serial line are tried again when no answer came
    // in time on a busy machine.
    CliRun Run(const QString &target, QStringList args)
    {
        return RunCliReadBack(QStringList { QStringLiteral("--to"), target } + args, target == com);
    }

    QTemporaryDir dir;
    std::unique_ptr<PrinterProcess> printer;
    QString com;
    QString tcp;
};

TEST_F(CliAgainstVirtualPrinter, StatusNamesTheConditionsAndExitsByThem)
{
    const CliRun set = Run(com, { QStringLiteral("status") });
    EXPECT_EQ(set.exitCode, ExitNotReady) << set.err.toStdString();
    EXPECT_TRUE(set.out.startsWith(com.toUtf8() + " NOT READY: Head Open, Out of Paper "))
        << set.out.toStdString();
    EXPECT_FALSE(printer->WaitForLine(QStringLiteral("status query: 05")).isEmpty());

    printer->Control(QStringLiteral("status ready"));
    ASSERT_FALSE(printer->WaitForLine(QStringLiteral("status 00 (ready)")).isEmpty());
    const CliRun ready = Run(com, { QStringLiteral("--json"), QStringLiteral("status") });
    EXPECT_EQ(ready.exitCode, ExitOk) << ready.out.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(ready.out.split('\n').value(0)).object();
    EXPECT_EQ(o.value(QStringLiteral("result")).toString(), QStringLiteral("ok"));
    EXPECT_EQ(o.value(QStringLiteral("statusByte")).toInt(-1), 0);
    EXPECT_EQ(o.value(QStringLiteral("status")).toVariant().toStringList(),
              QStringList { QStringLiteral("Ready") });
}

TEST_F(CliAgainstVirtualPrinter, DownloadedFontShowsInTheFileListAndFreeMemory)
{
    const QString font = WriteTempFile(dir, QStringLiteral("demo.ttf"), QByteArray(5000, '\x42'));
    const CliRun download = Run(tcp, { QStringLiteral("download"), font });
    EXPECT_EQ(download.exitCode, ExitOk) << download.out.toStdString();
    EXPECT_TRUE(download.out.endsWith(": E:DEMO.FNT stored\n")) << download.out.toStdString();
    EXPECT_FALSE(printer->WaitForLine(QStringLiteral("E:DEMO.FNT stored: 5000 bytes")).isEmpty());

    const CliRun files = Run(com, { QStringLiteral("files") });
    EXPECT_EQ(files.exitCode, ExitOk);
    EXPECT_TRUE(files.out.endsWith("\n  DRAM FILES: \n  FLASH FILES: \n  DEMO.FNT\n"))
        << files.out.toStdString();

    const CliRun free = Run(com, { QStringLiteral("--json"), QStringLiteral("free-memory") });
    EXPECT_EQ(free.exitCode, ExitOk);
    const QJsonObject o = QJsonDocument::fromJson(free.out.split('\n').value(0)).object();
    EXPECT_EQ(o.value(QStringLiteral("dramFreeKB")), QJsonValue(8192));
    EXPECT_EQ(o.value(QStringLiteral("flashFreeKB")), QJsonValue(65531));

    const CliRun format = Run(tcp, { QStringLiteral("format"), QStringLiteral("flash") });
    EXPECT_EQ(format.exitCode, ExitOk);
    EXPECT_FALSE(
        printer->WaitForLine(QStringLiteral("1 file deleted from FLASH (DEMO.FNT)")).isEmpty());
}

TEST_F(CliAgainstVirtualPrinter, TestLabelInItsCopiesAndStoredSettings)
{
    // Head open and out of paper, it would keep the labels.
    printer->Control(QStringLiteral("status ready"));
    ASSERT_FALSE(printer->WaitForLine(QStringLiteral("status 00 (ready)")).isEmpty());
    const QString profile = WriteTempFile(dir, QStringLiteral("p.ini"),
                                          "speed = 5\nwidth = 50\nheight = 30\ndensity = 20\n");
    const CliRun label = Run(tcp,
                             { QStringLiteral("test-label"), profile, QStringLiteral("--copies"),
                               QStringLiteral("2"), QStringLiteral("--frame") });
    EXPECT_EQ(label.exitCode, ExitOk) << label.out.toStdString();
    // 50 mm by 30 mm at 8 dots a millimetre.
    for (int i = 1; i <= 2; ++i)
        EXPECT_TRUE(printer->WaitForLine(QStringLiteral("label %1: ").arg(i), 30000)
                        .startsWith(QStringLiteral("label %1: 400x240 dots").arg(i)));
    EXPECT_TRUE(printer->WaitForLine(QStringLiteral("label 3:"), 300).isEmpty());

    const CliRun store = Run(tcp, { QStringLiteral("store-settings"), profile });
    EXPECT_EQ(store.exitCode, ExitOk);
    EXPECT_FALSE(printer->WaitForLine(QStringLiteral("settings stored")).isEmpty());
    printer->Control(QStringLiteral("show"));
    const QString settings = printer->WaitForLine(QStringLiteral("settings: "));
    EXPECT_TRUE(settings.startsWith(QStringLiteral("settings: speed 5, darkness 20, width 400")))
        << settings.toStdString();
    EXPECT_EQ(printer->WaitForLine(QStringLiteral("stored settings: ")),
              QStringLiteral("stored settings: the same"));
}

// A font the printer has no room for: the download fails with the reason
// the printer gives, over the network and over serial alike.
TEST(CliDownload, AFontThePrinterDidNotStoreFailsWithItsReason)
{
    QTemporaryDir dir;
    PrinterProcess printer({ QStringLiteral("--pty"), QStringLiteral("--tcp"), QStringLiteral("0"),
                             QStringLiteral("--flash"), QStringLiteral("4") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString font = WriteTempFile(dir, QStringLiteral("big.ttf"), QByteArray(6000, 'x'));
    for (const QString &target : { QStringLiteral("tcp://127.0.0.1:%1").arg(printer.TcpPort()),
                                   QStringLiteral("com://") + printer.PtyPath() }) {
        SCOPED_TRACE(target.toStdString());
        const CliRun run = RunCliReadBack(
            { QStringLiteral("--to"), target, QStringLiteral("download"), font }, false);
        EXPECT_EQ(run.exitCode, ExitFailed) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains(" FAILED: E:BIG.FNT was not stored: the printer reports "
                                     "Other Error; FLASH has 4 KB free, the download needs 6 KB"))
            << run.out.toStdString();
    }
}

} // namespace
