#include "app/mainform.h"

#include "app/discoverywindow.h"
#include "app/printerinfowindow.h"
#include "network/ui/ipedit.h"

#include "app/aboutform.h"
#include "app/interfaceselecttab.h"
#include "app/virtualprinterwindow.h"
#include "commands/ui/printerconfigtab.h"
#include "commands/ui/setuppreview.h"
#include "files/ui/filemanagertab.h"
#include "link/printerlink.h"
#include "network/ui/ethernetsetuptab.h"
#include "serial/comdatapacket.h"
#include "serial/cport.h"
#include "tool/ui/commandtooltab.h"
#include "ui/errorbox.h"
#include "ui/transferprogress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <utility>

namespace {
constexpr int ClientWidth = 691;
constexpr int ClientHeight = 577;
constexpr int PanelWidths[4] = { 230, 190, 100, 80 };
} // namespace

QString StatusClockText(const QDateTime &moment)
{
    const QLocale locale = QLocale::system();
    // The long time format of some locales ends in the time zone; the clock
    // panel shows the time alone.
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    return locale.toString(moment.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(moment.time(), timeFormat.trimmed());
}

TForm1::TForm1(QWidget *parent)
    : QMainWindow(parent,
                  Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                      | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint
                      | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Tarvolin"));
    QFont windowFont = font();
    windowFont.setPointSize(8);
    setFont(windowFont);

    CreateMenu();
    CreateStatusBar();

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("Client"));
    client->setFixedSize(ClientWidth, ClientHeight);
    setCentralWidget(client);

    // Reserved interface picker: created, never shown, no handlers.
    GroupBox3 = new QGroupBox(QStringLiteral("Interface"), client);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setGeometry(8, 0, 297, 49);
    ComboBox1 = new QComboBox(GroupBox3);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({ QStringLiteral("LPT"), QStringLiteral("COM"), QStringLiteral("ETHERNET"),
                          QStringLiteral("Driver") });
    ComboBox1->setGeometry(16, 18, 145, 21);
    Button8 = new QPushButton(QStringLiteral("Setup"), GroupBox3);
    Button8->setObjectName(QStringLiteral("Button8"));
    Button8->setGeometry(184, 16, 75, 25);
    GroupBox3->hide();

    Button23 = new QPushButton(QStringLiteral("Exit"), client);
    Button23->setObjectName(QStringLiteral("Button23"));
    Button23->setGeometry(592, 24, 81, 25);
    connect(Button23, &QPushButton::clicked, this, Guarded([this](bool) { Button23Click(); }));

    PageControl1 = new QTabWidget(client);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(3, 56, 672, 513);

    CP = new TComPort(this);
    CP->setObjectName(QStringLiteral("CP"));
    ConfigurePrinterPort(*CP);
    // Failures of the port that reach no caller end in the error box too.
    SetComExceptionHandler(ReportEscapedException);
    cpdata = new TComDataPacket(this);
    cpdata->setObjectName(QStringLiteral("cpdata"));
    cpdata->SetComPort(CP);

    // Bytes the port receives go to the File Manager, built with the tabs.
    cpdata->OnPacket = Guarded([this](QObject *, const QByteArray &packet) {
        FinishStart();
        TabSheet2->cpdataPacket(packet);
    });

    TabSheet5 = new InterfaceSelectTab(StatusBar1Panel[0]);
    connect(TabSheet5, &InterfaceSelectTab::ComSettingsChanged, this,
            Guarded([this](const QString &port, const QString &baudRate) {
                CP->SetPort(port);
                CP->SetBaudRate(BaudRateFromText(baudRate));
            }));
    // COM goes through CP, with the port and speed last handed to it.
    link_ = std::make_unique<PrinterLink>(CP, [this] {
        LinkTarget target = TabSheet5->Target();
        if (target.kind == LinkTarget::Kind::Com)
            target
                = LinkTarget::Com(CP->Port(), BaudRateValue(CP->BaudRate(), CP->CustomBaudRate()));
        return target;
    });
    transfers_ = new TransferMonitor(this);
    transfers_->AllowDuring(Button23);
    transfers_->AllowDuring(menuBar());
    link_->SetProgressSource([this] { return transfers_->Begin(); });
    connect(transfers_, &TransferMonitor::Finished, this, [this] {
        if (closeWhenDone_)
            QTimer::singleShot(0, this, &TForm1::CloseOnceIdle);
    });

    // Only the tab on view is built before the window shows; the others get
    // a page holding their caption until FinishStart builds them.
    const QString captions[]
        = { QStringLiteral("Printer Configuration"), QStringLiteral("File Manager"),
            QStringLiteral("Ethernet Setup"), QStringLiteral("Command Tool") };
    for (int i = 0; i < 4; ++i) {
        placeholders_[i] = new QWidget;
        placeholders_[i]->setObjectName(QStringLiteral("TabSheet%1").arg(i + 1));
        PageControl1->addTab(placeholders_[i], captions[i]);
    }
    PageControl1->addTab(TabSheet5, QStringLiteral("Interface Select"));
    PageControl1->setCurrentWidget(TabSheet5);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, Guarded([this] { Timer1Timer(); }));
    Timer1->start();

    Form2 = new TForm2(this);
    Form2->hide();

    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(205, 117);

    CreateToolsMenu();
    FormCreate();
}

