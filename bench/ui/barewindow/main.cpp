// The reference of the start-up benchmark: a bare Qt Widgets window of the
// main window's size with five empty tabs, linking nothing but Qt Widgets.
#include "../firstpaint.h"

#include <QApplication>
#include <QTabWidget>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QTabWidget tabs;
    for (const char *caption : { "Printer Configuration", "File Manager", "Ethernet Setup",
                                 "Command Tool", "Interface Select" })
        tabs.addTab(new QWidget, QString::fromLatin1(caption));
    tabs.resize(699, 655);
    FirstPaint paint;
    tabs.installEventFilter(&paint);
    tabs.show();
    return app.exec();
}
