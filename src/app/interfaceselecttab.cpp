#include "app/interfaceselecttab.h"

#include "link/cupsprinter.h"
#include "network/ui/ipedit.h"
#include "serial/comsettings.h"
#include "ui/controls.h"
#include "ui/devicecombobox.h"
#include "ui/errorbox.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QThread>

namespace {

constexpr int GroupLeft = 150;
constexpr int GroupWidth = 440;
constexpr int FieldLeft = 104;

} // namespace

InterfaceSelectTab::InterfaceSelectTab(QLabel *summaryPanel, QWidget *parent)
    : QWidget(parent)
    , summaryPanel_(summaryPanel)
{
    setObjectName(QStringLiteral("TabSheet5"));

    auto radio = [this](const QString &name, const QString &text, int groupTop, int groupHeight) {
        auto *button = Named(new QRadioButton(text, this), name);
        button->move(32, groupTop + groupHeight / 2 - 8);
        button->adjustSize();
        return button;
    };
    auto group = [this](const QString &name, const QString &text, int top, int height) {
        auto *box = Named(new QGroupBox(text, this), name);
        box->setGeometry(GroupLeft, top, GroupWidth, height);
        return box;
    };

    // COM
    GroupBox8 = group(QStringLiteral("GroupBox8"), QStringLiteral("COM Configuration"), 16, 81);
    RadioButton1 = radio(QStringLiteral("RadioButton1"), QStringLiteral("COM"), 16, 81);
    AddCaption(GroupBox8, QStringLiteral("DKLabel"), QStringLiteral("Port Name:"), 16, 25);
    DK = Named(new DeviceComboBox(
                   { QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"),
                     QStringLiteral("COM4") },
                   [this] { return SerialDevices(deviceRoots_); }, GroupBox8),
               QStringLiteral("DK"));
    DK->setEditable(true);
    DK->Refresh();
    DK->setGeometry(FieldLeft, 21, 160, 22);
    DK->setCurrentIndex(0);
    AddCaption(GroupBox8, QStringLiteral("SD1Label"), QStringLiteral("Baud Rate:"), 16, 53);
    SD1 = Named(new QComboBox(GroupBox8), QStringLiteral("SD1"));
    SD1->setEditable(true);
    SD1->addItems({ QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("38400"),
                    QStringLiteral("115200") });
    SD1->setGeometry(FieldLeft, 49, 160, 22);
    SD1->setCurrentIndex(0);
    // The framing is fixed (N,8,1, Xon/Xoff): these captions sit below the
    // group's visible area with nothing beside them.
    AddCaption(GroupBox8, QStringLiteral("DataBitsLabel"), QStringLiteral("Data Bits"), 16, 96)
        ->hide();
    AddCaption(GroupBox8, QStringLiteral("StopBitsLabel"), QStringLiteral("Stop Bit(s)"), 16, 120);
    AddCaption(GroupBox8, QStringLiteral("ParityLabel"), QStringLiteral("Parity:"), 16, 144);
    AddCaption(GroupBox8, QStringLiteral("FlowControlLabel"), QStringLiteral("Flow Control:"), 16,
               168);

    // LPT
    GroupBox9 = group(QStringLiteral("GroupBox9"), QStringLiteral("LPT Selection"), 112, 57);
    RadioButton2 = radio(QStringLiteral("RadioButton2"), QStringLiteral("LPT"), 112, 57);
    AddCaption(GroupBox9, QStringLiteral("ComboBox25Label"), QStringLiteral("Port Name:"), 16, 25);
    ComboBox25 = Named(new DeviceComboBox(
                           { QStringLiteral("LPT1"), QStringLiteral("LPT2"), QStringLiteral("LPT3"),
                             QStringLiteral("LPT4") },
                           [this] { return UsbPrinterDevices(deviceRoots_); }, GroupBox9),
                       QStringLiteral("ComboBox25"));
    ComboBox25->setEditable(true);
    ComboBox25->Refresh();
    ComboBox25->setGeometry(FieldLeft, 21, 160, 22);
    ComboBox25->setCurrentIndex(0);

    // ETHERNET
    GroupBox10
        = group(QStringLiteral("GroupBox10"), QStringLiteral("Ethernet Configuration"), 184, 57);
    RadioButton3 = radio(QStringLiteral("RadioButton3"), QStringLiteral("ETHERNET"), 184, 57);
    AddCaption(GroupBox10, QStringLiteral("IPEdit1Label"), QStringLiteral("IP Address:"), 16, 25);
    IPEdit1 = Named(new TIPEdit(GroupBox10), QStringLiteral("IPEdit1"));
    IPEdit1->SetIPString(QStringLiteral("192.168.123.100"));
    QFont ipFont = IPEdit1->font();
    ipFont.setBold(true);
    IPEdit1->setFont(ipFont);
    IPEdit1->setGeometry(FieldLeft, 21, 160, 21);

    // DRIVER(USB): installed printers
    GroupBox11 = group(QStringLiteral("GroupBox11"), QStringLiteral("Driver Selection"), 256, 57);
    RadioButton4 = radio(QStringLiteral("RadioButton4"), QStringLiteral("DRIVER(USB)"), 256, 57);
    AddCaption(GroupBox11, QStringLiteral("ComboBox26Label"), QStringLiteral("Printer Driver:"), 16,
               25);
    // Read again when it drops down: a queue added while the program runs
    // appears.
    ComboBox26 = Named(new DeviceComboBox(
                           {},
                           [] {
                               QList<DeviceEntry> printers;
                               for (const QString &name : InstalledPrinters())
                                   printers.append({ name, QString() });
                               return printers;
                           },
                           GroupBox11),
                       QStringLiteral("ComboBox26"));
    ComboBox26->setEditable(true);
    ComboBox26->setMaxVisibleItems(20);
    ComboBox26->addItems({ QStringLiteral("VOREVEREVUZA"), QStringLiteral("File") });
    ComboBox26->setGeometry(FieldLeft, 21, 300, 22);
    ComboBox26->installEventFilter(this);
    ComboBox26->lineEdit()->installEventFilter(this);

    // File
    GroupBox12 = group(QStringLiteral("GroupBox12"), QStringLiteral("File Configuration"), 328, 57);
    RadioButton5 = radio(QStringLiteral("RadioButton5"), QStringLiteral("File"), 328, 57);
    AddCaption(GroupBox12, QStringLiteral("Edit17Label"), QStringLiteral("File Name:"), 16, 25);
    Edit17 = Named(new QLineEdit(QStringLiteral("abc.bin"), GroupBox12), QStringLiteral("Edit17"));
    Edit17->setGeometry(FieldLeft, 21, 160, 22);

    RadioButton4->setChecked(true);

    // A radio button's click handler runs only when it becomes checked.
    auto onChosen = [this](QRadioButton *button, void (InterfaceSelectTab::*handler)()) {
        connect(button, &QRadioButton::toggled, this, Guarded([this, handler](bool checked) {
                    if (checked)
                        (this->*handler)();
                }));
    };
    onChosen(RadioButton1, &InterfaceSelectTab::RadioButton1Click);
    onChosen(RadioButton2, &InterfaceSelectTab::RadioButton2Click);
    onChosen(RadioButton3, &InterfaceSelectTab::RadioButton3Click);
    onChosen(RadioButton4, &InterfaceSelectTab::RadioButton4Click);
    onChosen(RadioButton5, &InterfaceSelectTab::RadioButton5Click);
    connect(DK, &QComboBox::currentTextChanged, this,
            Guarded([this](const QString &) { DKChange(); }));
    connect(SD1, &QComboBox::currentTextChanged, this,
            Guarded([this](const QString &) { SD1Change(); }));
    connect(ComboBox25, &QComboBox::currentIndexChanged, this,
            Guarded([this](int) { ComboBox25Change(); }));
    connect(ComboBox26, &QComboBox::currentTextChanged, this,
            Guarded([this](const QString &) { ComboBox26Change(); }));
    connect(IPEdit1, &TIPEdit::OnChange, this, Guarded([this] { IPEdit1Change(); }));
    connect(Edit17, &QLineEdit::textChanged, this,
            Guarded([this](const QString &) { Edit17Change(); }));
}

