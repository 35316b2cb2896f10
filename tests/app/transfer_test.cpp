// Long transfers through the real window: the window stays alive, the
// progress dialog comes after half a second and cancels, clicks made
// meanwhile are not carried out afterwards, and closing asks first. Against
// slow printers on a pseudo-terminal and on loopback.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "files/memorycommands.h"
#include "files/ui/filemanagertab.h"
#include "link/printerlink.h"
#include "network/ui/ipedit.h"
#include "serial/cport.h"
#include "support/ptyprinter.h"
#include "support/slowprinters.h"
#include "support/ui/filewindow.h"
#include "support/ui/windowtest.h"
#include "tool/ui/commandtooltab.h"
#include "ui/transferprogress.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <vector>

namespace {

QByteArray Payload(qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = "^XA^FO50,50^A0N,30,30^FDTarvolin^FS^XZ\r\n"[i % 40];
    return data;
}

// Answers modal dialogs as they come: the exit question with the next
// scripted answer, every other message box with OK. Keeps what they said.
class Answerer
{
public:
    Answerer()
    {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
        timer_.start();
    }
    std::vector<QMessageBox::StandardButton> exitAnswers;
    QStringList seen; // "<objectName>: <text>"

private:
    void Poll()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen << box->objectName() + ": " + box->text();
        if (box->objectName() == "ExitQuestion" && !exitAnswers.empty()) {
            box->button(exitAnswers.front())->click();
            exitAnswers.erase(exitAnswers.begin());
            return;
        }
        box->done(QMessageBox::Ok);
    }

    QTimer timer_;
};

// Counts every time a progress dialog is shown, however briefly.
class DialogShows : public QObject
{
public:
    DialogShows() { qApp->installEventFilter(this); }
    ~DialogShows() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->objectName() == "TransferDialog")
            ++count;
        return false;
    }
};

// Waits (bounded) without letting the event loop turn.
template<class Pred> bool WaitWithoutEvents(Pred pred)
{
    QElapsedTimer waited;
    waited.start();
    while (!pred()) {
        if (waited.elapsed() > 5000)
            return false;
        QThread::msleep(1);
    }
    return true;
}

// The window's observer with a hook that runs each time the link asks it
// whether to stop, knowing the stage and how far it got.
class HookedObserver : public ProgressObserver
{
public:
    using Hook = std::function<void(const QString &stage, qint64 done)>;
    HookedObserver(std::unique_ptr<ProgressObserver> inner, Hook hook)
        : inner_(std::move(inner))
        , hook_(std::move(hook))
    { }
    void Stage(const QString &what, qint64 totalBytes, double expected) override
    {
        stage_ = what;
        done_ = 0;
        inner_->Stage(what, totalBytes, expected);
    }
    void Progress(qint64 doneBytes) override
    {
        done_ = doneBytes;
        inner_->Progress(doneBytes);
    }
    bool CancelRequested() override
    {
        const bool cancel = inner_->CancelRequested();
        hook_(stage_, done_);
        return cancel;
    }

private:
    std::unique_ptr<ProgressObserver> inner_;
    Hook hook_;
    QString stage_;
    qint64 done_ = 0;
};

class TransferWindowTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        tool = form->TabSheet4;
    }
    void UseCom(const QString &device)
    {
        QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
        tab->DK->setEditText(device);
        ASSERT_EQ(form->CP->Port(), device);
    }
    // Puts a file of these bytes into "Send File" and the text a stray
    // click would send onto the visible page.
    void PrepareSendFile(const QByteArray &bytes)
    {
        const QString path = dir.filePath("firmware.bin");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        form->PageControl1->setCurrentWidget(tool);
        tool->Edit8->setText(path);
        tool->Memo[0]->setPlainText("^XA^JUF^XZ");
    }
    // Calls step every 20 ms while an operation runs: the timer fires inside
    // the link's waits, as the window's own timers do.
    void During(std::function<void(qint64 sinceStart)> step)
    {
        duringStep = std::move(step);
        during.setInterval(20);
        QObject::connect(&during, &QTimer::timeout, [this] {
            if (!form->Transfers().Running())
                return;
            if (!sinceStart.isValid())
                sinceStart.start();
            duringStep(sinceStart.elapsed());
        });
        during.start();
    }
    static qint64 CountIn(const QString &message, const QString &pattern)
    {
        const auto match = QRegularExpression(pattern).match(message);
        EXPECT_TRUE(match.hasMatch()) << message.toStdString();
        return QLocale(QLocale::English).toLongLong(match.captured(1));
    }

    CommandToolTab *tool = nullptr;
    QTimer during;
    QElapsedTimer sinceStart;
    std::function<void(qint64)> duringStep;
};

