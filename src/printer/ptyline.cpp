#include "printer/ptyline.h"

#include "printer/virtualprinter.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr char Xon = 0x11;
constexpr char Xoff = 0x13;
// What one wake-up reads at most, so that a fast sender cannot keep the
// printer from its other lines and its timers.
constexpr qsizetype MaxReadPerWake = 1024 * 1024;
// Polling for a new client where the kernel cannot report opens.
constexpr int ReopenPollMs = 5;
// Looking again whether the printer takes more bytes.
constexpr int BacklogRetryMs = 2;

QString SystemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// Whether the master sees no one on the slave side and nothing left to read
// from the last one. A client may open, write and close again before the
// printer looks: what it wrote is still there to read.
bool SlaveClosed(int master)
{
    pollfd p { master, POLLIN, 0 };
    int n;
    do {
        n = poll(&p, 1, 0);
    } while (n < 0 && errno == EINTR);
    return n > 0 && (p.revents & POLLHUP) && !(p.revents & POLLIN);
}

} // namespace

PtyLine::PtyLine(VirtualPrinter &printer, PrinterLog &log, qint64 baud, QObject *parent)
    : QObject(parent)
    , printer_(printer)
    , log_(log)
    , session_(printer.OpenSession([this](const QByteArray &reply) { Queue(reply); }))
    , inPacer_(baud)
    , outPacer_(baud)
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PtyLine::Tick);
    clock_.start();
}

PtyLine::~PtyLine()
{
    readNotifier_.reset();
    writeNotifier_.reset();
    openNotifier_.reset();
    if (!linkPath_.isEmpty()) {
        // Only our own link: another printer may have taken the name since.
        if (QFile::symLinkTarget(linkPath_) == slavePath_)
            unlink(QFile::encodeName(linkPath_).constData());
    }
    if (inotify_ >= 0)
        close(inotify_);
    if (master_ >= 0)
        close(master_);
}

bool PtyLine::Open(QString *error)
{
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *error = SystemError("posix_openpt");
        return false;
    }
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        *error = SystemError("pseudo-terminal set-up");
        close(fd);
        return false;
    }
    // A raw line from the start: no echo of replies back to us, no line
    // editing, no CR/LF translation, for clients that set nothing themselves.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    termios t {};
    if (slave < 0 || tcgetattr(slave, &t) != 0) {
        *error = SystemError("pseudo-terminal slave");
        if (slave >= 0)
            close(slave);
        close(fd);
        return false;
    }
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    close(slave);

    master_ = fd;
    slavePath_ = QString::fromLocal8Bit(name);
    readNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, &PtyLine::OnReadable);
    writeNotifier_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, &PtyLine::OnWritable);

    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ >= 0 && inotify_add_watch(inotify_, name, IN_OPEN) < 0) {
        close(inotify_);
        inotify_ = -1;
    }
    if (inotify_ >= 0) {
        openNotifier_ = std::make_unique<QSocketNotifier>(inotify_, QSocketNotifier::Read);
        connect(openNotifier_.get(), &QSocketNotifier::activated, this, &PtyLine::OnSlaveOpened);
    }
    if (SlaveClosed(master_))
        HangUp();
    return true;
}

