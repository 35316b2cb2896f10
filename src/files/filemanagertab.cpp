#include "files/filemanagertab.h"

FileManagerTab::FileManagerTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet2"));
}