const QString CancelledSend
    = "^CancelledBox: Cancelled after ([0-9,]+) of 1,048,576 bytes\\. The printer may be waiting "
      "for the rest of the command: switch it off and on before the next command\\.$";

} // namespace

TEST_F(TransferWindowTest, ALongSendShowsItsProgressKeepsTheWindowAliveAndCancels)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    UseCom(pty.SlavePath());
    const QByteArray data = Payload(1024 * 1024);
    PrepareSendFile(data);
    SlowPtyReader reader(pty, 64 * 1024);
    Answerer answerer;

    const QString clockAtStart = form->StatusBar1Panel[3]->text();
    bool clockTicked = false;
    bool strayClickMade = false;
    bool cancelled = false;
    qint64 firstDialogAt = -1;
    QString what;
    std::vector<int> bar;
    QElapsedTimer sinceCancel;
    During([&](qint64 ms) {
        TransferDialog *dialog = form->Transfers().Dialog();
        clockTicked = clockTicked || form->StatusBar1Panel[3]->text() != clockAtStart;
        if (!strayClickMade && ms > 200) {
            // Would send the page's text once the transfer is over.
            QTest::mouseClick(tool->Button20, Qt::LeftButton);
            strayClickMade = true;
        }
        if (!dialog)
            return;
        if (firstDialogAt < 0)
            firstDialogAt = ms;
        what = dialog->WhatLabel->text();
        bar.push_back(dialog->Bar->value());
        if (bar.size() == 25 && qEnvironmentVariableIsSet("TARVOLIN_SHOTS")) {
            const QDir shots(qEnvironmentVariable("TARVOLIN_SHOTS"));
            dialog->grab().save(shots.filePath("transfer-dialog.png"));
            form->grab().save(shots.filePath("transfer-window.png"));
        }
        if (!cancelled && clockTicked && bar.size() >= 30 && bar.back() > bar.front()) {
            QTest::mouseClick(dialog->CancelButton, Qt::LeftButton);
            cancelled = true;
            sinceCancel.start();
        }
        if (ms > 20000)
            dialog->RequestCancel(); // a fault: do not hang
    });
    qint64 cancelToEnd = -1;
    QObject::connect(&form->Transfers(), &TransferMonitor::Finished, [&] {
        if (sinceCancel.isValid())
            cancelToEnd = sinceCancel.elapsed();
    });
    QTest::mouseClick(tool->Button19, Qt::LeftButton);

    EXPECT_GE(firstDialogAt, 400);
    EXPECT_TRUE(clockTicked) << "the window's clock stood still";
    EXPECT_EQ(what, "Sending 1,048,576 bytes to " + pty.SlavePath() + " (9600 baud)");
    ASSERT_TRUE(cancelled);
    EXPECT_GT(cancelToEnd, -1);
    EXPECT_LT(cancelToEnd, 3000);
    ASSERT_EQ(answerer.seen.size(), 1) << answerer.seen.join('|').toStdString();
    const qint64 sent = CountIn(answerer.seen[0], CancelledSend);
    EXPECT_GT(sent, 0);
    // Exactly what the message says arrived, and the stray click sent nothing.
    QTest::qWait(200);
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == data.left(sent));
    EXPECT_FALSE(form->CP->Connected());
    EXPECT_EQ(form->Transfers().Dialog(), nullptr);
}

// The device goes away while the dialog shows: one error that says how far
// the send got, the port released, and the window ready for the next send.
TEST_F(TransferWindowTest, AnUnpluggedDeviceEndsTheSendWithOneErrorAndTheWindowCarriesOn)
{
    auto pty = std::make_unique<PtyPair>();
    ASSERT_TRUE(pty->IsValid());
    const QString device = pty->SlavePath();
    UseCom(device);
    PrepareSendFile(Payload(1024 * 1024));
    Answerer answerer;
    bool unplugged = false;
    During([&](qint64 ms) {
        if (!unplugged && form->Transfers().Dialog()) {
            pty->ReleaseSlave();
            pty->CloseMaster();
            unplugged = true;
        }
        if (ms > 20000)
            form->Transfers().RequestCancel(); // a fault: do not hang
    });
    QTest::mouseClick(tool->Button19, Qt::LeftButton);
    ASSERT_TRUE(unplugged);
    ASSERT_EQ(answerer.seen.size(), 1) << answerer.seen.join('|').toStdString();
    const qint64 sent = CountIn(answerer.seen[0],
                                QStringLiteral("^ErrorBox: WriteFile function failed \\(win error "
                                               "code: %1\\) after ([0-9,]+) of 1,048,576 "
                                               "bytes\\.$")
                                    .arg(EIO));
    EXPECT_GT(sent, 0);
    EXPECT_FALSE(form->Transfers().Running());
    EXPECT_EQ(form->Transfers().Dialog(), nullptr);
    EXPECT_FALSE(form->CP->Connected());

    // The next send, to a printer that is there, goes out whole.
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    UseCom(printer.SlavePath());
    tool->Memo[0]->setPlainText("^XA^FDback^FS^XZ");
    QTest::mouseClick(tool->Button20, Qt::LeftButton);
    EXPECT_EQ(printer.Received(18), "^XA^FDback^FS^XZ\r\n");
    EXPECT_EQ(answerer.seen.size(), 1) << answerer.seen.join('|').toStdString();
}

