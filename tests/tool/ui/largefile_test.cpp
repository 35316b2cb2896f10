// Large files on a Command Tool page, through the real window: a file a page
// can hold loads while the window goes on answering, with the progress dialog
// and its Cancel; one it cannot hold is refused with an offer to send it as
// it is; typing into a large page stays quick.
#include "app/mainform.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "tool/ui/commandtooltab.h"
#include "ui/transferprogress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QByteArray Format = "^XA^FO50,50^A0N,30,30^FDTarvolin^FS^XZ\r\n";

class LargeFileTest : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        tool = form->TabSheet4;
        form->PageControl1->setCurrentWidget(tool);
        tool->Memo[0]->setPlainText("keep");
    }
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return path;
    }
    // Loads through "Load File" while a 20 ms timer looks at the window;
    // `step` runs at every tick that finds the load under way. The longest
    // the timer had to wait, the load's end included.
    qint64 LoadWatched(const QString &path, const std::function<void()> &step = {})
    {
        ModalWatcher watcher;
        watcher.AnswerFileDialogs({ path });
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        QTimer ticks;
        ticks.setInterval(20);
        QObject::connect(&ticks, &QTimer::timeout, [&] {
            longest = std::max(longest, sinceTick.restart());
            if (step && form->Transfers().Running())
                step();
        });
        sinceTick.start();
        ticks.start();
        QTest::mouseClick(tool->Button21, Qt::LeftButton);
        longest = std::max(longest, sinceTick.elapsed());
        RecordProperty("longestWaitMs", int(longest));
        return longest;
    }

    CommandToolTab *tool = nullptr;
};

} // namespace

TEST_F(LargeFileTest, ALargeFileLoadsWhileTheWindowAnswers)
{
    // Just under what a page holds, in short lines.
    const qsizetype lines = (MaxPageFileBytes - 1) / Format.size();
    const QString path = Write("large.txt", Format.repeated(lines));
    QString shown;
    const qint64 longest = LoadWatched(path, [&] {
        TransferDialog *dialog = form->Transfers().Dialog();
        if (!dialog)
            return;
        if (shown.isEmpty() && qEnvironmentVariableIsSet("TARVOLIN_SHOTS")) {
            const QDir shots(qEnvironmentVariable("TARVOLIN_SHOTS"));
            dialog->grab().save(shots.filePath("load-dialog.png"));
            form->grab().save(shots.filePath("load-window.png"));
        }
        shown = dialog->WhatLabel->text();
    });
    EXPECT_LT(longest, 1000) << "the window stood still";
    EXPECT_EQ(shown, "Loading " + path + " into page 1");
    QPlainTextEdit *page = tool->Memo[0];
    EXPECT_EQ(page->blockCount(), lines + 1);
    EXPECT_EQ(page->document()->findBlockByNumber(int(lines) - 1).text(), Format.trimmed());
    EXPECT_EQ(tool->Edit8->text(), path);
    EXPECT_EQ(tool->EncodingLabel->text(), "Encoding:\nUTF-8");

    // Typing at the end of a large page is as quick as in a small one.
    page->setFocus();
    page->moveCursor(QTextCursor::End);
    QElapsedTimer clock;
    clock.start();
    QTest::keyClicks(page, "^XA");
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(page->document()->lastBlock().text(), "^XA");
}

TEST_F(LargeFileTest, CancelledLoadLeavesThePageAsItWas)
{
    const QString path = Write("large.txt", Format.repeated(MaxPageFileBytes / Format.size()));
    bool cancelled = false;
    LoadWatched(path, [&] {
        TransferDialog *dialog = form->Transfers().Dialog();
        if (dialog && !cancelled) {
            QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
            cancelled = true;
        }
    });
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(tool->Memo[0]->toPlainText(), "keep");
    EXPECT_TRUE(tool->Edit8->text().isEmpty());
    // The page is the one it was: typing goes on where it was.
    tool->Memo[0]->setFocus();
    tool->Memo[0]->moveCursor(QTextCursor::End);
    QTest::keyClicks(tool->Memo[0], "!");
    EXPECT_EQ(tool->Memo[0]->toPlainText(), "keep!");
}

TEST_F(LargeFileTest, MoreThanAPageHoldsIsRefusedWithAnOfferToSendIt)
{
    const QString big = dir.filePath("big.bin");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(50LL * 1024 * 1024));
    }
    const QByteArray graphic
        = "^XA^FO0,0^GFA,70000,70000,100," + QByteArray(70000, 'F') + "^FS\r\n^XZ\r\n";
    const QString wide = Write("graphic.txt", graphic);
    const struct
    {
        QString path;
        QString answer;
        QString why;
    } cases[] = {
        { big, "Cancel", big + " is 52,428,800 bytes; a page holds files of up to 16,777,216 bytes." },
        { wide, "Send File",
          "Line 1 of " + wide + " is longer than 65,536 bytes, the longest line a page shows." },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        ModalWatcher watcher;
        watcher.AnswerFileDialogs({ c.path });
        watcher.AnswerMessageBoxes({ c.answer });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(tool->Button21, Qt::LeftButton);
        EXPECT_LT(clock.elapsed(), 5000);
        ASSERT_EQ(watcher.Seen().size(), 2u);
        EXPECT_EQ(watcher.Seen()[1].title, "Tarvolin");
        EXPECT_EQ(watcher.Seen()[1].text, "Text exceeds memo capacity.");
        EXPECT_EQ(watcher.Seen()[1].informativeText,
                  c.why + "\nSend File sends it to the printer as it is, without loading it.");
        EXPECT_EQ(tool->Memo[0]->toPlainText(), "keep");
    }
    // Cancelled: nothing sent, the field as it was; sent: the file byte for byte.
    EXPECT_EQ(Sent(), graphic);
    EXPECT_EQ(tool->Edit8->text(), wide);
}
