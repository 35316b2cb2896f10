#include "support/printerprocess.h"

#include <QElapsedTimer>

#include <csignal>

QString PrinterProcess::Program()
{
    return QStringLiteral(TARVOLIN_PRINTER_PROGRAM);
}

PrinterProcess::PrinterProcess(const QStringList &arguments)
{
    process_.setProgram(Program());
    process_.setArguments(arguments);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(5000)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(Program(), process_.errorString());
        return;
    }
    QElapsedTimer clock;
    clock.start();
    while (!ready_ && clock.elapsed() < 10000 && process_.state() == QProcess::Running) {
        process_.waitForReadyRead(100);
        ReadOutput();
        for (const QString &line : std::as_const(lines_)) {
            if (line.startsWith(QLatin1String("pty: ")))
                ptyPath_ = line.section(QLatin1Char(' '), 1, 1);
            else if (line.startsWith(QLatin1String("tcp: ")))
                tcpPort_ = quint16(line.section(QLatin1Char(':'), -1).toUInt());
            else if (line.startsWith(QLatin1String("ready: ")))
                ready_ = true;
        }
    }
    if (!ready_)
        error_ = QStringLiteral("the printer did not start: %1 %2")
                     .arg(lines_.join(QLatin1Char('\n')),
                          QString::fromLocal8Bit(process_.readAllStandardError()));
}

PrinterProcess::~PrinterProcess()
{
    if (process_.state() != QProcess::NotRunning)
        Stop();
}

void PrinterProcess::ReadOutput()
{
    partial_ += process_.readAllStandardOutput();
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
        if (clock.elapsed() >= timeoutMs || process_.state() != QProcess::Running)
            return QString();
        process_.waitForReadyRead(20);
    }
}

QStringList PrinterProcess::Lines()
{
    ReadOutput();
    return lines_;
}

void PrinterProcess::Skip()
{
    ReadOutput();
    read_ = lines_.size();
}

void PrinterProcess::Control(const QString &command)
{
    process_.write(command.toLocal8Bit() + '\n');
    process_.waitForBytesWritten(1000);
}

int PrinterProcess::WaitForExit(int timeoutMs)
{
    if (process_.state() != QProcess::NotRunning && !process_.waitForFinished(timeoutMs))
        return -1;
    ReadOutput();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

int PrinterProcess::Stop(int signal, int timeoutMs)
{
    if (process_.state() == QProcess::NotRunning)
        return WaitForExit();
    kill(pid_t(process_.processId()), signal);
    if (!process_.waitForFinished(timeoutMs)) {
        process_.kill();
        process_.waitForFinished(1000);
        return -1;
    }
    ReadOutput();
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}