TForm1::~TForm1() = default;

// "Tools": a virtual printer to try everything without hardware.
void TForm1::CreateToolsMenu()
{
    QMenu *toolsMenu = menuBar()->addMenu(QStringLiteral("Tools"));
    toolsMenu->setObjectName(QStringLiteral("ToolsMenu"));
    StartVirtualPrinter = toolsMenu->addAction(QStringLiteral("Start Virtual Printer…"));
    StartVirtualPrinter->setObjectName(QStringLiteral("StartVirtualPrinter"));
    connect(StartVirtualPrinter, &QAction::triggered, this, Guarded([this](bool) {
                FinishStart();
                VirtualPrinter->StartAndShow();
            }));
    PrinterInformation = toolsMenu->addAction(QStringLiteral("Printer Information…"));
    PrinterInformation->setObjectName(QStringLiteral("PrinterInformation"));
    connect(PrinterInformation, &QAction::triggered, this, Guarded([this](bool) {
                if (!PrinterInfo)
                    PrinterInfo = new PrinterInfoWindow(*link_, this);
                PrinterInfo->show();
                PrinterInfo->raise();
                PrinterInfo->Refresh();
            }));
    FindPrinters = toolsMenu->addAction(QStringLiteral("Find Printers on the Network…"));
    FindPrinters->setObjectName(QStringLiteral("FindPrinters"));
    connect(
        FindPrinters, &QAction::triggered, this, Guarded([this](bool) {
            if (!Discovery)
                Discovery = new DiscoveryWindow(
                    [this](const QString &address) { TabSheet5->SelectEthernet(address); },
                    this);
            Discovery->show();
            Discovery->raise();
        }));
}

void TForm1::CreateMenu()
{
    auto *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu *aboutMenu = bar->addMenu(QStringLiteral("About"));
    aboutMenu->setObjectName(QStringLiteral("About1"));
    About2 = aboutMenu->addAction(QStringLiteral("About"));
    About2->setObjectName(QStringLiteral("About2"));
    connect(About2, &QAction::triggered, this, Guarded([this](bool) { About2Click(); }));
    QMenu *exitMenu = bar->addMenu(QStringLiteral("Exit"));
    exitMenu->setObjectName(QStringLiteral("Exit1"));
    Exit2 = exitMenu->addAction(QStringLiteral("Exit"));
    Exit2->setObjectName(QStringLiteral("Exit2"));
    connect(Exit2, &QAction::triggered, this, Guarded([this](bool) { Exit2Click(); }));
    QMenu *viewMenu = bar->addMenu(QStringLiteral("View"));
    viewMenu->setObjectName(QStringLiteral("View1"));
    ShowAllOperations = viewMenu->addAction(QStringLiteral("Show All Operations"));
    ShowAllOperations->setObjectName(QStringLiteral("ShowAllOperations"));
    ShowAllOperations->setCheckable(true);
    connect(ShowAllOperations, &QAction::toggled, this,
            Guarded([this](bool shown) { ShowAllOperationsClick(shown); }));
}

void TForm1::ShowAllOperationsClick(bool shown)
{
    FinishStart();
    TabSheet1->ShowAllOperations(shown);
    TabSheet2->ShowAllOperations(shown);
}

void TForm1::CreateStatusBar()
{
    auto *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        auto *panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("StatusBar1Panel%1").arg(i));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setContentsMargins(2, 0, 2, 0);
        if (i < 3)
            panel->setFixedWidth(PanelWidths[i]);
        // The last panel takes the rest of the bar, as the clock needs it.
        bar->addWidget(panel, i == 3 ? 1 : 0);
        StatusBar1Panel[i] = panel;
    }
}

