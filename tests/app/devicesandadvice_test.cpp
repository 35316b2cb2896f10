// The port lists follow the devices plugged in, and failures say which
// device, file or field they concern and what to try: through the window.
#include "app/interfaceselecttab.h"
#include "app/mainform.h"
#include "commands/ui/printerconfigtab.h"
#include "serial/cport.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class DevicesWindow : public WindowTest
{
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(devices.isValid());
        roots.dev = devices.filePath(QStringLiteral("dev"));
        roots.sys = devices.filePath(QStringLiteral("sys"));
        QDir().mkpath(roots.dev + QStringLiteral("/usb"));
        QDir().mkpath(roots.sys);
        tab->SetDeviceRoots(roots);
    }
    void Plug(const QString &relative) { QFile(roots.dev + relative).open(QIODevice::WriteOnly); }
    void Unplug(const QString &relative) { QFile::remove(roots.dev + relative); }
    static QStringList Items(const QComboBox *box)
    {
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        return items;
    }
    // Drops the list down and up again, as an operator looking at it.
    static void Look(QComboBox *box)
    {
        box->showPopup();
        box->hidePopup();
    }

    QTemporaryDir devices;
    DeviceRoots roots;
};

} // namespace

TEST_F(DevicesWindow, ComListShowsAdaptersPluggedInAfterStartAndKeepsWhatWasTyped)
{
    QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
    tab->DK->setEditText(QStringLiteral("/dev/ttyMINE"));
    const QString summary = form->StatusBar1Panel[0]->text();
    const QStringList fixed { "COM1", "COM2", "COM3", "COM4" };

    Plug(QStringLiteral("/ttyUSB0"));
    Look(tab->DK);
    EXPECT_EQ(Items(tab->DK), fixed + QStringList { roots.dev + QStringLiteral("/ttyUSB0") });
    // Looking at the list changes nothing the operator chose.
    EXPECT_EQ(tab->DK->currentText(), "/dev/ttyMINE");
    EXPECT_EQ(form->CP->Port(), "/dev/ttyMINE");
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), summary);

    Unplug(QStringLiteral("/ttyUSB0"));
    Look(tab->DK);
    EXPECT_EQ(Items(tab->DK), fixed);
    EXPECT_EQ(tab->DK->currentText(), "/dev/ttyMINE");
}

TEST_F(DevicesWindow, UsbPrintersFollowLptPortsAndAGoneOneSaysSo)
{
    ModalWatcher watcher;
    Plug(QStringLiteral("/usb/lp0"));
    Look(tab->ComboBox25);
    const QString printer = roots.dev + QStringLiteral("/usb/lp0");
    ASSERT_EQ(Items(tab->ComboBox25), (QStringList { "LPT1", "LPT2", "LPT3", "LPT4", printer }));

    // Chosen, the printer gets the command as a parallel port would.
    tab->ComboBox25->setCurrentIndex(4);
    QTest::mouseClick(tab->RadioButton2, Qt::LeftButton);
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), printer);
    form->Link().CommandBuffer = "^XA^XZ";
    Send();
    QFile sent(printer);
    ASSERT_TRUE(sent.open(QIODevice::ReadOnly));
    EXPECT_EQ(sent.readAll(), "^XA^XZ");

    // Unplugged, it stays chosen rather than the send going elsewhere, and the
    // send says which device is missing and what to check.
    Unplug(QStringLiteral("/usb/lp0"));
    Look(tab->ComboBox25);
    EXPECT_EQ(tab->ComboBox25->currentText(), printer);
    Send();
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].text, "File not found.");
    const QString advice = watcher.Seen()[0].informativeText;
    EXPECT_TRUE(advice.startsWith(QStringLiteral("Device: ") + printer + QStringLiteral("\n")))
        << advice.toStdString();
    EXPECT_TRUE(advice.contains(QStringLiteral("There is no such device.")))
        << advice.toStdString();
    EXPECT_FALSE(QFile::exists(printer)); // never created
}

