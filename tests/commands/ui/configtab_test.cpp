// The "Printer Configuration" tab driven through the real window, sending over
// the File interface into a temp dir.
#include "commands/ui/printerconfigtab.h"
#include "support/lines.h"
#include "support/ui/filewindow.h"
#include "support/ui/modal.h"
#include "support/ui/windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString DigitsOnly = QStringLiteral("只能输入数字");

class ConfigTab : public FileWindowTest
{
protected:
    void SetUp() override
    {
        FileWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        form->PageControl1->setCurrentWidget(form->TabSheet1);
        tab = form->TabSheet1;
        panel = tab->GroupBox7;
    }
    void Click(QAbstractButton *button)
    {
        if (button->isVisible())
            QTest::mouseClick(button, Qt::LeftButton);
        else
            button->click(); // reserved controls are hidden but complete
    }

    PrinterConfigTab *tab = nullptr;
    SetupPanelBox *panel = nullptr;
};

const QByteArray StoreAtStart
    = Lines({ "^XA", "^PR3,", "~SD15", "^PW608^LL1600", "^MNN", "^MMT,Y", "^MTD", "^PON", "^LT0",
              "^LS0", "^LH0,0", "^XZ", "^XA", "^JUS", "^XZ" });

} // namespace

TEST_F(ConfigTab, GroupsButtonsAndVisibility)
{
    EXPECT_EQ(tab->objectName(), "TabSheet1");
    struct Group
    {
        const char *name;
        const char *title;
        QRect geometry;
        bool visible;
    };
    for (const Group &g :
         { Group { "GroupBox1", "Printer Function", { 0, 0, 113, 129 }, true },
           Group { "GroupBox2", "Printer Status", { 0, 120, 113, 361 }, false },
           Group { "GroupBox7", "Print Configuration", { 120, 0, 545, 481 }, true } }) {
        auto *box = Find<QGroupBox>(tab, g.name);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->title(), g.title);
        EXPECT_EQ(box->geometry(), g.geometry) << g.name;
        EXPECT_EQ(box->isVisible(), g.visible) << g.name;
    }
    EXPECT_EQ(Find<QGroupBox>(tab, "GroupBox6")->title(), "Printer Setup");
    EXPECT_EQ(Find<QGroupBox>(tab, "GroupBox6")->size(), QSize(529, 305));

    struct Button
    {
        const char *name;
        const char *caption;
        QPoint pos;
        bool visible;
    };
    for (const Button &b : { Button { "Button1", "Factory Default", { 12, 16 }, true },
                             Button { "Button2", "Print Test Page", { 12, 56 }, true },
                             Button { "Button3", "Reset Printer", { 72, 64 }, false },
                             Button { "Button4", "Dump Mode", { 12, 96 }, true },
                             Button { "Button5", "Mileage", { 8, 112 }, false },
                             Button { "Button6", "Free Memory", { 8, 136 }, false } }) {
        auto *button = Find<QPushButton>(tab->GroupBox1, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), b.caption);
        EXPECT_EQ(button->geometry(), QRect(b.pos, QSize(89, 25))) << b.name;
        EXPECT_EQ(button->isVisible(), b.visible) << b.name;
    }
    const char *lamps[][2] = { { "Label1", "Ready" },         { "Label2", "Head Open" },
                               { "Label3", "Paper Jam" },     { "Label4", "Out of Paper" },
                               { "Label5", "Out of Ribbon" }, { "Label6", "Pause" },
                               { "Label7", "Printing" },      { "Label8", "Cover Open" },
                               { "Label60", "Other Error" },  { "Label56", "Connect Error" } };
    int lastY = 0;
    for (const auto &lamp : lamps) {
        auto *label = Find<QLabel>(tab->GroupBox2, lamp[0]);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), lamp[1]);
        EXPECT_FALSE(label->isEnabled()) << lamp[0];
        EXPECT_GT(label->y(), lastY) << lamp[0]; // top to bottom in this order
        lastY = label->y();
    }
    EXPECT_EQ(Find<QPushButton>(tab->GroupBox2, "Button7")->text(), "Get Status");
    EXPECT_EQ(Find<QPushButton>(tab, "Button10")->text(), "Store Settings");
    EXPECT_EQ(Find<QPushButton>(tab, "Button24")->text(), "Pint Label");
    EXPECT_FALSE(Find<QPushButton>(tab, "Button9")->isVisible());
    EXPECT_EQ(Find<QPushButton>(tab, "Button9")->text(), "Clear");
    EXPECT_EQ(Find<QLineEdit>(tab, "Edit1")->text(), "1");
    EXPECT_EQ(Find<QLabel>(tab, "Label26")->text(), "Pices");
    auto *box = Find<QCheckBox>(tab, "Boxck");
    EXPECT_EQ(box->text(), "BOX");
    EXPECT_FALSE(box->isVisible());
    EXPECT_FALSE(box->isChecked());
}

