#include "network/ui/ipfieldedit.h"

#include "network/ui/ipedit.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QScopedValueRollback>

TIPFieldEdit::TIPFieldEdit(TIPEdit *owner, int index)
    : QLineEdit(owner)
    , owner_(owner)
    , index_(index)
{
    setText(QStringLiteral("0"));
    setMaxLength(3);
    setFrame(false);
    // Text starts at the top of the field; the control places the field so
    // that this centres it in the box.
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setCursor(Qt::IBeamCursor);
    connect(this, &QLineEdit::textChanged, this, &TIPFieldEdit::ValidateField);
}

void TIPFieldEdit::SetValue(quint8 number)
{
    value_ = number;
    SetTextByProgram(QString::number(number));
}

void TIPFieldEdit::SetTextByProgram(const QString &text)
{
    {
        const QScopedValueRollback guard(settingText_, true);
        setText(text);
    }
    setCursorPosition(0);
}

void TIPFieldEdit::ValidateField()
{
    if (!text().isEmpty()) {
        const std::optional<int> number = ParseInteger(text());
        if (!number || *number < lowest_ || *number > highest_) {
            error_ = true;
            emit Rejected(index_);
            // Validated again at once: accepting 255 clears the error flag.
            SetTextByProgram(QStringLiteral("255"));
        } else {
            error_ = false;
            if (*number != value_) {
                value_ = quint8(*number);
                emit ValueChanged();
            }
        }
    }
    // Text set by the program leaves the caret at column 0, so only a typed
    // third digit moves on.
    if (!error_ && !settingText_ && text().size() == 3 && owner_->CaretColumn(index_) == 3)
        owner_->MoveToNextField(true);
}

namespace {

// Clipboard and undo keys work as in any edit; what they bring in is
// checked like typed text.
bool IsEditShortcut(const QKeyEvent *event)
{
    for (const auto key : { QKeySequence::Paste, QKeySequence::Copy, QKeySequence::Cut,
                            QKeySequence::Undo, QKeySequence::Redo, QKeySequence::SelectAll }) {
        if (event->matches(key))
            return true;
    }
    return false;
}

} // namespace

void TIPFieldEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    const int column = owner_->CaretColumn(index_);
    if (key == Qt::Key_Left || key == Qt::Key_Right) {
        const bool right = key == Qt::Key_Right;
        if (right ? column >= text().size() : column == 0) {
            deselect();
            if (right)
                owner_->MoveToNextField(false);
            else
                owner_->MoveToPreviousField(false);
            event->accept();
            return;
        }
    } else if (key == Qt::Key_Backspace && column == 0) {
        // At column 0 backspace deletes only a selection starting there. It
        // is handled before the move because the field drops its selection
        // when it loses the focus.
        QLineEdit::keyPressEvent(event);
        owner_->MoveToPreviousField(false);
        return;
    } else if (const QString typed = event->text();
               !typed.isEmpty() && typed.front().isPrint() && !IsEditShortcut(event)) {
        if (typed.size() != 1 || typed.front() < u'0' || typed.front() > u'9') {
            // Every character but a digit is swallowed; a full stop moves on.
            if (typed == QStringLiteral(".") && !hasSelectedText() && !text().isEmpty())
                owner_->MoveToNextField(true);
            event->accept();
            return;
        }
    }
    // Digits and keys that type nothing (Delete, Home, End, Enter, ...).
    QLineEdit::keyPressEvent(event);
}

void TIPFieldEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    owner_->update();
}

void TIPFieldEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    owner_->update();
}
