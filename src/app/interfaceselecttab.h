#pragma once

#include "link/printerlink.h"

#include <QWidget>

class QLabel;

// The "Interface Select" tab: how the printer is attached.
class InterfaceSelectTab : public QWidget
{
    Q_OBJECT
public:
    InterfaceSelectTab(QLabel *summaryPanel, QWidget *parent = nullptr);

    InterfaceSelection Selection() const;

private:
    QLabel *summaryPanel_;
};
