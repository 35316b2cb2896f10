// File list and free memory through the real window against printers on a
// pseudo-terminal, and the bytes that arrive while the port closes.
#include "app/interfaceselecttab.h"
#include "files/ui/filemanagertab.h"
#include "files/ui/filestest.h"
#include "serial/cport.h"
#include "support/pty.h"
#include "support/ptyprinter.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

// What the text box shows for reply bytes: every CR LF, CR or LF a line end.
QString Shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes).replace("\r\n", "\n").replace('\r', '\n');
}

class FileManagerPrinter : public FileManagerWindow
{
protected:
    void SetUp() override
    {
        FileManagerWindow::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(printer.IsValid());
        UseCom(printer.SlavePath());
    }
    // One click of a read-back button with the printer answering `reply`;
    // returns what the printer received.
    QByteArray Ask(QPushButton *button, const QByteArray &reply)
    {
        printer.SetReply(reply);
        const qsizetype before = printer.Received().size();
        const int requests = printer.Requests();
        button->click(); // hidden group; the operation still works
        EXPECT_GT(printer.Requests(), requests);
        return printer.Received().mid(before);
    }

    PtyPrinter printer;
};

} // namespace

TEST_F(FileManagerPrinter, FileListIsLaidOutInTheTextBox)
{
    ModalWatcher watcher;
    const struct
    {
        QByteArray reply;
        QByteArray shown; // bytes after the exchange's LF insertion and the layout
    } cases[] = {
        { "DRAM FILES: A.FNT B.FNT FLASH FILES: C.FNT\r",
          "DRAM FILES: \r\nA.FNT B.FNT \r\nFLASH FILES: \r\nC.FNT\r\n" },
        // CR LF lines from the printer become CR LF LF.
        { "DRAM FILES: \r\nA.FNT\r\nFLASH FILES: \r\nC.FNT\r\n",
          "DRAM FILES: \r\n\r\n\nA.FNT\r\n\n\r\nFLASH FILES: \r\n\r\n\nC.FNT\r\n\n" },
        { "", "" },
    };
    for (const auto &c : cases) {
        files->FilelistMemo->setPlainText("previous");
        EXPECT_EQ(Ask(files->BitBtn1, c.reply), "~!F\r\n");
        EXPECT_EQ(files->FilelistMemo->toPlainText(), Shown(c.shown)) << c.reply.toStdString();
    }
    EXPECT_FALSE(form->CP->Connected());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(FileManagerPrinter, FreeMemoryShowsTheFigures)
{
    ModalWatcher watcher;
    const struct
    {
        QByteArray reply;
        QString dram;
        QString flash;
    } cases[] = {
        { "DRAM FREE BYTE(KB): 512FLASH FREE BYTE(KB): 4096\r\n", "512", "4096" },
        { "", "", "" },
    };
    for (const auto &c : cases) {
        files->Edit18->setText("x");
        files->Edit19->setText("y");
        EXPECT_EQ(Ask(files->Button16, c.reply), "CLS\r\n~!A\r\n");
        EXPECT_EQ(files->Edit18->text(), c.dram) << c.reply.toStdString();
        EXPECT_EQ(files->Edit19->text(), c.flash) << c.reply.toStdString();
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(FileManagerPrinter, ReadBacksNeedComAndSendNothingElsewhere)
{
    ModalWatcher watcher;
    QTest::mouseClick(form->TabSheet5->RadioButton5, Qt::LeftButton);
    files->FilelistMemo->setPlainText("kept");
    files->Edit18->setText("1");
    files->Edit19->setText("2");
    files->BitBtn1->click();
    files->Button16->click();
    EXPECT_EQ(watcher.Texts(),
              QStringList({ "You must select COM port!!", "You must select COM port!!" }));
    EXPECT_EQ(files->FilelistMemo->toPlainText(), "kept");
    EXPECT_EQ(files->Edit18->text(), "1");
    EXPECT_EQ(files->Edit19->text(), "2");
    EXPECT_EQ(printer.Requests(), 0);
    EXPECT_EQ(Sent(), "<nothing sent>");
}

TEST_F(FileManagerPrinter, OneShotCommandsOverCom)
{
    ModalWatcher watcher;
    printer.SetReply(QByteArray());
    QTest::mouseClick(files->Button15, Qt::LeftButton);
    files->RadioGroup3Items[0]->setChecked(true);
    files->Button14->click();
    const QByteArray expected = "^XA^WDE:*.*\r\n^XZKILL \"*\"\r\n";
    EXPECT_EQ(printer.Received(expected.size()), expected);
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

// Bytes that come after the file list exchange's last read, while it waits to
// close the port, reach the window as one packet inside the close: "Str1" in
// the DRAM field, then the new list replaces the text box. That happens only
// when the batch still waiting at the close holds received bytes, so the
// printer stops the request with Xoff and answers before the request is
// through. Whether the late bytes come before the last read, inside the close
// or after it is a matter of timing: each byte reaches at most one reader, and
// across a few attempts the delivery inside the close shows.
TEST_F(FileManagerWindow, LeftoverBytesArriveThroughThePacketHandler)
{
    ModalWatcher watcher;
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid()) << pty.Error().toStdString();
    UseCom(pty.SlavePath());
    const QByteArray reply = "DRAM FILES: A.FNT FLASH FILES: C.FNT\r";
    const QString list = Shown("DRAM FILES: \r\nA.FNT \r\nFLASH FILES: \r\nC.FNT\r\n");

    // A plain exchange first; it also leaves the line settings (Xon/Xoff) on
    // the terminal for the Xoff below.
    std::thread plain([&] {
        EXPECT_EQ(pty.ReadExactly(5), "~!F\r\n");
        pty.Write(reply);
    });
    files->BitBtn1->click();
    plain.join();
    ASSERT_EQ(files->FilelistMemo->toPlainText(), list);
    ASSERT_EQ(files->Edit18->text(), "");

    const auto pause = [](int ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    };
    bool delivered = false;
    for (int attempt = 0; attempt < 10 && !delivered; ++attempt) {
        files->Edit18->setText("-");
        files->FilelistMemo->setPlainText("old");
        // Xoff: the window's request waits. The terminal takes it in the
        // background; opening the port discards what it has not taken yet.
        ASSERT_TRUE(pty.Write("\x13"));
        pause(50);
        std::thread far([&] {
            pause(100);
            pty.Write(reply.left(18)); // the port's first event: bytes received
            pause(100);
            pty.Write("\x11"); // Xon: the request goes out
            EXPECT_EQ(pty.ReadExactly(5), "~!F\r\n");
            pty.Write(reply.mid(18));
            // Once everything is read, the window reads once more, finds
            // nothing and waits 30 ms before closing: send into that pause.
            for (int i = 0; i < 5000 && pty.SlaveInputQueued() > 0; ++i)
                pause(1);
            pause(18);
            pty.Write("LEFT");
        });
        files->BitBtn1->click();
        far.join();

        const QString memo = files->FilelistMemo->toPlainText();
        if (memo.contains("LEFT")) {
            // Arrived before the last read: part of the reply, no packet.
            EXPECT_EQ(memo, list.chopped(1) + "LEFT");
            EXPECT_EQ(files->Edit18->text(), "-");
        } else {
            EXPECT_EQ(memo, list);
            delivered = files->Edit18->text() == "Str1";
            if (!delivered) {
                EXPECT_EQ(files->Edit18->text(), "-"); // came after the close: discarded
            }
        }
        pty.Drain(20, 500);
    }
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(form->CP->Connected());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}
