// The real window against the real tarvolin-printer, nothing scripted:
// download, file list, free memory and format over COM; the status lamps;
// labels with quantity and serial numbers; settings that outlive a restart;
// a new address over ETHERNET.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "commands/testlabel.h"
#include "commands/ui/printerconfigtab.h"
#include "files/ui/filestest.h"
#include "link/printerlink.h"
#include "network/ui/ethernetsetuptab.h"
#include "network/ui/ipedit.h"
#include "preview/labelrenderer.h"
#include "serial/cport.h"
#include "support/printerprocess.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/statuslamps.h"
#include "support/ui/windowtest.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The window on the File Manager tab, with a virtual printer on COM.
class PrinterWindow : public FileManagerWindow
{
protected:
    void SetUp() override
    {
        FileManagerWindow::SetUp();
        if (HasFatalFailure())
            return;
        Start({ "--status", "head-open,paper-out" });
    }

    void Start(QStringList extra)
    {
        printer.reset();
        printer = std::make_unique<PrinterProcess>(QStringList { "--pty", "--tcp", "0", "--state",
                                                                 dir.filePath("state"), "--out",
                                                                 dir.filePath("out") }
                                                   + extra);
        ASSERT_TRUE(printer->IsRunning()) << printer->Error().toStdString();
        UseCom(printer->PtyPath());
    }

    // Head open and out of paper it would keep the labels.
    void MayPrint()
    {
        printer->Control("status ready");
        ASSERT_FALSE(printer->WaitForLine("status 00 (ready)").isEmpty());
    }

    template<class T> T *Control(const QString &name) { return Find<T>(form.get(), name); }

    // The file list as the text box shows it, one entry a line.
    QString FileList()
    {
        Control<QPushButton>("BitBtn1")->click();
        return files->FilelistMemo->toPlainText();
    }
    QString FreeFlash()
    {
        Control<QPushButton>("Button16")->click();
        return files->Edit19->text();
    }

    std::unique_ptr<PrinterProcess> printer;
};

} // namespace