// Runs once the controls exist. Later steps of the start-up belong to the
// tabs that own them; steps 1 and 6 are taken when their tabs are built.
void TForm1::FormCreate()
{
    // 2. Status bar font.
    QFont barFont = statusBar()->font();
    barFont.setPointSize(10);
    for (QLabel *panel : StatusBar1Panel)
        panel->setFont(barFont);
    // 3. COM interface summary into panel 0.
    TabSheet5->WriteComSummary();
    // 4. Clock.
    Timer1Timer();
    // 5. COM settings handed to the serial port. The printer list is filled
    //    as soon as the print server answers the question FinishStart asks.
    TabSheet5->HandComSettings();
}

bool TForm1::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::Paint && !painted_) {
        painted_ = true;
        QTimer::singleShot(0, this, &TForm1::FinishStart);
    }
    return handled;
}

void TForm1::FinishStart()
{
    if (startFinished_)
        return;
    startFinished_ = true;
    // The print server is asked first, so that it answers while the tabs
    // are built. Asked any earlier, loading its client library would hold
    // up the window's own start.
    TabSheet5->StartFillingPrinterList();
    BuildHiddenTabs();
    TabSheet2->CreateDialogs();
    TabSheet4->CreateDialogs();
    VirtualPrinter = new VirtualPrinterWindow(TabSheet5, this);
    VirtualPrinter->hide();
}

void TForm1::BuildHiddenTabs()
{
    TabSheet1 = new PrinterConfigTab(*link_);
    TabSheet2 = new FileManagerTab(*link_, [this] { return TabSheet1->SetupValues(); });
    TabSheet3 = new EthernetSetupTab(*link_);
    TabSheet4 = new CommandToolTab(*link_);
    TabSheet4->SetPreviewContext([this] {
        PreviewRequest request = PreviewRequestFor(TabSheet1->SetupValues());
        request.fontFiles = TabSheet2->DownloadedFonts();
        return request;
    });
    // A long load shows and cancels like the link's long operations.
    TabSheet4->SetProgressSource([this] { return transfers_->Begin(); });
    // FormCreate's steps 1 and 6.
    TabSheet2->SetBitBtn1Caption(); // the file information button's two-line caption
    TabSheet4->ShowFirstPage(); // the first command editor page shown, the other nine hidden

    // Each tab takes its caption page's place; a tab the operator has
    // already chosen stays chosen.
    QWidget *const tabs[] = { TabSheet1, TabSheet2, TabSheet3, TabSheet4 };
    QWidget *const current = PageControl1->currentWidget();
    const QSignalBlocker quiet(PageControl1);
    for (int i = 0; i < 4; ++i) {
        const int index = PageControl1->indexOf(placeholders_[i]);
        const QString caption = PageControl1->tabText(index);
        PageControl1->insertTab(index, tabs[i], caption);
        PageControl1->removeTab(index + 1);
        if (current == placeholders_[i])
            PageControl1->setCurrentWidget(tabs[i]);
        delete std::exchange(placeholders_[i], nullptr);
    }
}

void TForm1::Timer1Timer()
{
    StatusBar1Panel[3]->setText(StatusClockText(QDateTime::currentDateTime()));
}

void TForm1::closeEvent(QCloseEvent *event)
{
    if (!transfers_->Running()) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The program never ends with a command half sent without saying so:
    // the operation is cancelled first, says how far it got, and then the
    // window closes.
    event->ignore();
    if (closeWhenDone_)
        return;
    QMessageBox question(QMessageBox::Question, QStringLiteral("Tarvolin"),
                         QStringLiteral("The printer is still receiving a command. Cancel it "
                                        "and exit?"),
                         QMessageBox::Yes | QMessageBox::No, this);
    question.setObjectName(QStringLiteral("ExitQuestion"));
    question.setDefaultButton(QMessageBox::No);
    if (question.exec() != QMessageBox::Yes)
        return;
    closeWhenDone_ = true;
    if (transfers_->Running())
        transfers_->RequestCancel();
    else
        QTimer::singleShot(0, this, &TForm1::CloseOnceIdle);
}

// After the operation's last message has been read.
void TForm1::CloseOnceIdle()
{
    if (transfers_->Running() || QApplication::activeModalWidget()) {
        QTimer::singleShot(50, this, &TForm1::CloseOnceIdle);
        return;
    }
    closeWhenDone_ = false;
    close();
}

void TForm1::Exit2Click()
{
    close();
}

void TForm1::Button23Click()
{
    close();
}

void TForm1::About2Click()
{
    Form2->show();
    Form2->raise();
    Form2->activateWindow();
}
