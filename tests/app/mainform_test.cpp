#include "app/aboutform.h"
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "commands/ui/printerconfigtab.h"
#include "core/exceptions.h"
#include "files/ui/filemanagertab.h"
#include "network/ui/ethernetsetuptab.h"
#include "support/cupsserver.h"
#include "support/tcpsink.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "tool/ui/commandtooltab.h"
#include "ui/errorbox.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

TEST(MainWindow, CaptionTabsAndStartTab)
{
    TForm1 form;
    EXPECT_EQ(form.windowTitle(), "Tarvolin");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    auto *tabs = Find<QTabWidget>(&form, "PageControl1");
    ASSERT_EQ(tabs->count(), 5);
    const QStringList captions { "Printer Configuration", "File Manager", "Ethernet Setup",
                                 "Command Tool", "Interface Select" };
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(tabs->tabText(i), captions[i]);
        EXPECT_EQ(tabs->widget(i)->objectName(), QStringLiteral("TabSheet%1").arg(i + 1));
    }
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TabSheet5");
    EXPECT_EQ(tabs->geometry(), QRect(3, 56, 672, 513));
    EXPECT_EQ(Find<QPushButton>(&form, "Button23")->text(), "Exit");
    EXPECT_EQ(Find<QPushButton>(&form, "Button23")->geometry(), QRect(592, 24, 81, 25));
}

TEST(MainWindow, FixedSizeAndHiddenInterfaceGroup)
{
    TForm1 form;
    form.show();
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    auto *group = Find<QGroupBox>(&form, "GroupBox3");
    EXPECT_FALSE(group->isVisible());
    auto *combo = Find<QComboBox>(&form, "ComboBox1");
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->currentText(), "LPT");
    EXPECT_EQ(Find<QPushButton>(&form, "Button8")->text(), "Setup");
}

TEST(MainWindow, MenuHoldsAboutAndExit)
{
    TForm1 form;
    // The specified menus come first and stay as they are; what the program
    // added since ("View") follows them.
    const auto menus = form.menuBar()->actions();
    ASSERT_GE(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), "About");
    EXPECT_EQ(menus[1]->text(), "Exit");
    EXPECT_EQ(Find<QAction>(&form, "About2")->text(), "About");
    EXPECT_EQ(Find<QAction>(&form, "Exit2")->text(), "Exit");
}

TEST(MainWindow, StatusBarPanels)
{
    TForm1 form;
    form.show();
    const int widths[] = { 230, 190, 100 };
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(form.StatusBar1Panel[i]->width(), widths[i]);
    for (QLabel *panel : form.StatusBar1Panel)
        EXPECT_EQ(panel->font().pointSize(), 10);
    EXPECT_TRUE(form.StatusBar1Panel[1]->text().isEmpty());
    EXPECT_TRUE(form.StatusBar1Panel[2]->text().isEmpty());
}

TEST(MainWindow, ClockShowsDateAndTimeAndTicks)
{
    TForm1 form;
    QLabel *clock = form.StatusBar1Panel[3];
    const QDateTime now = QDateTime::currentDateTime();
    const QString date = QLocale::system().toString(now.date(), QLocale::ShortFormat);
    EXPECT_TRUE(clock->text().startsWith(date)) << clock->text().toStdString();
    EXPECT_EQ(form.Timer1->interval(), 1000);
    EXPECT_TRUE(form.Timer1->isActive());
    // The clock is rewritten at every tick.
    clock->setText(QString());
    QTRY_VERIFY_WITH_TIMEOUT(!clock->text().isEmpty(), 3000);
    EXPECT_TRUE(form.StatusBar1Panel[1]->text().isEmpty());
    EXPECT_TRUE(form.StatusBar1Panel[2]->text().isEmpty());
}

