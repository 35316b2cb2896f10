#pragma once

#include "link/progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>

// What the window's observer costs a send: the event loop turns every 15 ms.
class PumpingObserver : public ProgressObserver
{
public:
    PumpingObserver() { clock_.start(); }
    void Stage(const QString &, qint64, double) override { }
    void Progress(qint64) override { }
    bool CancelRequested() override
    {
        if (clock_.elapsed() - lastPump_ >= 15) {
            lastPump_ = clock_.elapsed();
            QCoreApplication::processEvents();
        }
        return false;
    }

private:
    QElapsedTimer clock_;
    qint64 lastPump_ = 0;
};
