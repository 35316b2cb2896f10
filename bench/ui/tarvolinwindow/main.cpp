// Tarvolin's start as the start-up benchmark measures it: the program's own
// main (src/main.cpp), then "shown" and the end of the process once the
// window has been painted for the first time, or with --ready once the whole
// start is done (the tabs not on view built as well). Links the window
// library alone.
#include "../firstpaint.h"
#include "app/mainform.h"

#include <QApplication>

#include <cstring>

int main(int argc, char *argv[])
{
    const bool untilReady = argc > 1 && std::strcmp(argv[1], "--ready") == 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvolin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvolin"));
    QApplication::setDesktopFileName(QStringLiteral(TARVOLIN_APP_ID));
    TForm1 form;
    FirstPaint paint;
    QTimer poll;
    if (untilReady) {
        // The rest of the start runs as one piece of work: seen done from
        // the event loop, it is done.
        QObject::connect(&poll, &QTimer::timeout, [&form] {
            if (form.StartFinished()) {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                std::_Exit(0);
            }
        });
        poll.start(0);
    } else {
        form.installEventFilter(&paint);
    }
    form.show();
    return app.exec();
}
