#include "ui/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

QLabel *AddCaption(QWidget *parent, const QString &name, const QString &text, int x, int y)
{
    auto *label = Named(new QLabel(text, parent), name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton *AddButton(QWidget *parent, const QString &name, const QString &text,
                       const QRect &geometry)
{
    auto *button = Named(new QPushButton(text, parent), name);
    button->setGeometry(geometry);
    return button;
}

QLineEdit *AddEdit(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *edit = Named(new QLineEdit(parent), name);
    edit->setGeometry(geometry);
    return edit;
}
