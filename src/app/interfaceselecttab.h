#pragma once

#include "link/devicediscovery.h"
#include "link/printerlink.h"
#include "ui/devicecombobox.h"

#include <QWidget>

#include <memory>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class TIPEdit;

// The "Interface Select" tab: how the printer is attached, with the settings
// of each interface. The printer link reads the selection at every send; the
// tab keeps the interface summary in status bar panel 0.
class InterfaceSelectTab : public QWidget
{
    Q_OBJECT
public:
    InterfaceSelectTab(QLabel *summaryPanel, QWidget *parent = nullptr);
    ~InterfaceSelectTab() override;

    // The target of a send made now: the checked interface and its
    // settings. For COM, the port name and speed shown in the boxes (the
    // window sends through its serial port, which holds those handed over).
    LinkTarget Target() const;

    // Start actions, run by the main window's FormCreate.
    void WriteComSummary();
    void HandComSettings();
    void FillPrinterList();
    // The same, asking the print server in the background: the list is filled
    // when it answers, and at the latest when anything reads the list (a send,
    // choosing DRIVER(USB), a click or key on the box). A print server that
    // looks for network printers can take a second to answer. The main window
    // asks right after its first paint.
    void StartFillingPrinterList();

    // Chooses COM on a device, or ETHERNET at an address, as the operator
    // would on the tab.
    void SelectCom(const QString &device);
    void SelectEthernet(const QString &address);

    // Where the port lists look for devices (tests point them elsewhere).
    void SetDeviceRoots(const DeviceRoots &roots) { deviceRoots_ = roots; }

    void RadioButton1Click();
    void RadioButton2Click();
    void RadioButton3Click();
    void RadioButton4Click();
    void RadioButton5Click();
    void ComboBox25Change();
    void IPEdit1Change();
    void ComboBox26Change();
    void Edit17Change();
    void DKChange();
    void SD1Change();

    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    QRadioButton *RadioButton3;
    QRadioButton *RadioButton4;
    QRadioButton *RadioButton5;
    QGroupBox *GroupBox8;
    QGroupBox *GroupBox9;
    QGroupBox *GroupBox10;
    QGroupBox *GroupBox11;
    QGroupBox *GroupBox12;
    // COM1..COM4, then the USB serial adapters and their stable names.
    DeviceComboBox *DK;
    QComboBox *SD1;
    // LPT1..LPT4, then USB printers without a print queue.
    DeviceComboBox *ComboBox25;
    DeviceComboBox *ComboBox26;
    QLineEdit *Edit17;
    TIPEdit *IPEdit1;

signals:
    // The COM port name and speed to hand to the serial port.
    void ComSettingsChanged(const QString &port, const QString &baudRate);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct PrinterQuery;
    // Waits for a background query that is still out and fills the list with
    // its answer (or, discarding it, leaves the list alone).
    void AwaitPrinterList(bool apply = true) const;
    void ShowPrinters(const QStringList &names) const;
    void SetSummary(const QString &text);
    QString ComSummary() const;
    QString LptSummary() const;
    QString EthernetSummary() const;
    QString DriverSummary() const;
    QString FileSummary() const;
    QString IpAddress() const;

    QLabel *summaryPanel_;
    DeviceRoots deviceRoots_;
    mutable std::unique_ptr<PrinterQuery> printerQuery_;
};
