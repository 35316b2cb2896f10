#pragma once

#include "network/ipstring.h"

#include <QLineEdit>

class TIPEdit;

// One of the four number fields of a TIPEdit. It keeps the last number it
// accepted (its value) apart from the text it shows, so an emptied field still
// stands for its old number.
class TIPFieldEdit : public QLineEdit
{
    Q_OBJECT
public:
    TIPFieldEdit(TIPEdit *owner, int index);

    int Index() const { return index_; }
    int Value() const { return value_; }
    bool ErrorFlag() const { return error_; }

    // Stores the number as the value first, then shows it, so the change the
    // text makes finds nothing new to report.
    void SetValue(quint8 number);

    // Checks the text after every change, typed, pasted or set by program.
    void ValidateField();

signals:
    // The field accepted a number different from its previous value.
    void ValueChanged();
    // The field refused its text; the error flag is set while this runs.
    void Rejected(int index);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    // Shows text set by the program with the caret at column 0, the way the
    // operator sees a freshly set field.
    void SetTextByProgram(const QString &text);

    TIPEdit *owner_;
    int index_;
    bool error_ = false;
    quint8 lowest_ = 0;
    quint8 highest_ = 255;
    quint8 value_ = 0;
    bool settingText_ = false;
};
