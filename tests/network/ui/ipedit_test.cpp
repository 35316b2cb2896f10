#include "network/ui/ipedit.h"
#include "network/ui/ipfieldedit.h"
#include "support/ui/windowtest.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <vector>

namespace {

struct SeenError
{
    int field;
    bool error; // Error() inside the handler
    QString ip; // IPString inside the handler
    bool operator==(const SeenError &) const = default;
};

// A window with a line edit before and after the control, so focus can
// enter and leave it the way an operator's Tab key does.
class IPEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        window_.resize(300, 120);
        before_ = new QLineEdit(&window_);
        before_->setObjectName(QStringLiteral("Before"));
        before_->setGeometry(10, 10, 100, 21);
        edit_ = new TIPEdit(&window_);
        edit_->setObjectName(QStringLiteral("IPEdit1"));
        edit_->setGeometry(10, 40, 160, 21);
        after_ = new QLineEdit(&window_);
        after_->setObjectName(QStringLiteral("After"));
        after_->setGeometry(10, 70, 100, 21);
        QObject::connect(edit_, &TIPEdit::OnChange, [this] { changes_ << edit_->IPString(); });
        QObject::connect(edit_, &TIPEdit::OnError, [this](int field) {
            errors_.push_back({ field, edit_->Error(), edit_->IPString() });
        });
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    }

    QLineEdit *Field(int i)
    {
        return Find<QLineEdit>(&window_, QStringLiteral("IPEdit1Field%1").arg(i));
    }

    QStringList Texts()
    {
        QStringList texts;
        for (int i = 0; i < 4; ++i)
            texts << Field(i)->text();
        return texts;
    }

    // Keys go where the keyboard focus is, as typed keys do.
    static void Type(const char *keys)
    {
        for (const char *k = keys; *k; ++k)
            QTest::keyClick(QApplication::focusWidget(), *k);
    }
    static void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    void Start(const QString &ip)
    {
        edit_->SetIPString(ip);
        changes_.clear();
        errors_.clear();
    }

    QWidget window_;
    QLineEdit *before_ = nullptr;
    TIPEdit *edit_ = nullptr;
    QLineEdit *after_ = nullptr;
    QStringList changes_;
    std::vector<SeenError> errors_;
};

