#include "commands/ui/printerconfigtab.h"

#include "commands/functioncommands.h"
#include "commands/settingsbuilder.h"
#include "commands/statusquery.h"
#include "commands/testlabel.h"
#include "link/printerlink.h"
#include "commands/ui/setuppreview.h"
#include "preview/ui/previewwindow.h"
#include "ui/controls.h"
#include "ui/errorbox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

PrinterConfigTab::PrinterConfigTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet1"));
    CreateFunctionGroup();
    CreateStatusGroup();
    GroupBox7 = new SetupPanelBox(this);
    GroupBox7->setGeometry(120, 0, 545, 481);
    connect(GroupBox7->Button10, &QPushButton::clicked, this,
            Guarded([this](bool) { Button10Click(); }));
    connect(GroupBox7->Button24, &QPushButton::clicked, this,
            Guarded([this](bool) { Button24Click(); }));
    connect(GroupBox7->PreviewButton, &QPushButton::clicked, this,
            Guarded([this](bool) { PreviewButtonClick(); }));
    PrepareAdvancedView();
}

void PrinterConfigTab::PrepareAdvancedView()
{
    // The function group grows to four buttons, 30 pixels apart, and the
    // status group below it packs its lamps a little closer.
    advancedView_.Move(GroupBox1, { 0, 0, 113, 139 });
    QPushButton *const functions[] = { Button1, Button2, Button3, Button4 };
    for (int i = 0; i < 4; ++i) {
        const QRect place { 12, 16 + 30 * i, 89, 25 };
        if (functions[i] == Button3)
            advancedView_.Reveal(Button3, place);
        else
            advancedView_.Move(functions[i], place);
    }
    advancedView_.Reveal(GroupBox2, QRect { 0, 144, 113, 337 });
    QLabel *const lamps[]
        = { Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label60, Label56 };
    for (int i = 0; i < 10; ++i)
        advancedView_.Move(lamps[i], { 16, 22 + 26 * i, 89, 17 });
    advancedView_.Move(Button7, { 12, 298, 89, 25 });
    advancedView_.Reveal(GroupBox7->Boxck);
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
        QString caption;
    };
    const Lamp lamps[] = {
        { Label1, "Label1", ReadyCaption() },        { Label2, "Label2", ConditionCaption(0) },
        { Label3, "Label3", ConditionCaption(1) },   { Label4, "Label4", ConditionCaption(2) },
        { Label5, "Label5", ConditionCaption(3) },   { Label6, "Label6", ConditionCaption(4) },
        { Label7, "Label7", ConditionCaption(5) },   { Label8, "Label8", ConditionCaption(6) },
        { Label60, "Label60", ConditionCaption(7) }, { Label56, "Label56", ConnectErrorCaption() },
    };
    int y = 24;
    for (const Lamp &lamp : lamps) {
        lamp.label = new QLabel(lamp.caption, GroupBox2);
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
    // Without COM the link raises its message before anything changes.
    ShowStatus(EvaluateStatusReply(link_.SerialExchange(StatusExchangeOptions())));
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

SetupPanelValues PrinterConfigTab::SetupValues() const
{
    return GroupBox7->SetupValues();
}

void PrinterConfigTab::Button10Click()
{
    GroupBox7->RefreshSizeCaptions();
    Send(StoreSettingsCommand(SetupValues()));
}

void PrinterConfigTab::Button24Click()
{
    GroupBox7->RefreshSizeCaptions();
    Send(TestLabelCommand(SetupValues()));
}

void PrinterConfigTab::PreviewButtonClick()
{
    GroupBox7->RefreshSizeCaptions();
    const SetupPanelValues values = SetupValues();
    PreviewRequest request = PreviewRequestFor(values);
    request.source = QStringLiteral("Pint Label");
    request.commands = TestLabelCommand(values);
    PreviewWindow::Show(this, request);
}
