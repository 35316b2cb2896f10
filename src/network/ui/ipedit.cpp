#include "network/ui/ipedit.h"

#include "network/ui/ipfieldedit.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <qdrawutil.h>

#include <cmath>

namespace {

// The sunken edge of the box, on each side.
constexpr int SingleBorder = 2;
// The full stops between the fields are drawn this large whatever the
// control's font, so they read as separators rather than text.
constexpr int DotPointSize = 18;

} // namespace

QRect TIPFieldLayout::FieldRect(int index) const
{
    return QRect(left + index * (fieldWidth + gap), top, fieldWidth, fieldHeight);
}

TIPFieldLayout ArrangeFieldLayout(int width, int height, int pointSize, int fontHeight,
                                  int minFieldWidth)
{
    TIPFieldLayout l;
    l.fieldWidth = std::max(3 * std::abs(pointSize), minFieldWidth);
    l.gap = l.fieldWidth / 9 + 1;
    l.top = (height - std::abs(fontHeight) - 6) / 2 + 1;
    l.left = (width - 4 * l.fieldWidth - 3 * l.gap - 4) / 2;
    l.fieldHeight = height - 2;
    return l;
}

int MinimumFieldWidth(const QFont &font)
{
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (char16_t digit = u'0'; digit <= u'9'; ++digit)
        widest = std::max(widest, metrics.horizontalAdvance(QChar(digit)));
    // A line edit keeps two pixels clear on either side of its text and one
    // more for the caret, and scrolls text that needs more room.
    return int(std::ceil(3 * widest)) + 2 * 2 + 1;
}

TIPEdit::TIPEdit(QWidget *parent)
    : QWidget(parent)
{
    for (int i = 0; i < 4; ++i) {
        fields_[i] = new TIPFieldEdit(this, i);
        connect(fields_[i], &TIPFieldEdit::ValueChanged, this, &TIPEdit::OnChange);
        connect(fields_[i], &TIPFieldEdit::Rejected, this, &TIPEdit::OnError);
    }
    NameFields();
    connect(this, &QObject::objectNameChanged, this, &TIPEdit::NameFields);

    // The control never holds the focus itself: focusing it focuses field 0,
    // and the tab chain runs through the fields alone.
    setFocusProxy(fields_[0]);
    setFocusPolicy(Qt::NoFocus);
    SetTabStop(true);

    setBackgroundRole(QPalette::Base);
    QFont own;
    own.setPointSize(9);
    own.setBold(true);
    setFont(own);
    SetCursor(Qt::IBeamCursor);
    resize(125, 21);
    ArrangeFields();
}

TIPEdit::~TIPEdit() = default;

void TIPEdit::NameFields()
{
    for (int i = 0; i < 4; ++i)
        fields_[i]->setObjectName(objectName() + QStringLiteral("Field") + QString::number(i));
}

QString TIPEdit::IPString() const
{
    QString result;
    for (int i = 0; i < 4; ++i) {
        if (fields_[i]->ErrorFlag())
            return QStringLiteral("255");
        result += QString::number(fields_[i]->Value());
        if (i < 3)
            result += u'.';
    }
    return result;
}

void TIPEdit::SetIPString(const QString &text)
{
    const std::optional<std::array<quint8, 4>> octets = ParseIPString(text);
    if (!octets)
        return;
    for (int i = 0; i < 4; ++i)
        SetFieldValue(i, (*octets)[i]);
}

bool TIPEdit::Error() const
{
    return std::any_of(fields_.begin(), fields_.end(),
                       [](const TIPFieldEdit *f) { return f->ErrorFlag(); });
}

bool TIPEdit::ReadOnly() const
{
    return fields_[0]->isReadOnly();
}

void TIPEdit::SetReadOnly(bool readOnly)
{
    if (readOnly == fields_[0]->isReadOnly())
        return;
    for (TIPFieldEdit *f : fields_) {
        f->setReadOnly(readOnly);
        // A line edit picks its own cursor with its read-only state; the
        // control's cursor stays in charge.
        f->setCursor(cursor());
    }
}

void TIPEdit::SetTabStop(bool tabStop)
{
    tabStop_ = tabStop;
    for (TIPFieldEdit *f : fields_)
        f->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
}

void TIPEdit::SetCursor(const QCursor &cursor)
{
    setCursor(cursor);
    for (TIPFieldEdit *f : fields_)
        f->setCursor(cursor);
}

void TIPEdit::SetBorderStyle(TBorderStyle style)
{
    if (style == borderStyle_)
        return;
    borderStyle_ = style;
    ArrangeFields();
    update();
}

void TIPEdit::SetBorderWidth(int width)
{
    width = std::max(width, 0);
    if (width == borderWidth_)
        return;
    borderWidth_ = width;
    update();
}

