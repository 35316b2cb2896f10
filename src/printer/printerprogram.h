#pragma once

// tarvolin-printer as a whole: the printer, its print mechanism, its lines,
// its control inputs and the log on standard output. It runs in the caller's
// event loop and asks it to quit on "quit", SIGINT or SIGTERM.

#include "printer/printeroptions.h"
#include "printer/virtualprinter.h"

#include <QByteArray>
#include <QObject>

#include <memory>
#include <mutex>

class LabelPrinter;
class PtyLine;
class QSocketNotifier;
class TcpLine;
class DiscoveryLine;

// Log lines on standard output (errors too, marked "error:"); quiet, only
// the errors, on standard error. Safe from any thread.
class ConsoleLog : public PrinterLog
{
public:
    explicit ConsoleLog(bool quiet)
        : quiet_(quiet)
    { }
    void Info(const QString &line) override;
    void Error(const QString &line) override;
    bool WantsInfo() const override { return !quiet_; }
    // Shown even when quiet: what the user needs to reach the printer, and
    // answers to control commands.
    void Announce(const QString &line);
    // On standard error, quiet or not.
    void Warn(const QString &line);
    static QString Escaped(const QString &line);

private:
    void Write(FILE *stream, const QString &line);

    bool quiet_;
    std::mutex mutex_;
};

class PrinterProgram : public QObject
{
public:
    explicit PrinterProgram(const PrinterOptions &options, QObject *parent = nullptr);
    ~PrinterProgram() override;

    // Loads the state, opens the lines and the control inputs, and announces
    // where the printer listens. False with a message when anything fails.
    bool Start(QString *error);

private:
    // One source of control commands: standard input or the control pipe.
    struct ControlInput
    {
        int fd = -1;
        std::unique_ptr<QSocketNotifier> notifier;
        QByteArray pending;
    };

    bool OpenControlPipe(QString *error);
    void WatchControl(ControlInput &input, int fd);
    void ReadControl(ControlInput &input);
    void OnSignal();

    PrinterOptions options_;
    ConsoleLog log_;
    std::unique_ptr<LabelPrinter> output_;
    std::unique_ptr<VirtualPrinter> printer_;
    std::unique_ptr<PtyLine> pty_;
    std::unique_ptr<TcpLine> tcp_;
    std::unique_ptr<DiscoveryLine> discovery_;
    ControlInput stdin_;
    ControlInput pipe_;
    bool madePipe_ = false;
    std::unique_ptr<QSocketNotifier> signalNotifier_;
};
