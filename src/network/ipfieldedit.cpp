#include "network/ipfieldedit.h"

#include "network/ipedit.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QScopedValueRollback>

#include <climits>

std::optional<int> ParseInteger(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0'
               && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    const qint64 number = negative ? -magnitude : magnitude;
    if (number > INT_MAX)
        return std::nullopt;
    return int(number);
}

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

void TIPFieldEdit::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Right:
        if (owner_->CaretColumn(index_) >= text().size()) {
            deselect();
            owner_->MoveToNextField(false);
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Left:
        if (owner_->CaretColumn(index_) == 0) {
            deselect();
            owner_->MoveToPreviousField(false);
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    case Qt::Key_Backspace:
        if (owner_->CaretColumn(index_) == 0) {
            // At column 0 backspace deletes only a selection starting there.
            // It is handled before the move because the field drops its
            // selection when it loses the focus.
            QLineEdit::keyPressEvent(event);
            owner_->MoveToPreviousField(false);
            return;
        }
        QLineEdit::keyPressEvent(event);
        return;
    default:
        break;
    }

    // Clipboard and undo keys work as in any edit; what they bring in is
    // checked like typed text.
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Copy)
        || event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo)
        || event->matches(QKeySequence::Redo) || event->matches(QKeySequence::SelectAll)) {
        QLineEdit::keyPressEvent(event);
        return;
    }

    const QString typed = event->text();
    // Keys that type nothing (Delete, Home, End, Enter, ...) keep their usual meaning.
    if (typed.isEmpty() || !typed.front().isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (typed.size() == 1 && typed.front() >= u'0' && typed.front() <= u'9') {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (typed == QStringLiteral(".") && !hasSelectedText() && !text().isEmpty())
        owner_->MoveToNextField(true);
    // Every other character, the full stop included, is swallowed.
    event->accept();
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
