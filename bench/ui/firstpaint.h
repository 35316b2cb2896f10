#pragma once

// For the start-up benchmark's child programs: once a window has been painted
// for the first time, print "shown" and end the process at once (what the
// program would do afterwards is no part of its start).

#include <QEvent>
#include <QObject>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            // Queued, so the paint itself is done first.
            QTimer::singleShot(0, [] {
                std::fputs("shown\n", stdout);
                std::fflush(stdout);
                std::_Exit(0);
            });
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool seen_ = false;
};