TEST(MainWindow, AboutIsShownOnceWithoutBlocking)
{
    TForm1 form;
    form.show();
    form.About2->trigger();
    form.About2->trigger();
    const auto abouts = QApplication::topLevelWidgets();
    int shown = 0;
    for (QWidget *w : abouts)
        if (qobject_cast<TForm2 *>(w) && w->isVisible())
            ++shown;
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(form.Form2->windowTitle(), "About Version");
    EXPECT_EQ(form.Form2->Label1->text(), "Versinon 1.01");
    EXPECT_TRUE(form.Form2->Label1->font().bold());
    EXPECT_EQ(form.Form2->Label1->font().pointSize(), 20);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(MainWindow, ExitButtonAndMenuCloseTheWindow)
{
    TForm1 form;
    form.show();
    QTest::mouseClick(form.Button23, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    form.show();
    form.Exit2->trigger();
    EXPECT_FALSE(form.isVisible());
}

TEST(ErrorBox, FullStopOnlyAfterLettersAndDigits)
{
    EXPECT_EQ(ErrorBoxText("'x' is not a valid floating point value"),
              "'x' is not a valid floating point value.");
    EXPECT_EQ(ErrorBoxText("I/O error 5"), "I/O error 5.");
    EXPECT_EQ(ErrorBoxText("Unable to open com port (win error code: 2)"),
              "Unable to open com port (win error code: 2)");
    EXPECT_EQ(ErrorBoxText("Stop!"), "Stop!");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("abc/"), "abc/.");
    EXPECT_EQ(ErrorBoxText("abc-"), "abc-");
    EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(ErrorBox, EscapedExceptionShowsOneBoxAndHandlerCanRunAgain)
{
    ModalWatcher watcher;
    int runs = 0;
    auto handler = Guarded([&runs] {
        ++runs;
        throw EConvertError(QStringLiteral("'' is not a valid floating point value"));
    });
    handler();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    EXPECT_EQ(watcher.Seen()[0].text, "'' is not a valid floating point value.");
    EXPECT_EQ(watcher.Seen()[0].icon, QMessageBox::Critical);
    handler();
    EXPECT_EQ(runs, 2);
    EXPECT_EQ(watcher.Seen().size(), 2u);
}

TEST(Exceptions, InOutErrorTexts)
{
    EXPECT_EQ(EInOutError::TextForErrno(ENOENT), "File not found");
    EXPECT_EQ(EInOutError::TextForErrno(ENOTDIR), "Invalid filename");
    EXPECT_EQ(EInOutError::TextForErrno(EMFILE), "Too many open files");
    EXPECT_EQ(EInOutError::TextForErrno(EACCES), "File access denied");
    EXPECT_EQ(EInOutError::TextForErrno(EROFS), "File access denied");
    EXPECT_EQ(EInOutError::TextForErrno(ENOSPC), "Disk full");
    EXPECT_EQ(EInOutError::TextForErrno(EIO), QStringLiteral("I/O error %1").arg(EIO));
    EXPECT_EQ(EFOpenError("a.txt").Message(), "Cannot open file a.txt");
    EXPECT_EQ(EFCreateError("a.txt").Message(), "Cannot create file a.txt");
}

// The tabs not on view are built once the window has been painted, each in
// its own place with its caption; nothing an operator sees changes.
TEST(MainWindow, HiddenTabsAreBuiltRightAfterTheFirstPaint)
{
    // The window as painted first and once the start is done, the installed
    // printers' group (filled whenever the print server answers) left out.
    const auto picture = [](TForm1 &form) {
        QImage image = form.grab().toImage();
        QPainter(&image).fillRect(QRect(form.TabSheet5->GroupBox11->mapTo(&form, QPoint()),
                                        form.TabSheet5->GroupBox11->size()),
                                  Qt::magenta);
        return image;
    };
    for (const bool chooseFirst : { false, true }) {
        TForm1 form;
        form.Timer1->stop();
        form.StatusBar1Panel[3]->setText("08.12.2026 07:00:00");
        EXPECT_FALSE(form.StartFinished());
        EXPECT_EQ(form.TabSheet1, nullptr);
        if (chooseFirst) // an operator quicker than the start
            form.PageControl1->setCurrentIndex(1);
        form.show();
        // What the event loop delivers before the first paint (layout
        // requests among them), then the picture that paint makes.
        QCoreApplication::sendPostedEvents();
        EXPECT_FALSE(form.StartFinished());
        const QImage firstPaint = picture(form);
        EXPECT_FALSE(form.StartFinished());
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.StartFinished(); }, 10000));
        if (!chooseFirst) {
            EXPECT_EQ(picture(form), firstPaint);
        }
        QWidget *const tabs[]
            = { form.TabSheet1, form.TabSheet2, form.TabSheet3, form.TabSheet4, form.TabSheet5 };
        const QStringList captions { "Printer Configuration", "File Manager", "Ethernet Setup",
                                     "Command Tool", "Interface Select" };
        ASSERT_EQ(form.PageControl1->count(), 5);
        for (int i = 0; i < 5; ++i) {
            ASSERT_NE(tabs[i], nullptr);
            EXPECT_EQ(form.PageControl1->widget(i), tabs[i]);
            EXPECT_EQ(form.PageControl1->tabText(i), captions[i]);
            EXPECT_EQ(form.findChildren<QWidget *>(QStringLiteral("TabSheet%1").arg(i + 1)).size(),
                      1);
        }
        EXPECT_EQ(form.PageControl1->currentIndex(), chooseFirst ? 1 : 4);
        EXPECT_EQ(form.TabSheet2->BitBtn1->text(), "Get File(s)\r\nInformation");
        EXPECT_EQ(form.TabSheet4->VisiblePage(), 1);
        EXPECT_NE(form.TabSheet2->OpenDialog1, nullptr);
        EXPECT_NE(form.TabSheet4->OpenDialog2, nullptr);
        EXPECT_NE(form.VirtualPrinter, nullptr);
        // A second call changes nothing.
        PrinterConfigTab *first = form.TabSheet1;
        form.FinishStart();
        EXPECT_EQ(form.TabSheet1, first);
    }
}

// The print server is asked once the window is up; the list it gives fills
// the Driver Selection without an operator's doing.
TEST(MainWindow, InstalledPrintersAreListedOnceTheWindowIsUp)
{
    CupsServer cups;
    ASSERT_TRUE(cups.Started()) << cups.Error().toStdString();
    QString error;
    ASSERT_TRUE(cups.AddRawQueue("Dock_4", ClosedLoopbackPort(), &error)) << error.toStdString();
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.StartFinished(); }, 10000));
    QComboBox *list = form.TabSheet5->ComboBox26;
    // Until then it holds the items it was made with.
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->itemText(0) == "Dock_4"; }, 20000));
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->currentText(), "Dock_4");
}
