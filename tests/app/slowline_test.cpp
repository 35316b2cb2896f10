// A serial send on a slow line, through the real window: the progress dialog
// counts what the line carried, so its rate and time left are true, and a
// printer that takes nothing is named in the dialog, which waits for Cancel.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "support/pty.h"
#include "support/slowprinters.h"
#include "support/ui/filewindow.h"
#include "tool/ui/commandtooltab.h"
#include "ui/transferprogress.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace {

QByteArray LabelText(qsizetype size)
{
    QByteArray data(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        data[i] = "^XA^FO50,50^A0N,30,30^FDTarvolin^FS^XZ\r\n"[i % 40];
    return data;
}

// "about 1 min 29 s left", "about 22 s left" in seconds; -1 when not shown.
double SecondsLeft(const QString &figures)
{
    static const QRegularExpression left(
        QStringLiteral("about (?:(\\d+) h )?(?:(\\d+) min )?(\\d+)(?: min)? (?:s )?left"));
    const auto m = left.match(figures);
    if (!m.hasMatch())
        return -1;
    return m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt();
}

class SlowLineTest : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(pty.IsValid());
        QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
        tab->DK->setEditText(pty.SlavePath());
        tool = form->TabSheet4;
        form->PageControl1->setCurrentWidget(tool);
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (!form->Transfers().Running())
                return;
            if (!clock.isValid())
                clock.start();
            step(clock.elapsed());
        });
        timer.start();
        // Message boxes are answered and kept.
        boxes.setInterval(5);
        QObject::connect(&boxes, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen << box->objectName() + ": " + box->text();
                box->done(QMessageBox::Ok);
            }
        });
        boxes.start();
    }

    void SendFile(const QByteArray &bytes)
    {
        const QString path = dir.filePath("font.bin");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.close();
        tool->Edit8->setText(path);
        QTest::mouseClick(tool->Button19, Qt::LeftButton);
    }

    static qint64 Count(const QString &figures)
    {
        return QLocale(QLocale::English).toLongLong(figures.section(QLatin1Char(' '), 0, 0));
    }

    PtyPair pty;
    CommandToolTab *tool = nullptr;
    QTimer timer;
    QTimer boxes;
    QElapsedTimer clock;
    std::function<void(qint64)> step;
    QStringList seen;
};

TEST_F(SlowLineTest, TheDialogCountsWhatTheLineCarried)
{
    const qint64 capacity = PtyCapacity();
    ASSERT_GT(capacity, 0);
    constexpr qint64 Total = 24 * 1024;
    SlowPtyReader reader(pty, 960);
    qint64 last = 0;
    int rateChecks = 0;
    int leftChecks = 0;
    step = [&](qint64 ms) {
        TransferDialog *dialog = form->Transfers().Dialog();
        if (!dialog)
            return;
        const QString figures = dialog->FiguresLabel->text();
        if (figures.isEmpty())
            return;
        SCOPED_TRACE(figures.toStdString());
        const qint64 count = Count(figures);
        EXPECT_GE(count, last);
        last = count;
        // What was written beyond what the printer read waits in the
        // pseudo-terminal; the count does not run ahead of that.
        EXPECT_LE(count, reader.Count() + capacity + 240);
        if (ms >= 2500) {
            static const QRegularExpression rate(QStringLiteral(", ([0-9,]+) bytes/s"));
            const auto m = rate.match(figures);
            if (m.hasMatch()) {
                EXPECT_NEAR(QLocale(QLocale::English).toDouble(m.captured(1)), 960, 240);
                ++rateChecks;
            }
            const double left = SecondsLeft(figures);
            if (left >= 0) {
                // The printer reads 960 bytes a second: the truth is known.
                const double truth = (Total - reader.Count()) / 960.0;
                EXPECT_NEAR(left, truth, truth * 0.35);
                ++leftChecks;
            }
        }
        if (ms >= 4500)
            dialog->CancelButton->click();
        if (ms > 30000)
            dialog->RequestCancel(); // a fault: do not hang
    };
    SendFile(LabelText(Total));
    EXPECT_GT(rateChecks, 20);
    EXPECT_GT(leftChecks, 20);
    ASSERT_EQ(seen.size(), 1) << seen.join('|').toStdString();
    const auto m = QRegularExpression("^CancelledBox: Cancelled after ([0-9,]+) of 24,576 bytes")
                       .match(seen[0]);
    ASSERT_TRUE(m.hasMatch()) << seen[0].toStdString();
    // The printer got what the message says.
    const QByteArray got = reader.Finish();
    EXPECT_EQ(got.size(), QLocale(QLocale::English).toLongLong(m.captured(1)));
    EXPECT_TRUE(got == LabelText(Total).left(got.size()));
}

TEST_F(SlowLineTest, APrinterThatTakesNothingIsNamedAndWaitedForUntilCancel)
{
    tab->SD1->setCurrentIndex(tab->SD1->findText("115200"));
    QString waiting;
    qint64 waitingFrom = -1;
    qint64 lastRise = 0;
    qint64 last = -1;
    bool cancelled = false;
    step = [&](qint64 ms) {
        TransferDialog *dialog = form->Transfers().Dialog();
        if (!dialog)
            return;
        const qint64 count = Count(dialog->FiguresLabel->text());
        if (count > last) {
            last = count;
            lastRise = ms;
        }
        if (dialog->WaitingLabel->isVisible() && waitingFrom < 0) {
            waitingFrom = ms;
            if (qEnvironmentVariableIsSet("TARVOLIN_SHOTS"))
                dialog->grab().save(
                    QDir(qEnvironmentVariable("TARVOLIN_SHOTS")).filePath("transfer-stall.png"));
        }
        waiting = dialog->WaitingLabel->text();
        // Still waiting five seconds after it said so: it does not give up.
        if (!cancelled && waitingFrom >= 0 && ms - waitingFrom > 5000) {
            dialog->CancelButton->click();
            cancelled = true;
        }
        if (ms > 40000)
            dialog->RequestCancel(); // a fault: do not hang
    };
    SendFile(LabelText(256 * 1024));
    ASSERT_GE(waitingFrom, 0) << "the dialog never said why it waits";
    EXPECT_LE(waitingFrom - lastRise, 15000);
    EXPECT_GE(waitingFrom - lastRise, 9000);
    EXPECT_TRUE(QRegularExpression(
                    "^Waiting for the printer: it has taken nothing for 1[4-9] s \\(the line is "
                    "not draining\\)\\.\nIs it out of paper or ribbon, paused, or showing an "
                    "error\\? Is the cable in\\?")
                    .match(waiting)
                    .hasMatch())
        << waiting.toStdString();
    EXPECT_TRUE(cancelled);
    ASSERT_EQ(seen.size(), 1) << seen.join('|').toStdString();
    EXPECT_TRUE(seen[0].startsWith("CancelledBox: Cancelled after ")) << seen[0].toStdString();
}

} // namespace
