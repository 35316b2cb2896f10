#pragma once

#include <QRect>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Placing named controls on a tab. Every control carries its name as its
// objectName, so tests and automation find it.

// A caption at (x, y), as wide as its text.
QLabel *AddCaption(QWidget *parent, const QString &name, const QString &text, int x, int y);
QPushButton *AddButton(QWidget *parent, const QString &name, const QString &text,
                       const QRect &geometry);
QLineEdit *AddEdit(QWidget *parent, const QString &name, const QRect &geometry);

template<class T> T *Named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}
