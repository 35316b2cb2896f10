#include "link/devicefile.h"

#include "core/exceptions.h"
#include "link/sendsource.h"
#include "link/transfer.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

QString LptDevicePath(const QString &name)
{
    static const QString lptPrefix = QStringLiteral("LPT");
    if (name.size() == 4 && name.startsWith(lptPrefix, Qt::CaseInsensitive)) {
        const QChar n = name.at(3);
        if (n >= QLatin1Char('1') && n <= QLatin1Char('4'))
            return QStringLiteral("/dev/lp%1").arg(n.digitValue() - 1);
    }
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return name;
    return QStringLiteral("/dev/") + name;
}

namespace {

// One open descriptor, closed on every path out. A close that fails after a
// good write is still reported: on some devices it is where the error shows.
class OutputChannel
{
public:
    OutputChannel(const QString &path, int flags, ErrorParticulars::Subject subject)
        : path_(QFileInfo(path).absoluteFilePath())
        , subject_(subject)
    {
        const QByteArray native = QFile::encodeName(path);
        do {
            fd_ = ::open(native.constData(), flags | O_WRONLY | O_CLOEXEC | O_NOCTTY, 0666);
        } while (fd_ < 0 && errno == EINTR);
        if (fd_ < 0)
            Fail(errno);
    }
    ~OutputChannel()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OutputChannel(const OutputChannel &) = delete;
    OutputChannel &operator=(const OutputChannel &) = delete;

    void WriteAll(SendSource &source, Transfer *transfer)
    {
        // A file takes big pieces at disk speed; a device such as a parallel
        // port blocks in each write until the printer has taken it, so its
        // pieces are small enough to keep the window answering.
        struct stat st
        {
        };
        const qsizetype piece = transfer
            ? (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) ? qsizetype(1) << 20 : 4096)
            : std::numeric_limits<qsizetype>::max();
        Transfer plain;
        qint64 done = 0;
        // The kernel copies a file's bytes itself where both ends allow it;
        // what it cannot copy comes through here in pieces.
        for (;;) {
            const qint64 n = source.CopyInto(fd_, piece);
            if (n == 0)
                return;
            if (n < 0)
                break;
            done += n;
            if (transfer)
                transfer->Progress(done);
        }
        for (;;) {
            const QByteArray data = source.Next(piece, transfer ? *transfer : plain);
            if (data.isEmpty())
                return;
            const char *p = data.constData();
            qsizetype written = 0;
            while (written < data.size()) {
                const ssize_t n
                    = ::write(fd_, p + written, static_cast<size_t>(data.size() - written));
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    Fail(errno);
                }
                written += n;
                done += n;
                if (transfer)
                    transfer->Progress(done);
            }
        }
    }

    void Close()
    {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0 && errno != EINTR)
            Fail(errno);
    }

private:
    [[noreturn]] void Fail(int err) const
    {
        throw With(EInOutError::FromErrno(err), { subject_, path_, err, {} });
    }

    QString path_;
    ErrorParticulars::Subject subject_;
    int fd_ = -1;
};

} // namespace

void WriteToDevice(const QString &path, SendSource &source, Transfer *transfer)
{
    OutputChannel channel(path, O_TRUNC, ErrorParticulars::Subject::ParallelDevice);
    channel.WriteAll(source, transfer);
    channel.Close();
}

void WriteToFile(const QString &path, SendSource &source, Transfer *transfer)
{
    OutputChannel channel(path, O_CREAT | O_TRUNC, ErrorParticulars::Subject::File);
    channel.WriteAll(source, transfer);
    channel.Close();
}

void WriteToDevice(const QString &path, const QByteArray &data, Transfer *transfer)
{
    BufferSource source(data);
    WriteToDevice(path, source, transfer);
}

void WriteToFile(const QString &path, const QByteArray &data, Transfer *transfer)
{
    BufferSource source(data);
    WriteToFile(path, source, transfer);
}
