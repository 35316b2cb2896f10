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
    if (barShown_)
        std::fputc('\n', out_);
    barShown_ = false;
    total_ = totalBytes;
    done_ = 0;
    expectedRate_ = expectedBytesPerSecond;
    lastTenth_ = -1;
    clock_.restart();
    sinceDraw_.invalidate();
    std::fputs((what + QLatin1Char('\n')).toLocal8Bit().constData(), out_);
    std::fflush(out_);
}

void TerminalProgress::Progress(qint64 doneBytes)
{
    std::lock_guard lock(mutex_);
    done_ = doneBytes;
    Draw(total_ > 0 && done_ >= total_);
}

bool TerminalProgress::CancelRequested()
{
    std::lock_guard lock(mutex_);
    return deadlineMs_ > 0 && clock_.elapsed() >= deadlineMs_;
}

void TerminalProgress::Finish()
{
    std::lock_guard lock(mutex_);
    if (barShown_) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }
    barShown_ = false;
}

void TerminalProgress::Draw(bool force)
{
    const qint64 elapsed = clock_.elapsed();
    const double rate = elapsed >= 500 && done_ > 0 ? done_ * 1000.0 / elapsed : expectedRate_;
    if (terminal_) {
        if (!force && sinceDraw_.isValid() && sinceDraw_.elapsed() < RedrawMs)
            return;
        sinceDraw_.start();
        const QString bar = BarText(done_, total_, rate, width_ - 1);
        std::fputs(("\r" + bar + "\x1b[K").toLocal8Bit().constData(), out_);
        barShown_ = true;
    } else {
        if (total_ <= 0)
            return;
        const int tenth = int(done_ * 10 / total_);
        if (tenth == lastTenth_)
            return;
        lastTenth_ = tenth;
        std::fputs((BarText(done_, total_, rate, 0) + QLatin1Char('\n')).toLocal8Bit().constData(),
                   out_);
    }
    std::fflush(out_);
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
