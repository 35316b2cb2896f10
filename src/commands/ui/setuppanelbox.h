#pragma once

#include "commands/setuppanel.h"

#include <QGroupBox>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The printer setup panel, "Print Configuration": resolution and unit, the
// media and print settings, "Store Settings", "Pint Label" and the quantity.
// It only gathers: SetupValues() hands its controls' values to the builders,
// and the tab that holds it sends.
class SetupPanelBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit SetupPanelBox(QWidget *parent = nullptr);

    SetupPanelValues SetupValues() const;
    // The width and height captions follow the selected unit.
    void RefreshSizeCaptions();

    void RadioGroup1Click();
    void RadioGroup5Click();
    // Digit filter of Home X: sets key to 0 (swallowing it) and tells the
    // operator when it is not a digit, backspace or Enter.
    void HomexeKeyPress(QChar &key);
    void Button9Click();

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
    QPushButton *PreviewButton = nullptr; // shows what "Pint Label" would print
    QLineEdit *Edit1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void CreateSetupFields();
    void CreateReservedControls();
    Resolution SelectedResolution() const;
    LengthUnit SelectedUnit() const;

    QButtonGroup *resolutionGroup_ = nullptr;
    QButtonGroup *unitGroup_ = nullptr;
};
