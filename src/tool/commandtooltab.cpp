#include "tool/commandtooltab.h"

CommandToolTab::CommandToolTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet4"));
}
