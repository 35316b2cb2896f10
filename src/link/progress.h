#pragma once

#include <QString>

#include <QtGlobal>

// How a long operation (a send, a connect, a serial reply) tells whoever
// watches it how far it has got, and learns whether to go on. The window
// shows it as a dialog, the command-line program as a terminal progress bar;
// code that nobody watches passes nothing.
//
// The link calls an observer on the thread that runs the operation, at least
// every 40 ms while the operation lasts (and at most every 10 ms or so), so
// an observer on the window's thread may let the window's event loop turn in
// these calls.
class ProgressObserver
{
public:
    virtual ~ProgressObserver() = default;

    // A new stage begins: what is happening, in the operator's words
    // ("Sending 4,194,304 bytes to COM1 (9600 baud)"), its total in bytes (-1
    // when not known, e.g. a reply or a connect) and, where the line speed is
    // known, the rate to expect before any has been measured (0 otherwise).
    virtual void Stage(const QString &what, qint64 totalBytes, double expectedBytesPerSecond) = 0;

    // Bytes of the current stage done so far (for a network send: bytes the
    // printer has acknowledged).
    virtual void Progress(qint64 doneBytes) = 0;

    // The operation is waiting for the printer and why, in the operator's
    // words ("Waiting for the printer: it has taken nothing for 25 s ...");
    // an empty text when it goes on again. Nothing is stopped by it.
    virtual void Waiting(const QString &why) { Q_UNUSED(why) }

    // Asked between chunks; true stops the operation, which then ends with
    // EOperationCancelled. Once true, it is not asked again.
    virtual bool CancelRequested() = 0;
};