TIPFieldEdit *TIPEdit::Field(int index) const
{
    return index >= 0 && index < 4 ? fields_[index] : nullptr;
}

void TIPEdit::SetFieldValue(int field, quint8 number)
{
    if (TIPFieldEdit *f = Field(field))
        f->SetValue(number);
}

int TIPEdit::FocusedField() const
{
    for (int i = 0; i < 4; ++i) {
        if (fields_[i]->hasFocus())
            return i;
    }
    return -1;
}

int TIPEdit::CaretColumn(int field) const
{
    const TIPFieldEdit *f = Field(field);
    if (!f)
        return -1;
    return f->hasSelectedText() ? f->selectionStart() : f->cursorPosition();
}

void TIPEdit::SetCaretColumn(int field, int column)
{
    if (TIPFieldEdit *f = Field(field))
        f->setCursorPosition(std::clamp(column, 0, int(f->text().size())));
}

void TIPEdit::MoveToNextField(bool selectAll)
{
    const int from = FocusedField();
    if (from < 0 || from > 2)
        return;
    TIPFieldEdit *next = fields_[from + 1];
    if (selectAll)
        next->selectAll();
    else
        SetCaretColumn(from + 1, 0);
    next->setFocus(Qt::OtherFocusReason);
}

void TIPEdit::MoveToPreviousField(bool selectAll)
{
    const int from = FocusedField();
    if (from < 1)
        return;
    TIPFieldEdit *previous = fields_[from - 1];
    if (selectAll)
        previous->selectAll();
    else
        SetCaretColumn(from - 1, 3);
    previous->setFocus(Qt::OtherFocusReason);
}

QRect TIPEdit::ClientRect() const
{
    const int b = borderStyle_ == bsSingle ? SingleBorder : 0;
    return rect().adjusted(b, b, -b, -b);
}

void TIPEdit::ArrangeFields()
{
    points_ = font().pointSize();
    if (points_ <= 0)
        points_ = QFontInfo(font()).pointSize();
    layout_ = ArrangeFieldLayout(width(), height(), points_, QFontMetrics(font()).height(),
                                 MinimumFieldWidth(font()));
    const QRect client = ClientRect();
    for (int i = 0; i < 4; ++i) {
        const QRect r = layout_.FieldRect(i).translated(client.topLeft());
        fields_[i]->setGeometry(r);
        // The fields are taller than the box's inside; what reaches into the
        // border is cut off so the border stays whole.
        const QRect visible = r.intersected(client).translated(-r.topLeft());
        if (visible.size() == r.size())
            fields_[i]->clearMask();
        else
            fields_[i]->setMask(visible.isEmpty() ? QRegion(0, 0, 1, 1) : QRegion(visible));
    }
}

void TIPEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    ArrangeFields();
}

void TIPEdit::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        ArrangeFields();
        update();
    }
}

void TIPEdit::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().brush(backgroundRole()));
    if (borderStyle_ == bsSingle) {
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = rect();
        frame.lineWidth = SingleBorder;
        frame.midLineWidth = 0;
        frame.state |= QStyle::State_Sunken;
        frame.state.setFlag(QStyle::State_HasFocus, FocusedField() >= 0);
        style()->drawPrimitive(QStyle::PE_FrameLineEdit, &frame, &p, this);
    }
    const QRect client = ClientRect();
    QRect inner = client;
    if (borderWidth_ > 0) {
        qDrawShadePanel(&p, inner, palette(), false, borderWidth_);
        inner.adjust(borderWidth_, borderWidth_, -borderWidth_, -borderWidth_);
    }

    QFont dotFont = font();
    dotFont.setBold(true);
    dotFont.setPointSize(DotPointSize);
    const QFontMetrics dot(dotFont);
    p.setFont(dotFont);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    // Each full stop stands in the gap after fields 0, 1 and 2: its top
    // where a text of the dot's size would start to line up with the
    // digits, its ink centred across the gap.
    const int top = client.top() + layout_.top + std::abs(points_) - DotPointSize;
    const QRect ink = dot.boundingRect(QChar(u'.'));
    for (int i = 0; i < 3; ++i) {
        const int gapLeft = inner.left() + layout_.left + layout_.fieldWidth
            + i * (layout_.fieldWidth + layout_.gap);
        const int x = gapLeft + (layout_.gap - ink.width()) / 2 - ink.left();
        p.drawText(QPoint(x, top + dot.ascent()), QStringLiteral("."));
    }
}

void TIPEdit::mousePressEvent(QMouseEvent *event)
{
    if (FocusedField() < 0)
        fields_[0]->setFocus(Qt::MouseFocusReason);
    event->accept();
}
