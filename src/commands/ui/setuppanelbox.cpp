#include "commands/ui/setuppanelbox.h"

#include "ui/controls.h"
#include "ui/errorbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
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

// The reserved boxes' lists, with the blank item first like every box's.
QStringList WithBlank(QStringList items)
{
    items.prepend(QString());
    return items;
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

// Controls of the panel's rows: captions centred on their field's row,
// editable combo boxes with fixed lists, and edits, all one row high.
QLabel *AddFieldCaption(QWidget *parent, const QString &name, const QString &text, int x, int y)
{
    auto *label = Named(new QLabel(text, parent), name);
    // Centred on the field's row; as wide as the longest text it may show.
    label->setGeometry(x, y, label->sizeHint().width() + 8, FieldHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return label;
}

QComboBox *AddCombo(QWidget *parent, const QString &name, const QStringList &items, int x, int y,
                    int width)
{
    auto *box = Named(new QComboBox(parent), name);
    box->setEditable(true);
    // Typing never adds to the fixed lists.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setGeometry(x, y, width, FieldHeight);
    return box;
}

QLineEdit *AddFieldEdit(QWidget *parent, const QString &name, const QString &text, int x, int y,
                        int width)
{
    auto *edit = Named(new QLineEdit(text, parent), name);
    edit->setGeometry(x, y, width, FieldHeight);
    return edit;
}

} // namespace

SetupPanelBox::SetupPanelBox(QWidget *parent)
    : QGroupBox(QStringLiteral("Print Configuration"), parent)
{
    setObjectName(QStringLiteral("GroupBox7"));

    // The items of both groups stand side by side in equal columns.
    auto columns = [this](const QString &name, const QString &title, const QRect &geometry,
                          const QStringList &items) {
        const int column = (geometry.width() - 16) / int(items.size());
        return AddRadioGroup(this, name, title, geometry, items, { 8, 20, column - 8, 19 },
                             { column, 0 });
    };
    const RadioGroupControls resolution
        = columns(QStringLiteral("RadioGroup5"), QStringLiteral("Resolution"), { 8, 16, 257, 45 },
                  { QStringLiteral("203dpi"), QStringLiteral("300dpi") });
    RadioGroup5 = resolution.box;
    resolutionGroup_ = resolution.buttons;
    for (int i = 0; i < 2; ++i)
        RadioGroup5Items[i] = resolution.Item(i);
    RadioGroup5Items[0]->setChecked(true);

    const RadioGroupControls unit
        = columns(QStringLiteral("RadioGroup1"), QStringLiteral("Unit"), { 272, 16, 265, 45 },
                  { QStringLiteral("Inch"), QStringLiteral("mm"), QStringLiteral("cm") });
    RadioGroup1 = unit.box;
    unitGroup_ = unit.buttons;
    for (int i = 0; i < 3; ++i)
        RadioGroup1Items[i] = unit.Item(i);
    RadioGroup1Items[1]->setChecked(true);

    GroupBox6 = new QGroupBox(QStringLiteral("Printer Setup"), this);
    GroupBox6->setObjectName(QStringLiteral("GroupBox6"));
    GroupBox6->setGeometry(8, 68, 529, 305);
    CreateSetupFields();
    CreateReservedControls();

    Button10 = AddButton(this, QStringLiteral("Button10"), QStringLiteral("Store Settings"),
                         { 8, 384, 97, 25 });
    Button24 = AddButton(this, QStringLiteral("Button24"), QStringLiteral("Pint Label"),
                         { 120, 384, 97, 25 });
    Edit1 = AddFieldEdit(this, QStringLiteral("Edit1"), QStringLiteral("1"), 232, 385, 49);
    AddFieldCaption(this, QStringLiteral("Label26"), QStringLiteral("Pices"), 288, 385);

    Boxck = new QCheckBox(QStringLiteral("BOX"), this);
    Boxck->setObjectName(QStringLiteral("Boxck"));
    Boxck->setGeometry(336, 387, 57, 19);
    Boxck->hide();
    // Right of the (hidden) BOX check box, so no specified control moves.
    PreviewButton = AddButton(this, QStringLiteral("PreviewButton"), QStringLiteral("Preview"),
                              { 400, 384, 97, 25 });
    PreviewButton->setToolTip(QStringLiteral("Show the labels \"Pint Label\" would print"));
    Button9
        = AddButton(this, QStringLiteral("Button9"), QStringLiteral("Clear"), { 8, 420, 97, 25 });
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
}

void SetupPanelBox::CreateSetupFields()
{
    QWidget *g = GroupBox6;
    auto rowY = [](int row) {
        return RowTop + row * RowStep;
    };

    AddFieldCaption(g, QStringLiteral("Label9"), QStringLiteral("Speed:"), CaptionX, rowY(0));
    const SetupPanelItemLists &items = SetupPanelItems();
    speedcb = AddCombo(g, QStringLiteral("speedcb"), items.speed, FieldX, rowY(0), FieldWidth);
    speedcb->setCurrentIndex(2);

    AddFieldCaption(g, QStringLiteral("Label10"), QStringLiteral("Density:"), CaptionX, rowY(1));
    densitycb
        = AddCombo(g, QStringLiteral("densitycb"), items.density, FieldX, rowY(1), FieldWidth);
    densitycb->setMaxVisibleItems(50);
    densitycb->setCurrentIndex(16);

    const LengthUnit unit = LengthUnit::Mm;
    Label13 = AddFieldCaption(g, QStringLiteral("Label13"), WidthCaption(unit), CaptionX, rowY(2));
    paperwidthe = AddFieldEdit(g, QStringLiteral("paperwidthe"), QStringLiteral("76"), FieldX,
                               rowY(2), FieldWidth);
    Label14 = AddFieldCaption(g, QStringLiteral("Label14"), HeightCaption(unit), CaptionX, rowY(3));
    paperheighte = AddFieldEdit(g, QStringLiteral("paperheighte"), QStringLiteral("200"), FieldX,
                                rowY(3), FieldWidth);

    AddFieldCaption(g, QStringLiteral("Label15"), QStringLiteral("Media Sensor:"), CaptionX,
                    rowY(4));
    mediasensorcb = AddCombo(g, QStringLiteral("mediasensorcb"), items.mediaSensor, FieldX, rowY(4),
                             FieldWidth);
    mediasensorcb->setCurrentIndex(1);

    AddFieldCaption(g, QStringLiteral("Label16"), QStringLiteral("Media Type:"), CaptionX, rowY(5));
    ribboncb
        = AddCombo(g, QStringLiteral("ribboncb"), items.mediaType, FieldX, rowY(5), FieldWidth);
    ribboncb->setCurrentIndex(1);

    AddFieldCaption(g, QStringLiteral("Label17"), QStringLiteral("Post-Print Action:"), CaptionX,
                    rowY(6));
    postactivecb = AddCombo(g, QStringLiteral("postactivecb"), items.postAction, FieldX, rowY(6),
                            FieldWidth);
    postactivecb->setCurrentIndex(2);

    AddFieldCaption(g, QStringLiteral("Label18"), QStringLiteral("Direction:"), CaptionX, rowY(7));
    directionxcb
        = AddCombo(g, QStringLiteral("directionxcb"), items.direction, FieldX, rowY(7), FieldWidth);
    directionxcb->setCurrentIndex(1);

    const RangeCaptions ranges = RangeCaptionsFor(Resolution::Dpi203);
    const int topY = rowY(8) + 5;
    Label22 = AddFieldCaption(g, QStringLiteral("Label22"), ranges.top, CaptionX, topY);
    Lte = AddFieldEdit(g, QStringLiteral("Lte"), QStringLiteral("0"), OffsetX, topY, OffsetWidth);
    Label23 = AddFieldCaption(g, QStringLiteral("Label23"), ranges.shift, CaptionX, topY + RowStep);
    Shifte = AddFieldEdit(g, QStringLiteral("Shifte"), QStringLiteral("0"), OffsetX, topY + RowStep,
                          OffsetWidth);
    const int homeY = topY + 2 * RowStep + 14;
    auto *xy = AddFieldCaption(g, QStringLiteral("Label25"), QStringLiteral("x:                y:"),
                               OffsetX, homeY - 15);
    xy->setFixedHeight(15);
    Label24 = AddFieldCaption(g, QStringLiteral("Label24"), ranges.home, CaptionX, homeY);
    Homexe = AddFieldEdit(g, QStringLiteral("Homexe"), QStringLiteral("0"), OffsetX, homeY,
                          OffsetWidth);
    Homexe->setMaxLength(4);
    // Digits only: no input method composing other characters.
    Homexe->setAttribute(Qt::WA_InputMethodEnabled, false);
    Homexe->installEventFilter(this);
    Homeye = AddFieldEdit(g, QStringLiteral("Homeye"), QStringLiteral("0"), HomeYX, homeY,
                          OffsetWidth);
    Homeye->setMaxLength(4);
}

void SetupPanelBox::CreateReservedControls()
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
        reserved << AddFieldCaption(g, label, caption, captionX, y);
        QLineEdit *e = AddFieldEdit(g, name, QString(), fieldX, y, width);
        e->setFixedHeight(step);
        reserved << e;
        return e;
    };
    auto combo = [&](const QString &caption, const QString &label, const QString &name,
                     const QStringList &items) {
        const int y = nextY();
        if (!caption.isEmpty())
            reserved << AddFieldCaption(g, label, caption, captionX, y);
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
    referenceye = AddFieldEdit(g, QStringLiteral("referenceye"), QString(), fieldX + 65,
                               referencexe->y(), 56);
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

Resolution SetupPanelBox::SelectedResolution() const
{
    return resolutionGroup_->checkedId() == 1 ? Resolution::Dpi300 : Resolution::Dpi203;
}

LengthUnit SetupPanelBox::SelectedUnit() const
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

SetupPanelValues SetupPanelBox::SetupValues() const
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

void SetupPanelBox::RefreshSizeCaptions()
{
    const LengthUnit unit = SelectedUnit();
    Label13->setText(WidthCaption(unit));
    Label14->setText(HeightCaption(unit));
}

void SetupPanelBox::RadioGroup1Click()
{
    RefreshSizeCaptions();
}

void SetupPanelBox::RadioGroup5Click()
{
    const RangeCaptions ranges = RangeCaptionsFor(SelectedResolution());
    Label22->setText(ranges.top);
    Label23->setText(ranges.shift);
    Label24->setText(ranges.home);
}

void SetupPanelBox::HomexeKeyPress(QChar &key)
{
    const bool passes = key == QChar(8) || key == QChar(13)
        || (key >= QLatin1Char('0') && key <= QLatin1Char('9'));
    if (passes)
        return;
    key = QChar(0);
    ShowMessage(QStringLiteral("只能输入数字"));
}

bool SetupPanelBox::eventFilter(QObject *watched, QEvent *event)
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

void SetupPanelBox::Button9Click()
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
