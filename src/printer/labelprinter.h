#pragma once

// The print mechanism of the virtual printer: labels are printed one after
// another on a thread of their own, so the printer keeps answering (its
// status says "Printing" meanwhile). Each label is numbered from 1 in the
// order printed and, when an output folder is given, drawn with the label
// renderer and saved there as label-0001.png; dump-mode pages become
// dump-0001.txt.

#include "printer/virtualprinter.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class LabelPrinter : public LabelOutput
{
public:
    // More than this waiting, and the printer stops taking in bytes.
    static constexpr size_t MaxQueuedJobs = 16384;
    static constexpr qsizetype MaxQueuedBytes = 64 * 1024 * 1024;
    // Pictures saved of one format's labels at most; the rest are printed
    // (counted and logged) without one, so that one quantity cannot fill
    // the disk.
    static constexpr qint64 MaxPicturesPerFormat = 1000;

    // outDir empty: labels are numbered and logged, not saved. Pictures and
    // dump pages saved in outDir are numbered on after those already there.
    LabelPrinter(PrinterLog &log, const QString &outDir);
    // Labels not printed yet are dropped; the one being printed is finished.
    ~LabelPrinter() override;

    void Print(const PrintJob &job) override;
    qint64 CancelAll() override;
    bool Printing() const override { return busy_.load(); }
    bool Backlogged() const override;
    void Dump(const QByteArray &bytes) override;

    qint64 LabelsPrinted() const { return printed_.load(); }
    // Until everything queued is printed, or the time is up; true when idle.
    bool WaitIdle(int timeoutMs);

private:
    // A job to print (shared between its labels) or a dump page.
    struct Work
    {
        std::shared_ptr<const PrintJob> job;
        qint64 done = 0; // labels of the job handed out so far
        QByteArray dump;
    };

    void Enqueue(Work work);
    void Run();
    void PrintOne(const PrintJob &job, qint64 index);
    void WriteDump(const QByteArray &bytes);
    QString OutPath(const QString &name) const;

    PrinterLog &log_;
    QString outDir_;
    // The pictures already in the folder when the printer started.
    const qint64 firstPicture_;
    // The print thread's own.
    std::unique_ptr<LabelRenderer> renderer_;
    std::shared_ptr<const RenderOptions> rendererOptions_;

    static constexpr std::chrono::milliseconds BatchNap { 20 };
    static constexpr size_t WakeEveryJobs = 256;
    static constexpr qsizetype MaxWarningsShown = 3;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Work> queue_;
    qsizetype queuedBytes_ = 0;
    bool stop_ = false;
    bool sleeping_ = false; // waiting without a time limit: needs waking
    bool working_ = false; // printing a label or writing a page, unlocked
    std::atomic<bool> busy_ { false };
    std::atomic<qint64> printed_ { 0 };
    qint64 dumps_; // worker thread only
    std::thread thread_;
};
