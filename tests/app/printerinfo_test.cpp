// Tools > Printer Information and Tools > Find Printers on the Network,
// through the real window and the real tarvolin-printer.
#include "app/discoverywindow.h"
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "app/printerinfowindow.h"
#include "network/ui/ipedit.h"
#include "support/printerprocess.h"
#include "support/ptyprinter.h"
#include "support/tcpsink.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/statuslamps.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class PrinterInfoTest : public WindowTest
{
protected:
    PrinterInfoWindow *Open()
    {
        form->PrinterInformation->trigger();
        EXPECT_TRUE(form->PrinterInfo && form->PrinterInfo->isVisible());
        form->PrinterInfo->SetClock([] { return QStringLiteral("10:41:02"); });
        form->PrinterInfo->Refresh();
        return form->PrinterInfo;
    }
    QStringList LitLamps(PrinterInfoWindow *w)
    {
        QStringList lit;
        for (const auto &[caption, lamp] : w->Lamps)
            if (lamp->isEnabled())
                lit << caption + QLatin1Char(':')
                        + lamp->palette().color(QPalette::WindowText).name();
        return lit;
    }
    QString Setting(PrinterInfoWindow *w, const QString &name)
    {
        for (int row = 0; row < w->ConfigTable->rowCount(); ++row)
            if (w->ConfigTable->item(row, 0)->text() == name)
                return w->ConfigTable->item(row, 1)->text();
        return QStringLiteral("(missing)");
    }
};

