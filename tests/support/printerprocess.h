#pragma once

// The real tarvolin-printer, started as a process for a test: it reads the
// device path and TCP address the printer announces, collects its log, and
// stops it with SIGTERM (killing it only if it does not stop).
//
// Started with a plain fork, not QProcess: QProcess starts children with
// vfork semantics (clone with CLONE_VM and no thread area of its own), so the
// child runs the thread sanitizer's interceptors on the parent thread's own
// sanitizer state before it execs. From then on the sanitizer no longer sees
// that thread's locks, and every hand-over between it and another thread is
// reported as a race. fork is intercepted and keeps that state apart.
//
// Usage:
//   PrinterProcess printer({ "--pty", "--tcp", "0" });
//   ASSERT_TRUE(printer.IsRunning()) << printer.Error();
//   port.SetPort(printer.PtyPath());
//   EXPECT_FALSE(printer.WaitForLine("status query: 05").isEmpty());

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <csignal>
#include <sys/types.h>

class PrinterProcess
{
public:
    static QString Program();

    // Waits (bounded) until the printer says it is ready.
    explicit PrinterProcess(const QStringList &arguments);
    ~PrinterProcess();

    bool IsRunning() const { return Running() && ready_; }
    QString Error() const { return error_; }
    QString PtyPath() const { return ptyPath_; }
    quint16 TcpPort() const { return tcpPort_; }
    pid_t Pid() const { return pid_; }

    // The first line of standard output not yet looked at that contains
    // `text`, waiting at most timeoutMs; empty when none came.
    QString WaitForLine(const QString &text, int timeoutMs = 5000);
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

    PrinterProcess(const PrinterProcess &) = delete;
    PrinterProcess &operator=(const PrinterProcess &) = delete;

private:
    // Collects what the printer wrote, waiting at most timeoutMs for more.
    void ReadOutput(int timeoutMs = 0);
    // Reaps the printer once it has ended.
    bool Running() const;
    int ExitCode() const;

    pid_t pid_ = -1;
    int input_ = -1; // a socket, so that writing to a printer that ended is no signal
    int output_ = -1;
    int errors_ = -1;
    mutable bool ended_ = false;
    mutable int status_ = 0;
    QByteArray errorText_;
    QStringList lines_;
    QByteArray partial_;
    qsizetype read_ = 0; // lines WaitForLine has looked at
    bool ready_ = false;
    QString error_;
    QString ptyPath_;
    quint16 tcpPort_ = 0;
};
