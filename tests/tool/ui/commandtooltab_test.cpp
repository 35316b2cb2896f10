// The Command Tool tab driven through the real window, sending over the File
// interface into a temporary directory.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "link/printerlink.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "tool/ui/commandtooltab.h"

#include <QButtonGroup>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
}

class CommandToolTest : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        form->PageControl1->setCurrentWidget(form->TabSheet4);
        tool = form->TabSheet4;
    }

    void Click(QPushButton *button) { QTest::mouseClick(button, Qt::LeftButton); }
    void ChoosePage(int page)
    {
        QTest::mouseClick(
            Find<QRadioButton>(tool, QStringLiteral("RadioGroup4Item%1").arg(page - 1)),
            Qt::LeftButton);
    }
    QPlainTextEdit *Page(int page) { return tool->Memo[page - 1]; }
    void Type(int page, const QString &text)
    {
        Page(page)->setFocus();
        QTest::keyClicks(Page(page), text);
    }
    QString PageText(int page) { return Page(page)->toPlainText(); }

    CommandToolTab *tool = nullptr;
};

} // namespace

TEST_F(CommandToolTest, StartShowsFirstOfTenPages)
{
    auto *group = Find<QGroupBox>(tool, "RadioGroup4");
    EXPECT_EQ(group->title(), "Editor");
    for (int i = 1; i <= 10; ++i) {
        auto *item = Find<QRadioButton>(group, QStringLiteral("RadioGroup4Item%1").arg(i - 1));
        EXPECT_EQ(item->text(), QString::number(i));
        EXPECT_EQ(item->isChecked(), i == 1);
        auto *memo = Find<QPlainTextEdit>(tool, QStringLiteral("Memo%1").arg(i));
        EXPECT_EQ(memo->isHidden(), i != 1) << i;
        EXPECT_TRUE(memo->toPlainText().isEmpty());
    }
    EXPECT_EQ(Find<QLabel>(tool, "Label61")->text(), "File:");
    EXPECT_EQ(Find<QLabel>(tool, "Label61")->palette().color(QPalette::WindowText),
              QColor(Qt::blue));
    EXPECT_TRUE(Find<QLineEdit>(tool, "Edit8")->text().isEmpty());
    const struct
    {
        const char *name, *text;
    } buttons[] = { { "Button25", "Select File" },
                    { "Button19", "Send File" },
                    { "Button20", "Send Text" },
                    { "Button21", "Load File" },
                    { "Button22", "Save File" } };
    for (const auto &b : buttons)
        EXPECT_EQ(Find<QPushButton>(tool, b.name)->text(), b.text);
    auto *open = Find<QFileDialog>(tool, "OpenDialog2");
    auto *save = Find<QFileDialog>(tool, "SaveDialog2");
    EXPECT_TRUE(open->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(open->fileMode(), QFileDialog::AnyFile);
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
}

TEST_F(CommandToolTest, SwitchingPagesKeepsEachText)
{
    Type(1, "first");
    ChoosePage(2);
    EXPECT_TRUE(Page(1)->isHidden());
    EXPECT_FALSE(Page(2)->isHidden());
    Type(2, "second");
    ChoosePage(10);
    EXPECT_EQ(tool->VisiblePage(), 10);
    ChoosePage(1);
    EXPECT_EQ(tool->VisiblePage(), 1);
    EXPECT_EQ(PageText(1), "first");
    EXPECT_EQ(PageText(2), "second");
    int visible = 0;
    for (QPlainTextEdit *memo : tool->Memo)
        visible += !memo->isHidden();
    EXPECT_EQ(visible, 1);
}

TEST_F(CommandToolTest, SendTextEndsEveryLineWithCrLf)
{
    ModalWatcher watcher;
    Type(1, "^XA");
    QTest::keyClick(Page(1), Qt::Key_Return);
    QTest::keyClicks(Page(1), "^XZ");
    Click(tool->Button20);
    EXPECT_EQ(Sent(), "^XA\r\n^XZ\r\n");

    // An empty page sends just the line break; typed text goes out as UTF-8.
    ChoosePage(2);
    Click(tool->Button20);
    EXPECT_EQ(Sent(), "\r\n");
    Type(2, "^FD");
    Page(2)->insertPlainText(QStringLiteral("\u00E9\u20AC"));
    Click(tool->Button20);
    EXPECT_EQ(Sent(), "^FD\xC3\xA9\xE2\x82\xAC\r\n");
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(CommandToolTest, LoadedLfFileSendsCrLfLines)
{
    const QString path = dir.filePath("lf.zpl");
    WriteAll(path, "^XA\n^FO10,10^FDx^FS\n^XZ");
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ path });
    Click(tool->Button21);
    EXPECT_EQ(Page(1)->blockCount(), 3);
    EXPECT_EQ(tool->Edit8->text(), path);
    Click(tool->Button20);
    EXPECT_EQ(Sent(), "^XA\r\n^FO10,10^FDx^FS\r\n^XZ\r\n");
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].className, "QFileDialog");
}