TEST_F(IPEditTest, ThreeDigitsAdvanceToTheNextFieldSelected)
{
    EXPECT_EQ(edit_->IPString(), "0.0.0.0");
    before_->setFocus();
    Press(Qt::Key_Tab);
    ASSERT_EQ(edit_->FocusedField(), 0);
    EXPECT_EQ(Field(0)->selectedText(), "0");

    Type("192");
    EXPECT_EQ(changes_, QStringList({ "1.0.0.0", "19.0.0.0", "192.0.0.0" }));
    EXPECT_EQ(edit_->FocusedField(), 1);
    EXPECT_EQ(Field(1)->selectedText(), "0");

    Type("168123100");
    EXPECT_EQ(edit_->IPString(), "192.168.123.100");
    EXPECT_EQ(changes_.size(), 12);
    // The last field has nowhere to go.
    EXPECT_EQ(edit_->FocusedField(), 3);
    EXPECT_EQ(edit_->CaretColumn(3), 3);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(IPEditTest, FullStopAdvancesOnlyFromUnselectedNonEmptyText)
{
    before_->setFocus();
    Press(Qt::Key_Tab);
    Type("19.");
    EXPECT_EQ(Texts(), QStringList({ "19", "0", "0", "0" }));
    EXPECT_EQ(edit_->FocusedField(), 1);
    EXPECT_EQ(Field(1)->selectedText(), "0");

    Press(Qt::Key_Delete); // empties field 1
    Type(".");
    EXPECT_EQ(edit_->FocusedField(), 1);
    EXPECT_EQ(Field(1)->text(), "");

    Type("25");
    Field(1)->setSelection(0, 1);
    Type(".");
    EXPECT_EQ(edit_->FocusedField(), 1);
    Field(1)->selectAll();
    Type(".");
    EXPECT_EQ(edit_->FocusedField(), 1);
    EXPECT_EQ(Field(1)->text(), "25");
    EXPECT_EQ(edit_->IPString(), "19.25.0.0");
}

TEST_F(IPEditTest, OutOfRangeNumberShows255AndReportsTheField)
{
    struct Row
    {
        int field;
        const char *digits;
        QStringList changes;
        QString ip;
    };
    const Row rows[] = {
        { 0, "300", { "3.2.3.4", "30.2.3.4", "255.2.3.4" }, "255.2.3.4" },
        // Typing 2 over the 2 already there changes nothing.
        { 1, "256", { "1.25.3.4", "1.255.3.4" }, "1.255.3.4" },
        { 2, "999", { "1.2.9.4", "1.2.99.4", "1.2.255.4" }, "1.2.255.4" },
        { 3, "300", { "1.2.3.3", "1.2.3.30", "1.2.3.255" }, "1.2.3.255" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.field);
        Start(QStringLiteral("1.2.3.4"));
        Field(row.field)->setFocus();
        Field(row.field)->selectAll();
        Type(row.digits);
        EXPECT_EQ(errors_, std::vector<SeenError>({ { row.field, true, "255" } }));
        EXPECT_EQ(changes_, row.changes);
        EXPECT_EQ(Field(row.field)->text(), "255");
        EXPECT_EQ(edit_->IPString(), row.ip);
        EXPECT_FALSE(edit_->Error());
        EXPECT_EQ(edit_->FocusedField(), row.field);
        EXPECT_EQ(edit_->CaretColumn(row.field), 0);
    }
}

TEST_F(IPEditTest, PastedTextIsCheckedLikeTypedText)
{
    struct Row
    {
        const char *pasted;
        QString text;
        QString ip;
        bool rejected;
    };
    const Row rows[] = {
        { "x1", "255", "1.255.3.4", true },    { "$1F", "$1F", "1.31.3.4", false },
        { " 7", " 7", "1.7.3.4", false },      { "-1", "255", "1.255.3.4", true },
        { "10.20", "255", "1.255.3.4", true }, // cut to "10." by the length limit
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.pasted);
        Start(QStringLiteral("1.2.3.4"));
        QApplication::clipboard()->setText(QString::fromLatin1(row.pasted));
        Field(1)->setFocus();
        Field(1)->selectAll();
        Press(Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(Field(1)->text(), row.text);
        EXPECT_EQ(edit_->IPString(), row.ip);
        EXPECT_EQ(errors_.size(), row.rejected ? 1u : 0u);
    }
}

TEST_F(IPEditTest, EmptiedFieldKeepsItsValueAndOtherCharactersAreSwallowed)
{
    Start(QStringLiteral("10.0.0.7"));
    Field(3)->setFocus();
    Field(3)->selectAll();
    Press(Qt::Key_Delete);
    EXPECT_EQ(Field(3)->text(), "");
    EXPECT_EQ(edit_->IPString(), "10.0.0.7");

    Field(0)->setFocus();
    Field(0)->end(false);
    Type("a -,x+/");
    Press(Qt::Key_Space);
    EXPECT_EQ(Texts(), QStringList({ "10", "0", "0", "" }));
    EXPECT_TRUE(changes_.empty());
    EXPECT_TRUE(errors_.empty());
}

TEST_F(IPEditTest, BackspaceAndArrowsCrossFieldEdges)
{
    enum Begin { Caret, SelectAll };
    struct Row
    {
        const char *name;
        int field;
        Begin start;
        int column;
        Qt::Key key;
        int focus;
        int caret;
        QStringList texts;
    };
    const QStringList same { "1", "22", "33", "44" };
    const Row rows[] = {
        { "backspace at column 0", 2, Caret, 0, Qt::Key_Backspace, 1, 2, same },
        { "backspace over a whole selection",
          2,
          SelectAll,
          0,
          Qt::Key_Backspace,
          1,
          2,
          { "1", "22", "", "44" } },
        { "backspace inside", 2, Caret, 2, Qt::Key_Backspace, 2, 1, { "1", "22", "3", "44" } },
        { "left at column 0", 2, Caret, 0, Qt::Key_Left, 1, 2, same },
        { "left over a whole selection", 2, SelectAll, 0, Qt::Key_Left, 1, 2, same },
        { "left inside", 2, Caret, 1, Qt::Key_Left, 2, 0, same },
        { "right at the end", 1, Caret, 2, Qt::Key_Right, 2, 0, same },
        { "right inside", 1, Caret, 1, Qt::Key_Right, 1, 2, same },
        { "left in field 0", 0, Caret, 0, Qt::Key_Left, 0, 0, same },
        { "backspace in field 0", 0, Caret, 0, Qt::Key_Backspace, 0, 0, same },
        { "right in field 3", 3, Caret, 2, Qt::Key_Right, 3, 2, same },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Start(QStringLiteral("1.22.33.44"));
        Field(row.field)->setFocus();
        if (row.start == SelectAll)
            Field(row.field)->selectAll();
        else
            edit_->SetCaretColumn(row.field, row.column);
        Press(row.key);
        EXPECT_EQ(edit_->FocusedField(), row.focus);
        EXPECT_EQ(edit_->CaretColumn(row.focus), row.caret);
        EXPECT_FALSE(Field(row.focus)->hasSelectedText());
        EXPECT_EQ(Texts(), row.texts);
        // Emptying a field never changes the address.
        const QString expected = row.texts[2] == "3" ? "1.22.3.44" : "1.22.33.44";
        EXPECT_EQ(edit_->IPString(), expected);
    }

    edit_->SetCaretColumn(1, -4);
    EXPECT_EQ(edit_->CaretColumn(1), 0);
    edit_->SetCaretColumn(1, 9);
    EXPECT_EQ(edit_->CaretColumn(1), 2);
}

TEST_F(IPEditTest, WritingIPStringFiresNothing)
{
    struct Row
    {
        const char *text;
        QString ip;
    };
    const Row rows[] = {
        { "1.2.3", "192.168.123.100" },
        { "", "192.168.123.100" },
        { "1.2.3.4.5", "1.2.3.4" },
        { "1.2.300.4", "1.2.255.4" },
        { "1..3.4", "1.255.3.4" },
        { "1.2.3.", "1.2.3.255" },
        { " $C0.0xA8.+7.-0", "192.168.7.0" },
        { "1.2.3.4 ", "1.2.3.255" },
        { "-1.256.x.9999999999", "255.255.255.255" },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        Start(QStringLiteral("192.168.123.100"));
        edit_->SetIPString(QString::fromLatin1(row.text));
        EXPECT_EQ(edit_->IPString(), row.ip);
        EXPECT_EQ(Texts(), row.ip.split(u'.'));
        EXPECT_TRUE(changes_.empty());
        EXPECT_TRUE(errors_.empty());
    }
}

TEST_F(IPEditTest, FocusEntersAtFieldZeroAndTabsThroughTheFields)
{
    before_->setFocus();
    for (int i = 0; i < 4; ++i) {
        Press(Qt::Key_Tab);
        EXPECT_EQ(edit_->FocusedField(), i);
    }
    Press(Qt::Key_Tab);
    EXPECT_TRUE(after_->hasFocus());
    for (int i = 3; i >= 0; --i) {
        Press(Qt::Key_Backtab);
        EXPECT_EQ(edit_->FocusedField(), i);
    }
    Press(Qt::Key_Backtab);
    EXPECT_TRUE(before_->hasFocus());

    edit_->setFocus();
    EXPECT_EQ(edit_->FocusedField(), 0);

    // A click on the box beside the fields: field 0 when no field has the
    // focus, otherwise the focus stays.
    const QPoint beside(3, edit_->height() / 2);
    after_->setFocus();
    QTest::mouseClick(edit_, Qt::LeftButton, {}, beside);
    EXPECT_EQ(edit_->FocusedField(), 0);
    Field(2)->setFocus();
    QTest::mouseClick(edit_, Qt::LeftButton, {}, beside);
    EXPECT_EQ(edit_->FocusedField(), 2);

    edit_->SetTabStop(false);
    before_->setFocus();
    Press(Qt::Key_Tab);
    EXPECT_TRUE(after_->hasFocus());
    QTest::mouseClick(Field(1), Qt::LeftButton);
    EXPECT_EQ(edit_->FocusedField(), 1);
}

TEST_F(IPEditTest, PropertiesReachEveryField)
{
    edit_->SetReadOnly(true);
    EXPECT_TRUE(edit_->ReadOnly());
    Field(1)->setFocus();
    Field(1)->selectAll();
    Type("5");
    EXPECT_EQ(edit_->IPString(), "0.0.0.0");
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Field(i)->isReadOnly());
        EXPECT_EQ(Field(i)->cursor().shape(), Qt::IBeamCursor);
    }
    edit_->SetReadOnly(false);
    EXPECT_FALSE(Field(3)->isReadOnly());

    edit_->SetCursor(Qt::PointingHandCursor);
    EXPECT_EQ(edit_->cursor().shape(), Qt::PointingHandCursor);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(Field(i)->cursor().shape(), Qt::PointingHandCursor);

    const QPoint bordered = Field(0)->pos();
    edit_->SetBorderStyle(TIPEdit::bsNone);
    EXPECT_EQ(edit_->ClientRect(), edit_->rect());
    EXPECT_EQ(Field(0)->pos(), bordered - QPoint(2, 2));

    edit_->setObjectName(QStringLiteral("IPEdit2"));
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(edit_->findChild<QLineEdit *>(QStringLiteral("IPEdit2Field%1").arg(i)), nullptr);
    EXPECT_EQ(edit_->findChild<QLineEdit *>(QStringLiteral("IPEdit1Field0")), nullptr);
}

