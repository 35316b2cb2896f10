#pragma once

#include <QMainWindow>

#include <memory>

class DiscoveryWindow;
class PrinterInfoWindow;
class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QTimer;

class TForm2;
class TransferMonitor;
class TComPort;
class TComDataPacket;
class PrinterLink;
class DiscoveryWindow;
class InterfaceSelectTab;
class PrinterInfoWindow;
class PrinterConfigTab;
class FileManagerTab;
class EthernetSetupTab;
class CommandToolTab;
class VirtualPrinterWindow;

// The main window. It composes the five tabs, the menu, the status bar and
// clock, and the components that outlive every click: the printer link and
// the serial port.
class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Menu and buttons
    void Exit2Click();
    void About2Click();
    void Button23Click();
    void Timer1Timer();
    // "View" > "Show All Operations": reveals the complete operations the
    // window hides at start. Unticked at every start.
    void ShowAllOperationsClick(bool shown);

    // The start shows the window with the tab on view (Interface Select)
    // built; right after the first paint, before an operator can reach them,
    // the print server is asked for the printer list and the other four tabs,
    // the file dialogs and the virtual printer's window are built.
    // FinishStart() does that at once (nothing the second time); the window
    // calls it itself, and so does anything that needs those tabs earlier.
    void FinishStart();
    bool StartFinished() const { return startFinished_; }

    PrinterLink &Link() { return *link_; }
    // The printer link's running operation, its dialog and its Cancel.
    TransferMonitor &Transfers() { return *transfers_; }

    QAction *About2 = nullptr;
    QAction *Exit2 = nullptr;
    QAction *ShowAllOperations = nullptr; // "View" > "Show All Operations"
    QAction *StartVirtualPrinter = nullptr; // "Tools" > "Start Virtual Printer…"
    VirtualPrinterWindow *VirtualPrinter = nullptr;
    QAction *PrinterInformation = nullptr; // "Tools" > "Printer Information…"
    QAction *FindPrinters = nullptr; // "Tools" > "Find Printers on the Network…"
    PrinterInfoWindow *PrinterInfo = nullptr; // made when first asked for
    DiscoveryWindow *Discovery = nullptr;
    QPushButton *Button23 = nullptr;
    QGroupBox *GroupBox3 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *Button8 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    PrinterConfigTab *TabSheet1 = nullptr;
    FileManagerTab *TabSheet2 = nullptr;
    EthernetSetupTab *TabSheet3 = nullptr;
    CommandToolTab *TabSheet4 = nullptr;
    InterfaceSelectTab *TabSheet5 = nullptr;
    QLabel *StatusBar1Panel[4] = {};
    QTimer *Timer1 = nullptr;
    TForm2 *Form2 = nullptr;
    // The serial port and its receive packet assembler, for the life of the
    // window.
    TComPort *CP = nullptr;
    TComDataPacket *cpdata = nullptr;

protected:
    // While the printer link is busy, closing asks whether to cancel first.
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void BuildHiddenTabs();
    void FormCreate();
    void CreateMenu();
    void CreateToolsMenu();
    void CreateStatusBar();
    void CloseOnceIdle();

    std::unique_ptr<PrinterLink> link_;
    TransferMonitor *transfers_ = nullptr;
    bool closeWhenDone_ = false;
    bool painted_ = false;
    bool startFinished_ = false;
    // Pages holding the captions of tabs 1 to 4 until FinishStart.
    QWidget *placeholders_[4] = {};
};

// Date and time as the status bar shows them: the user's short date, then
// the long time.
QString StatusClockText(const QDateTime &moment);
