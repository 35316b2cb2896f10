#include "ui/transferprogress.h"

#include "link/transfer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <deque>

namespace {

// The window's event loop turns at least this often while an operation runs
// (the link asks its observer more often than that).
constexpr qint64 PumpEveryMs = 15;
constexpr qint64 RefreshEveryMs = 100;
// The rate is what the last few seconds achieved.
constexpr qint64 RateWindowMs = 5000;
constexpr qint64 RateMinimumSpanMs = 300;
// An operation whose end is this close when the dialog is due gets none, so
// that nothing flickers; one that lasts past the second limit gets it anyway.
constexpr double NearlyDoneMs = 300;
constexpr qint64 ShowAtTheLatestMs = 1500;

QString Rate(double bytesPerSecond)
{
    if (bytesPerSecond < 10 * 1024)
        return QStringLiteral("%1 bytes/s").arg(ByteCount(qRound64(bytesPerSecond)));
    if (bytesPerSecond < 10 * 1024 * 1024)
        return QStringLiteral("%1 KB/s").arg(qRound64(bytesPerSecond / 1024));
    return QStringLiteral("%1 MB/s").arg(bytesPerSecond / (1024 * 1024), 0, 'f', 1);
}

QString Duration(double seconds)
{
    const qint64 s = qint64(std::ceil(seconds));
    if (s < 60)
        return QStringLiteral("%1 s").arg(s);
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0'));
}

bool IsInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

QString TransferFigures(qint64 done, qint64 total, double bytesPerSecond)
{
    QString text = BytesReached(done, total);
    if (total > 0)
        text += QStringLiteral(" (%1%)").arg(done * 100 / total);
    if (bytesPerSecond > 0) {
        text += QStringLiteral(", ") + Rate(bytesPerSecond);
        if (total >= 0 && done < total)
            text
                += QStringLiteral(", about %1 left").arg(Duration((total - done) / bytesPerSecond));
    }
    return text;
}

TransferDialog::TransferDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TransferDialog"));
    setWindowTitle(QStringLiteral("Tarvolin"));
    auto *layout = new QVBoxLayout(this);
    WhatLabel = new QLabel(this);
    WhatLabel->setObjectName(QStringLiteral("TransferWhat"));
    QFont bold = WhatLabel->font();
    bold.setBold(true);
    WhatLabel->setFont(bold);
    Bar = new QProgressBar(this);
    Bar->setObjectName(QStringLiteral("TransferBar"));
    Bar->setTextVisible(false);
    FiguresLabel = new QLabel(this);
    FiguresLabel->setObjectName(QStringLiteral("TransferFigures"));
    WaitingLabel = new QLabel(this);
    WaitingLabel->setObjectName(QStringLiteral("TransferWaiting"));
    WaitingLabel->setWordWrap(true);
    WaitingLabel->hide();
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName(QStringLiteral("TransferCancel"));
    CancelButton->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(CancelButton);
    layout->addWidget(WhatLabel);
    layout->addWidget(Bar);
    layout->addWidget(FiguresLabel);
    layout->addWidget(WaitingLabel);
    layout->addLayout(buttons);
    setMinimumWidth(440);
    connect(CancelButton, &QPushButton::clicked, this, &TransferDialog::RequestCancel);
}

void TransferDialog::SetStage(const QString &what, qint64 totalBytes)
{
    WhatLabel->setText(what);
    // A total that is not known shows as a busy bar.
    Bar->setRange(0, totalBytes >= 0 ? 1000 : 0);
    Bar->setValue(0);
    FiguresLabel->clear();
    SetWaiting(QString());
}

void TransferDialog::SetFigures(qint64 done, qint64 total, double bytesPerSecond)
{
    if (total > 0)
        Bar->setValue(int(done * 1000 / total));
    else if (total == 0)
        Bar->setValue(1000);
    FiguresLabel->setText(TransferFigures(done, total, bytesPerSecond));
}

void TransferDialog::SetWaiting(const QString &why)
{
    if (why == WaitingLabel->text())
        return;
    WaitingLabel->setText(why);
    WaitingLabel->setVisible(!why.isEmpty());
    adjustSize();
}

void TransferDialog::RequestCancel()
{
    if (cancelRequested_)
        return;
    cancelRequested_ = true;
    CancelButton->setEnabled(false);
    CancelButton->setText(QStringLiteral("Cancelling..."));
}

void TransferDialog::reject()
{
    RequestCancel();
}

