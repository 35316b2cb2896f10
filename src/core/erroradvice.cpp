#include "core/erroradvice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Subject = ErrorParticulars::Subject;

QString SubjectLabel(Subject subject)
{
    switch (subject) {
    case Subject::None:
        return QString();
    case Subject::SerialDevice:
    case Subject::ParallelDevice:
        return QStringLiteral("Device");
    case Subject::File:
        return QStringLiteral("File");
    case Subject::NetworkPrinter:
        return QStringLiteral("Printer");
    case Subject::InstalledPrinter:
        return QStringLiteral("Printer queue");
    case Subject::Field:
        return QStringLiteral("Field");
    }
    return QString();
}

QString SystemReason(const ErrorParticulars &p)
{
    if (!p.reason.isEmpty())
        return p.reason;
    if (p.systemError == 0)
        return QString();
    return QString::fromLocal8Bit(std::strerror(p.systemError));
}

bool Missing(int err)
{
    return err == ENOENT || err == ENODEV || err == ENXIO;
}

QString DeviceHint(const ErrorParticulars &p, const QString &usualGroup, const QString &unplugged)
{
    const int err = p.systemError;
    if (err == EACCES || err == EPERM) {
        QString group = OwningGroup(p.name);
        if (group.isEmpty() || group == QLatin1String("root"))
            group = usualGroup;
        return QStringLiteral("Only members of the group \"%1\" may use this device. To join it:\n"
                              "    sudo usermod -aG %1 $USER\n"
                              "then log out and in again: a new group counts from the next login.")
            .arg(group);
    }
    if (err == EBUSY) {
        const QStringList holders = ProcessesUsing(p.name);
        if (holders.isEmpty())
            return QStringLiteral("The device is in use by another program.");
        return QStringLiteral("The device is in use by another program: %1.")
            .arg(holders.join(QStringLiteral(", ")));
    }
    if (Missing(err))
        return unplugged;
    if (err == EIO)
        return QStringLiteral("The device stopped answering. Is it still plugged in?");
    return QString();
}

// The port of an "address:port" name; the raw printing port when none is
// given.
QString NetworkPortOf(const QString &name)
{
    const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
    bool numeric = false;
    const uint port = colon < 0 ? 0 : name.mid(colon + 1).toUInt(&numeric);
    if (!numeric || port == 0 || port > 65535)
        return QStringLiteral("9100");
    return QString::number(port);
}

QString FileHint(const ErrorParticulars &p)
{
    const int err = p.systemError;
    // Without an errno (a reason in words), a missing file still explains itself.
    if (err == ENOENT || (err == 0 && !QFileInfo::exists(p.name))) {
        const QString folder = QFileInfo(p.name).absolutePath();
        if (!QFileInfo(folder).isDir())
            return QStringLiteral("The folder %1 does not exist.")
                .arg(QDir::toNativeSeparators(folder));
        return QStringLiteral("Check the file's name and folder.");
    }
    if (err == EACCES || err == EPERM)
        return QStringLiteral("You may not use this file here: check its permissions and those "
                              "of its folder.");
    if (err == EROFS)
        return QStringLiteral("The file is on a read-only file system.");
    if (err == ENOSPC || err == EDQUOT)
        return QStringLiteral("The disk is full.");
    if (err == EISDIR)
        return QStringLiteral("This is a folder, not a file.");
    return QString();
}

QString Hint(const ErrorParticulars &p)
{
    switch (p.subject) {
    case Subject::None:
        return QString();
    case Subject::SerialDevice:
        return DeviceHint(p, QStringLiteral("dialout"),
                          QStringLiteral("There is no such device. Is the printer (or its USB "
                                         "serial adapter) plugged in, and is this its port?"));
    case Subject::ParallelDevice:
        return DeviceHint(p, QStringLiteral("lp"),
                          QStringLiteral("There is no such device. Is the printer plugged in "
                                         "and switched on, and is this its port?"));
    case Subject::File:
        return FileHint(p);
    case Subject::NetworkPrinter:
        if (p.systemError == ECANCELED)
            return QString();
        if (p.systemError == EBUSY)
            return QStringLiteral("Try again once the other program is done with it.");
        return QStringLiteral("Is the printer switched on and on the network, and is this its "
                              "address? Raw printing uses TCP port %1.")
            .arg(NetworkPortOf(p.name));
    case Subject::InstalledPrinter:
        return QStringLiteral("Is the print server running and the queue enabled? "
                              "\"lpstat -p\" lists the queues and their state.");
    case Subject::Field: {
        const QLocale locale = QLocale::system();
        return QStringLiteral("Type a number such as 76 or %1.").arg(locale.toString(50.8, 'f', 1));
    }
    }
    return QString();
}

} // namespace

QString ErrorAdvice(const ErrorParticulars &p)
{
    QStringList lines;
    if (p.subject != Subject::None && !p.name.isEmpty())
        lines << SubjectLabel(p.subject) + QStringLiteral(": ") + p.name;
    const QString reason = SystemReason(p);
    if (!reason.isEmpty())
        lines << QStringLiteral("System: ") + reason;
    const QString hint = Hint(p);
    if (!hint.isEmpty()) {
        if (!lines.isEmpty())
            lines << QString();
        lines << hint;
    }
    return lines.join(QLatin1Char('\n'));
}

QString OwningGroup(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QString();
    // getgrgid_r: the error box may run while another thread looks up names.
    group entry {};
    group *found = nullptr;
    char buffer[4096];
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found)
        return QString();
    return QString::fromLocal8Bit(found->gr_name);
}

QStringList ProcessesUsing(const QString &path, const QString &procDir)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    QStringList holders;
    if (target.isEmpty())
        return holders;
    const QDir proc(procDir);
    const QStringList pids = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &pid : pids) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric)
            continue;
        // Other users' descriptors are unreadable without privileges: skipped.
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        const QStringList entries
            = fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QString &fd : entries) {
            if (QFileInfo(fds.filePath(fd)).symLinkTarget() != target)
                continue;
            QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
            QString name = comm.open(QIODevice::ReadOnly)
                ? QString::fromLocal8Bit(comm.readAll()).trimmed()
                : QString();
            if (name.isEmpty())
                name = QStringLiteral("a program");
            holders << QStringLiteral("%1 (process %2)").arg(name, pid);
            break;
        }
    }
    return holders;
}
