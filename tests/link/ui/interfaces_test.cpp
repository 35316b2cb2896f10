// The printer link over the File, LPT, network and installed-printer
// interfaces, chosen on the real Interface Select tab.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "core/exceptions.h"
#include "link/devicefile.h"
#include "link/printerlink.h"
#include "support/cupsserver.h"
#include "support/tcpsink.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "ui/errorbox.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cups/cups.h>
#include <gtest/gtest.h>

namespace {

// 11 bytes with a 00 inside: the link must never stop at it.
const QByteArray Sample = QByteArray::fromHex("1f1b1f910049500a00c801");

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class LinkTest : public WindowTest
{
protected:
    QString Panel0() const { return form->StatusBar1Panel[0]->text(); }
};

} // namespace

TEST_F(LinkTest, FileInterfaceWritesWholeBufferAndOverwrites)
{
    ModalWatcher watcher;
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    ASSERT_TRUE(tab->RadioButton5->isChecked());
    form->Link().CommandBuffer = Sample;
    Send();
    EXPECT_EQ(ReadAll(dir.filePath("abc.bin.bin")), Sample);
    form->Link().CommandBuffer = "^XA^XZ";
    Send();
    EXPECT_EQ(ReadAll(dir.filePath("abc.bin.bin")), "^XA^XZ");
    // An empty buffer still opens the file: it is truncated.
    form->Link().CommandBuffer.clear();
    Send();
    EXPECT_EQ(ReadAll(dir.filePath("abc.bin.bin")), QByteArray());
    // "Download" names the file exactly as typed.
    form->Link().CommandBuffer = Sample;
    form->Link().SendToPrinter(PrinterLink::FileNaming::AsTyped);
    EXPECT_EQ(ReadAll(dir.filePath("abc.bin")), Sample);
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(LinkTest, FileInterfaceErrorsReachTheErrorBox)
{
    ModalWatcher watcher;
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    form->Link().CommandBuffer = Sample;
    tab->Edit17->setText(QStringLiteral("no-such-dir/abc"));
    Send();
    // An empty name is reported too, for the operation that uses it as typed.
    tab->Edit17->setText(QString());
    Guarded([this] { form->Link().SendToPrinter(PrinterLink::FileNaming::AsTyped); })();
    // A directory in the way.
    QDir(dir.path()).mkdir("x.bin");
    tab->Edit17->setText(QStringLiteral("x"));
    Send();
    ASSERT_EQ(watcher.Seen().size(), 3u);
    EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    EXPECT_EQ(watcher.Seen()[0].text, "File not found.");
    EXPECT_EQ(watcher.Seen()[1].text, "File not found.");
    EXPECT_EQ(watcher.Seen()[2].text, "Invalid filename.");
    // The window goes on working.
    tab->Edit17->setText(QStringLiteral("ok"));
    Send();
    EXPECT_EQ(ReadAll(dir.filePath("ok.bin")), Sample);
}

TEST_F(LinkTest, LptUsesTheSelectedListEntryAndNeverCreatesTheDevice)
{
    ModalWatcher watcher;
    const QString device = dir.filePath("lp-test");
    {
        QFile f(device);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old content that is longer");
    }
    QTest::mouseClick(tab->RadioButton2, Qt::LeftButton);
    tab->ComboBox25->addItem(device);
    tab->ComboBox25->setCurrentIndex(tab->ComboBox25->count() - 1);
    EXPECT_EQ(Panel0(), device);
    form->Link().CommandBuffer = Sample;
    Send();
    EXPECT_EQ(ReadAll(device), Sample);

    // Typed text is not a list entry: the selected entry still counts.
    tab->ComboBox25->setEditText(QStringLiteral("/dev/null"));
    EXPECT_EQ(tab->Target(), LinkTarget::Lpt(device));

    // A missing device is an error, and nothing is created in its place.
    const QString missing = dir.filePath("no-printer");
    tab->ComboBox25->addItem(missing);
    tab->ComboBox25->setCurrentIndex(tab->ComboBox25->count() - 1);
    Send();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, "File not found.");
    EXPECT_FALSE(QFile::exists(missing));
}

