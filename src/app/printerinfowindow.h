#pragma once

#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>

class PrinterLink;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

// Tools > Printer Information: what the printer says about itself over the
// interface chosen on Interface Select (serial, network or a USB printer
// device): identity, conditions as lamps (a symbol and a word each, not
// colour alone), modes and warnings, when it was read, the configuration,
// the stored files and free memory. The title names the printer. Refresh
// reads again, by hand or every few seconds; an interface that cannot
// answer is said so once, with what to try.
class PrinterInfoWindow : public QWidget
{
public:
    // What time it is, for "as of": tests fix it.
    using Clock = std::function<QString()>;
    PrinterInfoWindow(PrinterLink &link, QWidget *parent = nullptr);

    void SetClock(Clock clock) { clock_ = std::move(clock); }
    // Reads everything again.
    void Refresh();

    // "COM /dev/ttyS0 (9600 baud)", "ETHERNET 10.0.0.7:9100".
    static QString PrinterName(const PrinterLink &link);
    // A lamp's text: "✔ Ready", "✖ Paper Out" when lit, "○ Paper Out" when
    // not.
    static QString LampText(const QString &caption, bool lit, bool error);

    QLabel *IdentityLabel;
    QLabel *AsOfLabel;
    QLabel *StatementLabel;
    QLabel *ModesLabel;
    QTableWidget *ConfigTable;
    QPlainTextEdit *FilesText;
    QLabel *FreeMemoryLabel;
    QPushButton *RefreshButton;
    QCheckBox *AutoRefreshBox;
    QSpinBox *AutoRefreshSeconds;
    // One lamp per condition, by caption ("Ready", "Paper Out", ...).
    std::map<QString, QLabel *> Lamps;

private:
    void Clear();
    void Light(const QString &caption, bool lit, bool error);

    PrinterLink &link_;
    Clock clock_;
    QTimer autoRefresh_;
};