// A font the printer has no room for fails with the printer's own reason.
TEST_F(PrinterWindow, AFontThePrinterDidNotStoreIsAFailureWithItsReason)
{
    Start({ "--flash", "4" });
    ModalWatcher watcher;
    Select(watcher, Write("demo.ttf", QByteArray(5000, '\x42')));
    QTest::mouseClick(Control<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_FALSE(printer->WaitForLine("E:DEMO.FNT (5000 bytes): memory full").isEmpty());
    QStringList boxes;
    for (const SeenDialog &seen : watcher.Seen())
        if (seen.className == "QMessageBox")
            boxes << seen.text;
    EXPECT_EQ(boxes,
              QStringList { "E:DEMO.FNT was not stored: the printer reports Other Error; "
                            "FLASH has 4 KB free, the download needs 5 KB." });
}

TEST_F(PrinterWindow, FontDownloadFileListFreeMemoryAndFormat)
{
    ModalWatcher watcher;
    const QString before = FreeFlash();
    EXPECT_EQ(before, "65536");
    EXPECT_EQ(FileList(), "DRAM FILES: \n\nFLASH FILES: \n\n");

    Select(watcher, Write("demo.ttf", QByteArray(5000, '\x42')));
    ASSERT_EQ(files->ComboBox18->currentText(), "E:");
    QTest::mouseClick(Control<QPushButton>("Button12"), Qt::LeftButton);
    EXPECT_FALSE(printer->WaitForLine("E:DEMO.FNT stored: 5000 bytes").isEmpty());

    EXPECT_EQ(FileList(), "DRAM FILES: \n\nFLASH FILES: \nDEMO.FNT\n");
    EXPECT_EQ(FreeFlash().toInt(), before.toInt() - 5); // 5000 bytes take five kilobytes

    ASSERT_TRUE(files->RadioGroup3Items[1]->isChecked()); // "FLASH"
    Control<QPushButton>("Button14")->click();
    EXPECT_FALSE(printer->WaitForLine("1 file deleted from FLASH (DEMO.FNT)").isEmpty());
    EXPECT_EQ(FileList(), "DRAM FILES: \n\nFLASH FILES: \n\n");
    EXPECT_EQ(FreeFlash(), before);
    ASSERT_EQ(watcher.Seen().size(), 1u); // the file dialog, and no message
    EXPECT_EQ(watcher.Seen()[0].className, "QFileDialog");
}

TEST_F(PrinterWindow, GetStatusLightsExactlyTheConditionsSet)
{
    ModalWatcher watcher;
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    QPushButton *getStatus = Control<QPushButton>("Button7");
    getStatus->click(); // hidden group; the query still works
    EXPECT_EQ(LitStatusLamps(form->TabSheet1),
              QStringList({ "Head Open red", "Out of Paper red" }));

    printer->Control("status -head-open");
    printer->Control("status +ribbon-out");
    ASSERT_FALSE(printer->WaitForLine("status 0c (paper-out, ribbon-out)").isEmpty());
    getStatus->click();
    EXPECT_EQ(LitStatusLamps(form->TabSheet1),
              QStringList({ "Out of Paper red", "Out of Ribbon red" }));

    printer->Control("status ready");
    ASSERT_FALSE(printer->WaitForLine("status 00 (ready)").isEmpty());
    getStatus->click();
    EXPECT_EQ(LitStatusLamps(form->TabSheet1), QStringList({ "Ready green" }));
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterWindow, PintLabelPrintsItsQuantity)
{
    MayPrint();
    ModalWatcher watcher;
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    QLineEdit *pieces = Control<QLineEdit>("Edit1");
    pieces->setText("3");
    QTest::mouseClick(Control<QPushButton>("Button24"), Qt::LeftButton);
    EXPECT_FALSE(printer->WaitForLine("format (").isEmpty());
    // The renderer's own reading of what the window sent, serial numbers
    // 0001 to 0003 included, is what the printer must have printed.
    RenderOptions options;
    options.maxLabels = 10;
    const RenderResult expected
        = RenderLabels(TestLabelCommand(form->TabSheet1->SetupValues()), options);
    ASSERT_EQ(expected.labels.size(), 3);
    for (int i = 1; i <= 3; ++i) {
        const QString path
            = dir.filePath(QStringLiteral("out/label-%1.png").arg(i, 4, 10, QLatin1Char('0')));
        EXPECT_EQ(printer->WaitForLine(QStringLiteral("label %1: ").arg(i), 30000),
                  QStringLiteral("label %1: 608x1600 dots -> %2").arg(i).arg(path));
        const QImage picture(path);
        EXPECT_EQ(picture.convertToFormat(QImage::Format_Grayscale8),
                  expected.labels[i - 1].convertToFormat(QImage::Format_Grayscale8))
            << i;
    }
    EXPECT_TRUE(printer->WaitForLine("label 4:", 300).isEmpty());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterWindow, StoredSettingsOutliveARestart)
{
    MayPrint();
    ModalWatcher watcher;
    form->PageControl1->setCurrentWidget(form->TabSheet1);
    Control<QComboBox>("speedcb")->setCurrentIndex(Control<QComboBox>("speedcb")->findText("5"));
    Control<QLineEdit>("paperwidthe")->setText("50");
    QTest::mouseClick(Control<QPushButton>("Button10"), Qt::LeftButton);
    EXPECT_FALSE(printer->WaitForLine("settings stored").isEmpty());
    // Applied but not stored: gone after the restart.
    Control<QLineEdit>("paperwidthe")->setText("60");
    QTest::mouseClick(Control<QPushButton>("Button24"), Qt::LeftButton);
    EXPECT_TRUE(printer->WaitForLine("label 1: ", 30000).startsWith("label 1: 480x1600 dots"));

    EXPECT_EQ(printer->Stop(), 0);
    Start({});
    printer->Control("show");
    const QString settings = printer->WaitForLine("settings: ");
    EXPECT_TRUE(settings.startsWith("settings: speed 5, darkness 15, width 400, length 1600"))
        << settings.toStdString();
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterWindow, NewIpAddressOverEthernet)
{
    ModalWatcher watcher;
    QTest::mouseClick(form->TabSheet5->RadioButton3, Qt::LeftButton);
    ASSERT_TRUE(form->TabSheet5->RadioButton3->isChecked());
    Find<TIPEdit>(form.get(), "IPEdit1")->SetIPString("127.0.0.1");
    form->Link().SetNetworkPort(printer->TcpPort());

    form->PageControl1->setCurrentWidget(form->TabSheet3);
    Find<TIPEdit>(form.get(), "IPEdit2")->SetIPString("10.20.30.40");
    QTest::mouseClick(Control<QPushButton>("Button17"), Qt::LeftButton);
    EXPECT_FALSE(printer->WaitForLine("new IP address: 192.168.123.100 -> 10.20.30.40").isEmpty());
    QTest::mouseClick(Control<QPushButton>("Button18"), Qt::LeftButton);
    const QString id = printer->WaitForLine("new Ethernet ID: 00:4B:56:00:00:01 -> 00:4B:56:");
    ASSERT_FALSE(id.isEmpty());
    // The boxes show what the printer got (three decimal digits each).
    const QStringList bytes = id.section(QLatin1String("-> "), 1).split(QLatin1Char(':'));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(bytes.value(3 + i).toInt(nullptr, 16) % 256,
                  Control<QLineEdit>(QStringLiteral("Edit%1").arg(5 + i))->text().toInt() % 256);

    // The identity is kept across a restart.
    EXPECT_EQ(printer->Stop(), 0);
    Start({});
    printer->Control("show");
    EXPECT_TRUE(printer->WaitForLine("identity: ").startsWith("identity: IP address 10.20.30.40"));
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}
