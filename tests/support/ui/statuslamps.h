#pragma once

#include "commands/ui/printerconfigtab.h"

#include <QColor>
#include <QLabel>
#include <QPalette>
#include <QStringList>

// The "Printer Status" lamps lit, top to bottom, each by its caption and
// colour ("Head Open red", "Ready green"); greyed lamps are left out.
inline QStringList LitStatusLamps(const PrinterConfigTab *tab)
{
    const QColor red(255, 0, 0);
    const QColor green(0, 255, 0);
    QStringList lit;
    for (QLabel *lamp : { tab->Label56, tab->Label1, tab->Label2, tab->Label3, tab->Label4,
                          tab->Label5, tab->Label6, tab->Label7, tab->Label8, tab->Label60 }) {
        if (!lamp->isEnabled())
            continue;
        const QColor c = lamp->palette().color(QPalette::Active, QPalette::WindowText);
        lit << lamp->text() + (c == red ? " red" : c == green ? " green" : " other");
    }
    return lit;
}
