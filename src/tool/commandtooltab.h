#pragma once

#include <QWidget>

class PrinterLink;

class CommandToolTab : public QWidget
{
    Q_OBJECT
public:
    CommandToolTab(PrinterLink &link, QWidget *parent = nullptr);

private:
    PrinterLink &link_;
};
