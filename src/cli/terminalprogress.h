#pragma once

#include "link/progress.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>
#include <mutex>

// How far a long transfer has got, on the program's error output. A stage
// shows once it has run for ShowAfterMs (short ones never show): what it
// does, then on a terminal one bar redrawn in place, otherwise a plain line
// at every tenth of it. It never asks to stop.
class TerminalProgress : public ProgressObserver
{
public:
    static constexpr qint64 ShowAfterMs = 500;

    TerminalProgress(FILE *out, bool terminal, int width = 80);
    ~TerminalProgress() override;

    void Stage(const QString &what, qint64 totalBytes, double expectedBytesPerSecond) override;
    void Progress(qint64 doneBytes) override;
    bool CancelRequested() override { return false; }
    // The first line of what it waits for, on a line of its own when the
    // wait begins and every half minute while it lasts.
    void Waiting(const QString &why) override;

    // Ends a bar that is on screen with a line break.
    void Finish();

    // "[#####.....]  50%  2.0 MB of 4.0 MB  12.3 KB/s  2:45 left" (the
    // parts that are not known left out), at most `width` characters.
    static QString BarText(qint64 done, qint64 total, double bytesPerSecond, int width);

private:
    void Draw(bool force);
    void EndBar();
    void Put(const QString &text);

    FILE *out_;
    bool terminal_;
    int width_;
    std::mutex mutex_;
    QElapsedTimer clock_; // since the stage began
    QElapsedTimer sinceDraw_;
    QElapsedTimer sinceWaitingShown_;
    QString what_;
    qint64 total_ = -1;
    qint64 done_ = 0;
    double expectedRate_ = 0;
    int lastTenth_ = -1;
    bool stageShown_ = false;
    bool barShown_ = false;
};

// How far a fleet run has got, on a terminal only: one line redrawn in
// place below the printers' report lines ("37 of 200 printers, 2 failed").
// The report lines come first: Clear() before writing one, Show() after.
class FleetProgress
{
public:
    FleetProgress(FILE *out, int total);
    ~FleetProgress();

    void Clear();
    void Show(int done, int failed);

    static QString Text(int done, int total, int failed);

private:
    FILE *out_;
    int total_;
    bool shown_ = false;
};
