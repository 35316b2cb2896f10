#include "network/ethernetsetuptab.h"

EthernetSetupTab::EthernetSetupTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet3"));
}
