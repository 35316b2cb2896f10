#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

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

// The advanced view: controls whose operations are complete but that the
// window hides at start are shown, and where their own place would overlap a
// visible control, they and their neighbours move to a tidy one. Leaving the
// view puts every control back exactly as it was.
class AdvancedView
{
public:
    // Shown in the advanced view, at its own place or at the one given.
    void Reveal(QWidget *control, std::optional<QRect> place = std::nullopt);
    // A control that stays as visible as it is, moved in the advanced view.
    void Move(QWidget *control, const QRect &place);
    void Apply(bool advanced) const;

private:
    struct Entry
    {
        QWidget *control;
        QRect ownPlace;
        bool ownHidden;
        bool reveal;
        std::optional<QRect> place;
    };
    std::vector<Entry> entries_;
};

template<class T> T *Named(T *widget, const QString &name)
{
    widget->setObjectName(name);
    return widget;
}