LinkTarget InterfaceSelectTab::Target() const
{
    AwaitPrinterList();
    if (RadioButton1->isChecked())
        return LinkTarget::Com(DK->currentText(),
                               BaudRateValue(BaudRateFromText(SD1->currentText()), 0));
    if (RadioButton2->isChecked()) {
        // Only an entry of the list counts, never text typed into the box.
        const int lpt = ComboBox25->currentIndex();
        return LinkTarget::Lpt(lpt >= 0 ? ComboBox25->itemText(lpt) : QString());
    }
    if (RadioButton3->isChecked())
        return LinkTarget::Ethernet(IpAddress());
    if (RadioButton5->isChecked())
        return LinkTarget::File(Edit17->text());
    return LinkTarget::Driver(ComboBox26->currentText());
}

QString InterfaceSelectTab::IpAddress() const
{
    return IPEdit1->IPString();
}

void InterfaceSelectTab::SetSummary(const QString &text)
{
    if (summaryPanel_)
        summaryPanel_->setText(text);
}

QString InterfaceSelectTab::ComSummary() const
{
    return DK->currentText() + QLatin1Char(':') + SD1->currentText()
        + QStringLiteral(",N,8,1,Xon/Xoff");
}

QString InterfaceSelectTab::LptSummary() const
{
    const int i = ComboBox25->currentIndex();
    return i >= 0 ? ComboBox25->itemText(i) : QString();
}

