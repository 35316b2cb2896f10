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
// The highest number of the stem's files already in the folder: a printer
// started again on the same folder goes on after them instead of writing
// over them.
qint64 LastNumbered(const QString &dir, const QString &stem, const QString &extension)
{
    if (dir.isEmpty())
        return 0;
    const QString prefix = stem + QLatin1Char('-');
    const QString suffix = QLatin1Char('.') + extension;
    qint64 last = 0;
    const QStringList names
        = QDir(dir).entryList({ prefix + QLatin1Char('*') + suffix }, QDir::Files);
    for (const QString &name : names) {
        bool ok = false;
        const qint64 n
            = name.mid(prefix.size(), name.size() - prefix.size() - suffix.size()).toLongLong(&ok);
        if (ok && n > last)
            last = n;
    }
    return last;
}
} // namespace

LabelPrinter::LabelPrinter(PrinterLog &log, const QString &outDir)
    : log_(log)
    , outDir_(outDir)
    , firstPicture_(LastNumbered(outDir, QStringLiteral("label"), QStringLiteral("png")))
    , dumps_(LastNumbered(outDir, QStringLiteral("dump"), QStringLiteral("txt")))
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
    Enqueue(Work { std::make_shared<const PrintJob>(job), 0, QByteArray() });
}

void LabelPrinter::Dump(const QByteArray &bytes)
{
    Enqueue(Work { nullptr, 0, bytes });
}

void LabelPrinter::Enqueue(Work work)
{
    bool wake;
    {
        std::lock_guard lock(mutex_);
        queuedBytes_ += work.job ? work.job->format.size() : work.dump.size();
        queue_.push_back(std::move(work));
        busy_ = true;
        wake = sleeping_ || queue_.size() % WakeEveryJobs == 0;
        sleeping_ = false;
    }
    // A worker that has gone to sleep is woken, and one napping between
    // batches once a batch is worth it: waking it for every label would cost
    // more than printing it.
    if (wake)
        wake_.notify_one();
}

bool LabelPrinter::Backlogged() const
{
    std::lock_guard lock(mutex_);
    return queue_.size() > MaxQueuedJobs || queuedBytes_ > MaxQueuedBytes;
}

qint64 LabelPrinter::CancelAll()
{
    std::lock_guard lock(mutex_);
    qint64 dropped = 0;
    for (const Work &w : queue_) {
        if (w.job) {
            dropped += w.job->quantity.labels - w.done;
            queuedBytes_ -= w.job->format.size();
        }
    }
    std::erase_if(queue_, [](const Work &w) { return w.job != nullptr; });
    if (queue_.empty() && !working_) {
        busy_ = false;
        idle_.notify_all();
    }
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
        if (queue_.empty() && !stop_) {
            // Between batches a short nap, in which senders need not wake
            // us; after that, sleep until woken.
            wake_.wait_for(lock, BatchNap, [this] { return stop_ || !queue_.empty(); });
            if (queue_.empty() && !stop_) {
                sleeping_ = true;
                wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            }
        }
        if (stop_)
            break;
        Work &w = queue_.front();
        if (!w.job) {
            const QByteArray page = std::move(w.dump);
            queuedBytes_ -= page.size();
            queue_.pop_front();
            working_ = true;
            lock.unlock();
            WriteDump(page);
        } else {
            const std::shared_ptr<const PrintJob> job = w.job;
            const qint64 index = w.done++;
            if (w.done >= job->quantity.labels) {
                queuedBytes_ -= job->format.size();
                queue_.pop_front();
            }
            working_ = true;
            lock.unlock();
            PrintOne(*job, index);
        }
        lock.lock();
        working_ = false;
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
    if (!outDir_.isEmpty() && index == MaxPicturesPerFormat)
        log_.Info(QStringLiteral("label %1: the format asks for %2 labels; pictures are saved of "
                                 "the first %3 only, the rest are not drawn")
                      .arg(number)
                      .arg(job.quantity.labels)
                      .arg(MaxPicturesPerFormat));
    if (outDir_.isEmpty() || index >= MaxPicturesPerFormat) {
        if (log_.WantsInfo())
            log_.Info(QStringLiteral("label %1: %2x%3 dots")
                          .arg(number)
                          .arg(job.settings.Page().width())
                          .arg(job.settings.Page().height()));
        return;
    }
    // One renderer for as long as the memory it draws from stays the same:
    // loading the fonts is the costly part.
    if (!renderer_ || rendererOptions_ != job.render) {
        renderer_ = std::make_unique<LabelRenderer>(job.render ? *job.render : RenderOptions());
        rendererOptions_ = job.render;
    }
    // The format is drawn as it came, from the printer as it began: no text
    // is made up in between.
    const RenderResult result = renderer_->RenderLabel(job.format, job.start, index);
    if (index == 0) {
        for (qsizetype i = 0; i < result.warnings.size() && i < MaxWarningsShown; ++i)
            log_.Info(QStringLiteral("label %1: not as the format asks: %2")
                          .arg(number)
                          .arg(result.warnings.at(i).text));
    }
    if (result.labels.isEmpty()) {
        log_.Error(QStringLiteral("label %1: nothing could be drawn").arg(number));
        return;
    }
    const QImage &picture = result.labels.first();
    const QString path
        = OutPath(Numbered(QStringLiteral("label"), firstPicture_ + number, QStringLiteral("png")));
    if (!picture.save(path, "PNG")) {
        log_.Error(QStringLiteral("label %1: cannot write %2").arg(number).arg(path));
        return;
    }
    log_.Info(QStringLiteral("label %1: %2x%3 dots -> %4")
                  .arg(number)
                  .arg(picture.width())
                  .arg(picture.height())
                  .arg(path));
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