bool PtyLine::MakeLink(const QString &path, QString *error)
{
    const QByteArray link = QFile::encodeName(path);
    struct stat st
    {
    };
    if (lstat(link.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a symbolic link; not replaced").arg(path);
            return false;
        }
        unlink(link.constData());
    }
    if (symlink(QFile::encodeName(slavePath_).constData(), link.constData()) != 0) {
        *error = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    linkPath_ = path;
    return true;
}

qsizetype PtyLine::Capacity() const
{
    return inPacer_.Unlimited() ? UnlimitedChunk : BufferBytes;
}

void PtyLine::OnReadable()
{
    qsizetype total = 0;
    while (total < MaxReadPerWake) {
        if (inPacer_.Unlimited())
            TakeIn();
        const qsizetype room = Capacity() - in_.size();
        if (room <= 0) {
            // Full: the kernel keeps the rest until the printer catches up.
            readNotifier_->setEnabled(false);
            break;
        }
        const qsizetype at = in_.size();
        in_.resize(at + room);
        const ssize_t n = read(master_, in_.data() + at, size_t(room));
        in_.resize(at + std::max<ssize_t>(n, 0));
        if (n > 0) {
            total += n;
            clientEnded_ = false;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            break;
        // 0 or EIO: the client closed the slave. Anything else is no better.
        if (n < 0 && errno != EIO)
            log_.Error(SystemError("serial line read"));
        HangUp();
        break;
    }
    if (!inPacer_.Unlimited() && !xoff_ && in_.size() >= BufferBytes * 3 / 4)
        SendFlowControl(Xoff);
    Deliver();
}

void PtyLine::TakeIn()
{
    hold_.Set(ReadHold::PrinterFull, !printer_.ReadyForMore());
    hold_.Deliver(
        in_, [this](QByteArrayView bytes) { session_->Feed(bytes); },
        [this](qsizetype n) {
            hold_.Set(ReadHold::PrinterFull, !printer_.ReadyForMore());
            return hold_.Open() ? inPacer_.Take(n, Now()) : 0;
        });
}

void PtyLine::Deliver()
{
    TakeIn();
    // Full of labels to print, or holding formats while stopped: the sender
    // is told to stop as a printer's serial port tells it.
    if (hold_.Holds(ReadHold::PrinterFull) && !xoff_)
        SendFlowControl(Xoff);
    if (xoff_ && in_.size() <= BufferBytes / 4 && hold_.Open())
        SendFlowControl(Xon);
    if (!hungUp_ && in_.size() < Capacity())
        readNotifier_->setEnabled(true);
    if (hold_.Holds(ReadHold::PrinterFull))
        Schedule(qint64(BacklogRetryMs) * 1000000);
    else if (hold_.Open() && !in_.isEmpty())
        Schedule(inPacer_.NanosecondsToNext(Now()));
    else if (in_.isEmpty() && hungUp_)
        EndOfClient();
}

void PtyLine::SendFlowControl(char c)
{
    // Ahead of any reply, as a printer's serial port sends it.
    ssize_t n;
    do {
        n = write(master_, &c, 1);
    } while (n < 0 && errno == EINTR);
    if (n == 1)
        xoff_ = c == Xoff;
}

void PtyLine::HangUp()
{
    hungUp_ = true;
    // The master polls as hung up for as long as no one has the slave open.
    readNotifier_->setEnabled(false);
    if (in_.isEmpty())
        EndOfClient();
    CheckReopened();
}

void PtyLine::EndOfClient()
{
    if (clientEnded_)
        return;
    clientEnded_ = true;
    session_->EndOfInput();
}

void PtyLine::OnSlaveOpened()
{
    char events[4096];
    while (read(inotify_, events, sizeof events) > 0) { }
    CheckReopened();
}

void PtyLine::CheckReopened()
{
    if (!hungUp_)
        return;
    if (SlaveClosed(master_)) {
        if (inotify_ < 0)
            Schedule(qint64(ReopenPollMs) * 1000000);
        return;
    }
    hungUp_ = false;
    if (in_.size() < Capacity())
        readNotifier_->setEnabled(true);
}

void PtyLine::Tick()
{
    Deliver();
    Flush();
    CheckReopened();
}

void PtyLine::Schedule(qint64 ns)
{
    const int ms = int(std::clamp<qint64>((ns + 999999) / 1000000, 1, 1000));
    if (!timer_.isActive() || timer_.remainingTime() > ms)
        timer_.start(ms);
}

void PtyLine::Queue(const QByteArray &reply)
{
    out_ += reply;
    Flush();
}

void PtyLine::OnWritable()
{
    writeNotifier_->setEnabled(false);
    Flush();
}

void PtyLine::Flush()
{
    const bool heldForReplies = hold_.Holds(ReadHold::RepliesWaiting);
    FlushOut();
    hold_.SetRepliesWaiting(out_.size());
    if (heldForReplies && !hold_.Holds(ReadHold::RepliesWaiting))
        Schedule(0); // takes in again, outside the session's call that queued replies
}

void PtyLine::FlushOut()
{
    while (!out_.isEmpty()) {
        const qint64 now = Now();
        if (now < pauseUntilNs_) {
            Schedule(pauseUntilNs_ - now);
            return;
        }
        // One line at a time: up to and with its CR LF (or lone CR or LF).
        qsizetype line = out_.size();
        for (qsizetype i = 0; i < out_.size(); ++i) {
            if (out_[i] == '\r' || out_[i] == '\n') {
                line = i + 1 + (out_[i] == '\r' && i + 1 < out_.size() && out_[i + 1] == '\n');
                break;
            }
        }
        const qint64 allowed = outPacer_.Take(line, now);
        if (allowed == 0) {
            Schedule(outPacer_.NanosecondsToNext(now));
            return;
        }
        ssize_t n;
        do {
            n = write(master_, out_.constData(), size_t(allowed));
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
            if (errno == EAGAIN) {
                writeNotifier_->setEnabled(true);
            } else {
                log_.Error(SystemError("serial line write"));
                out_.clear();
            }
            return;
        }
        out_.remove(0, n);
        if (n == line && !out_.isEmpty())
            pauseUntilNs_ = Now() + qint64(LinePauseMs) * 1000000;
        if (n < allowed) {
            writeNotifier_->setEnabled(true);
            return;
        }
    }
}
