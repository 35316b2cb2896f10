// The Ethernet Setup tab driven through the real window, sending over the
// File interface into a temporary directory.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "link/printerlink.h"
#include "network/ui/ethernetsetuptab.h"
#include "network/ui/ipedit.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

const QString AddressMessage
    = QStringLiteral("New IP address is error!Please input a right new IP address!");

class EthernetTabTest : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        form->PageControl1->setCurrentWidget(form->TabSheet3);
        tab = form->TabSheet3;
    }

    QString Output() const { return dir.filePath("abc.bin.bin"); }
    QStringList IdBoxes() const
    {
        return { tab->Edit3->text(), tab->Edit4->text(), tab->Edit5->text(), tab->Edit6->text(),
                 tab->Edit7->text() };
    }
    void DrawInTurn(std::vector<int> values)
    {
        tab->SetEthernetIdDraw([values, next = size_t(0)]() mutable { return values.at(next++); });
    }

    EthernetSetupTab *tab = nullptr;
};

} // namespace

TEST_F(EthernetTabTest, ControlsAndStartValues)
{
    EXPECT_EQ(Find<QLabel>(tab, "Label57")->text(), "Printer new IP address:");
    EXPECT_EQ(Find<QLabel>(tab, "Label58")->text(), "Printer new Ethernet ID:");
    auto *ip = Find<TIPEdit>(tab, "IPEdit2");
    EXPECT_EQ(ip->IPString(), "192.168.123.200");
    EXPECT_EQ(ip->font().family(), "Arial");
    EXPECT_TRUE(ip->font().bold());
    EXPECT_EQ(ip->font().pointSize(), 14);
    EXPECT_EQ(Find<QPushButton>(tab, "Button17")->text(), "Set New IP Address");
    EXPECT_EQ(Find<QPushButton>(tab, "Button18")->text(), "Set New Ethernet ID");
    auto *edit2 = Find<QLineEdit>(tab, "Edit2");
    EXPECT_EQ(edit2->text(), "0");
    EXPECT_TRUE(edit2->isReadOnly());
    for (int i = 3; i <= 7; ++i) {
        auto *box = Find<QLineEdit>(tab, QStringLiteral("Edit%1").arg(i));
        EXPECT_TRUE(box->text().isEmpty());
        EXPECT_FALSE(box->isReadOnly());
        EXPECT_EQ(box->font().pointSize(), 12);
    }
    EXPECT_EQ(Find<QFrame>(tab, "Shape1")->geometry(), QRect(152, 62, 201, 2));
    auto *label59 = Find<QLabel>(tab, "Label59");
    EXPECT_TRUE(label59->isHidden());
    EXPECT_EQ(label59->text(), "-------------------------------");
}