TEST_F(ConfigTab, StartValuesAndItemLists)
{
    struct Radio
    {
        const char *group;
        const char *title;
        QStringList items;
        int checked;
    };
    for (const Radio &r : { Radio { "RadioGroup5", "Resolution", { "203dpi", "300dpi" }, 0 },
                            Radio { "RadioGroup1", "Unit", { "Inch", "mm", "cm" }, 1 } }) {
        auto *group = Find<QGroupBox>(tab, r.group);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), r.title);
        const auto buttons = group->findChildren<QRadioButton *>();
        ASSERT_EQ(buttons.size(), r.items.size()) << r.group;
        for (int i = 0; i < buttons.size(); ++i) {
            EXPECT_EQ(buttons[i]->text(), r.items[i]);
            EXPECT_EQ(buttons[i]->isChecked(), i == r.checked) << r.group << " " << i;
        }
    }

    QStringList density { "" };
    for (int i = 0; i <= 30; ++i)
        density << QString::number(i);
    struct Combo
    {
        const char *name;
        QStringList items;
        int start;
        bool visible;
    };
    const Combo combos[] = {
        { "speedcb", { "", "2", "3", "4", "5" }, 2, true },
        { "densitycb", density, 16, true },
        { "mediasensorcb", { "", "Continuous", "Web Sensing", "Mark Sensing" }, 1, true },
        { "ribboncb", { "", "Thermal Direct", "Thermal Transfer" }, 1, true },
        { "postactivecb", { "", "Rewind", "Tear off", "Peel off" }, 2, true },
        { "directionxcb", { "", "Normal", "Invert:Rotation 180" }, 1, true },
        { "directionycb", { "", "0", "1" }, 0, false },
        { "codepagecb",
          { "", "437", "850", "852", "860", "863", "865", "857", "1250", "1252", "1253", "1254" },
          0,
          false },
        { "countrycodecb",
          { "",    "001", "002", "003", "031", "032", "033", "034", "036", "038", "039", "041",
            "042", "044", "045", "046", "047", "048", "049", "055", "061", "351", "358" },
          0,
          false },
        { "headupsensorcb", { "", "OFF", "ON" }, 0, false },
        { "reprintcb", { "", "OFF", "ON" }, 0, false },
        { "baudratecb",
          { "", "2400", "4800", "9600", "19200", "38400", "57600", "115200" },
          0,
          false },
        { "databitscb", { "", "7", "8" }, 0, false },
        { "paritycb", { "", "None", "Even", "Odd" }, 0, false },
        { "stopbitcb", { "", "1", "2" }, 0, false },
    };
    for (const Combo &c : combos) {
        auto *box = Find<QComboBox>(tab, c.name);
        ASSERT_NE(box, nullptr);
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        EXPECT_EQ(items, c.items) << c.name;
        EXPECT_EQ(box->currentIndex(), c.start) << c.name;
        EXPECT_EQ(box->currentText(), c.items[c.start]) << c.name;
        EXPECT_TRUE(box->isEditable()) << c.name;
        EXPECT_EQ(box->isVisible(), c.visible) << c.name;
    }
    EXPECT_EQ(panel->densitycb->maxVisibleItems(), 50);

    struct Edit
    {
        const char *name;
        const char *text;
        bool visible;
    };
    const Edit edits[] = {
        { "paperwidthe", "76", true }, { "paperheighte", "200", true },
        { "Lte", "0", true },          { "Shifte", "0", true },
        { "Homexe", "0", true },       { "Homeye", "0", true },
        { "gape", "", false },         { "gapoffsete", "", false },
        { "cutpiecee", "", false },    { "referencexe", "", false },
        { "referenceye", "", false },  { "gapintene", "", false },
        { "blineintene", "", false },  { "continuousintene", "", false },
    };
    for (const Edit &e : edits) {
        auto *edit = Find<QLineEdit>(tab, e.name);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->text(), e.text) << e.name;
        EXPECT_EQ(edit->isVisible(), e.visible) << e.name;
    }
    EXPECT_EQ(panel->Homexe->maxLength(), 4);
    EXPECT_EQ(panel->Homeye->maxLength(), 4);

    struct Caption
    {
        const char *name;
        const char *text;
    };
    for (const Caption &c :
         { Caption { "Label9", "Speed:" }, Caption { "Label10", "Density:" },
           Caption { "Label13", "Label Width(mm):" }, Caption { "Label14", "Label Height(mm):" },
           Caption { "Label15", "Media Sensor:" }, Caption { "Label16", "Media Type:" },
           Caption { "Label17", "Post-Print Action:" }, Caption { "Label18", "Direction:" },
           Caption { "Label22", "Label Top:[-15,15]mm" },
           Caption { "Label23", "Label Shift:[-1249,1249]mm" },
           Caption { "Label24", "Label Home:[0,4000]mm" } }) {
        auto *label = Find<QLabel>(tab, c.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), c.text);
        // Readable: the caption is not cut off by its own box.
        EXPECT_GE(label->width(), label->sizeHint().width()) << c.name;
    }

    const SetupPanelValues v = tab->SetupValues();
    const SetupPanelValues start = StartSetupValues();
    EXPECT_EQ(v.resolution, start.resolution);
    EXPECT_EQ(v.unit, start.unit);
    for (auto [got, want] : { std::pair { v.speed, start.speed },
                              { v.density, start.density },
                              { v.mediaSensor, start.mediaSensor },
                              { v.postAction, start.postAction },
                              { v.mediaType, start.mediaType },
                              { v.direction, start.direction } }) {
        EXPECT_EQ(got.position, want.position);
        EXPECT_EQ(got.itemText, want.itemText);
        EXPECT_EQ(got.displayText, want.displayText);
    }
    EXPECT_EQ(QStringList({ v.width, v.height, v.top, v.shift, v.homeX, v.homeY, v.quantity }),
              QStringList({ "76", "200", "0", "0", "0", "0", "1" }));
    EXPECT_FALSE(v.box);
}

