#include "app/interfaceselecttab.h"

#include <QLabel>

InterfaceSelectTab::InterfaceSelectTab(QLabel *summaryPanel, QWidget *parent)
    : QWidget(parent)
    , summaryPanel_(summaryPanel)
{
    setObjectName(QStringLiteral("TabSheet5"));
}

InterfaceSelection InterfaceSelectTab::Selection() const
{
    InterfaceSelection s;
    s.driver = true;
    return s;
}
