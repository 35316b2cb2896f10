#pragma once

// The virtual printer's serial line: a pseudo-terminal whose slave device
// (/dev/pts/N) a program opens as its serial port. The printer keeps the
// master side. Programs may open and close the slave as often as they like,
// one at a time; when the last one closes, whatever it left unfinished is
// reported as cut short once the printer has read all it sent.
//
// At a set line speed the printer takes bytes off the line at that rate into
// a receive buffer of BufferBytes; at three quarters full it sends Xoff, and
// Xon once it is down to a quarter, as a printer with Xon/Xoff flow control
// does. Replies leave at the same rate, with a short pause after each line.
// The bytes 11 and 13 (hex) that arrive are data, never flow control: they
// occur in addresses and downloads. A client that does not take its replies
// is read no further until it does (Xoff first, at a set speed).

#include "printer/linepacer.h"
#include "printer/readhold.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class PrinterLog;
class PrinterSession;
class QSocketNotifier;
class VirtualPrinter;

class PtyLine : public QObject
{
public:
    static constexpr qsizetype BufferBytes = 4096;
    static constexpr int LinePauseMs = 2;
    static constexpr qsizetype UnlimitedChunk = 64 * 1024;

    // baud 0: unlimited.
    PtyLine(VirtualPrinter &printer, PrinterLog &log, qint64 baud, QObject *parent = nullptr);
    ~PtyLine() override;

    // Creates the pseudo-terminal and sets its line raw; false with a message.
    bool Open(QString *error);
    QString SlavePath() const { return slavePath_; }

    // Keeps a symbolic link at `path` to the slave device until this line is
    // destroyed. A link already there is replaced; anything else is refused.
    bool MakeLink(const QString &path, QString *error);
    QString LinkPath() const { return linkPath_; }

private:
    void OnReadable();
    void OnWritable();
    void OnSlaveOpened();
    void Tick();
    // What the receive buffer holds: BufferBytes at a set speed, one read's
    // worth when unlimited.
    qsizetype Capacity() const;
    // Hands received bytes to the printer at the line's pace while nothing holds.
    void TakeIn();
    void Deliver();
    void Flush();
    void FlushOut();
    void HangUp();
    void CheckReopened();
    void EndOfClient();
    void Queue(const QByteArray &reply);
    void SendFlowControl(char c);
    void Schedule(qint64 ns);
    qint64 Now() const { return clock_.nsecsElapsed(); }

    VirtualPrinter &printer_;
    PrinterLog &log_;
    std::unique_ptr<PrinterSession> session_;
    LinePacer inPacer_;
    LinePacer outPacer_;

    int master_ = -1;
    int inotify_ = -1;
    QString slavePath_;
    QString linkPath_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    std::unique_ptr<QSocketNotifier> openNotifier_;
    QTimer timer_;
    QElapsedTimer clock_;

    QByteArray in_; // received, not yet taken in at the line's pace
    // Replies leave a line at a time, with a pause after each: a serial
    // printer holds far fewer than a network one.
    ReadHold hold_ { 64 * 1024 };
    QByteArray out_; // replies not yet sent
    qint64 pauseUntilNs_ = 0;
    bool xoff_ = false;
    bool hungUp_ = false;
    bool clientEnded_ = true; // the last client's end has been reported
};
