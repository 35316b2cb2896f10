#pragma once

// A helper program started for a test, with its standard streams on pipes.
//
// Started with a plain fork, not QProcess: QProcess starts children with
// vfork semantics (clone with CLONE_VM and no thread area of its own), so the
// child runs the thread sanitizer's interceptors on the parent thread's own
// sanitizer state before it execs. From then on the sanitizer no longer sees
// that thread's locks (every hand-over between it and another thread is
// reported as a race) and may even take the test for a forked child. fork is
// intercepted and keeps that state apart.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class ChildProcess
{
public:
    ChildProcess() = default;
    // Kills a child that is still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    // `program` is looked up on PATH unless it has a slash. With mergeErrors
    // standard error goes to the same pipe as standard output.
    bool Start(const QString &program, const QStringList &arguments, bool mergeErrors = false);
    QString Error() const { return error_; }
    pid_t Pid() const { return pid_; }

    // Reaps the child once it has ended.
    bool Running() const;
    // The exit code, or -1 while running or when it ended by a signal.
    int ExitCode() const;
    // The most memory it ever had resident, in KiB, once it has ended.
    qint64 PeakMemoryKb() const { return ended_ ? peakKb_ : -1; }

    // Collects what the child wrote, waiting at most timeoutMs for the first
    // bytes.
    void Read(int timeoutMs = 0);
    QByteArray TakeOutput();
    QByteArray Errors() const { return errors_; }

    // Standard input is a socket, so writing to a child that ended is no
    // signal; false when not everything went.
    bool Write(const QByteArray &bytes);

    // Waits (reading meanwhile) until the child ends; false when it still
    // runs after timeoutMs.
    bool WaitForExit(int timeoutMs);
    void Signal(int signal);
    // Sends the signal and waits; a child that does not end is killed.
    // false when it had to be killed.
    bool Stop(int signal, int timeoutMs);

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    int errorFd_ = -1;
    mutable bool ended_ = false;
    mutable int status_ = 0;
    mutable qint64 peakKb_ = -1;
    QByteArray outputBytes_;
    QByteArray errors_;
    QString error_;
};