TEST(IPEditLayout, Formula)
{
    struct Row
    {
        int width, height, points, fontHeight, minField;
        int s, g, l, t;
    };
    const Row rows[] = {
        { 160, 21, 9, 12, 0, 27, 4, 18, 2 },
        { 160, 21, -9, -12, 0, 27, 4, 18, 2 },
        { 217, 25, 14, 19, 0, 42, 5, 15, 1 },
        // Negative results truncate toward zero.
        { 100, 25, 9, 24, 0, 27, 4, -12, -1 },
        { 101, 21, 9, 12, 0, 27, 4, -11, 2 },
        // A font too wide for three times its size widens the fields.
        { 160, 21, 9, 12, 31, 31, 4, 10, 2 },
        { 160, 21, 9, 12, 20, 27, 4, 18, 2 },
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " " << row.points);
        const TIPFieldLayout l
            = ArrangeFieldLayout(row.width, row.height, row.points, row.fontHeight, row.minField);
        EXPECT_EQ(l.fieldWidth, row.s);
        EXPECT_EQ(l.gap, row.g);
        EXPECT_EQ(l.left, row.l);
        EXPECT_EQ(l.top, row.t);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(l.FieldRect(i),
                      QRect(row.l + i * (row.s + row.g), row.t, row.s, row.height - 2));
    }
}