TEST(LptDevicePath, MapsPortNamesOntoParallelDevices)
{
    EXPECT_EQ(LptDevicePath("LPT1"), "/dev/lp0");
    EXPECT_EQ(LptDevicePath("LPT4"), "/dev/lp3");
    EXPECT_EQ(LptDevicePath("lpt2"), "/dev/lp1");
    EXPECT_EQ(LptDevicePath("LPT5"), "/dev/LPT5");
    EXPECT_EQ(LptDevicePath("usb/lp0"), "/dev/usb/lp0");
    EXPECT_EQ(LptDevicePath("/tmp/x"), "/tmp/x");
    EXPECT_EQ(LptDevicePath(""), "");
}

TEST_F(LinkTest, SummariesFollowTheSelectedInterfaceOnly)
{
    EXPECT_TRUE(tab->RadioButton4->isChecked());
    EXPECT_EQ(Panel0(), "COM1:9600,N,8,1,Xon/Xoff");

    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    EXPECT_EQ(Panel0(), "File abc.bin.bin");
    tab->Edit17->setText(QString());
    EXPECT_EQ(Panel0(), "File .bin");

    QTest::mouseClick(tab->RadioButton2, Qt::LeftButton);
    EXPECT_EQ(Panel0(), "LPT1");
    tab->ComboBox25->setCurrentIndex(2);
    EXPECT_EQ(Panel0(), "LPT3");
    // Changes of a non-selected interface leave the panel alone.
    tab->Edit17->setText(QStringLiteral("x"));
    tab->DK->setCurrentIndex(1);
    EXPECT_EQ(Panel0(), "LPT3");

    QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
    EXPECT_EQ(Panel0(), "COM2:9600,N,8,1,Xon/Xoff");
    tab->SD1->setCurrentIndex(3);
    EXPECT_EQ(Panel0(), "COM2:115200,N,8,1,Xon/Xoff");
    tab->DK->setEditText(QStringLiteral("/dev/ttyUSB7"));
    EXPECT_EQ(Panel0(), "/dev/ttyUSB7:115200,N,8,1,Xon/Xoff");

    QTest::mouseClick(tab->RadioButton4, Qt::LeftButton);
    const QString first = tab->ComboBox26->count() ? tab->ComboBox26->itemText(0) : QString();
    EXPECT_EQ(Panel0(), "Driver " + first);
}

TEST_F(LinkTest, StartValuesOfTheTab)
{
    EXPECT_EQ(tab->DK->currentText(), "COM1");
    EXPECT_TRUE(tab->DK->isEditable());
    QStringList dk;
    for (int i = 0; i < 4; ++i)
        dk << tab->DK->itemText(i);
    EXPECT_EQ(dk, QStringList({ "COM1", "COM2", "COM3", "COM4" }));
    EXPECT_EQ(tab->SD1->currentText(), "9600");
    EXPECT_EQ(tab->SD1->count(), 4);
    EXPECT_EQ(tab->ComboBox25->currentText(), "LPT1");
    EXPECT_EQ(tab->ComboBox25->count(), 4);
    EXPECT_EQ(tab->Edit17->text(), "abc.bin");
    EXPECT_EQ(tab->ComboBox26->maxVisibleItems(), 20);
    EXPECT_EQ(tab->RadioButton4->text(), "DRIVER(USB)");
    EXPECT_EQ(tab->GroupBox11->title(), "Driver Selection");
    EXPECT_FALSE(Find<QLabel>(tab, "DataBitsLabel")->isVisibleTo(tab));
}