TEST_F(PrinterInfoTest, OverComNetworkAndAUsbDeviceItShowsWhatThePrinterHolds)
{
    PrinterProcess printer({ QStringLiteral("--pty"), QStringLiteral("--tcp"), QStringLiteral("0"),
                             QStringLiteral("--discovery"), QStringLiteral("0"),
                             QStringLiteral("--status"), QStringLiteral("head-open,ribbon-out") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    // Settings stored earlier, sent over the network.
    tab->SelectEthernet(QStringLiteral("127.0.0.1"));
    form->Link().SetNetworkPort(printer.TcpPort());
    form->Link().CommandBuffer = "^XA^PR2~SD22^LL300^MTT^XZ";
    Send();
    ASSERT_FALSE(printer.WaitForLine(QStringLiteral("format")).isEmpty());

    ModalWatcher watcher;
    const auto check = [&](const char *how) {
        SCOPED_TRACE(how);
        PrinterInfoWindow *w = Open();
        EXPECT_EQ(w->StatementLabel->text(), QString());
        EXPECT_EQ(w->IdentityLabel->text(),
                  "TARVOLIN VP-200dpi, firmware V1.01VP, 8 dots/mm, 8192 KB");
        EXPECT_EQ(w->AsOfLabel->text(), "as of 10:41:02");
        EXPECT_EQ(LitLamps(w), (QStringList { "Head Open:#ff0000", "Ribbon Out:#ff0000" }));
        EXPECT_EQ(w->Lamps.at("Head Open")->text(), "\u2716 Head Open");
        EXPECT_EQ(w->Lamps.at("Ready")->text(), "\u25CB Ready");
        EXPECT_EQ(w->ModesLabel->text(), "Modes: Thermal Transfer, Tear Off");
        EXPECT_EQ(Setting(w, "DARKNESS"), "+22.0");
        EXPECT_EQ(Setting(w, "PRINT SPEED"), "2.0 IPS");
        EXPECT_EQ(Setting(w, "LABEL LENGTH"), "0300");
        EXPECT_TRUE(w->FilesText->toPlainText().startsWith("DRAM FILES:"));
        EXPECT_EQ(w->FreeMemoryLabel->text(), "Free memory: DRAM 8192 KB, FLASH 65536 KB");
    };
    check("network");
    EXPECT_EQ(
        form->PrinterInfo->windowTitle(),
        QStringLiteral("Printer Information \u2014 ETHERNET 127.0.0.1:%1").arg(printer.TcpPort()));
    tab->SelectCom(printer.PtyPath());
    check("serial");
    // A USB-like device: the pseudo-terminal given as the LPT device path.
    tab->ComboBox25->addItem(printer.PtyPath());
    tab->ComboBox25->setCurrentIndex(tab->ComboBox25->count() - 1);
    QTest::mouseClick(tab->RadioButton2, Qt::LeftButton);
    check("usb device");
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterInfoTest, APartThePrinterDoesNotAnswerIsNamedAndTheOthersStillShow)
{
    // A printer that identifies itself but answers every other question with
    // the same single frame: host status never completes.
    PtyPrinter printer;
    ASSERT_TRUE(printer.IsValid());
    printer.SetReply(QByteArray("\x02"
                                "OLD-1,V2.0,8,512\x03\r\n"));
    tab->SelectCom(printer.SlavePath());
    ModalWatcher watcher;
    PrinterInfoWindow *w = Open();
    EXPECT_EQ(w->IdentityLabel->text(), "OLD-1, firmware V2.0, 8 dots/mm, 512 KB");
    // Host status, configuration and free memory fail, each named; the
    // file list, which takes any text, shows what came.
    const QStringList lines = w->StatementLabel->text().split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3) << w->StatementLabel->text().toStdString();
    EXPECT_TRUE(lines[0].startsWith("Host status: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("Configuration: ")) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("Free memory: no figures in the reply: <02>OLD-1"))
        << lines[2].toStdString();
    EXPECT_EQ(w->AsOfLabel->text(), QString());
    EXPECT_EQ(w->FreeMemoryLabel->text(), QString());
    EXPECT_TRUE(w->FilesText->toPlainText().contains("OLD-1,V2.0,8,512"));
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterInfoTest, AQueueOrAFileCannotAnswerAndSaysSo)
{
    QTest::mouseClick(tab->RadioButton4, Qt::LeftButton);
    PrinterInfoWindow *w = Open();
    EXPECT_TRUE(w->StatementLabel->text().startsWith(
        "A print queue carries data one way; connect over the network, USB or serial to read "
        "the printer"))
        << w->StatementLabel->text().toStdString();
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    w->Refresh();
    EXPECT_TRUE(w->StatementLabel->text().startsWith("A file carries data one way"));
    EXPECT_EQ(w->IdentityLabel->text(), QString());
    EXPECT_EQ(w->ConfigTable->rowCount(), 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("abc.bin.bin")));
}

TEST_F(PrinterInfoTest, FindPrintersListsTheVirtualPrinterAndUseFillsTheAddress)
{
    PrinterProcess printer({ QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--bind"),
                             QStringLiteral("127.0.0.21"), QStringLiteral("--discovery"),
                             QStringLiteral("0"), QStringLiteral("--name"),
                             QStringLiteral("dock-1"), QStringLiteral("--serial"),
                             QStringLiteral("777") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    const QString line = printer.WaitForLine(QStringLiteral("discovery: 127.0.0.21:"));
    const quint16 port = line.section(QLatin1Char(':'), -1).toUShort();
    ASSERT_NE(port, 0) << line.toStdString();

    form->FindPrinters->trigger();
    DiscoveryWindow *w = form->Discovery;
    ASSERT_TRUE(w && w->isVisible());
    DiscoveryOptions options;
    options.port = port;
    options.timeoutMs = 500;
    options.broadcast = false;
    w->SetOptions(options);
    w->AddressesEdit->setText(QStringLiteral("127.0.0.21"));
    QTest::mouseClick(w->SearchButton, Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([w] { return !w->Searching() && w->SearchButton->isEnabled(); }, 10000));
    ASSERT_EQ(w->PrintersTable->rowCount(), 1) << w->StatusLabel->text().toStdString();
    QStringList row;
    for (int c = 0; c < 5; ++c)
        row << w->PrintersTable->item(0, c)->text();
    EXPECT_EQ(row,
              (QStringList { "127.0.0.21", "dock-1", "TARVOLIN VP-200dpi", "777", "V1.01VP" }));
    w->PrintersTable->selectRow(0);
    QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
    QTest::mouseClick(w->UseButton, Qt::LeftButton);
    EXPECT_EQ(tab->IPEdit1->IPString(), "127.0.0.21");
    // The next send goes there, and the status bar says so.
    EXPECT_TRUE(tab->RadioButton3->isChecked());
    EXPECT_EQ(form->Link().Target().kind, LinkTarget::Kind::Ethernet);
    EXPECT_TRUE(form->findChild<QLabel *>("StatusBar1Panel0")->text().contains("127.0.0.21"))
        << form->findChild<QLabel *>("StatusBar1Panel0")->text().toStdString();
}

// A network address where something takes each connection and drops it at
// once; it counts the connections.
class DroppingListener
{
public:
    DroppingListener()
    {
        fd_ = ListenOnLoopback(port_);
        thread_ = std::thread([this] {
            for (int c; (c = accept(fd_, nullptr, nullptr)) >= 0;) {
                ++accepted_;
                close(c);
            }
        });
    }
    ~DroppingListener()
    {
        shutdown(fd_, SHUT_RDWR);
        thread_.join();
        close(fd_);
    }
    quint16 Port() const { return port_; }
    int Accepted() const { return accepted_.load(); }

private:
    int fd_ = -1;
    quint16 port_ = 0;
    std::atomic<int> accepted_ { 0 };
    std::thread thread_;
};

TEST_F(PrinterInfoTest, AnAddressThatDropsConnectionsIsAskedOnceAndAdvisedOnce)
{
    DroppingListener dropping;
    tab->SelectEthernet(QStringLiteral("127.0.0.1"));
    form->Link().SetNetworkPort(dropping.Port());
    ModalWatcher watcher;
    PrinterInfoWindow *w = Open();
    // One reading, one connection: the rest is not asked of nobody.
    const int before = dropping.Accepted();
    w->Refresh();
    EXPECT_EQ(dropping.Accepted() - before, 1);
    const QString text = w->StatementLabel->text();
    const QStringList lines = text.split(QLatin1Char('\n'));
    EXPECT_TRUE(lines[0].startsWith("Identification: ")) << text.toStdString();
    EXPECT_EQ(text.count("Identification"), 1) << text.toStdString();
    EXPECT_GT(lines.size(), 1) << "no advice: " << text.toStdString();
    EXPECT_EQ(text.count(QStringLiteral("127.0.0.1:%1").arg(dropping.Port())), 1)
        << text.toStdString();
    EXPECT_EQ(
        w->windowTitle(),
        QStringLiteral("Printer Information \u2014 ETHERNET 127.0.0.1:%1").arg(dropping.Port()));
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

// Every condition of the virtual printer as the main window's Get Status
// lamps (the status byte) and Printer Information's lamps (host status and
// the extended report) show it: the same printer, the same trouble, and the
// modes beside the lamps, never as one.
TEST_F(PrinterInfoTest, EveryConditionLightsTheLampsOfBothWindows)
{
    PrinterProcess printer({ QStringLiteral("--pty") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    tab->SelectCom(printer.PtyPath());
    ModalWatcher watcher;
    const struct
    {
        const char *set;
        QStringList getStatus; // the status byte's lamps, red
        QStringList info; // Printer Information's, red unless Ready
    } cases[] = {
        { "ready", { "Ready green" }, { "Ready:#008000" } },
        { "head-open", { "Head Open red" }, { "Head Open:#ff0000" } },
        { "paper-jam", { "Paper Jam red" }, { "Paper Jam:#ff0000" } },
        { "paper-out", { "Out of Paper red" }, { "Paper Out:#ff0000" } },
        { "ribbon-out", { "Out of Ribbon red" }, { "Ribbon Out:#ff0000" } },
        { "pause", { "Pause red" }, { "Paused:#ff0000" } },
        { "cover-open", { "Cover Open red" }, { "Head Open:#ff0000" } },
        { "other-error", { "Other Error red" }, { "Other Error:#ff0000" } },
        { "over-temperature", { "Other Error red" }, { "Over Temperature:#ff0000" } },
        { "under-temperature", { "Other Error red" }, { "Under Temperature:#ff0000" } },
        { "cutter-fault", { "Other Error red" }, { "Cutter Fault:#ff0000" } },
        { "corrupt-ram", { "Other Error red" }, { "Corrupt RAM:#ff0000" } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.set);
        printer.Control(QStringLiteral("status ") + QLatin1String(c.set));
        ASSERT_FALSE(printer.WaitForLine(QStringLiteral("status ")).isEmpty());
        form->PageControl1->setCurrentWidget(form->TabSheet1);
        QStringList lamps;
        for (int attempt = 0;
             attempt < 4 && (lamps.isEmpty() || lamps == QStringList { "Connect Error red" });
             ++attempt) {
            form->findChild<QPushButton *>("Button7")->click();
            lamps = LitStatusLamps(form->TabSheet1);
        }
        EXPECT_EQ(lamps, c.getStatus);
        PrinterInfoWindow *w = Open();
        QStringList lit = LitLamps(w);
        lit.sort();
        EXPECT_EQ(lit, c.info) << w->StatementLabel->text().toStdString();
        EXPECT_EQ(w->ModesLabel->text(), "Modes: Thermal Transfer, Tear Off");
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join("|").toStdString();
}

TEST_F(PrinterInfoTest, RefreshesItselfEveryFewSecondsAndFitsAnEightHundredPixelScreen)
{
    PrinterProcess printer({ QStringLiteral("--pty") });
    ASSERT_TRUE(printer.IsRunning()) << printer.Error().toStdString();
    tab->SelectCom(printer.PtyPath());
    PrinterInfoWindow *w = Open();
    EXPECT_LE(w->frameGeometry().height(), 760);
    EXPECT_LE(w->minimumSizeHint().height(), 700);
    int reads = 0;
    w->SetClock([&reads] { return QString::number(++reads); });
    w->AutoRefreshSeconds->setValue(2);
    w->AutoRefreshBox->setChecked(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return reads >= 2; }, 15000)) << reads;
    EXPECT_TRUE(w->AsOfLabel->text().startsWith(QStringLiteral("as of ")));
    w->AutoRefreshBox->setChecked(false);
    const int stopped = reads;
    QTest::qWait(2500);
    EXPECT_EQ(reads, stopped);
}

} // namespace