TEST_F(TransferWindowTest, AShortSendShowsNoDialog)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    UseCom(printer.SlavePath());
    form->PageControl1->setCurrentWidget(tool);
    const QByteArray text = Payload(1024);
    tool->Memo[0]->setPlainText(QString::fromLatin1(text).remove('\r'));
    DialogShows shows;
    Answerer answerer;
    QTest::mouseClick(tool->Button20, Qt::LeftButton);
    EXPECT_EQ(printer.Received(text.size() + 2), text + "\r\n");
    QTest::qWait(100);
    EXPECT_EQ(shows.count, 0);
    EXPECT_TRUE(answerer.seen.isEmpty()) << answerer.seen.join('|').toStdString();
}

TEST_F(TransferWindowTest, ClosingDuringATransferAsksFirstAndSaysHowFarItGot)
{
    PtyPair pty;
    ASSERT_TRUE(pty.IsValid());
    UseCom(pty.SlavePath());
    const QByteArray data = Payload(1024 * 1024);
    PrepareSendFile(data);
    SlowPtyReader reader(pty, 64 * 1024);
    Answerer answerer;
    answerer.exitAnswers = { QMessageBox::No, QMessageBox::Yes };
    int step = 0;
    During([&](qint64 ms) {
        if (step == 0 && ms > 300) {
            step = 1;
            // "Exit" stays within reach and asks; the answer is no.
            QTest::mouseClick(form->Button23, Qt::LeftButton);
            EXPECT_TRUE(form->isVisible());
            EXPECT_TRUE(form->Transfers().Running());
        } else if (step == 1 && ms > 800) {
            step = 2;
            // The close box: yes, cancel and exit.
            form->close();
        } else if (ms > 20000) {
            form->Transfers().RequestCancel(); // a fault: do not hang
        }
    });
    QTest::mouseClick(tool->Button19, Qt::LeftButton);
    EXPECT_EQ(step, 2);
    // The window closes once the cancel message has been read.
    QElapsedTimer clock;
    clock.start();
    while (form->isVisible() && clock.elapsed() < 5000)
        QTest::qWait(20);
    EXPECT_FALSE(form->isVisible());
    const QString question
        = "ExitQuestion: The printer is still receiving a command. Cancel it and exit?";
    ASSERT_EQ(answerer.seen.size(), 3) << answerer.seen.join('|').toStdString();
    EXPECT_EQ(answerer.seen[0], question);
    EXPECT_EQ(answerer.seen[1], question);
    const qint64 sent = CountIn(answerer.seen[2], CancelledSend);
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), sent);
    EXPECT_TRUE(got == data.left(sent));
}

