#pragma once

#include "network/addresscommands.h"

#include <QWidget>

#include <array>

class PrinterLink;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class TIPEdit;

// The "Ethernet Setup" tab: gives the printer a new IP address or a new
// Ethernet ID. Both commands go out over whatever interface is selected.
class EthernetSetupTab : public QWidget
{
    Q_OBJECT
public:
    EthernetSetupTab(PrinterLink &link, QWidget *parent = nullptr);

    void Button17Click(); // Set New IP Address
    void Button18Click(); // Set New Ethernet ID
    void TabSheet3ContextPopup();

    // Where the random ID values come from; by default a generator seeded
    // from the time of day at every press.
    void SetEthernetIdDraw(EthernetIdDraw draw) { idDraw_ = std::move(draw); }

    QLabel *Label57 = nullptr;
    TIPEdit *IPEdit2 = nullptr;
    QPushButton *Button17 = nullptr;
    QLabel *Label58 = nullptr;
    QLineEdit *Edit2 = nullptr;
    QLineEdit *Edit3 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QLineEdit *Edit5 = nullptr;
    QLineEdit *Edit6 = nullptr;
    QLineEdit *Edit7 = nullptr;
    QPushButton *Button18 = nullptr;
    QFrame *Shape1 = nullptr;
    QLabel *Label59 = nullptr;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    PrinterLink &link_;
    EthernetIdDraw idDraw_;
};
