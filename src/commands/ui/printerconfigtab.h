#pragma once

#include "commands/setuppanel.h"
#include "commands/ui/setuppanelbox.h"
#include "ui/controls.h"

#include <QWidget>

class PrinterLink;
struct StatusLamps;
class QGroupBox;
class QLabel;
class QPushButton;

// The "Printer Configuration" tab: the maintenance buttons, the (hidden)
// printer status group and the printer setup panel with "Store Settings" and
// "Pint Label". Handlers gather the panel into SetupPanelValues, call a
// builder and send its bytes through the printer link.
class PrinterConfigTab : public QWidget
{
    Q_OBJECT
public:
    PrinterConfigTab(PrinterLink &link, QWidget *parent = nullptr);

    // The panel's current values, for this tab's builders and for other tabs
    // whose labels follow the panel (resolution, label size, frame, quantity).
    SetupPanelValues SetupValues() const;

    // "Printer Function"
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

    // "Printer Status"
    void Button7Click();

    void Button10Click();
    void Button24Click();
    // The labels "Pint Label" would print, from the same bytes, at the panel's resolution.
    void PreviewButtonClick();

    // "Printer Function"
    QGroupBox *GroupBox1 = nullptr;
    QPushButton *Button1 = nullptr;
    QPushButton *Button2 = nullptr;
    QPushButton *Button3 = nullptr;
    QPushButton *Button4 = nullptr;
    QPushButton *Button5 = nullptr;
    QPushButton *Button6 = nullptr;

    // "Printer Status": created hidden, complete behind its button.
    QGroupBox *GroupBox2 = nullptr;
    QLabel *Label1 = nullptr; // "Ready"
    QLabel *Label2 = nullptr; // "Head Open", bit 0
    QLabel *Label3 = nullptr; // "Paper Jam"
    QLabel *Label4 = nullptr; // "Out of Paper"
    QLabel *Label5 = nullptr; // "Out of Ribbon"
    QLabel *Label6 = nullptr; // "Pause"
    QLabel *Label7 = nullptr; // "Printing"
    QLabel *Label8 = nullptr; // "Cover Open"
    QLabel *Label60 = nullptr; // "Other Error", bit 7
    QLabel *Label56 = nullptr; // "Connect Error"
    QPushButton *Button7 = nullptr;

    // The window's "Show All Operations": the status group, "Reset Printer"
    // and the label frame check box shown, the left column rearranged so
    // that nothing overlaps; off, the tab is exactly as it starts.
    void ShowAllOperations(bool shown) { advancedView_.Apply(shown); }

    // "Print Configuration": the setup panel. Its "Store Settings" and "Pint
    // Label" send from this tab.
    SetupPanelBox *GroupBox7 = nullptr;

private:
    void CreateFunctionGroup();
    void CreateStatusGroup();
    void PrepareAdvancedView();
    void ShowStatus(const StatusLamps &lamps);
    void Send(const QByteArray &command);

    PrinterLink &link_;
    AdvancedView advancedView_;
};
