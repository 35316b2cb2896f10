#include "link/sendsource.h"

#include "core/exceptions.h"
#include "link/transfer.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

QByteArray BufferSource::Next(qsizetype most, Transfer &)
{
    const qsizetype at = qsizetype(given_);
    if (at >= bytes_.size())
        return {};
    const qsizetype n = std::min(most, bytes_.size() - at);
    given_ += n;
    return at == 0 && n == bytes_.size() ? bytes_
                                         : QByteArray::fromRawData(bytes_.constData() + at, n);
}

FileSource::FileSource(const QString &path)
    : path_(path)
{
    // Non-blocking, so that a pipe without a writer cannot hold the open or
    // a read past a stop.
    do {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0)
        Fail(errno);
    struct stat st
    {
    };
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
        size_ = st.st_size;
    // A file that shows no size (those of /proc) may still hold bytes that
    // only a read finds.
    if (size_ <= 0)
        copy_ = KernelCopy::None;
}

FileSource::~FileSource()
{
    if (fd_ >= 0)
        ::close(fd_);
}

QByteArray FileSource::Next(qsizetype most, Transfer &transfer)
{
    QByteArray piece(std::clamp<qsizetype>(most, 1, PieceBytes), Qt::Uninitialized);
    for (;;) {
        const ssize_t n = ::read(fd_, piece.data(), size_t(piece.size()));
        if (n >= 0) {
            piece.truncate(n);
            given_ += n;
            return piece;
        }
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            Fail(errno);
        if (transfer.Wait(fd_, POLLIN, -1) < 0)
            Fail(errno);
    }
}

qint64 FileSource::CopyInto(int target, qint64 most)
{
    // sendfile takes no more than this in one call.
    const size_t length = size_t(std::clamp<qint64>(most, 1, 0x7ffff000));
    for (;;) {
        ssize_t n = -1;
        switch (copy_) {
        case KernelCopy::Range:
            n = ::copy_file_range(fd_, nullptr, target, nullptr, length, 0);
            break;
        case KernelCopy::SendFile:
            n = ::sendfile(target, fd_, nullptr, length);
            break;
        case KernelCopy::None:
            return -1;
        }
        if (n >= 0) {
            given_ += n;
            return n;
        }
        if (errno == EINTR)
            continue;
        // Both calls move the file's offset only by what they copied, so
        // the next way starts where this one stopped.
        copy_ = copy_ == KernelCopy::Range ? KernelCopy::SendFile : KernelCopy::None;
    }
}

void FileSource::Fail(int err) const
{
    throw With(EInOutError::FromErrno(err), { ErrorParticulars::Subject::File, path_, err, {} });
}