TEST_F(ConfigTab, UnitAndResolutionChangeOnlyCaptions)
{
    struct Step
    {
        QRadioButton *button;
        const char *width, *height, *top, *shift, *home;
    };
    const Step steps[] = {
        { panel->RadioGroup1Items[0], "Label Width(Inch):", "Label Height(Inch):",
          "Label Top:[-15,15]mm", "Label Shift:[-1249,1249]mm", "Label Home:[0,4000]mm" },
        { panel->RadioGroup1Items[2], "Label Width(cm):", "Label Height(cm):", "Label Top:[-15,15]mm",
          "Label Shift:[-1249,1249]mm", "Label Home:[0,4000]mm" },
        { panel->RadioGroup5Items[1], "Label Width(cm):", "Label Height(cm):", "Label Top:[-10,10]mm",
          "Label Shift:[-833,833]mm", "Label Home:[0,2666]mm" },
        { panel->RadioGroup1Items[1], "Label Width(mm):", "Label Height(mm):", "Label Top:[-10,10]mm",
          "Label Shift:[-833,833]mm", "Label Home:[0,2666]mm" },
        { panel->RadioGroup5Items[0], "Label Width(mm):", "Label Height(mm):", "Label Top:[-15,15]mm",
          "Label Shift:[-1249,1249]mm", "Label Home:[0,4000]mm" },
    };
    for (const Step &s : steps) {
        QTest::mouseClick(s.button, Qt::LeftButton);
        ASSERT_TRUE(s.button->isChecked());
        EXPECT_EQ(panel->Label13->text(), s.width);
        EXPECT_EQ(panel->Label14->text(), s.height);
        EXPECT_EQ(panel->Label22->text(), s.top);
        EXPECT_EQ(panel->Label23->text(), s.shift);
        EXPECT_EQ(panel->Label24->text(), s.home);
        // The values stay as typed.
        EXPECT_EQ(panel->paperwidthe->text(), "76");
        EXPECT_EQ(panel->paperheighte->text(), "200");
        EXPECT_EQ(panel->Lte->text(), "0");
    }
}