QString InterfaceSelectTab::EthernetSummary() const
{
    return QStringLiteral("ETHERNET ") + IpAddress();
}

QString InterfaceSelectTab::DriverSummary() const
{
    const int i = ComboBox26->currentIndex();
    return QStringLiteral("Driver ") + (i >= 0 ? ComboBox26->itemText(i) : QString());
}

QString InterfaceSelectTab::FileSummary() const
{
    return QStringLiteral("File ") + Edit17->text() + QStringLiteral(".bin");
}

void InterfaceSelectTab::WriteComSummary()
{
    SetSummary(ComSummary());
}

struct InterfaceSelectTab::PrinterQuery
{
    std::unique_ptr<QThread> thread;
    QStringList names; // written by the thread, read once it has finished
};

InterfaceSelectTab::~InterfaceSelectTab()
{
    AwaitPrinterList(false);
}

void InterfaceSelectTab::FillPrinterList()
{
    AwaitPrinterList(false);
    ShowPrinters(InstalledPrinters());
}

void InterfaceSelectTab::StartFillingPrinterList()
{
    AwaitPrinterList(false);
    printerQuery_ = std::make_unique<PrinterQuery>();
    PrinterQuery *query = printerQuery_.get();
    query->thread.reset(QThread::create([query] { query->names = InstalledPrinters(); }));
    connect(query->thread.get(), &QThread::finished, this, [this] { AwaitPrinterList(); });
    query->thread->start();
}

void InterfaceSelectTab::AwaitPrinterList(bool apply) const
{
    if (!printerQuery_)
        return;
    const std::unique_ptr<PrinterQuery> query = std::move(printerQuery_);
    query->thread->wait();
    if (apply)
        ShowPrinters(query->names);
}

void InterfaceSelectTab::ShowPrinters(const QStringList &names) const
{
    // Filling the list is no operator's choice: the summary stays as it is.
    const QSignalBlocker quiet(ComboBox26);
    ComboBox26->clear();
    ComboBox26->addItems(names);
    ComboBox26->setCurrentIndex(ComboBox26->count() > 0 ? 0 : -1);
}

bool InterfaceSelectTab::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == ComboBox26 || watched == ComboBox26->lineEdit())
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::KeyPress
            || event->type() == QEvent::Wheel))
        AwaitPrinterList();
    return QWidget::eventFilter(watched, event);
}

// Choosing COM behaves as a change of its settings does, so the status bar
// never names an interface other than the selected one.
void InterfaceSelectTab::RadioButton1Click()
{
    DKChange();
}

void InterfaceSelectTab::RadioButton2Click()
{
    SetSummary(LptSummary());
}

void InterfaceSelectTab::RadioButton3Click()
{
    SetSummary(EthernetSummary());
}

void InterfaceSelectTab::RadioButton4Click()
{
    AwaitPrinterList();
    SetSummary(DriverSummary());
}

void InterfaceSelectTab::RadioButton5Click()
{
    SetSummary(FileSummary());
}

void InterfaceSelectTab::ComboBox25Change()
{
    if (RadioButton2->isChecked())
        SetSummary(LptSummary());
}

void InterfaceSelectTab::IPEdit1Change()
{
    if (RadioButton3->isChecked())
        SetSummary(EthernetSummary());
}

void InterfaceSelectTab::ComboBox26Change()
{
    if (RadioButton4->isChecked())
        SetSummary(DriverSummary());
}

void InterfaceSelectTab::Edit17Change()
{
    if (RadioButton5->isChecked())
        SetSummary(FileSummary());
}

void InterfaceSelectTab::DKChange()
{
    if (!RadioButton1->isChecked())
        return;
    SetSummary(ComSummary());
    HandComSettings();
}

void InterfaceSelectTab::SelectCom(const QString &device)
{
    DK->setEditText(device);
    RadioButton1->click();
}

void InterfaceSelectTab::SelectEthernet(const QString &address)
{
    IPEdit1->SetIPString(address);
    RadioButton3->click();
}

void InterfaceSelectTab::HandComSettings()
{
    emit ComSettingsChanged(DK->currentText(), SD1->currentText());
}

void InterfaceSelectTab::SD1Change()
{
    DKChange();
}
