#pragma once

#include "link/progress.h"

#include <QDialog>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;

// "1,048,576 of 4,194,304 bytes (25%), 960 bytes/s, about 54 min 36 s
// left": how far an operation got, at what rate (not shown when <= 0) and
// how long the rest should take.
QString TransferFigures(qint64 done, qint64 total, double bytesPerSecond);

// What one long operation of the printer link shows: what is happening, how
// far it got, the rate and the time left, and Cancel. Closing it (its close
// box, Escape) asks to cancel as well; it goes away only with the operation.
class TransferDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TransferDialog(QWidget *parent);

    void SetStage(const QString &what, qint64 totalBytes);
    void SetFigures(qint64 done, qint64 total, double bytesPerSecond);
    // What the operation waits for, below the figures; hidden when empty.
    void SetWaiting(const QString &why);

    bool CancelRequested() const { return cancelRequested_; }
    void RequestCancel();

    QLabel *WhatLabel;
    QProgressBar *Bar;
    QLabel *FiguresLabel;
    QLabel *WaitingLabel;
    QPushButton *CancelButton;

protected:
    void reject() override;

private:
    bool cancelRequested_ = false;
};

// The window's side of the printer link's operations. While one runs, the
// link's waits keep the window's event loop turning (it repaints, its clock
// ticks); clicks and keys meant for the main window are swallowed then, not
// queued for afterwards, except on the controls allowed (Exit, the menu),
// which ask before they end anything. After half a second the operation's
// dialog shows its progress and offers Cancel.
class TransferMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr int ShowAfterMs = 500;

    explicit TransferMonitor(QWidget *window);
    ~TransferMonitor() override;

    // Lets input reach this control and its children while an operation runs.
    void AllowDuring(QWidget *control);

    // The observer of one operation (for PrinterLink::SetProgressSource);
    // none while another one runs.
    std::unique_ptr<ProgressObserver> Begin();
    bool Running() const { return current_ != nullptr; }
    void RequestCancel();
    // The running operation's dialog, once it shows.
    TransferDialog *Dialog() const;

signals:
    void Finished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    class Observer;

    QWidget *window_;
    QList<QPointer<QWidget>> allowed_;
    Observer *current_ = nullptr;
};
