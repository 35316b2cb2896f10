#pragma once

#include "network/ipstring.h"

#include <QCursor>
#include <QRect>
#include <QString>
#include <QStringView>
#include <QWidget>

#include <array>
#include <optional>

class QFont;
class TIPFieldEdit;

// Where the four fields sit inside the control, in client coordinates (inside
// the border). All divisions truncate toward zero.
struct TIPFieldLayout
{
    int fieldWidth = 0; // S
    int gap = 0; // G
    int left = 0; // L, left edge of field 0
    int top = 0; // T
    int fieldHeight = 0;

    QRect FieldRect(int index) const;
};

// The field arrangement for a control of the given size. The field width is
// three times the font's point size; minFieldWidth widens it for fonts whose
// digits would not fit (see MinimumFieldWidth).
TIPFieldLayout ArrangeFieldLayout(int width, int height, int pointSize, int fontHeight,
                                  int minFieldWidth = 0);

// The narrowest field that shows any three digits of the font without
// scrolling them.
int MinimumFieldWidth(const QFont &font);

// A four-field IPv4 address entry control. Typing moves from field to field,
// each field takes 0 to 255, and the whole address is read and written as
// dotted text through IPString. The fields are children named after the
// control: <objectName>Field0 … <objectName>Field3.
class TIPEdit : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString IPString READ IPString WRITE SetIPString)
    Q_PROPERTY(bool Error READ Error)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
public:
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    explicit TIPEdit(QWidget *parent = nullptr);
    ~TIPEdit() override;

    // Always four numbers without leading zeros, or "255" while a field is
    // refusing its text.
    QString IPString() const;
    // Writing fires no OnChange; text with fewer than four parts is ignored.
    void SetIPString(const QString &text);

    bool Error() const;

    bool ReadOnly() const;
    void SetReadOnly(bool readOnly);

    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool tabStop);

    QCursor Cursor() const { return cursor(); }
    void SetCursor(const QCursor &cursor);

    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    // Width of the raised frame painted inside the border; 0 paints none.
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);

    TIPFieldEdit *Field(int index) const;
    void SetFieldValue(int field, quint8 number);
    // The field holding the keyboard focus, or -1.
    int FocusedField() const;
    // Where the caret stands in the field's text: the start of the selection
    // when there is one, so a field just selected whole counts as column 0.
    int CaretColumn(int field) const;
    void SetCaretColumn(int field, int column);
    void MoveToNextField(bool selectAll);
    void MoveToPreviousField(bool selectAll);

    // The arrangement now in effect, in client coordinates.
    TIPFieldLayout FieldLayout() const { return layout_; }
    // The area inside the border.
    QRect ClientRect() const;

signals:
    void OnChange();
    void OnError(int field);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    void ArrangeFields();
    void NameFields();

    std::array<TIPFieldEdit *, 4> fields_ {};
    TBorderStyle borderStyle_ = bsSingle;
    int borderWidth_ = 0;
    bool tabStop_ = true;
    int points_ = 9;
    TIPFieldLayout layout_;
};
