// The File Manager tab driven through the real window: controls at start,
// "Select File" through the file dialog, and the commands sent over the File
// interface.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "commands/ui/printerconfigtab.h"
#include "files/ui/filemanagertab.h"
#include "files/ui/filestest.h"
#include "link/printerlink.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// What the open dialog offered while it was shown: its selected filter and
// the files listed. The dialog is cancelled.
struct DialogLook
{
    QString filter;
    QStringList listed;
};

// The dialog reads the directory and applies its filter in the background,
// so the listing is looked at until it shows `expected` (at most 5 s); what
// it shows then is returned either way.
DialogLook LookAtDialogThenCancel(QPushButton *button, const QString &directory,
                                  const QStringList &expected)
{
    DialogLook look;
    QTimer timer;
    timer.setInterval(20);
    int polls = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (polls++ == 0)
            dialog->setDirectory(directory);
        auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
        const QModelIndex root = view->rootIndex();
        QStringList listed;
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            listed << view->model()->index(row, 0, root).data().toString();
        listed.sort();
        if (listed != expected && polls < 250)
            return;
        look = { dialog->selectedNameFilter(), listed };
        dialog->reject();
    });
    timer.start();
    QTest::mouseClick(button, Qt::LeftButton);
    return look;
}

} // namespace

TEST_F(FileManagerWindow, ControlsAtStart)
{
    EXPECT_EQ(files->objectName(), "TabSheet2");
    EXPECT_EQ(form->PageControl1->tabText(form->PageControl1->indexOf(files)), "File Manager");
    EXPECT_EQ(files->GroupBox4->title(), "File Download");
    const QStringList types { "Font File(*.TTF;*.OTF)", "BIN File(*.BIN)", "Data File" };
    ASSERT_EQ(files->ComboBox17->count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(files->ComboBox17->itemText(i), types[i]);
    EXPECT_EQ(files->ComboBox17->currentIndex(), 0);
    EXPECT_EQ(files->ComboBox17->maxVisibleItems(), 20);
    const QStringList devices { "R:", "E:", "B:", "A:", "Z:" };
    ASSERT_EQ(files->ComboBox18->count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(files->ComboBox18->itemText(i), devices[i]);
    EXPECT_EQ(files->ComboBox18->currentText(), "E:");
    EXPECT_EQ(files->Button11->text(), "Select File");
    EXPECT_EQ(files->Button12->text(), "Download");
    EXPECT_EQ(files->Button15->text(), "File (s)");
    EXPECT_TRUE(files->Edit15->text().isEmpty());
    EXPECT_TRUE(files->Edit16->text().isEmpty());
    const QStringList captions { "File Type:", "File Name:", "File Size:", "Bytes",
                                 "Memory Device:" };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Find<QLabel>(files, QStringLiteral("Label%1").arg(42 + i))->text(), captions[i]);
    EXPECT_EQ(files->OpenDialog1->nameFilters(),
              QStringList({ "Font File (*.TTF;*.OTF)", "BIN File (*.BIN)", "Any File (*.*)" }));

    // Created and hidden.
    EXPECT_EQ(files->Edit9->text(), "28");
    EXPECT_EQ(files->Acommandck->text(), "A Command");
    EXPECT_TRUE(files->Acommandck->isChecked());
    EXPECT_EQ(files->Hexcb->text(), "HEX");
    EXPECT_TRUE(files->Hexcb->isChecked());
    EXPECT_EQ(files->Button13->text(), "Print");
    EXPECT_EQ(files->RadioGroup3->title(), "Memory Device");
    EXPECT_EQ(files->RadioGroup3Items[0]->text(), "DRAM");
    EXPECT_EQ(files->RadioGroup3Items[1]->text(), "FLASH");
    EXPECT_TRUE(files->RadioGroup3Items[1]->isChecked());
    EXPECT_EQ(files->Button14->text(), "Format");
    EXPECT_EQ(files->GroupBox13->title(), "File Information");
    EXPECT_EQ(files->Label52->text(), "DRAM FREE BYTE(KB):");
    EXPECT_EQ(files->Label53->text(), "FLASH  FREE BYTE(KB):");
    EXPECT_EQ(files->Label54->text(), "KB");
    EXPECT_EQ(files->Label55->text(), "KB");
    EXPECT_EQ(files->Button16->text(), "Free Memory");
    EXPECT_EQ(files->BitBtn1->text(), "Get File(s)\r\nInformation");
    EXPECT_TRUE(files->FilelistMemo->toPlainText().isEmpty());
    for (QWidget *hidden : std::initializer_list<QWidget *> {
             files->Edit9, files->Acommandck, files->Hexcb, files->Button13, files->RadioGroup3,
             files->Button14, files->GroupBox13 })
        EXPECT_TRUE(hidden->isHidden()) << hidden->objectName().toStdString();
    for (QWidget *shown : std::initializer_list<QWidget *> {
             files->GroupBox4, files->ComboBox17, files->Button11, files->Edit15, files->Edit16,
             files->ComboBox18, files->Button12, files->Button15 })
        EXPECT_TRUE(shown->isVisible()) << shown->objectName().toStdString();
}

TEST_F(FileManagerWindow, NothingIsClipped)
{
    // Captions and buttons fit their text in the window font, and every
    // control lies inside its parent.
    for (QWidget *w : files->findChildren<QWidget *>()) {
        if (w->window() != form.get() || w->parentWidget()->inherits("QAbstractScrollArea")
            || w->parentWidget()->inherits("QComboBox") || w->inherits("QScrollBar"))
            continue;
        if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
        }
        if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)
            || qobject_cast<QGroupBox *>(w) || qobject_cast<QLineEdit *>(w)
            || qobject_cast<QComboBox *>(w)) {
            EXPECT_TRUE(w->parentWidget()->rect().contains(w->geometry()))
                << w->objectName().toStdString();
        }
    }
    EXPECT_TRUE(form->PageControl1->currentWidget()->rect().contains(files->childrenRect()));
}

