#pragma once

// The real tarvolin-printer, started as a process for a test: it reads the
// device path and TCP address the printer announces, collects its log, and
// stops it with SIGTERM (killing it only if it does not stop).
//
// Usage:
//   PrinterProcess printer({ "--pty", "--tcp", "0" });
//   ASSERT_TRUE(printer.IsRunning()) << printer.Error();
//   port.SetPort(printer.PtyPath());
//   EXPECT_FALSE(printer.WaitForLine("status query: 05").isEmpty());

#include "support/childprocess.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <csignal>

class PrinterProcess
{
public:
    static QString Program();

    // Waits (bounded) until the printer says it is ready.
    explicit PrinterProcess(const QStringList &arguments);
    ~PrinterProcess();

    bool IsRunning() const { return process_.Running() && ready_; }
    QString Error() const { return error_; }
    QString PtyPath() const { return ptyPath_; }
    quint16 TcpPort() const { return tcpPort_; }
    pid_t Pid() const { return process_.Pid(); }
    // The most memory it ever had resident, in KiB, once it has stopped.
    qint64 PeakMemoryKb() const { return process_.PeakMemoryKb(); }

    // The first line of standard output not yet looked at that contains
    // `text`, waiting at most timeoutMs; empty when none came.
    QString WaitForLine(const QString &text, int timeoutMs = 5000);
    // What it wrote to standard error so far.
    QString ErrorOutput();
    // Every line of standard output so far.
    QStringList Lines();
    // Marks the lines seen so far as read for WaitForLine.
    void Skip();

    // Writes one control command to the printer's standard input.
    void Control(const QString &command);

    // Sends the signal; the exit code, or -1 when it had to be killed or
    // crashed.
    int Stop(int signal = SIGTERM, int timeoutMs = 5000);
    // The exit code once it has ended by itself; -1 when it is still running
    // after timeoutMs or crashed.
    int WaitForExit(int timeoutMs = 5000);

private:
    void ReadOutput(int timeoutMs = 0);

    ChildProcess process_;
    QStringList lines_;
    QByteArray partial_;
    qsizetype read_ = 0; // lines WaitForLine has looked at
    bool ready_ = false;
    QString error_;
    QString ptyPath_;
    quint16 tcpPort_ = 0;
};
