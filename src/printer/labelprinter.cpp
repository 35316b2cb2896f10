#include "printer/labelprinter.h"

#include "printer/generatedlabels.h"

#include <QDir>
#include <QSaveFile>

namespace {
// label-0001.png: four digits, more when the count needs them.
QString Numbered(const QString &stem, qint64 n, const QString &extension)
{
    return QStringLiteral("%1-%2.%3").arg(stem).arg(n, 4, 10, QLatin1Char('0')).arg(extension);
}
} // namespace

LabelPrinter::LabelPrinter(PrinterLog &log, const QString &outDir)
    : log_(log)
    , outDir_(outDir)
    , thread_([this] { Run(); })
{ }

LabelPrinter::~LabelPrinter()
{
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void LabelPrinter::Print(const PrintJob &job)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Work { std::make_shared<const PrintJob>(job), 0, QByteArray() });
        busy_ = true;
    }
    wake_.notify_one();
}

void LabelPrinter::Dump(const QByteArray &bytes)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Work { nullptr, 0, bytes });
        busy_ = true;
    }
    wake_.notify_one();
}

qint64 LabelPrinter::CancelAll()
{
    std::lock_guard lock(mutex_);
    qint64 dropped = 0;
    for (const Work &w : queue_) {
        if (w.job)
            dropped += w.job->quantity.labels - w.done;
    }
    std::erase_if(queue_, [](const Work &w) { return w.job != nullptr; });
    return dropped;
}

bool LabelPrinter::WaitIdle(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [this] { return !busy_.load(); });
}

void LabelPrinter::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            break;
        Work &w = queue_.front();
        if (!w.job) {
            const QByteArray page = std::move(w.dump);
            queue_.pop_front();
            lock.unlock();
            WriteDump(page);
        } else {
            const std::shared_ptr<const PrintJob> job = w.job;
            const qint64 index = w.done++;
            if (w.done >= job->quantity.labels)
                queue_.pop_front();
            lock.unlock();
            PrintOne(*job, index);
        }
        lock.lock();
        if (queue_.empty()) {
            busy_ = false;
            idle_.notify_all();
        }
    }
    busy_ = false;
    idle_.notify_all();
}

void LabelPrinter::PrintOne(const PrintJob &job, qint64 index)
{
    const qint64 number = ++printed_;
    const qint64 serial = index / std::max<qint64>(1, job.quantity.replicates);
    const QByteArray format = SerializedFormat(job.format, serial);
    Q_UNUSED(format);
    log_.Info(QStringLiteral("label %1: %2x%3 dots")
                  .arg(number)
                  .arg(job.settings.widthDots)
                  .arg(job.settings.lengthDots));
}

void LabelPrinter::WriteDump(const QByteArray &bytes)
{
    const qint64 number = ++dumps_;
    const QByteArray text = HexDump(bytes);
    if (outDir_.isEmpty()) {
        log_.Info(QStringLiteral("dump %1: %2 bytes\n%3")
                      .arg(number)
                      .arg(bytes.size())
                      .arg(QString::fromLatin1(text).trimmed()));
        return;
    }
    const QString path = OutPath(Numbered(QStringLiteral("dump"), number, QStringLiteral("txt")));
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(text) != text.size() || !f.commit()) {
        log_.Error(
            QStringLiteral("dump %1: cannot write %2: %3").arg(number).arg(path, f.errorString()));
        return;
    }
    log_.Info(QStringLiteral("dump %1: %2 bytes -> %3").arg(number).arg(bytes.size()).arg(path));
}

QString LabelPrinter::OutPath(const QString &name) const
{
    return QDir(outDir_).filePath(name);
}
