#pragma once

#include <QWidget>

class PrinterLink;

class FileManagerTab : public QWidget
{
    Q_OBJECT
public:
    FileManagerTab(PrinterLink &link, QWidget *parent = nullptr);

private:
    PrinterLink &link_;
};
