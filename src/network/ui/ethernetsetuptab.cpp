#include "network/ui/ethernetsetuptab.h"

#include "ui/controls.h"

#include "link/printerlink.h"
#include "network/ui/ipedit.h"
#include "ui/errorbox.h"

#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPalette>
#include <QPushButton>

#include <algorithm>

namespace {

// A red line drawn once on the window's surface. It is not part of the
// window's picture: the next repaint of its area takes it away.
class TransientLine : public QWidget
{
public:
    TransientLine(QWidget *surface, QPoint from, QPoint to)
        : QWidget(surface)
        , from_(from)
        , to_(to)
    {
        setObjectName(QStringLiteral("TabSheet3ContextLine"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setGeometry(QRect(from, to).normalized().adjusted(-Reach, -Reach, Reach, Reach));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (painted_) {
            hide();
            deleteLater();
            return;
        }
        painted_ = true;
        QPainter painter(this);
        painter.setPen(QPen(Qt::red, 2));
        painter.setBrush(Qt::red);
        painter.drawLine(from_ - pos(), to_ - pos());
    }

private:
    static constexpr int Reach = 2; // room for the pen's width and caps
    QPoint from_;
    QPoint to_;
    bool painted_ = false;
};

QFont ArialFont(int pointSize, bool bold)
{
    QFont font(QStringLiteral("Arial"), pointSize, bold ? QFont::Bold : QFont::Normal);
    return font;
}

QLineEdit *MakeIdBox(QWidget *parent, const QString &name, int left, int width = 33)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    // The boxes are narrow: a three-digit value needs all of their width.
    edit->setGeometry(left, 49, width, 26);
    edit->setFont(ArialFont(12, false));
    edit->setTextMargins(0, 0, 0, 0);
    return edit;
}

QPushButton *MakeButton(QWidget *parent, const QString &name, const QString &text, int top)
{
    return AddButton(parent, name, text, QRect(376, top, 169, 25));
}

// Captions sit left of the boxes at 144. Where this platform's font makes a
// caption longer than the room it had, it moves left rather than under the box.
void PlaceCaption(QLabel *label, int top)
{
    constexpr int Left = 24;
    constexpr int RightLimit = 140;
    label->adjustSize();
    label->move(std::max(0, std::min(Left, RightLimit - label->width())), top);
}

} // namespace

EthernetSetupTab::EthernetSetupTab(PrinterLink &link, QWidget *parent)
    : QWidget(parent)
    , link_(link)
{
    setObjectName(QStringLiteral("TabSheet3"));

    Label57 = new QLabel(QStringLiteral("Printer new IP address:"), this);
    Label57->setObjectName(QStringLiteral("Label57"));
    PlaceCaption(Label57, 14);

    IPEdit2 = new TIPEdit(this);
    IPEdit2->setObjectName(QStringLiteral("IPEdit2"));
    IPEdit2->setFont(ArialFont(14, true));
    IPEdit2->setGeometry(144, 8, 217, 25);
    IPEdit2->SetIPString(QStringLiteral("192.168.123.200"));

    Button17
        = MakeButton(this, QStringLiteral("Button17"), QStringLiteral("Set New IP Address"), 8);
    connect(Button17, &QPushButton::clicked, this, Guarded([this](bool) { Button17Click(); }));

    Label58 = new QLabel(QStringLiteral("Printer new Ethernet ID:"), this);
    Label58->setObjectName(QStringLiteral("Label58"));
    PlaceCaption(Label58, 56);

    // The red line runs behind the ID boxes and shows in the gaps between them.
    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(152, 62, 201, 2);
    QPalette red = Shape1->palette();
    red.setColor(QPalette::Window, Qt::red);
    Shape1->setPalette(red);
    Shape1->setAutoFillBackground(true);

    Edit2 = MakeIdBox(this, QStringLiteral("Edit2"), 144, 17);
    Edit2->setText(QStringLiteral("0"));
    Edit2->setReadOnly(true);
    Edit3 = MakeIdBox(this, QStringLiteral("Edit3"), 168);
    Edit4 = MakeIdBox(this, QStringLiteral("Edit4"), 208);
    Edit5 = MakeIdBox(this, QStringLiteral("Edit5"), 248);
    Edit6 = MakeIdBox(this, QStringLiteral("Edit6"), 288);
    Edit7 = MakeIdBox(this, QStringLiteral("Edit7"), 328);

    Button18
        = MakeButton(this, QStringLiteral("Button18"), QStringLiteral("Set New Ethernet ID"), 50);
    connect(Button18, &QPushButton::clicked, this, Guarded([this](bool) { Button18Click(); }));

    Label59 = new QLabel(QStringLiteral("-------------------------------"), this);
    Label59->setObjectName(QStringLiteral("Label59"));
    Label59->setFont(ArialFont(14, true));
    QPalette redText = Label59->palette();
    redText.setColor(QPalette::WindowText, Qt::red);
    Label59->setPalette(redText);
    Label59->move(160, 146);
    Label59->adjustSize();
    Label59->hide();
}

void EthernetSetupTab::Button17Click()
{
    const IPv4Octets octets = SplitIPString(IPEdit2->IPString());
    if (!IsAcceptableNewAddress(octets)) {
        ShowMessage(QStringLiteral("New IP address is error!Please input a right new IP address!"));
        return;
    }
    link_.CommandBuffer = BuildNewAddressCommand(octets);
    link_.SendToPrinter();
}

void EthernetSetupTab::Button18Click()
{
    const EthernetId drawn = DrawEthernetId(idDraw_ ? idDraw_ : TimeSeededEthernetIdDraw());
    // What the operator typed into the boxes is replaced; the command is made
    // from what the boxes then show.
    Edit3->setText(EthernetIdBoxText(drawn.id1));
    Edit4->setText(EthernetIdBoxText(drawn.id2));
    Edit5->setText(EthernetIdBoxText(drawn.id3));
    Edit6->setText(EthernetIdBoxText(drawn.id4));
    Edit7->setText(EthernetIdBoxText(drawn.id5));
    EthernetId id;
    id.id1 = ParseEthernetIdBox(Edit3->text());
    id.id2 = ParseEthernetIdBox(Edit4->text());
    id.id3 = ParseEthernetIdBox(Edit5->text());
    id.id4 = ParseEthernetIdBox(Edit6->text());
    id.id5 = ParseEthernetIdBox(Edit7->text());
    link_.CommandBuffer = BuildEthernetIdCommand(id);
    link_.SendToPrinter();
}

void EthernetSetupTab::TabSheet3ContextPopup()
{
    // Drawn on the window's client area, in its coordinates: a strip just
    // above the tab row.
    QWidget *surface = window();
    if (auto *mainWindow = qobject_cast<QMainWindow *>(surface);
        mainWindow && mainWindow->centralWidget())
        surface = mainWindow->centralWidget();
    auto *line = new TransientLine(surface, QPoint(144, 52), QPoint(376, 52));
    line->raise();
    line->show();
}

void EthernetSetupTab::contextMenuEvent(QContextMenuEvent *event)
{
    Guarded([this] { TabSheet3ContextPopup(); })();
    event->ignore();
}