TEST_F(ConfigTab, DigitFilterOnHomeXOnly)
{
    for (const char *key : { "a", "-", ".", ",", " ", "Z" }) {
        ModalWatcher watcher;
        QTest::keyClicks(panel->Homexe, key);
        EXPECT_EQ(panel->Homexe->text(), "0") << key;
        ASSERT_EQ(watcher.Seen().size(), 1u) << key;
        EXPECT_EQ(watcher.Seen()[0].text, DigitsOnly);
        EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    }
    {
        // One message per refused character.
        ModalWatcher watcher;
        QTest::keyClicks(panel->Homexe, "1x2y");
        EXPECT_EQ(panel->Homexe->text(), "012");
        EXPECT_EQ(watcher.Texts(), QStringList({ DigitsOnly, DigitsOnly }));
    }
    {
        // Digits, backspace and Enter pass; the fourth character is the last.
        ModalWatcher watcher;
        QTest::keyClick(panel->Homexe, Qt::Key_Backspace);
        EXPECT_EQ(panel->Homexe->text(), "01");
        QTest::keyClicks(panel->Homexe, "789");
        EXPECT_EQ(panel->Homexe->text(), "0178");
        QTest::keyClick(panel->Homexe, Qt::Key_Return);
        QTest::keyClick(panel->Homexe, Qt::Key_Left);
        EXPECT_TRUE(watcher.Seen().empty());
    }
    {
        ModalWatcher watcher;
        QTest::keyClicks(panel->Homeye, "a-.");
        EXPECT_EQ(panel->Homeye->text(), "0a-.");
        QTest::keyClicks(panel->Homeye, ",");
        EXPECT_EQ(panel->Homeye->text(), "0a-.");
        panel->Homeye->setText("0");
        QTest::keyClicks(panel->Homeye, ",");
        EXPECT_EQ(panel->Homeye->text(), "0,");
        EXPECT_TRUE(watcher.Seen().empty());
    }
}

TEST_F(ConfigTab, ClearBlanksTheBoxesAndFields)
{
    panel->Lte->setText("5");
    panel->Shifte->setText("7");
    panel->Homexe->setText("12");
    panel->Homeye->setText("3");
    panel->Edit1->setText("4");
    panel->gape->setText("2");
    panel->referenceye->setText("9");
    panel->codepagecb->setCurrentIndex(3);
    panel->stopbitcb->setCurrentIndex(2);
    panel->Boxck->setChecked(true);
    QTest::mouseClick(panel->RadioGroup1Items[0], Qt::LeftButton);
    QTest::mouseClick(panel->RadioGroup5Items[1], Qt::LeftButton);
    const int densityItems = panel->densitycb->count();

    panel->Button9->click();

    for (QComboBox *box : tab->findChildren<QComboBox *>()) {
        EXPECT_EQ(box->currentIndex(), 0) << box->objectName().toStdString();
        EXPECT_EQ(box->currentText(), "") << box->objectName().toStdString();
    }
    EXPECT_EQ(panel->densitycb->count(), densityItems);
    for (QLineEdit *edit : { panel->paperwidthe, panel->paperheighte, panel->gape, panel->gapoffsete,
                             panel->cutpiecee, panel->referencexe, panel->referenceye, panel->gapintene,
                             panel->blineintene, panel->continuousintene })
        EXPECT_EQ(edit->text(), "") << edit->objectName().toStdString();
    EXPECT_EQ(panel->Shifte->text(), "0");
    EXPECT_EQ(panel->Homexe->text(), "0");
    EXPECT_EQ(panel->Homeye->text(), "0");
    EXPECT_EQ(panel->Lte->text(), "5");
    EXPECT_EQ(panel->Edit1->text(), "4");
    EXPECT_TRUE(panel->Boxck->isChecked());
    EXPECT_TRUE(panel->RadioGroup1Items[0]->isChecked());
    EXPECT_TRUE(panel->RadioGroup5Items[1]->isChecked());

    // What Store Settings sends after Clear: no optional row is left.
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    EXPECT_EQ(Sent(), Lines({ "^XA", "^LT60", "^LS0", "^LH0,0", "^XZ", "^XA", "^JUS", "^XZ" }));
}

