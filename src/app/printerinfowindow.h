#pragma once

#include <QWidget>

#include <functional>
#include <map>

class PrinterLink;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

// Tools > Printer Information: what the printer says about itself over the
// interface chosen on Interface Select (serial, network or a USB printer
// device): identity, conditions as lamps, when it was read, the
// configuration, the stored files and free memory. Refresh reads again; an
// interface that cannot answer is said so.
class PrinterInfoWindow : public QWidget
{
public:
    // What time it is, for "as of": tests fix it.
    using Clock = std::function<QString()>;
    PrinterInfoWindow(PrinterLink &link, QWidget *parent = nullptr);

    void SetClock(Clock clock) { clock_ = std::move(clock); }
    // Reads everything again.
    void Refresh();

    QLabel *IdentityLabel;
    QLabel *AsOfLabel;
    QLabel *StatementLabel;
    QTableWidget *ConfigTable;
    QPlainTextEdit *FilesText;
    QLabel *FreeMemoryLabel;
    QPushButton *RefreshButton;
    // One lamp per condition, by caption ("Ready", "Paper Out", ...).
    std::map<QString, QLabel *> Lamps;

private:
    void Clear();

    PrinterLink &link_;
    Clock clock_;
};