class TransferMonitor::Observer : public ProgressObserver
{
public:
    explicit Observer(TransferMonitor &monitor)
        : monitor_(monitor)
    {
        clock_.start();
        monitor_.current_ = this;
        qApp->installEventFilter(&monitor_);
    }
    ~Observer() override
    {
        dialog_.reset();
        qApp->removeEventFilter(&monitor_);
        monitor_.current_ = nullptr;
        emit monitor_.Finished();
    }
    Observer(const Observer &) = delete;
    Observer &operator=(const Observer &) = delete;

    void Stage(const QString &what, qint64 totalBytes, double expectedBytesPerSecond) override
    {
        what_ = what;
        total_ = totalBytes;
        expected_ = expectedBytesPerSecond;
        done_ = 0;
        waiting_.clear();
        samples_.clear();
        samples_.push_back({ clock_.elapsed(), 0 });
        if (dialog_) {
            dialog_->SetStage(what_, total_);
            Refresh();
        }
    }

    void Progress(qint64 doneBytes) override
    {
        done_ = doneBytes;
        const qint64 now = clock_.elapsed();
        if (samples_.empty() || now - samples_.back().ms >= RefreshEveryMs)
            samples_.push_back({ now, doneBytes });
        while (samples_.size() > 2 && now - samples_.front().ms > RateWindowMs)
            samples_.pop_front();
    }

    void Waiting(const QString &why) override { waiting_ = why; }

    bool CancelRequested() override
    {
        Pump();
        return cancel_ || (dialog_ && dialog_->CancelRequested());
    }

    void RequestCancel()
    {
        cancel_ = true;
        if (dialog_)
            dialog_->RequestCancel();
    }

    TransferDialog *Dialog() const { return dialog_.get(); }

private:
    double Rate() const
    {
        if (samples_.size() >= 2) {
            const qint64 span = samples_.back().ms - samples_.front().ms;
            if (span >= RateMinimumSpanMs)
                return (samples_.back().done - samples_.front().done) * 1000.0 / span;
        }
        return expected_;
    }

    bool NearlyDone() const
    {
        const double rate = Rate();
        return total_ >= 0 && rate > 0 && (total_ - done_) * 1000.0 / rate < NearlyDoneMs;
    }

    void Pump()
    {
        const qint64 now = clock_.elapsed();
        if (lastPump_ >= 0 && now - lastPump_ < PumpEveryMs)
            return;
        lastPump_ = now;
        if (!dialog_ && now >= ShowAfterMs && (now >= ShowAtTheLatestMs || !NearlyDone())) {
            dialog_ = std::make_unique<TransferDialog>(monitor_.window_);
            dialog_->SetStage(what_, total_);
            if (cancel_)
                dialog_->RequestCancel();
            Refresh();
            dialog_->show();
        } else if (dialog_ && now - lastRefresh_ >= RefreshEveryMs) {
            Refresh();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    void Refresh()
    {
        lastRefresh_ = clock_.elapsed();
        dialog_->SetFigures(done_, total_, Rate());
        dialog_->SetWaiting(waiting_);
    }

    struct Sample
    {
        qint64 ms;
        qint64 done;
    };

    TransferMonitor &monitor_;
    QElapsedTimer clock_; // since the operation began
    qint64 lastPump_ = -1;
    qint64 lastRefresh_ = -1;
    QString what_;
    qint64 total_ = -1;
    double expected_ = 0;
    qint64 done_ = 0;
    QString waiting_;
    std::deque<Sample> samples_;
    bool cancel_ = false;
    std::unique_ptr<TransferDialog> dialog_;
};

TransferMonitor::TransferMonitor(QWidget *window)
    : QObject(window)
    , window_(window)
{ }

TransferMonitor::~TransferMonitor() = default;

void TransferMonitor::AllowDuring(QWidget *control)
{
    allowed_.append(control);
}

std::unique_ptr<ProgressObserver> TransferMonitor::Begin()
{
    if (current_)
        return nullptr;
    return std::make_unique<Observer>(*this);
}

void TransferMonitor::RequestCancel()
{
    if (current_)
        current_->RequestCancel();
}

TransferDialog *TransferMonitor::Dialog() const
{
    return current_ ? current_->Dialog() : nullptr;
}

bool TransferMonitor::eventFilter(QObject *watched, QEvent *event)
{
    if (!current_ || !IsInput(event->type()) || !watched->isWidgetType())
        return false;
    auto *widget = static_cast<QWidget *>(watched);
    if (widget->window() != window_)
        return false;
    for (const QPointer<QWidget> &allowed : std::as_const(allowed_)) {
        if (allowed && (allowed == widget || allowed->isAncestorOf(widget)))
            return false;
    }
    // Swallowed, so that it is not carried out once the operation is over.
    // An accepted override keeps a shortcut from firing.
    if (event->type() == QEvent::ShortcutOverride)
        event->accept();
    return true;
}
