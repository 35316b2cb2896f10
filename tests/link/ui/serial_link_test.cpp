// The printer link over COM and the network, chosen on the real Interface
// Select tab: sends and request/reply exchanges against a printer on a
// pseudo-terminal and a loopback listener.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "link/printerlink.h"
#include "network/ui/ipedit.h"
#include "serial/cport.h"
#include "support/ptyprinter.h"
#include "support/tcpsink.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"
#include "ui/errorbox.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

namespace {

const QByteArray Sample = QByteArray::fromHex("1f1b1f910049500a00c801");

class WindowLinkTest : public WindowTest
{
protected:
    void ChooseCom(const QString &device)
    {
        QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
        ASSERT_TRUE(tab->RadioButton1->isChecked());
        tab->DK->setEditText(device);
        ASSERT_EQ(form->CP->Port(), device);
    }
    // Nothing when the exchange failed: the window has shown why.
    std::optional<QByteArray> Exchange(const ExchangeOptions &options)
    {
        std::optional<QByteArray> reply;
        Guarded([&] { reply = form->Link().SerialExchange(options); })();
        return reply;
    }
};

} // namespace

TEST_F(WindowLinkTest, ComSendsWholeBufferAndClosesThePort)
{
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    ModalWatcher watcher;
    ChooseCom(printer.SlavePath());
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), printer.SlavePath() + ":9600,N,8,1,Xon/Xoff");
    form->Link().CommandBuffer = Sample;
    Send();
    EXPECT_EQ(printer.Received(Sample.size()), Sample);
    EXPECT_FALSE(form->CP->Connected());
    // An empty buffer opens and closes the port and writes nothing.
    form->Link().CommandBuffer.clear();
    Send();
    EXPECT_FALSE(form->CP->Connected());
    QTest::qWait(50);
    EXPECT_EQ(printer.Received(), Sample);
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(WindowLinkTest, ComSpeedComesFromTheBaudRateBox)
{
    PtyPrinter printer;
    ChooseCom(printer.SlavePath());
    tab->SD1->setCurrentIndex(tab->SD1->findText("115200"));
    EXPECT_EQ(form->CP->BaudRate(), br115200);
    // While another interface is selected the port keeps its settings.
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    tab->DK->setEditText("COM2");
    tab->SD1->setCurrentIndex(0);
    EXPECT_EQ(form->CP->Port(), printer.SlavePath());
    EXPECT_EQ(form->CP->BaudRate(), br115200);
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), "File abc.bin.bin");
}