TEST_F(CommandToolTest, SendFileSendsBytesUnchanged)
{
    const QByteArray files[] = {
        "^XA^XZ",
        "^XA\n^XZ\n",
        QByteArray("\x1F\x1B\x1F\x91\x00IP\xC0\xA8\x7B\xC8", 11),
        QByteArray("a\r\0\r\n\0", 6),
    };
    ModalWatcher watcher;
    int n = 0;
    for (const QByteArray &bytes : files) {
        const QString path = dir.filePath(QStringLiteral("f%1.prn").arg(n++));
        WriteAll(path, bytes);
        tool->Edit8->setText(path);
        Click(tool->Button19);
        EXPECT_EQ(Sent(), bytes) << path.toStdString();
        EXPECT_EQ(form->Link().CommandBuffer, bytes);
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join('|').toStdString();
}

TEST_F(CommandToolTest, SendFileWithoutFileSendsNothingOnAnyInterface)
{
    InterfaceSelectTab *iface = form->TabSheet5;
    QRadioButton *interfaces[] = { iface->RadioButton1, iface->RadioButton2, iface->RadioButton3,
                                   iface->RadioButton4, iface->RadioButton5 };
    const QString paths[] = { QString(), dir.filePath("no-such-file"), dir.path() };
    ModalWatcher watcher;
    for (QRadioButton *radio : interfaces) {
        QTest::mouseClick(radio, Qt::LeftButton);
        ASSERT_TRUE(radio->isChecked());
        for (const QString &path : paths) {
            watcher.Clear();
            form->Link().CommandBuffer = "left over";
            tool->Edit8->setText(path);
            Click(tool->Button19);
            EXPECT_EQ(watcher.Texts(), QStringList { "File is no found!" })
                << radio->text().toStdString() << " " << path.toStdString();
            EXPECT_TRUE(form->Link().CommandBuffer.isEmpty());
        }
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("abc.bin.bin")));
}

TEST_F(CommandToolTest, SelectFileRemembersPathAndCancelRestoresIt)
{
    const QString a = dir.filePath("a.txt");
    const QString b = dir.filePath("b.txt");
    WriteAll(a, "from a");
    WriteAll(b, "from b");
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ a, QString(), QString(), b, QString() });

    Click(tool->Button25); // chooses a
    EXPECT_EQ(tool->Edit8->text(), a);
    EXPECT_EQ(PageText(1), "from a");

    tool->Edit8->setText(b);
    Click(tool->Button25); // cancelled: back to a
    EXPECT_EQ(tool->Edit8->text(), a);

    // "Send File" remembers what it used.
    tool->Edit8->setText(b);
    Click(tool->Button19);
    EXPECT_EQ(Sent(), "from b");
    tool->Edit8->setText("typed");
    Click(tool->Button25); // cancelled: back to b
    EXPECT_EQ(tool->Edit8->text(), b);

    // "Load File" shows the dialog's last confirmed file and leaves the
    // remembered path alone.
    ChoosePage(4);
    Click(tool->Button21); // chooses b
    EXPECT_EQ(PageText(4), "from b");
    EXPECT_EQ(tool->Edit8->text(), b);
    tool->Edit8->setText("typed");
    Click(tool->Button21); // cancelled
    EXPECT_EQ(tool->Edit8->text(), b);
    EXPECT_EQ(PageText(4), "from b");
    EXPECT_EQ(watcher.Seen().size(), 5u);
}

