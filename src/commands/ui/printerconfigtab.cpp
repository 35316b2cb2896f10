#include "commands/ui/printerconfigtab.h"

#include "ui/controls.h"

#include "commands/functioncommands.h"
#include "commands/settingsbuilder.h"
#include "commands/statusquery.h"
#include "commands/testlabel.h"
#include "link/printerlink.h"
#include "ui/errorbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

// The window font does not fit the captions into the classic 88 pixels, so
// the fields sit a little further right than on the original form.
constexpr int CaptionX = 8;
constexpr int FieldX = 120; // the first eight fields
constexpr int OffsetX = 170; // top, shift and home x
constexpr int HomeYX = 225; // home y, beside home x
constexpr int RowTop = 20;
constexpr int RowStep = 23;
constexpr int FieldHeight = 22;
constexpr int FieldWidth = 145;
constexpr int OffsetWidth = 49;

QStringList WithBlank(QStringList items)
{
    items.prepend(QString());
    return items;
}

QStringList DensityItems()
{
    QStringList items;
    for (int i = 0; i <= 30; ++i)
        items << QString::number(i);
    return WithBlank(items);
}

ComboValue ReadCombo(const QComboBox *box)
{
    ComboValue value;
    value.position = box->currentIndex();
    if (value.position >= 0)
        value.itemText = box->itemText(value.position);
    value.displayText = box->currentText();
    return value;
}

// A radio group: its items side by side in equal columns, numbered in the
// button group by their position.
QGroupBox *AddRadioGroup(QWidget *parent, const QString &name, const QString &title,
                         const QStringList &items, QRect geometry, QButtonGroup *buttons,
                         QRadioButton **itemsOut)
{
    auto *group = new QGroupBox(title, parent);
    group->setObjectName(name);
    group->setGeometry(geometry);
    const int column = (geometry.width() - 16) / int(items.size());
    for (int i = 0; i < items.size(); ++i) {
        auto *item = new QRadioButton(items[i], group);
        item->setObjectName(QStringLiteral("%1Item%2").arg(name).arg(i));
        item->setGeometry(8 + i * column, 20, column - 8, 19);
        buttons->addButton(item, i);
        itemsOut[i] = item;
    }
    return group;
}

} // namespace

PrinterConfigTab::PrinterConfigTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet1"));
    CreateFunctionGroup();
    CreateStatusGroup();
    CreateSetupPanel();
}