// A missing serial device ends the click: the error box names the system
// error. A link without a port of its own opens one set up from the target.
TEST_F(WindowLinkTest, MissingComDeviceStopsTheSend)
{
    ModalWatcher watcher;
    TComPort port;
    ConfigurePrinterPort(port);
    port.SetPort(dir.filePath("ttyNothing"));
    PrinterLink windowLink(&port, [&] { return LinkTarget::Com(port.Port()); });
    PrinterLink ownLink([&] { return LinkTarget::Com(dir.filePath("ttyNothing")); });
    for (PrinterLink *link : { &windowLink, &ownLink }) {
        watcher.Clear();
        link->CommandBuffer = Sample;
        Guarded([&] { link->SendToPrinter(); })();
        ASSERT_EQ(watcher.Seen().size(), 1u);
        EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
        EXPECT_EQ(watcher.Seen()[0].text, "Unable to open com port (win error code: 2)");
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(WindowLinkTest, ExchangeNeedsCom)
{
    ModalWatcher watcher;
    form->Link().ReplyText = "previous";
    form->Link().CommandBuffer = "\x1b!?";
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    const auto reply = Exchange({ 20, false, false });
    EXPECT_FALSE(reply.has_value());
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, "You must select COM port!!");
    EXPECT_EQ(form->Link().ReplyText, "previous");
    // Nothing went out over the File interface either.
    EXPECT_FALSE(QFile::exists(dir.filePath("abc.bin.bin")));
}

TEST_F(WindowLinkTest, ExchangeWithSilentPrinterReturnsEmpty)
{
    PtyPrinter printer;
    ModalWatcher watcher;
    ChooseCom(printer.SlavePath());
    form->Link().CommandBuffer = "\x1b!?";
    QElapsedTimer clock;
    clock.start();
    const auto reply = Exchange({ 20, false, false });
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(*reply, QByteArray());
    EXPECT_GE(clock.elapsed(), 25); // the post-write wait and one pause
    EXPECT_EQ(printer.Received(3), "\x1b!?");
    EXPECT_FALSE(form->CP->Connected());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(WindowLinkTest, ExchangeCollectsAPacedReplyWhole)
{
    PtyPrinter printer;
    ModalWatcher watcher;
    const QByteArray reply = "0123456789ABCDEFGHIJ";
    printer.SetReply(reply, 0, 1); // one byte per millisecond, like 9600 baud
    ChooseCom(printer.SlavePath());
    form->Link().CommandBuffer = "CLS\r\n~!A\r\n";
    const auto got = Exchange({ 50, true, false });
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, reply);
    EXPECT_EQ(form->Link().ReplyText, reply);
    EXPECT_EQ(printer.Received(10), "CLS\r\n~!A\r\n");
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(WindowLinkTest, ExchangeInsertsLfAfterCrWhenAsked)
{
    PtyPrinter printer;
    printer.SetReply("A\rB\r\nC");
    ChooseCom(printer.SlavePath());
    form->Link().CommandBuffer = "~!F\r\n";
    const auto withLf = Exchange({ 50, true, true });
    ASSERT_TRUE(withLf.has_value());
    EXPECT_EQ(*withLf, "A\r\nB\r\n\nC");
    const auto plain = Exchange({ 50, true, false });
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(*plain, "A\rB\r\nC");
}

TEST_F(WindowLinkTest, EndlessReplyIsCutOffAndReported)
{
    PtyPrinter printer;
    ModalWatcher watcher;
    printer.SetReply("status ", 0, 1, true);
    ChooseCom(printer.SlavePath());
    form->Link().SetReplyLimits(100, 60000);
    form->Link().CommandBuffer = "~!F\r\n";
    const auto reply = Exchange({ 20, false, false });
    EXPECT_FALSE(reply.has_value());
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text,
              "The printer's reply did not end: the exchange was stopped after 100 bytes.");
    EXPECT_FALSE(form->CP->Connected());
}

TEST_F(WindowLinkTest, NetworkSendDeliversWholeBuffer)
{
    TcpSink printer;
    ModalWatcher watcher;
    QTest::mouseClick(tab->RadioButton3, Qt::LeftButton);
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), "ETHERNET 192.168.123.100");
    tab->IPEdit1->SetIPString("127.0.0.1");
    form->Link().SetNetworkPort(printer.Port());
    form->Link().CommandBuffer = Sample;
    Send();
    form->Link().CommandBuffer.clear();
    Send();
    const auto jobs = printer.WaitForJobs(2);
    ASSERT_EQ(jobs.size(), 2u);
    EXPECT_EQ(jobs[0], Sample);
    EXPECT_EQ(jobs[1], QByteArray());
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(WindowLinkTest, UnreachablePrinterGivesOneConnectError)
{
    ModalWatcher watcher;
    QTest::mouseClick(tab->RadioButton3, Qt::LeftButton);
    tab->IPEdit1->SetIPString("127.0.0.1");
    const quint16 closed = ClosedLoopbackPort();
    form->Link().SetNetworkPort(closed);
    form->Link().CommandBuffer = Sample;
    Send();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, "Connect error");
    EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    // Below it: which printer, the system's reason and what to check.
    const QString advice = watcher.Seen()[0].informativeText;
    EXPECT_TRUE(advice.contains(QStringLiteral("127.0.0.1:%1").arg(closed)))
        << advice.toStdString();
    EXPECT_TRUE(advice.contains(QString::fromLocal8Bit(std::strerror(ECONNREFUSED))))
        << advice.toStdString();
    EXPECT_TRUE(advice.contains(QStringLiteral("Is the printer switched on")))
        << advice.toStdString();

    // A message about the selection has nothing below it.
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    watcher.Clear();
    EXPECT_FALSE(Exchange({}).has_value());
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, "You must select COM port!!");
    EXPECT_TRUE(watcher.Seen()[0].informativeText.isEmpty());
}

TEST_F(WindowLinkTest, AddressChangesShowOnlyWhileEthernetIsSelected)
{
    QTest::mouseClick(tab->RadioButton2, Qt::LeftButton);
    auto *field = Find<QLineEdit>(tab, "IPEdit1Field3");
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, "7");
    EXPECT_EQ(tab->IPEdit1->IPString(), "192.168.123.7");
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), "LPT1");
    QTest::mouseClick(tab->RadioButton3, Qt::LeftButton);
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), "ETHERNET 192.168.123.7");
    field->selectAll();
    QTest::keyClicks(field, "1");
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), "ETHERNET 192.168.123.1");
    EXPECT_TRUE(tab->IPEdit1->font().bold());
}