TEST_F(FileManagerWindow, FileTypePreselectsTheDialogFilter)
{
    QDir(dir.path()).mkdir("fonts");
    const QString fonts = dir.filePath("fonts");
    for (const char *name : { "a.ttf", "b.OTF", "c.bin", "d.txt" })
        Write(QStringLiteral("fonts/") + name, "x");

    const struct
    {
        int type;
        QString filter;
        QStringList listed;
    } cases[] = {
        { 0, "Font File (*.TTF;*.OTF)", { "a.ttf", "b.OTF" } },
        { 1, "BIN File (*.BIN)", { "c.bin" } },
        { 2, "Any File (*.*)", { "a.ttf", "b.OTF", "c.bin", "d.txt" } },
        { 0, "Font File (*.TTF;*.OTF)", { "a.ttf", "b.OTF" } },
    };
    for (const auto &c : cases) {
        files->ComboBox17->setCurrentIndex(c.type);
        const DialogLook look = LookAtDialogThenCancel(files->Button11, fonts, c.listed);
        EXPECT_EQ(look.filter, c.filter);
        EXPECT_EQ(look.listed, c.listed);
    }
    // Cancelled every time: nothing chosen.
    EXPECT_TRUE(files->Edit15->text().isEmpty());
    EXPECT_TRUE(files->Edit16->text().isEmpty());
}

TEST_F(FileManagerWindow, SelectFileShowsNameAndSize)
{
    ModalWatcher watcher;
    const QString path = Write("Demo.ttf", QByteArray::fromHex("007fff"));
    Select(watcher, path);
    EXPECT_EQ(files->Edit15->text(), "Demo.ttf");
    EXPECT_EQ(files->Edit16->text(), "3");

    // Cancelling keeps the choice.
    Select(watcher, QString());
    EXPECT_EQ(files->Edit15->text(), "Demo.ttf");
    EXPECT_EQ(files->Edit16->text(), "3");

    // A program that is running cannot be opened for writing, not even by
    // root: "Select File" only reads, so it can still be chosen.
    const QString running = dir.filePath("running.ttf");
    ASSERT_TRUE(QFile::copy(QStringLiteral("/bin/sleep"), running));
    // Spawned without fork(), which the thread sanitizer refuses in a
    // process that runs threads.
    const QByteArray program = QFile::encodeName(running);
    char *const argv[]
        = { const_cast<char *>(program.constData()), const_cast<char *>("30"), nullptr };
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ), 0);
    Select(watcher, running);
    EXPECT_EQ(files->Edit15->text(), "running.ttf");
    EXPECT_EQ(files->Edit16->text(), QString::number(QFileInfo(running).size()));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(watcher.Seen().size(), 3u);
    for (const SeenDialog &seen : watcher.Seen())
        EXPECT_EQ(seen.className, "QFileDialog");
}

TEST_F(FileManagerWindow, DownloadOverFileWritesTheCommandToTheNameAsTyped)
{
    ModalWatcher watcher;
    Select(watcher, Write("Demo.ttf", QByteArray::fromHex("007fff")));
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir.filePath("abc.bin")), "~DUE:DEMO,3,\r\n007FFF\r\n");
    EXPECT_FALSE(QFile::exists(dir.filePath("abc.bin.bin")));

    // The name field decides the font name; the device list its letter.
    files->Edit15->setText("my.font.ttf");
    files->ComboBox18->setCurrentIndex(4);
    form->TabSheet5->Edit17->setText("out.hex");
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir.filePath("out.hex")), "~DUZ:MY,3,\r\n007FFF\r\n");

    // A BIN file goes byte for byte.
    const QByteArray bin("^XA\0\xff^XZ", 8);
    files->ComboBox17->setCurrentIndex(1);
    Select(watcher, Write("label.BIN", bin));
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    EXPECT_EQ(ReadAll(dir.filePath("out.hex")), bin);
    EXPECT_EQ(form->Link().CommandBuffer, bin);
    EXPECT_EQ(watcher.Seen().size(), 2u);
}

