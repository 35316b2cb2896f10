#include "cli/outputfile.h"

#include "core/exceptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void Refuse(const QString &what, const QString &path, int error,
                         const QString &why = QString())
{
    ErrorParticulars particulars;
    particulars.subject = ErrorParticulars::Subject::File;
    particulars.name = path;
    particulars.systemError = error;
    QString text = QStringLiteral("%1 %2").arg(what, path);
    if (error)
        text += QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    if (!why.isEmpty())
        text += (error ? QStringLiteral(" (%1)") : QStringLiteral(": %1")).arg(why);
    throw With(ETarvolinError(text), particulars);
}

// Every byte, however many writes it takes: 0, or the system's error.
int WriteAll(int fd, const QByteArray &bytes)
{
    const char *at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        at += n;
        left -= n;
    }
    return 0;
}

bool IsSystemPath(const QString &path)
{
    return path.startsWith(QLatin1String("/dev/")) || path.startsWith(QLatin1String("/proc/"));
}

// Follows the links from `path`: the file they end at, and whether any of
// them leads through /dev or /proc, where a name stands for a stream (an
// open descriptor, a terminal) rather than a file to replace.
QString FollowLinks(const QString &path, bool *throughSystem)
{
    QString at = QFileInfo(path).absoluteFilePath();
    *throughSystem = IsSystemPath(at);
    // A descriptor's link under /proc names no path ("pipe:[1234]"): the
    // system follows it, not we.
    for (int hop = 0; hop < 40 && !at.startsWith(QLatin1String("/proc/")); ++hop) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(QFile::encodeName(at).constData(), target, sizeof target - 1);
        if (n < 0)
            return at;
        const QString next = QFile::decodeName(QByteArray(target, n));
        at = QDir::cleanPath(QFileInfo(next).isAbsolute()
                                 ? next
                                 : QFileInfo(at).absolutePath() + QLatin1Char('/') + next);
        *throughSystem = *throughSystem || IsSystemPath(at);
    }
    return at;
}

void WriteStraight(const QString &path, const QByteArray &bytes, bool regular)
{
    const QByteArray native = QFile::encodeName(path);
    // A regular file behind /dev/stdout is the shell's redirection: added
    // to, as the program's other output is.
    const int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK | (regular ? O_APPEND : 0);
    int fd = -1;
    do {
        fd = ::open(native.constData(), flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        Refuse(QStringLiteral("Cannot write file"), path, errno,
               errno == ENXIO ? QStringLiteral("nothing reads from it") : QString());
    // Opened without waiting for a reader; written waiting for it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (const int error = WriteAll(fd, bytes)) {
        ::close(fd);
        Refuse(QStringLiteral("Cannot write file"), path, error);
    }
    if (::close(fd) != 0 && errno != EINTR)
        Refuse(QStringLiteral("Cannot write file"), path, errno);
}

} // namespace

void WriteOutputFile(const QString &path, const QByteArray &bytes)
{
    bool throughSystem = false;
    const QString file = FollowLinks(path, &throughSystem);
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(file).constData(), &st) != 0) {
        const QString folder = QFileInfo(file).absolutePath();
        if (!QFileInfo(folder).isDir())
            Refuse(QStringLiteral("Cannot create file"), path, ENOENT,
                   QStringLiteral("the folder %1 does not exist").arg(folder));
        if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
            Refuse(QStringLiteral("Cannot create file"), path, errno,
                   QStringLiteral("the folder %1 cannot be written").arg(folder));
        ReplaceFileAtomically(file, bytes);
        return;
    }
    if (S_ISDIR(st.st_mode))
        Refuse(QStringLiteral("Cannot create file"), path, EISDIR);
    if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || (S_ISREG(st.st_mode) && throughSystem))
        return WriteStraight(file, bytes, S_ISREG(st.st_mode));
    if (!S_ISREG(st.st_mode))
        Refuse(QStringLiteral("Cannot write file"), path, 0,
               QStringLiteral("it is neither a regular file, a character device nor a FIFO"));
    const QString folder = QFileInfo(file).absolutePath();
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        Refuse(QStringLiteral("Cannot create file"), path, errno,
               QStringLiteral("the folder %1 cannot be written, so the file cannot be replaced "
                              "whole")
                   .arg(folder));
    ReplaceFileAtomically(file, bytes);
}

void ReplaceFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QFileInfo info(path);
    // The name starts with a dot so a collector that reads *.prom skips it.
    QByteArray temp = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                        + QStringLiteral(".XXXXXX"));
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        Refuse(QStringLiteral("Cannot create file"), path, errno);
    auto abandon = [&](const QString &what, int error) {
        ::close(fd);
        ::unlink(temp.constData());
        Refuse(what, path, error);
    };
    if (const int error = WriteAll(fd, bytes))
        abandon(QStringLiteral("Cannot write file"), error);
    // mkstemp makes the file private; the file it replaces was not.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd, 0666 & ~mask) != 0)
        abandon(QStringLiteral("Cannot write file"), errno);
    if (::fsync(fd) != 0)
        abandon(QStringLiteral("Cannot write file"), errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        Refuse(QStringLiteral("Cannot write file"), path, error);
    }
    if (::rename(temp.constData(), QFile::encodeName(info.absoluteFilePath()).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        Refuse(QStringLiteral("Cannot create file"), path, error);
    }
    // The rename itself is kept only once the folder is synced.
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
