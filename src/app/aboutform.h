#pragma once

#include <QWidget>

class QLabel;

// The About window: created hidden at start, shown without blocking.
class TForm2 : public QWidget
{
    Q_OBJECT
public:
    explicit TForm2(QWidget *parent = nullptr);

    QLabel *Label1;
};