TEST_F(CommandToolTest, PageThreeSavedAndLoadedIntoPageFive)
{
    const QString path = dir.filePath("page3.txt");
    WriteAll(path, "an older, longer file that is replaced");
    ChoosePage(3);
    const QString text = QStringLiteral("^XA\n^FD\u00C4\u00A0\u4E2D^FS\n\n  ^XZ\n");
    Page(3)->setPlainText(text);
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ path, path });
    Click(tool->Button22);
    EXPECT_EQ(ReadAll(path), "^XA\r\n^FD\xC3\x84\xC2\xA0\xE4\xB8\xAD^FS\r\n\r\n  ^XZ\r\n");
    EXPECT_TRUE(tool->Edit8->text().isEmpty());

    ChoosePage(5);
    Click(tool->Button21);
    EXPECT_EQ(PageText(5), PageText(3));
    EXPECT_EQ(Page(5)->document()->toRawText(), Page(3)->document()->toRawText());
    EXPECT_EQ(watcher.Seen().size(), 2u);
}

TEST_F(CommandToolTest, Latin1FileSurvivesLoadAndSave)
{
    QByteArray bytes;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            bytes += char(b);
    const QString in = dir.filePath("latin1.bin");
    const QString out = dir.filePath("saved.bin");
    WriteAll(in, bytes + "\n" + bytes + "\r" + bytes);
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ in, out });
    Click(tool->Button21);
    Click(tool->Button22);
    EXPECT_EQ(ReadAll(out), bytes + "\r\n" + bytes + "\r\n" + bytes);
    // "Send Text" encodes the page the same way.
    Click(tool->Button20);
    EXPECT_EQ(Sent(), bytes + "\r\n" + bytes + "\r\n" + bytes + "\r\n");
    EXPECT_EQ(watcher.Seen().size(), 2u);
}

TEST_F(CommandToolTest, LoadFailuresKeepThePage)
{
    Type(1, "keep");
    const QString missing = dir.filePath("missing.txt");
    const QString big = dir.filePath("big.txt");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxPageFileBytes + 1));
    }
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ missing, big });
    Click(tool->Button21);
    Click(tool->Button25);
    ASSERT_EQ(watcher.Seen().size(), 4u);
    EXPECT_EQ(watcher.Seen()[1].title, "Tarvolin");
    EXPECT_EQ(watcher.Seen()[1].text, "Cannot open file " + missing + ".");
    EXPECT_EQ(watcher.Seen()[3].text, "Text exceeds memo capacity.");
    EXPECT_EQ(PageText(1), "keep");
    // Neither press got as far as filling in the file name.
    EXPECT_TRUE(tool->Edit8->text().isEmpty());
}

TEST_F(CommandToolTest, FailedSaveLeavesTheOldFile)
{
    const QString path = dir.filePath("keep.txt");
    WriteAll(path, "old");
    Page(1)->setPlainText(QString(64 * 1024, QLatin1Char('y')));
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ path, dir.filePath("no-dir/x.txt") });

    // The write fails half-way (the file size limit stands in for a full disk).
    rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Click(tool->Button22);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldSignal);

    Click(tool->Button22);
    ASSERT_EQ(watcher.Seen().size(), 4u);
    EXPECT_EQ(watcher.Seen()[1].text, "Cannot create file " + path + ".");
    EXPECT_EQ(watcher.Seen()[3].text, "Cannot create file " + dir.filePath("no-dir/x.txt") + ".");
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList { "keep.txt" });
}

TEST_F(CommandToolTest, EachPageShowsItsEncoding)
{
    auto *label = Find<QLabel>(tool, "EncodingLabel");
    EXPECT_EQ(label->text(), "Encoding:\nUTF-8");
    const QString latin1 = dir.filePath("latin1.txt");
    WriteAll(latin1, "caf\xE9");
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ latin1 });
    ChoosePage(2);
    Click(tool->Button21);
    EXPECT_EQ(label->text(), "Encoding:\nLatin-1");
    ChoosePage(1);
    EXPECT_EQ(label->text(), "Encoding:\nUTF-8");
    ChoosePage(2);
    EXPECT_EQ(label->text(), "Encoding:\nLatin-1");
    // Beside the page selector, clear of it and of the buttons below.
    EXPECT_FALSE(label->geometry().intersects(tool->RadioGroup4->geometry()));
    EXPECT_FALSE(label->geometry().intersects(tool->PreviewButton->geometry()));
}

