#include "cli/terminalprogress.h"

#include "cli/report.h"

namespace {
// Often enough to look alive, rarely enough to cost nothing.
constexpr qint64 RedrawMs = 100;
} // namespace

TerminalProgress::TerminalProgress(FILE *out, bool terminal, int width)
    : out_(out)
    , terminal_(terminal)
    , width_(width)
{
    clock_.start();
}

TerminalProgress::~TerminalProgress()
{
    Finish();
}

void TerminalProgress::Stage(const QString &what, qint64 totalBytes, double expectedBytesPerSecond)
{
    std::lock_guard lock(mutex_);
    EndBar();
    what_ = what;
    total_ = totalBytes;
    done_ = 0;
    expectedRate_ = expectedBytesPerSecond;
    lastTenth_ = -1;
    stageShown_ = false;
    clock_.restart();
    sinceDraw_.invalidate();
}

void TerminalProgress::Progress(qint64 doneBytes)
{
    std::lock_guard lock(mutex_);
    done_ = doneBytes;
    Draw(total_ > 0 && done_ >= total_);
}

void TerminalProgress::Waiting(const QString &why)
{
    std::lock_guard lock(mutex_);
    if (why.isEmpty()) {
        sinceWaitingShown_.invalidate();
        return;
    }
    if (sinceWaitingShown_.isValid() && sinceWaitingShown_.elapsed() < 30000)
        return;
    sinceWaitingShown_.start();
    EndBar();
    Put(why.section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n'));
    sinceDraw_.invalidate();
}

void TerminalProgress::Finish()
{
    std::lock_guard lock(mutex_);
    EndBar();
}

void TerminalProgress::EndBar()
{
    if (barShown_)
        Put(QStringLiteral("\n"));
    barShown_ = false;
}

void TerminalProgress::Put(const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), out_);
    std::fflush(out_);
}

void TerminalProgress::Draw(bool force)
{
    const qint64 elapsed = clock_.elapsed();
    if (elapsed < ShowAfterMs)
        return;
    if (!stageShown_) {
        Put(what_ + QLatin1Char('\n'));
        stageShown_ = true;
    }
    const double rate = done_ > 0 ? done_ * 1000.0 / elapsed : expectedRate_;
    if (terminal_) {
        if (!force && sinceDraw_.isValid() && sinceDraw_.elapsed() < RedrawMs)
            return;
        sinceDraw_.start();
        Put(QLatin1Char('\r') + BarText(done_, total_, rate, width_ - 1)
            + QStringLiteral("\x1b[K"));
        barShown_ = true;
        return;
    }
    if (total_ <= 0)
        return;
    const int tenth = int(done_ * 10 / total_);
    if (tenth == lastTenth_)
        return;
    lastTenth_ = tenth;
    Put(BarText(done_, total_, rate, 0) + QLatin1Char('\n'));
}

QString TerminalProgress::BarText(qint64 done, qint64 total, double bytesPerSecond, int width)
{
    QString figures;
    if (total > 0) {
        const int percent = int(std::min<qint64>(100, done * 100 / total));
        figures = QStringLiteral("%1%  %2 of %3")
                      .arg(percent, 3)
                      .arg(FormatSize(done), FormatSize(total));
    } else {
        figures = FormatSize(done);
    }
    if (bytesPerSecond > 0) {
        figures += QStringLiteral("  %1/s").arg(FormatSize(qint64(bytesPerSecond)));
        if (total > 0 && done < total) {
            const qint64 left = qint64((total - done) / bytesPerSecond + 0.5);
            figures += QStringLiteral("  %1:%2 left")
                           .arg(left / 60)
                           .arg(left % 60, 2, 10, QLatin1Char('0'));
        }
    }
    // Whatever room is left holds the bar, when it is worth drawing.
    const int room = width - int(figures.size()) - 4;
    if (total <= 0 || room < 10)
        return width > 0 ? figures.left(width) : figures;
    const int filled = int(std::min<qint64>(room, done * room / total));
    return QLatin1Char('[') + QString(filled, QLatin1Char('#'))
        + QString(room - filled, QLatin1Char('.')) + QStringLiteral("]  ") + figures;
}

FleetProgress::FleetProgress(FILE *out, int total)
    : out_(out)
    , total_(total)
{ }

FleetProgress::~FleetProgress()
{
    Clear();
}

void FleetProgress::Clear()
{
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", out_);
    std::fflush(out_);
    shown_ = false;
}

void FleetProgress::Show(int done, int failed)
{
    if (done >= total_)
        return;
    std::fputs(Text(done, total_, failed).toLocal8Bit().constData(), out_);
    std::fflush(out_);
    shown_ = true;
}

QString FleetProgress::Text(int done, int total, int failed)
{
    QString text = QStringLiteral("%1 of %2 printers").arg(done).arg(total);
    if (failed)
        text += QStringLiteral(", %1 failed").arg(failed);
    return text;
}
