#include "support/printerprocess.h"

#include <QElapsedTimer>

#include <csignal>
#include <sched.h>

QString PrinterProcess::Program()
{
    return QStringLiteral(TARVOLIN_PRINTER_PROGRAM);
}

PrinterProcess::PrinterProcess(const QStringList &arguments)
{
    if (!process_.Start(Program(), arguments)) {
        error_ = process_.Error();
        return;
    }
    // As the pty printer: a printer answers within the program's short reply
    // waits however busy the test machine is. Its threads, all made later,
    // inherit the policy; where real-time scheduling is not permitted it
    // runs as it is.
    const sched_param realTime { .sched_priority = 1 };
    ::sched_setscheduler(process_.Pid(), SCHED_FIFO, &realTime);
    QElapsedTimer clock;
    clock.start();
    while (!ready_ && clock.elapsed() < 10000 && process_.Running()) {
        ReadOutput(100);
        for (const QString &line : std::as_const(lines_)) {
            if (line.startsWith(QLatin1String("pty: ")))
                ptyPath_ = line.section(QLatin1Char(' '), 1, 1);
            else if (line.startsWith(QLatin1String("tcp: ")))
                tcpPort_ = quint16(line.section(QLatin1Char(':'), -1).toUInt());
            else if (line.startsWith(QLatin1String("ready: ")))
                ready_ = true;
        }
    }
    if (!ready_) {
        ReadOutput();
        error_
            = QStringLiteral("the printer did not start: %1 %2")
                  .arg(lines_.join(QLatin1Char('\n')), QString::fromLocal8Bit(process_.Errors()));
    }
}

PrinterProcess::~PrinterProcess()
{
    if (process_.Running())
        Stop();
}

void PrinterProcess::ReadOutput(int timeoutMs)
{
    process_.Read(timeoutMs);
    partial_ += process_.TakeOutput();
    qsizetype end;
    while ((end = partial_.indexOf('\n')) >= 0) {
        lines_ << QString::fromLocal8Bit(partial_.left(end));
        partial_.remove(0, end + 1);
    }
}

QString PrinterProcess::WaitForLine(const QString &text, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        ReadOutput();
        for (; read_ < lines_.size(); ++read_) {
            if (lines_.at(read_).contains(text))
                return lines_.at(read_++);
        }
        if (clock.elapsed() >= timeoutMs || !process_.Running())
            return QString();
        ReadOutput(20);
    }
}

QStringList PrinterProcess::Lines()
{
    ReadOutput();
    return lines_;
}

QString PrinterProcess::ErrorOutput()
{
    ReadOutput();
    return QString::fromLocal8Bit(process_.Errors());
}

void PrinterProcess::Skip()
{
    ReadOutput();
    read_ = lines_.size();
}

void PrinterProcess::Control(const QString &command)
{
    process_.Write(command.toLocal8Bit() + '\n');
}

int PrinterProcess::WaitForExit(int timeoutMs)
{
    const bool ended = process_.WaitForExit(timeoutMs);
    ReadOutput();
    return ended ? process_.ExitCode() : -1;
}

int PrinterProcess::Stop(int signal, int timeoutMs)
{
    if (!process_.Running())
        return WaitForExit();
    const bool ended = process_.Stop(signal, timeoutMs);
    ReadOutput();
    return ended ? process_.ExitCode() : -1;
}
