#pragma once

#include "commands/setuppanel.h"

#include <QWidget>

class PrinterLink;
struct StatusLamps;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

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

    // Printer setup panel
    void RadioGroup1Click();
    void RadioGroup5Click();
    // Digit filter of Home X: sets key to 0 (swallowing it) and tells the
    // operator when it is not a digit, backspace or Enter.
    void HomexeKeyPress(QChar &key);
    void Button9Click();
    void Button10Click();
    void Button24Click();

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

    // "Print Configuration"
    QGroupBox *GroupBox7 = nullptr;
    QGroupBox *RadioGroup5 = nullptr;
    QRadioButton *RadioGroup5Items[2] = {};
    QGroupBox *RadioGroup1 = nullptr;
    QRadioButton *RadioGroup1Items[3] = {};
    QGroupBox *GroupBox6 = nullptr;

    QComboBox *speedcb = nullptr;
    QComboBox *densitycb = nullptr;
    QLineEdit *paperwidthe = nullptr;
    QLineEdit *paperheighte = nullptr;
    QComboBox *mediasensorcb = nullptr;
    QComboBox *ribboncb = nullptr;
    QComboBox *postactivecb = nullptr;
    QComboBox *directionxcb = nullptr;
    QLineEdit *Lte = nullptr;
    QLineEdit *Shifte = nullptr;
    QLineEdit *Homexe = nullptr;
    QLineEdit *Homeye = nullptr;
    QLabel *Label13 = nullptr; // width caption
    QLabel *Label14 = nullptr; // height caption
    QLabel *Label22 = nullptr; // top caption
    QLabel *Label23 = nullptr; // shift caption
    QLabel *Label24 = nullptr; // home caption

    // Reserved: created hidden, read by no command.
    QLineEdit *gape = nullptr;
    QLineEdit *gapoffsete = nullptr;
    QLineEdit *cutpiecee = nullptr;
    QLineEdit *referencexe = nullptr;
    QLineEdit *referenceye = nullptr;
    QComboBox *directionycb = nullptr;
    QComboBox *codepagecb = nullptr;
    QComboBox *countrycodecb = nullptr;
    QComboBox *headupsensorcb = nullptr;
    QComboBox *reprintcb = nullptr;
    QLineEdit *gapintene = nullptr;
    QLineEdit *blineintene = nullptr;
    QLineEdit *continuousintene = nullptr;
    QComboBox *baudratecb = nullptr;
    QComboBox *databitscb = nullptr;
    QComboBox *paritycb = nullptr;
    QComboBox *stopbitcb = nullptr;
    QCheckBox *Boxck = nullptr;
    QPushButton *Button9 = nullptr;

    QPushButton *Button10 = nullptr;
    QPushButton *Button24 = nullptr;
    QLineEdit *Edit1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateFunctionGroup();
    void CreateStatusGroup();
    void CreateSetupPanel();
    void CreateSetupFields();
    void CreateReservedControls();
    QLabel *AddCaption(QWidget *parent, const QString &name, const QString &text, int x, int y);
    QComboBox *AddCombo(QWidget *parent, const QString &name, const QStringList &items, int x,
                        int y, int width);
    QLineEdit *AddEdit(QWidget *parent, const QString &name, const QString &text, int x, int y,
                       int width);
    Resolution SelectedResolution() const;
    LengthUnit SelectedUnit() const;
    void RefreshSizeCaptions();
    void ShowStatus(const StatusLamps &lamps);
    void Send(const QByteArray &command);

    PrinterLink &link_;
    QButtonGroup *resolutionGroup_ = nullptr;
    QButtonGroup *unitGroup_ = nullptr;
};
