#include "files/fileread.h"

#include "core/exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int OpenForReading(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    // A directory opens on this system but is no file to download.
    struct stat info;
    int err = 0;
    if (::fstat(fd, &info) != 0)
        err = errno;
    else if (S_ISDIR(info.st_mode))
        err = EISDIR;
    if (err != 0) {
        ::close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

ErrorParticulars AboutFile(const QString &path, int err)
{
    return { ErrorParticulars::Subject::File, QFileInfo(path).absoluteFilePath(), err, {} };
}

qint64 SizeOf(int fd)
{
    struct stat info;
    if (::fstat(fd, &info) != 0)
        throw EInOutError::FromErrno(errno);
    return info.st_size;
}

} // namespace

ReadOnlyFile::ReadOnlyFile(const QString &path)
    : path_(path)
    , fd_(OpenForReading(path))
{
    if (fd_ < 0)
        throw With(EFOpenError(path), AboutFile(path, errno));
}

ReadOnlyFile::~ReadOnlyFile()
{
    ::close(fd_);
}

qint64 ReadOnlyFile::Size() const
{
    return SizeOf(fd_);
}

qint64 ReadOnlyFile::Read(char *to, qint64 count)
{
    qint64 done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, to + done, size_t(count - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw With(EInOutError::FromErrno(errno), AboutFile(path_, errno));
        }
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

qint64 FileSizeOf(const QString &path)
{
    const int fd = OpenForReading(path);
    if (fd < 0)
        throw With(EInOutError::FromErrno(errno), AboutFile(path, errno));
    qint64 size = 0;
    try {
        size = SizeOf(fd);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
    return size;
}
