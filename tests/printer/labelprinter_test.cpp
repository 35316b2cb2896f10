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

// A printer started again on the same folder keeps the pictures there and
// numbers on after the highest, whatever else the folder holds.
TEST(LabelPictures, APrinterStartedAgainNumbersOnAfterThePicturesThere)
{
    QTemporaryDir dir;
    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write(QStringLiteral("label-0001.png"), "first run");
    write(QStringLiteral("label-0007.png"), "first run");
    write(QStringLiteral("label-x.png"), "not a number");
    write(QStringLiteral("label-0099.jpg"), "not a picture of ours");
    write(QStringLiteral("dump-0002.txt"), "first run");
    Log log;
    {
        LabelPrinter output(log, dir.path());
        VirtualPrinter printer(PrinterConfig {}, log, output);
        auto session = printer.OpenSession([](const QByteArray &) {});
        SetupPanelValues values = StartSetupValues();
        values.quantity = QStringLiteral("2");
        session->Feed(TestLabelCommand(values));
        session->EndOfInput();
        ASSERT_TRUE(output.WaitIdle(30000));
        EXPECT_EQ(output.LabelsPrinted(), 2);
        output.Dump("^XA^XZ");
        ASSERT_TRUE(output.WaitIdle(30000));
    }
    QDir folder(dir.path());
    EXPECT_EQ(folder.entryList({ "label-*.png" }, QDir::Files),
              (QStringList { "label-0001.png", "label-0007.png", "label-0008.png", "label-0009.png",
                             "label-x.png" }));
    EXPECT_EQ(folder.entryList({ "dump-*.txt" }, QDir::Files),
              (QStringList { "dump-0002.txt", "dump-0003.txt" }));
    QFile kept(dir.filePath("label-0007.png"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "first run");
    EXPECT_FALSE(QImage(dir.filePath("label-0009.png")).isNull());
    EXPECT_TRUE(log.Lines().contains(
        QStringLiteral("label 1: 608x1600 dots -> %1").arg(dir.filePath("label-0008.png"))))
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

TEST_F(Printing, GraphicsFromMemoryAndReplicatedSerialNumbers)
{
    // Four rows of sixteen black dots, drawn twice as wide and high.
    Send("~DGR:BOX.GRF,8,2,FFFFFFFFFFFFFFFF\r\n");
    const QByteArray boxLabel = "^XA^MNN^PW200^LL100^FO10,20^XGR:BOX.GRF,2,2^FS^XZ";
    Send(boxLabel);
    // Gone from memory, gone from the label.
    Send("^XA^IDR:BOX.GRF^FS^XZ");
    Send(boxLabel);
    // Two of each serial number.
    Send("^XA^PW200^LL100^FO10,10^A0N,40,40^SN7,1,Y^FS^PQ4,0,2^XZ");
    ASSERT_TRUE(output.WaitIdle(30000));
    ASSERT_EQ(output.LabelsPrinted(), 6) << log.Lines().join("\n").toStdString();

    const QImage box = Picture(1).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(box.size(), QSize(200, 100));
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const bool inside = x >= 10 && x < 42 && y >= 20 && y < 28;
            ASSERT_EQ(box.pixelColor(x, y).value() < 128, inside) << x << "," << y;
        }
    }
    EXPECT_EQ(BlackDots(Picture(2)), 0);

    EXPECT_TRUE(SameDots(Picture(3), Picture(4)));
    EXPECT_TRUE(SameDots(Picture(5), Picture(6)));
    EXPECT_FALSE(SameDots(Picture(4), Picture(5))); // 7, then 8
    EXPECT_GT(BlackDots(Picture(3)), 100);
}

TEST_F(Printing, PicturesThatCannotBeWrittenAreEachLogged)
{
    QTemporaryDir other;
    const QString notAFolder = other.filePath("file");
    QFile file(notAFolder);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    LabelPrinter blocked(log, notAFolder);
    VirtualPrinter p(PrinterConfig {}, log, blocked);
    const auto s = p.OpenSession([](const QByteArray &) {});
    s->Feed("^XA^FO10,10^FDx^FS^PQ2^XZ");
    s->EndOfInput();
    ASSERT_TRUE(blocked.WaitIdle(30000));
    EXPECT_EQ(blocked.LabelsPrinted(), 2);
    const QStringList errors = log.Lines().filter("error: label");
    EXPECT_EQ(
        errors,
        QStringList(
            { QStringLiteral("error: label 1: cannot write %1/label-0001.png").arg(notAFolder),
              QStringLiteral("error: label 2: cannot write %1/label-0002.png").arg(notAFolder) }));
}