TEST_F(EthernetTabTest, NewAddressCommandWithEscaping)
{
    // The whole table of pairs is checked on the builder; here the bytes
    // must reach the printer whole, 00 and doubled octets included.
    const struct
    {
        const char *address;
        const char *after;
    } cases[] = {
        { "16.20.16.20", "101410101414" },
        { "1.0.0.2", "01000002" },
    };
    ModalWatcher watcher;
    // The start address, untouched.
    QTest::mouseClick(tab->Button17, Qt::LeftButton);
    EXPECT_EQ(Sent(), QByteArray::fromHex("1F1B1F91004950C0A87BC8"));
    EXPECT_EQ(Sent().size(), 11);
    for (const auto &c : cases) {
        tab->IPEdit2->SetIPString(c.address);
        QTest::mouseClick(tab->Button17, Qt::LeftButton);
        EXPECT_EQ(Sent().toHex(' '),
                  (QByteArray::fromHex("1F1B1F91004950") + QByteArray::fromHex(c.after)).toHex(' '))
            << c.address;
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join('|').toStdString();
}

TEST_F(EthernetTabTest, UnusableAddressIsRefusedAndNothingSent)
{
    ModalWatcher watcher;
    for (const char *address : { "0.1.2.3", "224.0.0.5", "192.168.1.255", "192.168.1.1" }) {
        watcher.Clear();
        QFile::remove(Output());
        form->Link().CommandBuffer = "untouched";
        tab->IPEdit2->SetIPString(address);
        QTest::mouseClick(tab->Button17, Qt::LeftButton);
        EXPECT_EQ(watcher.Texts(), QStringList { AddressMessage }) << address;
        EXPECT_FALSE(QFile::exists(Output())) << address;
        EXPECT_EQ(form->Link().CommandBuffer, "untouched");
        EXPECT_EQ(tab->IPEdit2->IPString(), address);
    }
}

TEST_F(EthernetTabTest, EthernetIdFromDrawnValues)
{
    const struct
    {
        std::vector<int> draws;
        QStringList boxes;
        const char *command;
    } cases[] = {
        { { 20, 30, 40 }, { "075", "086", "020", "030", "040" }, "1F1B1F9100494400 4B56141E28" },
        { { 16, 20, 30 },
          { "075", "086", "016", "020", "030" },
          "1F1B1F9100494400 4B561010141E1E" },
        { { 99, 16, 20 }, { "075", "086", "099", "016", "020" }, "1F1B1F9100494400 4B5663101414" },
        { { 14, 255, 100 }, { "075", "086", "014", "255", "100" }, "1F1B1F9100494400 4B560EFF64" },
    };
    ModalWatcher watcher;
    for (const auto &c : cases) {
        // Whatever the operator typed is replaced.
        for (QLineEdit *box : { tab->Edit3, tab->Edit4, tab->Edit5, tab->Edit6, tab->Edit7 }) {
            box->clear();
            QTest::keyClicks(box, "7x");
        }
        DrawInTurn(c.draws);
        QTest::mouseClick(tab->Button18, Qt::LeftButton);
        EXPECT_EQ(IdBoxes(), c.boxes);
        EXPECT_EQ(tab->Edit2->text(), "0");
        EXPECT_EQ(Sent().toHex(' '), QByteArray::fromHex(c.command).toHex(' '));
    }
    EXPECT_TRUE(watcher.Seen().empty()) << watcher.Texts().join('|').toStdString();
}

TEST_F(EthernetTabTest, EveryPressDrawsAnIdThatFitsItsBoxesAndBytes)
{
    ModalWatcher watcher;
    for (int press = 0; press < 5; ++press) {
        QTest::mouseClick(tab->Button18, Qt::LeftButton);
        const QStringList boxes = IdBoxes();
        EXPECT_EQ(boxes.mid(0, 2), QStringList({ "075", "086" }));
        EthernetId id;
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(boxes[i].size(), 3) << boxes[i].toStdString();
            const int v = boxes[i].toInt();
            EXPECT_GE(v, i < 2 ? 75 : 14);
            EXPECT_LE(v, 255);
        }
        id.id3 = boxes[2].toInt();
        id.id4 = boxes[3].toInt();
        id.id5 = boxes[4].toInt();
        EXPECT_EQ(Sent(), BuildEthernetIdCommand(id));
    }
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(EthernetTabTest, RightClickDrawsALineTheNextRepaintRemoves)
{
    QWidget *client = form->centralWidget();
    const QPoint onLine(260, 52);
    const QColor before = client->grab().toImage().pixelColor(onLine);
    ASSERT_NE(before, QColor(Qt::red));

    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 300),
                            tab->mapToGlobal(QPoint(300, 300)));
    QApplication::sendEvent(tab, &event);
    EXPECT_FALSE(event.isAccepted());
    const QImage drawn = client->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(onLine), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(144, 52), QColor(Qt::red));
    EXPECT_EQ(drawn.pixelColor(376, 52), QColor(Qt::red));
    EXPECT_NE(drawn.pixelColor(260, 48), QColor(Qt::red));
    EXPECT_NE(drawn.pixelColor(130, 52), QColor(Qt::red));

    client->repaint();
    QTRY_COMPARE_WITH_TIMEOUT(client->grab().toImage().pixelColor(onLine), before, 5000);
}
