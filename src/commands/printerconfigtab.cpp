#include "commands/printerconfigtab.h"

PrinterConfigTab::PrinterConfigTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet1"));
}
