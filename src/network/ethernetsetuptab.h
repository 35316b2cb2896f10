#pragma once

#include <QWidget>

class PrinterLink;

class EthernetSetupTab : public QWidget
{
    Q_OBJECT
public:
    EthernetSetupTab(PrinterLink &link, QWidget *parent = nullptr);

private:
    PrinterLink &link_;
};