TEST_F(ConfigTab, FunctionButtonsSendTheirCommands)
{
    struct Case
    {
        QPushButton *button;
        QByteArray bytes;
    };
    const Case cases[] = {
        { tab->Button2, QByteArray::fromHex("5E58417E57430D0A5E585A") },
        { tab->Button1, "^XA\r\n^JUF\r\n^JUS\r\n^XZ\r\n" },
        { tab->Button4, "^XA\r\n~JD\r\n^XZ\r\n" },
        { tab->Button3, QByteArray::fromHex("1B212C520D0A") },
    };
    ModalWatcher watcher;
    for (const Case &c : cases) {
        // Twice: the second send replaces the first, nothing accumulates.
        for (int i = 0; i < 2; ++i) {
            Click(c.button);
            EXPECT_EQ(Sent(), c.bytes) << c.button->objectName().toStdString();
            EXPECT_EQ(form->Link().CommandBuffer, c.bytes);
        }
    }
    EXPECT_EQ(Sent().size(), 6);
    // Reserved buttons do nothing.
    Click(tab->Button5);
    Click(tab->Button6);
    EXPECT_EQ(Sent(), QByteArray::fromHex("1B212C520D0A"));
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(ConfigTab, StoreSettingsAndPintLabelAtStartValues)
{
    ModalWatcher watcher;
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    EXPECT_EQ(Sent(), StoreAtStart);

    QTest::mouseClick(panel->Button24, Qt::LeftButton);
    EXPECT_EQ(Sent(),
              StoreAtStart.left(StoreAtStart.indexOf("^XZ"))
                  + Lines({ "^XZ", "^XA", "^CFD,40,20^FO40,40^FDPrinter Test!^FS",
                            "^FO152,120^FDSpeed 3^FS", "^FO152,200^FDDensity 15^FS",
                            "^FO240,1536^FWN,0^SN0001,1,Y^FS", "^PQ1,0,1,N", "^XZ" }));

    panel->Boxck->setChecked(true);
    panel->Edit1->setText("3");
    QTest::mouseClick(panel->Button24, Qt::LeftButton);
    EXPECT_TRUE(Sent().endsWith("^FO16,16^GB576,1568,8,B,0^FS^PQ3,0,1,N\r\n^XZ\r\n"));

    QTest::mouseClick(panel->RadioGroup5Items[1], Qt::LeftButton);
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    EXPECT_TRUE(Sent().contains("\r\n^PW912^LL2400\r\n"));
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(ConfigTab, PanelEditsReachTheCommand)
{
    ModalWatcher watcher;
    // Typed over, the box still sends its selected item; the label prints
    // what the box shows.
    panel->speedcb->setCurrentIndex(4);
    panel->speedcb->lineEdit()->selectAll();
    QTest::keyClicks(panel->speedcb->lineEdit(), "9");
    panel->directionxcb->setCurrentIndex(2);
    panel->mediasensorcb->setCurrentIndex(0);
    panel->Lte->setText("-15");
    QTest::mouseClick(panel->RadioGroup1Items[0], Qt::LeftButton);
    panel->paperwidthe->setText("3");
    panel->paperheighte->setText("2");
    // Store Settings sets the size captions from the unit again.
    panel->Label13->setText("stale");
    QTest::mouseClick(panel->Button24, Qt::LeftButton);
    EXPECT_EQ(panel->Label13->text(), "Label Width(Inch):");
    const QByteArray sent = Sent();
    EXPECT_TRUE(sent.startsWith(Lines({ "^XA", "^PR5,", "~SD15", "^PW610^LL406", "^MMT,Y", "^MTD",
                                        "^POI", "^LT-120", "^LS0", "^LH0,0", "^XZ", "^XA" })))
        << sent.constData();
    EXPECT_TRUE(sent.contains("^FDSpeed 9^FS")) << sent.constData();
    EXPECT_TRUE(sent.contains("^FO241,342^FWN,0")) << sent.constData();
    EXPECT_TRUE(watcher.Seen().empty());
}

TEST_F(ConfigTab, ConversionErrorShowsOneBoxAndSendsNothing)
{
    ModalWatcher watcher;
    QTest::mouseClick(tab->Button2, Qt::LeftButton);
    const QByteArray before = Sent();
    ASSERT_EQ(before.size(), 11);

    panel->Lte->clear();
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    ASSERT_EQ(watcher.Seen().size(), 1u);
    EXPECT_EQ(watcher.Seen()[0].title, "Tarvolin");
    EXPECT_EQ(watcher.Seen()[0].text, "'' is not a valid floating point value.");
    EXPECT_EQ(watcher.Seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(Sent(), before);

    // The label size is converted even where the settings skip an empty field.
    watcher.Clear();
    panel->Lte->setText("0");
    panel->paperheighte->clear();
    QTest::mouseClick(panel->Button24, Qt::LeftButton);
    EXPECT_EQ(watcher.Texts(), QStringList { "'' is not a valid floating point value." });
    EXPECT_EQ(Sent(), before);

    watcher.Clear();
    panel->paperheighte->setText("2OO");
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    EXPECT_EQ(watcher.Texts(), QStringList { "'2OO' is not a valid floating point value." });
    EXPECT_EQ(Sent(), before);

    // The window stays usable.
    watcher.Clear();
    panel->paperheighte->setText("200");
    QTest::mouseClick(panel->Button10, Qt::LeftButton);
    EXPECT_EQ(Sent(), StoreAtStart);
    EXPECT_TRUE(watcher.Seen().empty());
}