void PrinterConfigTab::CreateFunctionGroup()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Printer Function"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(0, 0, 113, 129);

    Button1 = AddButton(GroupBox1, QStringLiteral("Button1"), QStringLiteral("Factory Default"),
                        { 12, 16, 89, 25 });
    Button2 = AddButton(GroupBox1, QStringLiteral("Button2"), QStringLiteral("Print Test Page"),
                        { 12, 56, 89, 25 });
    Button3 = AddButton(GroupBox1, QStringLiteral("Button3"), QStringLiteral("Reset Printer"),
                        { 72, 64, 89, 25 });
    Button4 = AddButton(GroupBox1, QStringLiteral("Button4"), QStringLiteral("Dump Mode"),
                        { 12, 96, 89, 25 });
    // Reserved: never shown, no action.
    Button5 = AddButton(GroupBox1, QStringLiteral("Button5"), QStringLiteral("Mileage"),
                        { 8, 112, 89, 25 });
    Button6 = AddButton(GroupBox1, QStringLiteral("Button6"), QStringLiteral("Free Memory"),
                        { 8, 136, 89, 25 });
    Button3->hide();
    Button5->hide();
    Button6->hide();

    connect(Button1, &QPushButton::clicked, this, Guarded([this](bool) { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this, Guarded([this](bool) { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, Guarded([this](bool) { Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this, Guarded([this](bool) { Button4Click(); }));
}

void PrinterConfigTab::CreateStatusGroup()
{
    GroupBox2 = new QGroupBox(QStringLiteral("Printer Status"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(0, 120, 113, 361);

    struct Lamp
    {
        QLabel *&label;
        const char *name;
        const char *caption;
    };
    const Lamp lamps[] = {
        { Label1, "Label1", "Ready" },         { Label2, "Label2", "Head Open" },
        { Label3, "Label3", "Paper Jam" },     { Label4, "Label4", "Out of Paper" },
        { Label5, "Label5", "Out of Ribbon" }, { Label6, "Label6", "Pause" },
        { Label7, "Label7", "Printing" },      { Label8, "Label8", "Cover Open" },
        { Label60, "Label60", "Other Error" }, { Label56, "Label56", "Connect Error" },
    };
    int y = 24;
    for (const Lamp &lamp : lamps) {
        lamp.label = new QLabel(QString::fromLatin1(lamp.caption), GroupBox2);
        lamp.label->setObjectName(QString::fromLatin1(lamp.name));
        lamp.label->setGeometry(16, y, 89, 17);
        // Unlit lamps are greyed.
        lamp.label->setEnabled(false);
        y += 28;
    }
    Button7 = AddButton(GroupBox2, QStringLiteral("Button7"), QStringLiteral("Get Status"),
                        { 12, 320, 89, 25 });
    connect(Button7, &QPushButton::clicked, this, Guarded([this](bool) { Button7Click(); }));
    GroupBox2->hide();
}

void PrinterConfigTab::CreateSetupPanel()
{
    GroupBox7 = new QGroupBox(QStringLiteral("Print Configuration"), this);
    GroupBox7->setObjectName(QStringLiteral("GroupBox7"));
    GroupBox7->setGeometry(120, 0, 545, 481);

    resolutionGroup_ = new QButtonGroup(this);
    RadioGroup5
        = AddRadioGroup(GroupBox7, QStringLiteral("RadioGroup5"), QStringLiteral("Resolution"),
                        { QStringLiteral("203dpi"), QStringLiteral("300dpi") }, { 8, 16, 257, 45 },
                        resolutionGroup_, RadioGroup5Items);
    RadioGroup5Items[0]->setChecked(true);

    unitGroup_ = new QButtonGroup(this);
    RadioGroup1
        = AddRadioGroup(GroupBox7, QStringLiteral("RadioGroup1"), QStringLiteral("Unit"),
                        { QStringLiteral("Inch"), QStringLiteral("mm"), QStringLiteral("cm") },
                        { 272, 16, 265, 45 }, unitGroup_, RadioGroup1Items);
    RadioGroup1Items[1]->setChecked(true);

    GroupBox6 = new QGroupBox(QStringLiteral("Printer Setup"), GroupBox7);
    GroupBox6->setObjectName(QStringLiteral("GroupBox6"));
    GroupBox6->setGeometry(8, 68, 529, 305);
    CreateSetupFields();
    CreateReservedControls();

    Button10 = AddButton(GroupBox7, QStringLiteral("Button10"), QStringLiteral("Store Settings"),
                         { 8, 384, 97, 25 });
    Button24 = AddButton(GroupBox7, QStringLiteral("Button24"), QStringLiteral("Pint Label"),
                         { 120, 384, 97, 25 });
    Edit1 = AddEdit(GroupBox7, QStringLiteral("Edit1"), QStringLiteral("1"), 232, 385, 49);
    AddCaption(GroupBox7, QStringLiteral("Label26"), QStringLiteral("Pices"), 288, 385);

    Boxck = new QCheckBox(QStringLiteral("BOX"), GroupBox7);
    Boxck->setObjectName(QStringLiteral("Boxck"));
    Boxck->setGeometry(336, 387, 57, 19);
    Boxck->hide();
    Button9 = AddButton(GroupBox7, QStringLiteral("Button9"), QStringLiteral("Clear"),
                        { 8, 420, 97, 25 });
    Button9->hide();

    connect(resolutionGroup_, &QButtonGroup::idToggled, this, Guarded([this](int, bool checked) {
                if (checked)
                    RadioGroup5Click();
            }));
    connect(unitGroup_, &QButtonGroup::idToggled, this, Guarded([this](int, bool checked) {
                if (checked)
                    RadioGroup1Click();
            }));
    connect(Button9, &QPushButton::clicked, this, Guarded([this](bool) { Button9Click(); }));
    connect(Button10, &QPushButton::clicked, this, Guarded([this](bool) { Button10Click(); }));
    connect(Button24, &QPushButton::clicked, this, Guarded([this](bool) { Button24Click(); }));
}

void PrinterConfigTab::CreateSetupFields()
{
    QWidget *g = GroupBox6;
    auto rowY = [](int row) {
        return RowTop + row * RowStep;
    };

    AddCaption(g, QStringLiteral("Label9"), QStringLiteral("Speed:"), CaptionX, rowY(0));
    speedcb = AddCombo(g, QStringLiteral("speedcb"),
                       WithBlank({ QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4"),
                                   QStringLiteral("5") }),
                       FieldX, rowY(0), FieldWidth);
    speedcb->setCurrentIndex(2);

    AddCaption(g, QStringLiteral("Label10"), QStringLiteral("Density:"), CaptionX, rowY(1));
    densitycb
        = AddCombo(g, QStringLiteral("densitycb"), DensityItems(), FieldX, rowY(1), FieldWidth);
    densitycb->setMaxVisibleItems(50);
    densitycb->setCurrentIndex(16);

    const LengthUnit unit = LengthUnit::Mm;
    Label13 = AddCaption(g, QStringLiteral("Label13"), WidthCaption(unit), CaptionX, rowY(2));
    paperwidthe = AddEdit(g, QStringLiteral("paperwidthe"), QStringLiteral("76"), FieldX, rowY(2),
                          FieldWidth);
    Label14 = AddCaption(g, QStringLiteral("Label14"), HeightCaption(unit), CaptionX, rowY(3));
    paperheighte = AddEdit(g, QStringLiteral("paperheighte"), QStringLiteral("200"), FieldX,
                           rowY(3), FieldWidth);

    AddCaption(g, QStringLiteral("Label15"), QStringLiteral("Media Sensor:"), CaptionX, rowY(4));
    mediasensorcb
        = AddCombo(g, QStringLiteral("mediasensorcb"),
                   WithBlank({ QStringLiteral("Continuous"), QStringLiteral("Web Sensing"),
                               QStringLiteral("Mark Sensing") }),
                   FieldX, rowY(4), FieldWidth);
    mediasensorcb->setCurrentIndex(1);

    AddCaption(g, QStringLiteral("Label16"), QStringLiteral("Media Type:"), CaptionX, rowY(5));
    ribboncb = AddCombo(
        g, QStringLiteral("ribboncb"),
        WithBlank({ QStringLiteral("Thermal Direct"), QStringLiteral("Thermal Transfer") }), FieldX,
        rowY(5), FieldWidth);
    ribboncb->setCurrentIndex(1);

    AddCaption(g, QStringLiteral("Label17"), QStringLiteral("Post-Print Action:"), CaptionX,
               rowY(6));
    postactivecb = AddCombo(g, QStringLiteral("postactivecb"),
                            WithBlank({ QStringLiteral("Rewind"), QStringLiteral("Tear off"),
                                        QStringLiteral("Peel off") }),
                            FieldX, rowY(6), FieldWidth);
    postactivecb->setCurrentIndex(2);

    AddCaption(g, QStringLiteral("Label18"), QStringLiteral("Direction:"), CaptionX, rowY(7));
    directionxcb
        = AddCombo(g, QStringLiteral("directionxcb"),
                   WithBlank({ QStringLiteral("Normal"), QStringLiteral("Invert:Rotation 180") }),
                   FieldX, rowY(7), FieldWidth);
    directionxcb->setCurrentIndex(1);

    const RangeCaptions ranges = RangeCaptionsFor(Resolution::Dpi203);
    const int topY = rowY(8) + 5;
    Label22 = AddCaption(g, QStringLiteral("Label22"), ranges.top, CaptionX, topY);
    Lte = AddEdit(g, QStringLiteral("Lte"), QStringLiteral("0"), OffsetX, topY, OffsetWidth);
    Label23 = AddCaption(g, QStringLiteral("Label23"), ranges.shift, CaptionX, topY + RowStep);
    Shifte = AddEdit(g, QStringLiteral("Shifte"), QStringLiteral("0"), OffsetX, topY + RowStep,
                     OffsetWidth);
    const int homeY = topY + 2 * RowStep + 14;
    auto *xy = AddCaption(g, QStringLiteral("Label25"), QStringLiteral("x:                y:"),
                          OffsetX, homeY - 15);
    xy->setFixedHeight(15);
    Label24 = AddCaption(g, QStringLiteral("Label24"), ranges.home, CaptionX, homeY);
    Homexe = AddEdit(g, QStringLiteral("Homexe"), QStringLiteral("0"), OffsetX, homeY, OffsetWidth);
    Homexe->setMaxLength(4);
    // Digits only: no input method composing other characters.
    Homexe->setAttribute(Qt::WA_InputMethodEnabled, false);
    Homexe->installEventFilter(this);
    Homeye = AddEdit(g, QStringLiteral("Homeye"), QStringLiteral("0"), HomeYX, homeY, OffsetWidth);
    Homeye->setMaxLength(4);
}

void PrinterConfigTab::CreateReservedControls()
{
    // Settings the panel reserves room for but no command sends yet: created
    // and hidden, cleared by Clear, otherwise untouched.
    QWidget *g = GroupBox6;
    constexpr int captionX = 288;
    constexpr int fieldX = 400;
    constexpr int width = 121;
    // Sixteen rows share the right half of the group, so they are packed
    // closer than the visible fields.
    constexpr int step = 17;
    int row = 0;
    QList<QWidget *> reserved;
    auto nextY = [&row] {
        return RowTop + (row++) * step;
    };
    auto edit = [&](const QString &caption, const QString &label, const QString &name) {
        const int y = nextY();
        reserved << AddCaption(g, label, caption, captionX, y);
        QLineEdit *e = AddEdit(g, name, QString(), fieldX, y, width);
        e->setFixedHeight(step);
        reserved << e;
        return e;
    };
    auto combo = [&](const QString &caption, const QString &label, const QString &name,
                     const QStringList &items) {
        const int y = nextY();
        if (!caption.isEmpty())
            reserved << AddCaption(g, label, caption, captionX, y);
        QComboBox *c = AddCombo(g, name, WithBlank(items), fieldX, y, width);
        c->setFixedHeight(step);
        c->setCurrentIndex(0);
        reserved << c;
        return c;
    };

    gape = edit(QStringLiteral("Gap(unit):"), QStringLiteral("Label27"), QStringLiteral("gape"));
    gapoffsete = edit(QStringLiteral("Gap offset(unit):"), QStringLiteral("Label28"),
                      QStringLiteral("gapoffsete"));
    cutpiecee = edit(QStringLiteral("Cut Piece:"), QStringLiteral("Label29"),
                     QStringLiteral("cutpiecee"));
    referencexe = edit(QStringLiteral("Reference:(Dots)"), QStringLiteral("Label30"),
                       QStringLiteral("referencexe"));
    referencexe->setFixedWidth(56);
    referenceye
        = AddEdit(g, QStringLiteral("referenceye"), QString(), fieldX + 65, referencexe->y(), 56);
    referenceye->setFixedHeight(step);
    reserved << referenceye;
    directionycb = combo(QString(), QString(), QStringLiteral("directionycb"),
                         { QStringLiteral("0"), QStringLiteral("1") });
    codepagecb = combo(
        QStringLiteral("Code Page:"), QStringLiteral("Label31"), QStringLiteral("codepagecb"),
        { "437", "850", "852", "860", "863", "865", "857", "1250", "1252", "1253", "1254" });
    countrycodecb = combo(
        QStringLiteral("Country Code:"), QStringLiteral("Label32"), QStringLiteral("countrycodecb"),
        { "001", "002", "003", "031", "032", "033", "034", "036", "038", "039", "041",
          "042", "044", "045", "046", "047", "048", "049", "055", "061", "351", "358" });
    headupsensorcb = combo(QStringLiteral("Head-up Sensor:"), QStringLiteral("Label33"),
                           QStringLiteral("headupsensorcb"), { "OFF", "ON" });
    reprintcb = combo(QStringLiteral("Reprint After Error:"), QStringLiteral("Label34"),
                      QStringLiteral("reprintcb"), { "OFF", "ON" });
    gapintene = edit(QStringLiteral("Gap Inten:"), QStringLiteral("Label35"),
                     QStringLiteral("gapintene"));
    blineintene = edit(QStringLiteral("Bline Inten:"), QStringLiteral("Label36"),
                       QStringLiteral("blineintene"));
    continuousintene = edit(QStringLiteral("Continuous Inten:"), QStringLiteral("Label37"),
                            QStringLiteral("continuousintene"));
    baudratecb = combo(QStringLiteral("Baud Rate:"), QStringLiteral("Label38"),
                       QStringLiteral("baudratecb"),
                       { "2400", "4800", "9600", "19200", "38400", "57600", "115200" });
    databitscb = combo(QStringLiteral("Data Bits:"), QStringLiteral("Label39"),
                       QStringLiteral("databitscb"), { "7", "8" });
    paritycb = combo(QStringLiteral("Parity:"), QStringLiteral("Label40"),
                     QStringLiteral("paritycb"), { "None", "Even", "Odd" });
    stopbitcb = combo(QStringLiteral("Stop Bit(s):"), QStringLiteral("Label41"),
                      QStringLiteral("stopbitcb"), { "1", "2" });

    for (QWidget *w : reserved)
        w->hide();
}

QLabel *PrinterConfigTab::AddCaption(QWidget *parent, const QString &name, const QString &text,
                                     int x, int y)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    // Centred on the field's row; as wide as the longest text it may show.
    label->setGeometry(x, y, label->sizeHint().width() + 8, FieldHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QComboBox *PrinterConfigTab::AddCombo(QWidget *parent, const QString &name,
                                      const QStringList &items, int x, int y, int width)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    // Typing never adds to the fixed lists.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setGeometry(x, y, width, FieldHeight);
    return box;
}

QLineEdit *PrinterConfigTab::AddEdit(QWidget *parent, const QString &name, const QString &text,
                                     int x, int y, int width)
{
    auto *edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, FieldHeight);
    return edit;
}

Resolution PrinterConfigTab::SelectedResolution() const
{
    return resolutionGroup_->checkedId() == 1 ? Resolution::Dpi300 : Resolution::Dpi203;
}

LengthUnit PrinterConfigTab::SelectedUnit() const
{
    switch (unitGroup_->checkedId()) {
    case 0:
        return LengthUnit::Inch;
    case 2:
        return LengthUnit::Cm;
    default:
        return LengthUnit::Mm;
    }
}

SetupPanelValues PrinterConfigTab::SetupValues() const
{
    SetupPanelValues v;
    v.resolution = SelectedResolution();
    v.unit = SelectedUnit();
    v.speed = ReadCombo(speedcb);
    v.density = ReadCombo(densitycb);
    v.mediaSensor = ReadCombo(mediasensorcb);
    v.postAction = ReadCombo(postactivecb);
    v.mediaType = ReadCombo(ribboncb);
    v.direction = ReadCombo(directionxcb);
    v.width = paperwidthe->text();
    v.height = paperheighte->text();
    v.top = Lte->text();
    v.shift = Shifte->text();
    v.homeX = Homexe->text();
    v.homeY = Homeye->text();
    v.quantity = Edit1->text();
    v.box = Boxck->isChecked();
    return v;
}

void PrinterConfigTab::Send(const QByteArray &command)
{
    link_.CommandBuffer = command;
    link_.SendToPrinter();
}

void PrinterConfigTab::Button1Click()
{
    Send(FactoryDefaultCommand());
}

void PrinterConfigTab::Button2Click()
{
    Send(PrintTestPageCommand());
}

void PrinterConfigTab::Button3Click()
{
    Send(ResetPrinterCommand());
}

void PrinterConfigTab::Button4Click()
{
    Send(DumpModeCommand());
}

void PrinterConfigTab::Button7Click()
{
    link_.CommandBuffer = StatusRequestCommand();
    const std::optional<QByteArray> reply = link_.SerialExchange(StatusExchangeOptions());
    if (!reply)
        return; // COM not selected: the link has said so, nothing changes
    ShowStatus(EvaluateStatusReply(*reply));
}

void PrinterConfigTab::ShowStatus(const StatusLamps &lamps)
{
    // A lit lamp is enabled and coloured; an unlit one is disabled, which
    // draws it greyed whatever its colour.
    auto light = [](QLabel *label, bool lit, QColor colour) {
        label->setEnabled(lit);
        if (!lit)
            return;
        QPalette palette = label->palette();
        palette.setColor(QPalette::Active, QPalette::WindowText, colour);
        palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
        label->setPalette(palette);
    };
    const QColor red(255, 0, 0);
    const QColor green(0, 255, 0);
    light(Label56, lamps.connectError, red);
    light(Label1, lamps.ready, green);
    QLabel *const conditions[8]
        = { Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label60 };
    for (int bit = 0; bit < 8; ++bit)
        light(conditions[bit], lamps.conditions[bit], red);
}

void PrinterConfigTab::RefreshSizeCaptions()
{
    const LengthUnit unit = SelectedUnit();
    Label13->setText(WidthCaption(unit));
    Label14->setText(HeightCaption(unit));
}

void PrinterConfigTab::RadioGroup1Click()
{
    RefreshSizeCaptions();
}

void PrinterConfigTab::RadioGroup5Click()
{
    const RangeCaptions ranges = RangeCaptionsFor(SelectedResolution());
    Label22->setText(ranges.top);
    Label23->setText(ranges.shift);
    Label24->setText(ranges.home);
}

void PrinterConfigTab::HomexeKeyPress(QChar &key)
{
    const bool passes = key == QChar(8) || key == QChar(13)
        || (key >= QLatin1Char('0') && key <= QLatin1Char('9'));
    if (passes)
        return;
    key = QChar(0);
    ShowMessage(QStringLiteral("只能输入数字"));
}

bool PrinterConfigTab::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Homexe && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        // Focus moves and keys that type nothing (arrows, Delete) are not
        // characters; everything else is, control characters included.
        if (keyEvent->key() == Qt::Key_Tab || keyEvent->key() == Qt::Key_Backtab)
            return false;
        const QString text = keyEvent->text();
        for (QChar ch : text) {
            bool swallowed = false;
            Guarded([this, ch, &swallowed] {
                QChar key = ch;
                HomexeKeyPress(key);
                swallowed = key.isNull();
            })();
            if (swallowed)
                return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PrinterConfigTab::Button9Click()
{
    for (QComboBox *box : { speedcb, densitycb, mediasensorcb, postactivecb, directionxcb,
                            directionycb, ribboncb, codepagecb, countrycodecb, headupsensorcb,
                            reprintcb, baudratecb, databitscb, paritycb, stopbitcb })
        box->setCurrentIndex(0);
    for (QLineEdit *edit : { paperwidthe, paperheighte, gape, gapoffsete, cutpiecee, referencexe,
                             referenceye, gapintene, blineintene, continuousintene })
        edit->clear();
    for (QLineEdit *edit : { Shifte, Homexe, Homeye })
        edit->setText(QStringLiteral("0"));
}

void PrinterConfigTab::Button10Click()
{
    RefreshSizeCaptions();
    Send(StoreSettingsCommand(SetupValues()));
}

void PrinterConfigTab::Button24Click()
{
    RefreshSizeCaptions();
    Send(TestLabelCommand(SetupValues()));
}