// Columns [first, last] holding ink darker than mid grey, or {-1, -1}.
std::pair<int, int> InkColumns(const QImage &image, const QRect &area)
{
    int first = -1, last = -1;
    for (int x = area.left(); x <= area.right(); ++x) {
        for (int y = area.top(); y <= area.bottom(); ++y) {
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
        }
    }
    return { first, last };
}

// The real control with the fonts its two owners give it: the fields follow
// the font's metrics, the widest digits fit unscrolled and centred, and a
// full stop stands in each gap.
TEST(IPEditLayout, RealFontsFitAndShowDotsInTheGaps)
{
    struct Row
    {
        const char *name;
        int width, height;
        QFont font; // default-constructed: the control's own
    };
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(14);
    arial.setBold(true);
    const Row rows[] = { { "own", 160, 21, QFont() }, { "arial", 217, 25, arial } };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        QWidget window;
        auto *edit = new TIPEdit(&window);
        edit->setObjectName(QStringLiteral("IPEdit1"));
        if (row.font != QFont())
            edit->setFont(row.font);
        edit->setGeometry(0, 0, row.width, row.height);
        window.resize(row.width, row.height);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        const QFont font = edit->font();
        if (row.font == QFont()) {
            EXPECT_EQ(font.pointSize(), 9);
            EXPECT_TRUE(font.bold());
        }

        const QFontMetrics fm(font);
        const int points = font.pointSize();
        const TIPFieldLayout l = edit->FieldLayout();
        EXPECT_GE(l.fieldWidth, 3 * points);
        EXPECT_EQ(l.gap, l.fieldWidth / 9 + 1);
        EXPECT_EQ(l.top, (row.height - fm.height() - 6) / 2 + 1);
        for (int i = 0; i < 4; ++i) {
            const QRect r
                = edit->findChild<QLineEdit *>(QStringLiteral("IPEdit1Field%1").arg(i))->geometry();
            EXPECT_EQ(r, l.FieldRect(i).translated(2, 2));
            EXPECT_EQ(r.height(), row.height - 2);
        }
        // Centred: the margins either side differ by at most the odd pixel.
        const int leftMargin = 2 + l.left;
        const int rightMargin = row.width - (leftMargin + 4 * l.fieldWidth + 3 * l.gap);
        EXPECT_LE(std::abs(rightMargin - leftMargin), 1);

        QChar widest = u'0';
        const QFontMetricsF fmf(font);
        for (char16_t d = u'0'; d <= u'9'; ++d) {
            if (fmf.horizontalAdvance(QChar(d)) > fmf.horizontalAdvance(widest))
                widest = QChar(d);
        }
        const QString three(3, widest);
        edit->SetIPString(three + u'.' + three + u'.' + three + u'.' + three);
        for (int i = 0; i < 4; ++i)
            edit->Field(i)->setText(three);
        const QImage shot = edit->grab().toImage();
        if (const QByteArray dir = qgetenv("TARVOLIN_SHOT_DIR"); !dir.isEmpty())
            shot.save(QString::fromLocal8Bit(dir) + QStringLiteral("/ipedit_%1.png").arg(row.name));

        const QRect client = edit->ClientRect();
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            const QRect field = l.FieldRect(i).translated(client.topLeft()).intersected(client);
            const auto [first, last] = InkColumns(shot, field);
            ASSERT_GE(first, 0) << "no digits shown";
            EXPECT_GT(first, field.left());
            EXPECT_LT(last, field.right());
            EXPECT_LE(std::abs((first - field.left()) - (field.right() - last)), 3);
        }
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE(i);
            const int gapLeft = client.left() + l.FieldRect(i).right() + 1;
            const QRect gap(gapLeft, client.top(), l.gap, client.height());
            EXPECT_GE(InkColumns(shot, gap).first, 0) << "no full stop in the gap";
        }
    }
}

TEST(IPEditParse, IntegerForms)
{
    struct Row
    {
        const char *text;
        std::optional<int> number;
    };
    // clang-format off
    const Row rows[] = {
        {"0", 0}, {"255", 255}, {"  12", 12}, {"+7", 7}, {"-0", 0}, {"-3", -3}, {"007", 7},
        {"$ff", 255}, {"0x1F", 31}, {"0X1f", 31}, {"-$10", -16},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
        {"", {}}, {" ", {}}, {"+", {}}, {"$", {}}, {"0x", {}}, {"12 ", {}}, {"1a", {}},
        {"x1", {}}, {"$g", {}}, {"1.5", {}}, {"- 1", {}}, {"2147483648", {}},
        {"99999999999999999999", {}},
    };
    // clang-format on
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(ParseInteger(QString::fromLatin1(row.text)), row.number);
    }
}

} // namespace
