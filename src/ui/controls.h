#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Placing named controls on a tab. Every control carries its name as its
// objectName, so tests and automation find it.

// A caption at (x, y), as wide as its text.
QLabel *AddCaption(QWidget *parent, const QString &name, const QString &text, int x, int y);
QPushButton *AddButton(QWidget *parent, const QString &name, const QString &text,
                       const QRect &geometry);
QLineEdit *AddEdit(QWidget *parent, const QString &name, const QRect &geometry);

// A radio group: a titled box named after the group holding one radio button
// per item, named <name>Item<i> and numbered in the button group by position.
// Item i sits at firstItem moved i steps.
struct RadioGroupControls
{
    QGroupBox *box = nullptr;
    QButtonGroup *buttons = nullptr;
    QRadioButton *Item(int index) const;
};
RadioGroupControls AddRadioGroup(QWidget *parent, const QString &name, const QString &title,
                                 const QRect &geometry, const QStringList &items,
                                 const QRect &firstItem, const QPoint &step);

template<class T> T *Named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}
