#include "app/aboutform.h"

#include <QLabel>

TForm2::TForm2(QWidget *parent)
    : QWidget(parent,
              Qt::Window | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::WindowTitleHint | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("About Version"));
    setFixedSize(220, 152);
    move(197, 123);

    Label1 = new QLabel(QStringLiteral("Versinon 1.01"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(20);
    font.setBold(true);
    Label1->setFont(font);
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(0, 40, 220, 48);
}