// A Latin-1 page that gained "€" is neither saved nor sent until the operator
// says how; each answer does exactly what it says.
TEST_F(CommandToolTest, Latin1PageWithEuroAsksBeforeWriting)
{
    const QString latin1 = dir.filePath("latin1.txt");
    const QString saved = dir.filePath("saved.txt");
    struct Case
    {
        const char *answer;
        bool send; // "Send Text", else "Save File"
        QByteArray written; // empty: nothing written
        const char *encodingAfter;
    };
    const Case cases[] = {
        { "Cancel", false, "", "Latin-1" },
        { "Keep Latin-1", false, "", "Latin-1" },
        { "Write as UTF-8", false, "caf\xC3\xA9\xE2\x82\xAC\r\n^FS", "UTF-8" },
        { "Cancel", true, "", "Latin-1" },
        { "Keep Latin-1", true, "", "Latin-1" },
        { "Write as UTF-8", true, "caf\xC3\xA9\xE2\x82\xAC\r\n^FS\r\n", "UTF-8" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.answer) + (c.send ? " (send)" : " (save)"));
        WriteAll(latin1, "caf\xE9\r\n^FS");
        QFile::remove(saved);
        QFile::remove(dir.filePath("abc.bin.bin"));
        ModalWatcher watcher;
        watcher.AnswerFileDialogs({ latin1, saved });
        Click(tool->Button21);
        ASSERT_EQ(PageText(1), QStringLiteral("caf\u00E9\n^FS"));
        QTextCursor end(Page(1)->document()->firstBlock());
        end.movePosition(QTextCursor::EndOfBlock);
        Page(1)->setTextCursor(end);
        // Typed as a keyboard with a euro key types it.
        QTest::sendKeyEvent(QTest::Click, Page(1), Qt::Key_unknown, QStringLiteral("\u20AC"),
                            Qt::NoModifier);

        watcher.AnswerMessageBoxes({ c.answer });
        Click(c.send ? tool->Button20 : tool->Button22);
        ASSERT_EQ(watcher.Seen().size(), c.send ? 2u : 3u);
        const SeenDialog &question = watcher.Seen().back();
        EXPECT_EQ(question.objectName, "EncodingQuestion");
        EXPECT_EQ(question.title, "Tarvolin");
        EXPECT_EQ(question.text,
                  QStringLiteral("Page 1 was read as Latin-1, and it now holds "
                                 "characters Latin-1 cannot hold: \u20AC"));
        EXPECT_TRUE(question.informativeText.contains(
            QStringLiteral("accented and special characters (\u00E9) change")))
            << question.informativeText.toStdString();

        if (c.send) {
            EXPECT_EQ(Sent(), c.written.isEmpty() ? QByteArray("<nothing sent>") : c.written);
        } else {
            EXPECT_EQ(ReadAll(saved), c.written.isEmpty() ? QByteArray("<missing>") : c.written);
        }
        EXPECT_EQ(Find<QLabel>(tool, "EncodingLabel")->text(),
                  QStringLiteral("Encoding:\n") + c.encodingAfter);
        EXPECT_EQ(PageText(1), QStringLiteral("caf\u00E9\u20AC\n^FS"));
        if (QByteArray(c.answer) == "Keep Latin-1") {
            EXPECT_EQ(Page(1)->textCursor().selectedText(), QStringLiteral("\u20AC"));
        }
    }
}

// A file refused for its size is not remembered: a later cancelled
// "Select File" brings back the last file that did load.
TEST_F(CommandToolTest, SelectFileRemembersOnlyALoadedFile)
{
    const QString small = dir.filePath("small.txt");
    const QString big = dir.filePath("big.txt");
    WriteAll(small, "small");
    {
        QFile f(big);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(MaxPageFileBytes + 1));
    }
    ModalWatcher watcher;
    watcher.AnswerFileDialogs({ small, big, QString() });
    Click(tool->Button25);
    EXPECT_EQ(tool->Edit8->text(), small);
    Click(tool->Button25); // refused: "Text exceeds memo capacity"
    EXPECT_EQ(tool->Edit8->text(), small);
    Click(tool->Button25); // cancelled
    EXPECT_EQ(tool->Edit8->text(), small);
    EXPECT_EQ(PageText(1), "small");
    ASSERT_EQ(watcher.Seen().size(), 4u);
    EXPECT_EQ(watcher.Seen()[2].text, "Text exceeds memo capacity.");
}
