// "Tools" > "Start Virtual Printer…": the companion printer started from the
// window, offered as COM and ETHERNET, its log and last label shown, and
// stopped with the window.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "app/virtualprinterwindow.h"
#include "network/ui/ipedit.h"
#include "serial/cport.h"
#include "serial/serialtest.h"
#include "support/printerprocess.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

TEST(VirtualPrinterWindow, StartedFromTheMenuOfferedAndStoppedWithTheWindow)
{
    QTemporaryDir dir;
    ModalWatcher watcher;
    auto form = std::make_unique<TForm1>();
    form->show();
    form->FinishStart();
    const QList<QAction *> menus = form->menuBar()->actions();
    ASSERT_EQ(menus.last()->text(), "Tools");
    QAction *start = Find<QAction>(form.get(), "StartVirtualPrinter");
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->text(), "Start Virtual Printer…");

    VirtualPrinterWindow *window = form->VirtualPrinter;
    EXPECT_EQ(window->DefaultProgram(),
              QCoreApplication::applicationDirPath() + "/tarvolin-printer");
    window->SetProgram(PrinterProcess::Program());
    window->SetStateDir(dir.filePath("state"));
    // The pictures stay in the data folder, shown in the window.
    EXPECT_EQ(VirtualPrinterWindow::DefaultLabelsDir(),
              QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
                  + "/virtual-printer-labels");
    const QString labels = dir.filePath("labels");
    window->SetLabelsDir(labels);
    EXPECT_EQ(window->LabelsFolderLabel->text(), "Label pictures: " + labels);
    EXPECT_EQ(window->OpenFolderButton->text(), "Open Folder");
    QList<QUrl> opened;
    window->SetFolderOpener([&](const QUrl &folder) { opened << folder; });
    EXPECT_FALSE(window->isVisible());
    start->trigger();
    EXPECT_TRUE(window->isVisible());
    ASSERT_TRUE(WaitWithEvents([&] { return window->UseComButton->isEnabled(); }, 15000))
        << window->LogView->toPlainText().toStdString();
    EXPECT_TRUE(window->StatusLabel->text().contains(window->PtyPath()));

    // Offered as COM: the interface tab and the serial port take its device.
    window->UseComButton->click();
    EXPECT_TRUE(form->TabSheet5->RadioButton1->isChecked());
    EXPECT_EQ(form->TabSheet5->DK->currentText(), window->PtyPath());
    EXPECT_EQ(form->CP->Port(), window->PtyPath());

    // A label over COM shows in the window.
    Find<QLineEdit>(form.get(), "Edit1")->setText("2");
    Find<QPushButton>(form.get(), "Button24")->click();
    EXPECT_TRUE(WaitWithEvents(
        [&] { return window->LabelCaption->text() == "Label 2: 608 x 1600 dots"; }, 15000))
        << window->LogView->toPlainText().toStdString();

    // Offered as ETHERNET when the raw printing port was free.
    if (window->TcpPort() == 9100) {
        ASSERT_TRUE(window->UseEthernetButton->isEnabled());
        window->UseEthernetButton->click();
        EXPECT_TRUE(form->TabSheet5->RadioButton3->isChecked());
        EXPECT_EQ(form->TabSheet5->IPEdit1->IPString(), "127.0.0.1");
        Find<TIPEdit>(form.get(), "IPEdit2")->SetIPString("10.1.2.3");
        Find<QPushButton>(form.get(), "Button17")->click();
        EXPECT_TRUE(WaitWithEvents(
            [&] {
                return window->LogView->toPlainText().contains(
                    "new IP address: 192.168.123.100 -> 10.1.2.3");
            },
            15000))
            << window->LogView->toPlainText().toStdString();
    } else {
        EXPECT_FALSE(window->UseEthernetButton->isEnabled());
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
    if (qEnvironmentVariableIsSet("TARVOLIN_SHOTS"))
        window->grab().save(
            QDir(qEnvironmentVariable("TARVOLIN_SHOTS")).filePath("virtual-printer-window.png"));
    window->OpenFolderButton->click();
    EXPECT_EQ(opened, QList<QUrl> { QUrl::fromLocalFile(labels) });

    // The printer the window started ends with it; its pictures stay.
    const pid_t pid = pid_t(window->ProcessId());
    ASSERT_GT(pid, 0);
    form.reset();
    EXPECT_NE(kill(pid, 0), 0);
    EXPECT_EQ(QDir(labels).entryList({ "label-*.png" }, QDir::Files),
              (QStringList { "label-0001.png", "label-0002.png" }));
}

TEST(VirtualPrinterWindow, MissingCompanionIsSaidPlainly)
{
    TForm1 form;
    form.FinishStart();
    form.VirtualPrinter->SetProgram("/nonexistent/tarvolin-printer");
    form.StartVirtualPrinter->trigger();
    EXPECT_TRUE(form.VirtualPrinter->StatusLabel->text().contains(
        "The virtual printer (/nonexistent/tarvolin-printer) is not there."));
    EXPECT_FALSE(form.VirtualPrinter->UseComButton->isEnabled());
    EXPECT_FALSE(form.VirtualPrinter->IsRunning());
}
