// Tools > Printer Information and Tools > Find Printers on the Network,
// through the real window and the real tarvolin-printer.
#include "app/discoverywindow.h"
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "app/printerinfowindow.h"
#include "network/ui/ipedit.h"
#include "support/printerprocess.h"
#include "support/ptyprinter.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

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
        EXPECT_EQ(Setting(w, "DARKNESS"), "+22.0");
        EXPECT_EQ(Setting(w, "PRINT SPEED"), "2.0 IPS");
        EXPECT_EQ(Setting(w, "LABEL LENGTH"), "0300");
        EXPECT_TRUE(w->FilesText->toPlainText().startsWith("DRAM FILES:"));
        EXPECT_EQ(w->FreeMemoryLabel->text(), "Free memory: DRAM 8192 KB, FLASH 65536 KB");
    };
    check("network");
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
    QTest::mouseClick(w->UseButton, Qt::LeftButton);
    EXPECT_EQ(tab->IPEdit1->IPString(), "127.0.0.21");
}

} // namespace