TEST_F(LinkTest, InstalledPrinterGetsOneRawJobWithExactBytes)
{
    TcpSink printer;
    CupsServer cups;
    ASSERT_TRUE(cups.Started()) << cups.Error().toStdString();
    QString error;
    ASSERT_TRUE(cups.AddRawQueue("TestQueue", printer.Port(), &error)) << error.toStdString();
    ASSERT_TRUE(cups.AddRawQueue("SecondQueue", ClosedLoopbackPort(), &error))
        << error.toStdString();

    ModalWatcher watcher;
    tab->FillPrinterList();
    ASSERT_EQ(tab->ComboBox26->count(), 2);
    EXPECT_EQ(tab->ComboBox26->currentIndex(), 0);
    tab->ComboBox26->setCurrentIndex(tab->ComboBox26->findText("TestQueue"));
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    QTest::mouseClick(tab->RadioButton4, Qt::LeftButton);
    EXPECT_EQ(Panel0(), "Driver TestQueue");

    form->Link().CommandBuffer = Sample;
    Send();
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
    auto jobs = printer.WaitForJobs(1, 20000);
    ASSERT_EQ(jobs.size(), 1u);
    EXPECT_EQ(jobs[0], Sample);

    // An empty buffer is no error (CUPS takes no empty job, so none is made).
    form->Link().CommandBuffer.clear();
    Send();
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
    EXPECT_EQ(printer.AcceptedCount(), 1u);

    // A queue that does not exist is reported with CUPS's reason.
    tab->ComboBox26->setEditText("NoSuchQueue");
    Send();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text,
              "Printer \"NoSuchQueue\": The printer or class does not exist.");
}

// A queue added while the program runs appears when the list drops down, as
// the port lists do; looking at the list changes nothing the operator chose.
TEST_F(LinkTest, TheInstalledPrinterListIsReadAgainWhenItDropsDown)
{
    CupsServer cups;
    ASSERT_TRUE(cups.Started()) << cups.Error().toStdString();
    ASSERT_TRUE(cups.AddRawQueue("Shipping", ClosedLoopbackPort()));
    tab->FillPrinterList();
    ASSERT_EQ(tab->ComboBox26->count(), 1);
    QTest::mouseClick(tab->RadioButton4, Qt::LeftButton);
    const QString summary = Panel0();
    QSignalSpy changes(tab->ComboBox26, &QComboBox::currentTextChanged);
    const auto look = [this] {
        tab->ComboBox26->showPopup();
        tab->ComboBox26->hidePopup();
    };
    const auto items = [this] {
        QStringList names;
        for (int i = 0; i < tab->ComboBox26->count(); ++i)
            names << tab->ComboBox26->itemText(i);
        return names;
    };

    ASSERT_TRUE(cups.AddRawQueue("Returns", ClosedLoopbackPort()));
    look();
    EXPECT_EQ(items(), (QStringList { "Returns", "Shipping" }));
    EXPECT_EQ(tab->ComboBox26->currentText(), "Shipping");
    EXPECT_EQ(changes.count(), 0);
    EXPECT_EQ(Panel0(), summary);

    // What was typed stays, and the list still follows the server.
    tab->ComboBox26->setEditText("Typed by hand");
    const int typedChanges = changes.count();
    ASSERT_TRUE(cups.AddRawQueue("Labels", ClosedLoopbackPort()));
    look();
    EXPECT_EQ(items(), (QStringList { "Labels", "Returns", "Shipping" }));
    EXPECT_EQ(tab->ComboBox26->currentText(), "Typed by hand");
    EXPECT_EQ(changes.count(), typedChanges);

    // A chosen queue that went away stays while it is the one shown, and
    // goes once another is chosen.
    tab->ComboBox26->setCurrentIndex(tab->ComboBox26->findText("Returns"));
    ASSERT_TRUE(cups.RemoveQueue("Returns"));
    look();
    EXPECT_EQ(tab->ComboBox26->currentText(), "Returns");
    EXPECT_EQ(Panel0(), "Driver Returns");
    tab->ComboBox26->setCurrentIndex(tab->ComboBox26->findText("Labels"));
    look();
    EXPECT_EQ(items(), (QStringList { "Labels", "Shipping" }));
    EXPECT_EQ(Panel0(), "Driver Labels");
}

TEST_F(LinkTest, InstalledPrinterWithoutServerIsReported)
{
    ModalWatcher watcher;
    const QByteArray socket = dir.filePath("nothing.sock").toLocal8Bit();
    cupsSetServer(socket.constData());
    tab->FillPrinterList();
    EXPECT_EQ(tab->ComboBox26->count(), 0);
    EXPECT_EQ(tab->Target(), LinkTarget::Driver(""));
    tab->ComboBox26->setEditText("Anything");
    form->Link().CommandBuffer = Sample;
    Send();
    cupsSetServer(nullptr);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_TRUE(watcher.Seen()[0].text.startsWith("Printer \"Anything\": "))
        << watcher.Seen()[0].text.toStdString();
}
