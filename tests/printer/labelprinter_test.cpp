// The virtual printer's print mechanism: every label of a quantity as a
// picture, serial numbers counted on; the labels the printer makes up
// itself; dump pages; and a queue that can be cancelled.
#include "commands/functioncommands.h"
#include "commands/testlabel.h"
#include "files/downloadcommand.h"
#include "files/memorycommands.h"
#include "preview/labelrenderer.h"
#include "printer/labelprinter.h"
#include "support/qtprint.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMutex>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class Log : public PrinterLog
{
public:
    void Info(const QString &line) override
    {
        QMutexLocker lock(&mutex);
        lines << line;
    }
    void Error(const QString &line) override { Info(QStringLiteral("error: ") + line); }
    QStringList Lines()
    {
        QMutexLocker lock(&mutex);
        return lines;
    }

private:
    QMutex mutex;
    QStringList lines;
};

class Printing : public ::testing::Test
{
protected:
    void Send(const QByteArray &bytes)
    {
        session->Feed(bytes);
        session->EndOfInput();
    }
    QImage Picture(int n) const
    {
        return QImage(dir.filePath(QStringLiteral("label-%1.png").arg(n, 4, 10, QLatin1Char('0'))));
    }
    static int BlackDots(const QImage &image)
    {
        const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
        int n = 0;
        for (int y = 0; y < gray.height(); ++y) {
            const uchar *row = gray.constScanLine(y);
            n += int(std::count_if(row, row + gray.width(), [](uchar v) { return v < 128; }));
        }
        return n;
    }
    // The same picture, dot for dot, whatever format it was saved in.
    static bool SameDots(const QImage &a, const QImage &b)
    {
        return a.size() == b.size()
            && a.convertToFormat(QImage::Format_Grayscale8)
            == b.convertToFormat(QImage::Format_Grayscale8);
    }

    QTemporaryDir dir;
    Log log;
    LabelPrinter output { log, dir.path() };
    VirtualPrinter printer { PrinterConfig {}, log, output };
    std::unique_ptr<PrinterSession> session = printer.OpenSession([](const QByteArray &) {});
};

} // namespace

TEST_F(Printing, EveryLabelOfTheQuantityWithItsSerialNumber)
{
    SetupPanelValues values = StartSetupValues();
    values.quantity = QStringLiteral("3");
    const QByteArray command = TestLabelCommand(values);
    Send(command);
    ASSERT_TRUE(output.WaitIdle(30000));
    EXPECT_EQ(output.LabelsPrinted(), 3);

    // The renderer's own reading of the same command, quantity and serial
    // numbers included, is what the printer must have printed.
    RenderOptions options;
    options.maxLabels = 3;
    const RenderResult expected = RenderLabels(command, options);
    ASSERT_EQ(expected.labels.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QImage picture = Picture(i + 1);
        ASSERT_FALSE(picture.isNull()) << i + 1;
        EXPECT_EQ(picture.size(), QSize(608, 1600));
        EXPECT_TRUE(SameDots(picture, expected.labels[i])) << "label " << i + 1;
    }
    EXPECT_FALSE(SameDots(Picture(1), Picture(2))); // 0001 and 0002 differ
    EXPECT_TRUE(log.Lines().contains(
        QStringLiteral("label 3: 608x1600 dots -> %1").arg(dir.filePath("label-0003.png"))))
        << log.Lines().join("\n").toStdString();
}

TEST_F(Printing, LabelsThePrinterMakesUpAndDumpPages)
{
    Send(FontDownloadCommand("E:", QStringLiteral("DEMO"), QByteArray(10, 'x')));
    Send(DirectoryLabelCommand(1));
    Send(PrintTestPageCommand());
    Send(DumpModeCommand());
    Send("^XA^FDhello^FS^XZ");
    ASSERT_TRUE(output.WaitIdle(30000));
    EXPECT_EQ(output.LabelsPrinted(), 2);
    for (int n : { 1, 2 }) {
        const QImage picture = Picture(n);
        ASSERT_FALSE(picture.isNull()) << n;
        EXPECT_GT(BlackDots(picture), 500) << n; // its lines of text
    }
    QFile dump1(dir.filePath("dump-0001.txt"));
    QFile dump2(dir.filePath("dump-0002.txt"));
    ASSERT_TRUE(dump1.open(QIODevice::ReadOnly));
    ASSERT_TRUE(dump2.open(QIODevice::ReadOnly));
    EXPECT_EQ(dump1.readAll(),
              "00000000  0D 0A 5E 58 5A 0D 0A                             ..^XZ..\n");
    EXPECT_EQ(dump2.readAll(),
              "00000000  5E 58 41 5E 46 44 68 65 6C 6C 6F 5E 46 53 5E 58  ^XA^FDhello^FS^X\n"
              "00000010  5A                                               Z\n");
}

TEST_F(Printing, CancelDropsWhatIsNotPrintedYet)
{
    Send("^XA^FO10,10^FDlots^FS^PQ99999999^XZ");
    EXPECT_TRUE(output.Printing());
    EXPECT_EQ(printer.StatusByte() & status::Printing, status::Printing);
    Send("~JA");
    ASSERT_TRUE(output.WaitIdle(5000)) << log.Lines().join("\n").toStdString();
    EXPECT_LT(output.LabelsPrinted(), 1000);
    EXPECT_FALSE(output.Printing());
    EXPECT_EQ(printer.StatusByte(), 0);
}
