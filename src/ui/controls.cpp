#include "ui/controls.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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

QRadioButton *RadioGroupControls::Item(int index) const
{
    return qobject_cast<QRadioButton *>(buttons->button(index));
}

RadioGroupControls AddRadioGroup(QWidget *parent, const QString &name, const QString &title,
                                 const QRect &geometry, const QStringList &items,
                                 const QRect &firstItem, const QPoint &step)
{
    RadioGroupControls group;
    group.box = Named(new QGroupBox(title, parent), name);
    group.box->setGeometry(geometry);
    group.buttons = new QButtonGroup(group.box);
    for (int i = 0; i < items.size(); ++i) {
        auto *item = Named(new QRadioButton(items[i], group.box),
                           QStringLiteral("%1Item%2").arg(name).arg(i));
        item->setGeometry(firstItem.translated(step * i));
        group.buttons->addButton(item, i);
    }
    return group;
}

void AdvancedView::Reveal(QWidget *control, std::optional<QRect> place)
{
    entries_.push_back({ control, control->geometry(), control->isHidden(), true, place });
}

void AdvancedView::Move(QWidget *control, const QRect &place)
{
    entries_.push_back({ control, control->geometry(), control->isHidden(), false, place });
}

void AdvancedView::Apply(bool advanced) const
{
    for (const Entry &e : entries_) {
        e.control->setGeometry(advanced && e.place ? *e.place : e.ownPlace);
        e.control->setHidden(advanced && e.reveal ? false : e.ownHidden);
    }
}
