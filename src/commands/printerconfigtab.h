#pragma once

#include <QWidget>

class PrinterLink;

class PrinterConfigTab : public QWidget
{
    Q_OBJECT
public:
    PrinterConfigTab(PrinterLink &link, QWidget *parent = nullptr);

private:
    PrinterLink &link_;
};