// The file list over a slow line: the window shows what it is waiting for,
// and the text box gets the same list as a window that does not wait.
TEST_F(TransferWindowTest, AFileListWithASlowReplyGivesTheSameText)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    UseCom(printer.SlavePath());
    FileManagerTab *files = form->TabSheet2;
    form->PageControl1->setCurrentWidget(files);
    QByteArray reply = "DRAM FILES: ";
    for (int i = 0; reply.size() < 240; ++i)
        reply += "FONT" + QByteArray::number(i) + ".TTF ";
    reply += "FLASH FILES: LOGO.GRF\r";
    printer.SetReply(reply, 0, 3); // faster than the reads, slower than the line
    QByteArray expected = reply;
    expected.replace("\r", "\r\n");
    // As the text box shows it.
    QPlainTextEdit shown;
    shown.setPlainText(ReplyText(FileListLayout(expected)));
    const QString list = shown.toPlainText();
    Answerer answerer;
    QString what;
    During([&](qint64) {
        if (TransferDialog *dialog = form->Transfers().Dialog())
            what = dialog->WhatLabel->text();
    });
    files->Edit18->setText("-");
    files->BitBtn1->click();
    EXPECT_EQ(what, "Reading the printer's reply");
    const QString watched = files->FilelistMemo->toPlainText();
    EXPECT_EQ(watched, list);

    form->Link().SetProgressSource({});
    files->FilelistMemo->clear();
    files->BitBtn1->click();
    EXPECT_EQ(files->FilelistMemo->toPlainText(), watched);
    // The reply was the exchange's own: nothing reached the packet handler.
    EXPECT_EQ(files->Edit18->text(), "-");
    EXPECT_TRUE(answerer.seen.isEmpty()) << answerer.seen.join('|').toStdString();

    // A printer that answers at once: the first batch the port's thread
    // finds holds the reply's first bytes, and waits while the exchange reads
    // the reply itself. Bytes that come after the reply are that batch's when
    // the port closes, and reach the packet handler then, not while the
    // window waits.
    printer.SetReply(reply, 0, 3);
    bool batchWaiting = false;
    bool deliveredEarly = false;
    form->Link().SetProgressSource([&]() -> std::unique_ptr<ProgressObserver> {
        auto inner = form->Transfers().Begin();
        if (!inner)
            return nullptr;
        return std::make_unique<HookedObserver>(
            std::move(inner), [&](const QString &stage, qint64 done) {
                deliveredEarly = deliveredEarly || files->Edit18->text() != "-";
                if (batchWaiting || !stage.startsWith("Sending") || done == 0)
                    return;
                batchWaiting = WaitWithoutEvents([&] { return form->CP->DeliveryWaiting(); });
            });
    });
    bool lateQueued = false;
    form->CP->OnBeforeClose = [&](QObject *) {
        if (!printer.Send("LATE"))
            return;
        lateQueued = WaitWithoutEvents([&] { return form->CP->InputQueueCount() == 4; });
    };
    files->FilelistMemo->clear();
    files->BitBtn1->click();
    form->CP->OnBeforeClose = nullptr;
    ASSERT_TRUE(batchWaiting);
    ASSERT_TRUE(lateQueued);
    EXPECT_FALSE(deliveredEarly);
    EXPECT_EQ(files->Edit18->text(), "Str1");
    // The packet came before the list was shown, which replaced it.
    EXPECT_EQ(files->FilelistMemo->toPlainText(), watched);
    EXPECT_TRUE(answerer.seen.isEmpty()) << answerer.seen.join('|').toStdString();
}

TEST_F(TransferWindowTest, AConnectThatHangsIsCancelledFromTheDialog)
{
    UnansweredListener listener;
    ASSERT_TRUE(listener.Full());
    QTest::mouseClick(tab->RadioButton3, Qt::LeftButton);
    tab->IPEdit1->SetIPString("127.0.0.1");
    form->Link().SetNetworkPort(listener.Port());
    form->PageControl1->setCurrentWidget(tool);
    tool->Memo[0]->setPlainText("^XA^XZ");
    Answerer answerer;
    QString what;
    During([&](qint64 ms) {
        if (TransferDialog *dialog = form->Transfers().Dialog()) {
            what = dialog->WhatLabel->text();
            dialog->CancelButton->click();
        }
        if (ms > 20000)
            form->Transfers().RequestCancel();
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(tool->Button20, Qt::LeftButton);
    EXPECT_LT(clock.elapsed(), 4000); // before the connect's own limit
    EXPECT_EQ(what, QStringLiteral("Connecting to 127.0.0.1:%1").arg(listener.Port()));
    EXPECT_EQ(answerer.seen, QStringList { "CancelledBox: Connect cancelled" });
}

TEST(TransferFigures, HowFarAtWhatRateAndHowLong)
{
    const struct
    {
        qint64 done, total;
        double rate;
        QString text;
    } cases[] = {
        { 1048576, 4194304, 960,
          "1,048,576 of 4,194,304 bytes (25%), 960 bytes/s, about 54 min 37 s left" },
        { 0, 4000022, 960, "0 of 4,000,022 bytes (0%), 960 bytes/s, about 1 h 09 min left" },
        { 1000000, 100000000, 20e6,
          "1,000,000 of 100,000,000 bytes (1%), 19.1 MB/s, about 5 s left" },
        { 65536, 1048576, 65536, "65,536 of 1,048,576 bytes (6%), 64 KB/s, about 15 s left" },
        { 10, 10, 5, "10 of 10 bytes (100%), 5 bytes/s" },
        { 0, 0, 0, "0 of 0 bytes" },
        // A reply or a connect: no total, so no time left.
        { 5000, -1, 200, "5,000 bytes, 200 bytes/s" },
        { 0, -1, 0, "0 bytes" },
    };
    for (const auto &c : cases)
        EXPECT_EQ(TransferFigures(c.done, c.total, c.rate), c.text);
}