// A device that was unplugged stays only while it is the entry shown.
TEST_F(DevicesWindow, AnUnpluggedDeviceLeavesTheListOnceAnotherIsTypedOrChosen)
{
    const QString adapter = roots.dev + QStringLiteral("/ttyUSB0");
    const QString printer = roots.dev + QStringLiteral("/usb/lp0");
    Plug(QStringLiteral("/ttyUSB0"));
    Plug(QStringLiteral("/usb/lp0"));
    Look(tab->DK);
    Look(tab->ComboBox25);
    QTest::mouseClick(tab->RadioButton1, Qt::LeftButton);
    tab->DK->setCurrentIndex(tab->DK->findText(adapter));
    tab->ComboBox25->setCurrentIndex(tab->ComboBox25->findText(printer));
    Unplug(QStringLiteral("/ttyUSB0"));
    Unplug(QStringLiteral("/usb/lp0"));
    Look(tab->DK);
    Look(tab->ComboBox25);
    EXPECT_EQ(Items(tab->DK).last(), adapter);
    EXPECT_EQ(Items(tab->ComboBox25).last(), printer);

    // Another port typed: the gone one leaves at the next look.
    tab->DK->setEditText(QStringLiteral("/dev/ttyMINE"));
    const QString summary = form->StatusBar1Panel[0]->text();
    Look(tab->DK);
    EXPECT_EQ(Items(tab->DK), (QStringList { "COM1", "COM2", "COM3", "COM4" }));
    EXPECT_EQ(tab->DK->currentText(), "/dev/ttyMINE");
    EXPECT_EQ(form->CP->Port(), "/dev/ttyMINE");
    EXPECT_EQ(form->StatusBar1Panel[0]->text(), summary);

    // Another port chosen: the same.
    tab->ComboBox25->setCurrentIndex(1);
    Look(tab->ComboBox25);
    EXPECT_EQ(Items(tab->ComboBox25), (QStringList { "LPT1", "LPT2", "LPT3", "LPT4" }));
    EXPECT_EQ(tab->ComboBox25->currentText(), "LPT2");
    EXPECT_EQ(tab->ComboBox25->currentIndex(), 1);
}

TEST_F(DevicesWindow, FailuresNameTheFileAndTheField)
{
    ModalWatcher watcher;
    QTest::mouseClick(tab->RadioButton5, Qt::LeftButton);
    tab->Edit17->setText(QStringLiteral("nowhere/abc"));
    form->Link().CommandBuffer = "^XA^XZ";
    Send();

    // A length that does not parse: the message as ever, the field named.
    tab->Edit17->setText(QStringLiteral("abc"));
    SetupPanelBox *panel = form->TabSheet1->GroupBox7;
    panel->paperwidthe->setText(QStringLiteral("7x6"));
    panel->Button10->click();
    panel->paperwidthe->setText(QStringLiteral("76"));
    panel->Homeye->setText(QStringLiteral("-"));
    panel->Button10->click();

    ASSERT_EQ(watcher.Seen().size(), 3u);
    EXPECT_EQ(watcher.Seen()[0].text, "File not found.");
    EXPECT_EQ(watcher.Seen()[0].informativeText,
              QStringLiteral(
                  "File: %1\nSystem: No such file or directory\n\nThe folder %2 does not exist.")
                  .arg(dir.filePath(QStringLiteral("nowhere/abc.bin")),
                       dir.filePath(QStringLiteral("nowhere"))));
    EXPECT_EQ(watcher.Seen()[1].text, "'7x6' is not a valid floating point value.");
    EXPECT_TRUE(
        watcher.Seen()[1].informativeText.startsWith(QStringLiteral("Field: Label Width(mm)\n")))
        << watcher.Seen()[1].informativeText.toStdString();
    EXPECT_EQ(watcher.Seen()[2].text, "'-' is not a valid floating point value.");
    EXPECT_TRUE(
        watcher.Seen()[2].informativeText.startsWith(QStringLiteral("Field: Label Home y\n")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("abc.bin"))));
}