TEST_F(FileManagerWindow, DownloadFailuresSendNothing)
{
    ModalWatcher watcher;
    form->Link().CommandBuffer = "stale";
    // No file chosen yet.
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    // A file that is gone by the time of the download.
    const QString path = Write("gone.ttf", "x");
    Select(watcher, path);
    QFile::remove(path);
    QTest::mouseClick(files->Button12, Qt::LeftButton);
    // Too large for the size field (sparse: nothing on disk).
    const QString huge = Write("huge.ttf", QByteArray());
    {
        QFile f(huge);
        ASSERT_TRUE(f.resize(qint64(1) << 32));
    }
    Select(watcher, huge);
    EXPECT_EQ(files->Edit16->text(), "4294967296");
    QTest::mouseClick(files->Button12, Qt::LeftButton);

    QStringList errors;
    for (const SeenDialog &seen : watcher.Seen()) {
        if (seen.className == "QMessageBox") {
            EXPECT_EQ(seen.title, "Tarvolin");
            errors << seen.text;
        }
    }
    // No file chosen: an empty name, and the text ends in a space.
    EXPECT_EQ(errors,
              QStringList({ "Cannot open file ", "Cannot open file " + path + ".",
                            "File too large for the font download command: 4294967296 "
                            "bytes (at most 2147483647)" }));
    EXPECT_FALSE(QFile::exists(dir.filePath("abc.bin")));
    EXPECT_TRUE(form->Link().CommandBuffer.isEmpty());
}

TEST_F(FileManagerWindow, SelectFileErrorLeavesTheOldSize)
{
    ModalWatcher watcher;
    Select(watcher, Write("a.ttf", "1234"));
    // The dialog accepts a typed name that does not exist.
    files->OpenDialog1->setFileMode(QFileDialog::AnyFile);
    Select(watcher, dir.filePath("missing.ttf"));
    EXPECT_EQ(files->Edit15->text(), "missing.ttf");
    EXPECT_EQ(files->Edit16->text(), "4");
    ASSERT_EQ(watcher.Seen().size(), 3u);
    EXPECT_EQ(watcher.Seen()[2].text, "File not found.");
}

TEST_F(FileManagerWindow, DirectoryLabelAndFormatOverFile)
{
    ModalWatcher watcher;
    QTest::mouseClick(files->Button15, Qt::LeftButton);
    EXPECT_EQ(Sent(), "^XA^WDE:*.*\r\n^XZ");
    files->ComboBox18->setCurrentIndex(0);
    QTest::mouseClick(files->Button15, Qt::LeftButton);
    EXPECT_EQ(Sent(), "^XA^WDR:*.*\r\n^XZ");
    files->ComboBox18->setCurrentIndex(-1);
    QTest::mouseClick(files->Button15, Qt::LeftButton);
    EXPECT_EQ(Sent(), "^XA^XZ");

    // The format controls are hidden; their operation still works.
    files->Button14->click();
    EXPECT_EQ(Sent(), "KILL F,\"*\"\r\n");
    files->RadioGroup3Items[0]->setChecked(true);
    files->Button14->click();
    EXPECT_EQ(Sent(), "KILL \"*\"\r\n");
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(FileManagerWindow, PacketsAppendAndRightClickDoesNothing)
{
    ModalWatcher watcher;
    files->FilelistMemo->setPlainText("DRAM FILES: ");
    files->cpdataPacket("A.FNT");
    files->cpdataPacket("\r\nB");
    EXPECT_EQ(files->Edit18->text(), "Str1");
    EXPECT_EQ(files->FilelistMemo->toPlainText(), "DRAM FILES: A.FNT\nB");

    QTest::mouseClick(files, Qt::RightButton, {}, QPoint(500, 400));
    QTest::qWait(50);
    EXPECT_TRUE(watcher.Seen().empty());
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(FileManagerWindow, FontSampleFollowsThePrinterConfigurationTab)
{
    ModalWatcher watcher;
    files->Edit15->setText("Demo.ttf");
    files->Button13->click(); // hidden, and still complete
    const QByteArray start = Sent();
    EXPECT_TRUE(start.startsWith("\xEF\xBB\xBF^XA\r\n^CI28^CW1,E:DEMO.FNT^FS\r\n^A1,40,40"));
    EXPECT_TRUE(start.endsWith("^FS\r\n^PQ1,0,1,N\r\n^XZ\r\n"));

    // Resolution, frame and quantity come from the other tab.
    SetupPanelBox *config = form->TabSheet1->GroupBox7;
    config->RadioGroup5Items[1]->click();
    config->Boxck->setChecked(true);
    config->Edit1->setText("2");
    files->Hexcb->setChecked(false);
    files->Button13->click();
    const QByteArray framed = Sent();
    EXPECT_TRUE(framed.endsWith("^FS\r\n^FO24,24^GB864,2352,12,B,0^FS^PQ2,0,1,N\r\n^XZ\r\n"));
    EXPECT_FALSE(framed.contains("^FH"));

    // An unusable height stops the label before anything is sent.
    config->paperheighte->setText("2OO");
    files->Button13->click();
    EXPECT_EQ(Sent(), framed);
    EXPECT_EQ(watcher.Texts(), QStringList { "'2OO' is not a valid floating point value." });
}
