#pragma once

#include "commands/setuppanel.h"
#include "ui/controls.h"

#include <QByteArray>
#include <QHash>
#include <QWidget>

#include <functional>

class PrinterLink;
class QCheckBox;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The "File Manager" tab: downloads fonts and files into the printer's
// memory, prints a directory label or a stored font's sample, reads the file
// list and free memory back over COM and formats a memory device.
class FileManagerTab : public QWidget
{
    Q_OBJECT
public:
    // The Printer Configuration tab's values, for the font sample's label
    // size, frame and quantity.
    using SetupValuesSource = std::function<SetupPanelValues()>;

    FileManagerTab(PrinterLink &link, SetupValuesSource setupValues, QWidget *parent = nullptr);

    // Fonts sent with "Download" in this session: the name the printer keeps
    // each under ("E:DEMO.FNT") and the file's path, for the label preview.
    QHash<QString, QString> DownloadedFonts() const { return downloadedFonts_; }

    // Start action of the main window: the file list button's two-line caption.
    void SetBitBtn1Caption();

    void Button11Click(); // "Select File"
    void Button12Click(); // "Download"
    void Button13Click(); // "Print": the stored font's sample label
    void SamplePreviewButtonClick(); // "Preview" beside it: the sample's labels, drawn here
    void Button15Click(); // "File (s)"
    void DownloadGraphicButtonClick(); // a picture made into a graphic and stored
    void Button14Click(); // "Format"
    void Button16Click(); // "Free Memory"
    void BitBtn1Click(); // file list
    // A packet that arrived on the serial port outside the exchanges' own reads.
    void cpdataPacket(const QByteArray &packet);

    // The window's "Show All Operations": the file information group, the
    // memory format and the font sample's controls shown at their own
    // places; off, the tab is exactly as it starts.
    void ShowAllOperations(bool shown) { advancedView_.Apply(shown); }
    void TabSheet2ContextPopup();

    // "File Download"
    QGroupBox *GroupBox4;
    QLabel *Label42;
    QComboBox *ComboBox17;
    QPushButton *Button11;
    QLabel *Label43;
    QLineEdit *Edit15;
    QLabel *Label44;
    QLineEdit *Edit16;
    QLabel *Label45;
    QLabel *Label46;
    QComboBox *ComboBox18;
    QPushButton *Button12;
    QPushButton *Button15;
    QPushButton *DownloadGraphicButton;
    QLineEdit *Edit9;
    QCheckBox *Acommandck;
    QCheckBox *Hexcb;
    // Made once the window is up (or when first needed): building a file
    // dialog costs more than the rest of the tab.
    QFileDialog *OpenDialog1 = nullptr;
    void CreateDialogs();

    // Reserved: created hidden.
    QPushButton *Button13;
    QGroupBox *RadioGroup3;
    QRadioButton *RadioGroup3Items[2];
    QPushButton *Button14;
    QGroupBox *GroupBox13;
    QLabel *Label52;
    QLineEdit *Edit18;
    QLabel *Label54;
    QLabel *Label53;
    QLineEdit *Edit19;
    QLabel *Label55;
    QPushButton *Button16;
    QPushButton *BitBtn1;
    QPlainTextEdit *FilelistMemo;

    // Beside "Print", shown with it in the advanced view.
    QPushButton *SamplePreviewButton;

private:
    void CreateDownloadGroup();
    void CreateMemoryControls();
    void CreateFileInformationGroup();
    void SelectDialogFilter(int filter);
    void ApplyDialogFilterPatterns(const QString &filter);
    QByteArray FontSampleCommand() const;

    PrinterLink &link_;
    SetupValuesSource setupValues_;
    QString downloadPath_; // the file chosen with "Select File"
    QHash<QString, QString> downloadedFonts_;
    AdvancedView advancedView_;
};
