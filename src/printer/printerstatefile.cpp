#include "printer/printerstatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSet>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

namespace {

// Version 1 kept each file's data under its percent-encoded name, written
// before the list: a crash between the two left a state that did not load.
constexpr int FormatVersion = 2;
const QString DataPrefix = QStringLiteral("d-");
const QString IndexTempPrefix = QStringLiteral(".state.json-");
// Far more than the list of every file the memory can hold takes: a larger
// state.json is not read into memory at all.
constexpr qint64 MaxIndexBytes = 16 * 1024 * 1024;

QString Reason(int err)
{
    return QString::fromLocal8Bit(strerror(err));
}

QByteArray Native(const QString &path)
{
    return QFile::encodeName(path);
}

bool MakeFolder(const QString &path, QString *error)
{
    if (mkdir(Native(path).constData(), 0755) == 0 || errno == EEXIST)
        return true;
    *error = QStringLiteral("cannot create the folder %1: %2").arg(path, Reason(errno));
    return false;
}

// A folder's entries are on disk only once the folder itself is synced.
bool SyncFolder(const QString &path, QString *error)
{
    const int fd = open(Native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || fsync(fd) != 0) {
        *error = QStringLiteral("cannot sync the folder %1: %2").arg(path, Reason(errno));
        if (fd >= 0)
            close(fd);
        return false;
    }
    close(fd);
    return true;
}

// Writes `bytes` to a new file of a unique name starting with `prefix` in
// `folder`, synced to disk; its path, or nothing with the reason (and no
// file left behind).
std::optional<QString> WriteNewFile(const QString &folder, const QString &prefix,
                                    const QByteArray &bytes, QString *error)
{
    QByteArray path = Native(QDir(folder).filePath(prefix + QStringLiteral("XXXXXX")));
    const int fd = mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot create a file in %1: %2").arg(folder, Reason(errno));
        return std::nullopt;
    }
    const QString name = QFile::decodeName(path);
    const auto fail = [&](int err) {
        *error = QStringLiteral("cannot write %1: %2").arg(name, Reason(err));
        unlink(path.constData());
        return std::nullopt;
    };
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            close(fd);
            return fail(err);
        }
        done += n;
    }
    if (fsync(fd) != 0) {
        const int err = errno;
        close(fd);
        return fail(err);
    }
    if (close(fd) != 0)
        return fail(errno);
    return name;
}

// "files/E/d-1a2B3c": a data file this version wrote, of device \1.
const QRegularExpression &DataPath()
{
    static const QRegularExpression path(
        QStringLiteral("^files/([A-Z])/%1[A-Za-z0-9]{6}$").arg(DataPrefix));
    return path;
}

QString DoesNotFit(QChar device, const QString &name, qint64 size, const PrinterMemory &memory)
{
    return QStringLiteral("%1:%2 (%3 bytes) does not fit in %4 of %5 KB")
        .arg(device)
        .arg(name)
        .arg(size)
        .arg(PrinterMemory::DeviceName(device))
        .arg(memory.CapacityBytes(device) / 1024);
}

} // namespace

PrinterStateFile::PrinterStateFile(const QString &dir)
    : dir_(dir)
{ }

QString PrinterStateFile::IndexPath() const
{
    return QDir(dir_).filePath(QStringLiteral("state.json"));
}

QString PrinterStateFile::Key(QChar device, const QString &name)
{
    return QString(device) + QLatin1Char(':') + name.toCaseFolded();
}

// Version 1's data files: the name percent-encoded, so that none could leave
// its folder or clash with "." and "..".
QString PrinterStateFile::LegacyDataPath(QChar device, const QString &name) const
{
    QByteArray encoded = name.toUtf8().toPercentEncoding();
    if (encoded.startsWith('.'))
        encoded.replace(0, 1, "%2E");
    return QStringLiteral("files/%1/%2").arg(device, QString::fromLatin1(encoded));
}

bool PrinterStateFile::Load(PrinterSettings &stored, PrinterIdentity &identity,
                            PrinterMemory &memory, QString *error)
{
    QFile f(IndexPath());
    if (!f.exists()) {
        // Data files of a first store that a crash kept from being listed.
        onDisk_.clear();
        RemoveUnlisted();
        return true;
    }
    const auto fail = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(IndexPath(), why);
        return false;
    };
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    const QByteArray index = f.read(MaxIndexBytes + 1);
    if (index.size() > MaxIndexBytes)
        return fail(QStringLiteral("larger than %1 MB, more than a list of files can be")
                        .arg(MaxIndexBytes / 1024 / 1024));
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(index, &parse);
    if (!doc.isObject())
        return fail(parse.error != QJsonParseError::NoError ? parse.errorString()
                                                            : QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();
    const int version = root.value(QStringLiteral("version")).toInt();
    if (version != 1 && version != FormatVersion)
        return fail(QStringLiteral("unknown version (this program reads versions 1 and %1)")
                        .arg(FormatVersion));
    QString why;
    const auto settings
        = PrinterSettings::FromJson(root.value(QStringLiteral("settings")).toObject(), &why);
    if (!settings)
        return fail(QStringLiteral("settings: ") + why);
    const auto id
        = PrinterIdentity::FromJson(root.value(QStringLiteral("identity")).toObject(), &why);
    if (!id)
        return fail(QStringLiteral("identity: ") + why);

    PrinterMemory loaded = memory;
    QHash<QString, OnDisk> onDisk;
    for (QChar device : PrinterMemory::DeviceLetters())
        loaded.Clear(device);
    for (const QJsonValue &v : root.value(QStringLiteral("files")).toArray()) {
        const QJsonObject entry = v.toObject();
        const QString letter = entry.value(QStringLiteral("device")).toString();
        const QString name = entry.value(QStringLiteral("name")).toString();
        const qint64 size = entry.value(QStringLiteral("size")).toInteger(-1);
        if (letter.size() != 1 || !PrinterMemory::IsDevice(letter.at(0))
            || !PrinterMemory::KeepsFilesAtPowerOff(letter.at(0)) || name.isEmpty())
            return fail(QStringLiteral("a file entry without a valid device and name"));
        const QChar device = letter.at(0);
        if (!PrinterMemory::CheckName(name, &why))
            return fail(QStringLiteral("%1:%2").arg(letter, why));
        QString path = LegacyDataPath(device, name);
        if (version > 1) {
            path = entry.value(QStringLiteral("file")).toString();
            const QRegularExpressionMatch m = DataPath().match(path);
            if (!m.hasMatch() || m.captured(1) != letter)
                return fail(QStringLiteral("%1:%2: \"%3\" is not a data file of this state")
                                .arg(letter, name, path.left(80)));
        }
        // A size beyond the device is never read into memory.
        if (size > loaded.CapacityBytes(device))
            return fail(DoesNotFit(device, name, size, loaded));
        QFile data(QDir(dir_).filePath(path));
        if (!data.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1:%2: %3").arg(letter, name, data.errorString()));
        const QByteArray bytes = data.read(std::max<qint64>(0, size) + 1);
        if (bytes.size() != size)
            return fail(QStringLiteral("%1:%2 holds %3 bytes, the list says %4")
                            .arg(letter, name)
                            .arg(bytes.size())
                            .arg(size));
        const int rowBytes = entry.value(QStringLiteral("rowBytes")).toInt(0);
        if (rowBytes < 0 || rowBytes > 32000)
            return fail(QStringLiteral("%1:%2: %3 bytes a row is not from 0 to 32000")
                            .arg(letter, name)
                            .arg(rowBytes));
        if (loaded.Find(device, name))
            return fail(QStringLiteral("%1:%2 is listed twice").arg(letter, name));
        if (!loaded.Store(device, StoredFile { name, bytes, rowBytes }))
            return fail(DoesNotFit(device, name, size, loaded));
        onDisk.insert(Key(device, name), OnDisk { path, bytes });
    }
    stored = *settings;
    identity = *id;
    memory = std::move(loaded);
    onDisk_ = std::move(onDisk);
    RemoveUnlisted();
    return true;
}

void PrinterStateFile::RemoveUnlisted() const
{
    QSet<QString> listed;
    for (const OnDisk &d : onDisk_)
        listed.insert(d.path);
    const QDir root(dir_);
    for (const QString &temp :
         root.entryList({ IndexTempPrefix + QLatin1Char('*') }, QDir::Files | QDir::Hidden))
        QFile::remove(root.filePath(temp));
    for (QChar device : PrinterMemory::DeviceLetters()) {
        const QString folder = QStringLiteral("files/%1").arg(device);
        const QDir files(root.filePath(folder));
        for (const QString &name :
             files.entryList({ DataPrefix + QLatin1Char('*') }, QDir::Files)) {
            if (!listed.contains(folder + QLatin1Char('/') + name))
                QFile::remove(files.filePath(name));
        }
    }
}

bool PrinterStateFile::Save(const PrinterSettings &stored, const PrinterIdentity &identity,
                            const PrinterMemory &memory, QString *error)
{
    QHash<QString, OnDisk> next;
    QStringList written;
    QSet<QString> foldersWritten;
    const auto undo = [&] {
        for (const QString &path : written)
            QFile::remove(QDir(dir_).filePath(path));
        return false;
    };
    if (!MakeFolder(dir_, error))
        return false;

    QJsonArray files;
    for (QChar device : PrinterMemory::DeviceLetters()) {
        if (!PrinterMemory::KeepsFilesAtPowerOff(device))
            continue;
        for (const StoredFile &f : memory.Files(device)) {
            const QString key = Key(device, f.name);
            const auto old = onDisk_.constFind(key);
            OnDisk entry;
            if (old != onDisk_.cend() && old->data == f.data
                && DataPath().match(old->path).hasMatch()) {
                entry = *old;
            } else {
                const QString folder = QStringLiteral("files/%1").arg(device);
                if (!MakeFolder(QDir(dir_).filePath(QStringLiteral("files")), error)
                    || !MakeFolder(QDir(dir_).filePath(folder), error))
                    return undo();
                const auto path
                    = WriteNewFile(QDir(dir_).filePath(folder), DataPrefix, f.data, error);
                if (!path)
                    return undo();
                entry = OnDisk { folder + QLatin1Char('/') + QFileInfo(*path).fileName(), f.data };
                written << entry.path;
                foldersWritten << folder;
            }
            QJsonObject item { { QStringLiteral("device"), QString(device) },
                               { QStringLiteral("name"), f.name },
                               { QStringLiteral("size"), f.data.size() },
                               { QStringLiteral("file"), entry.path } };
            if (f.rowBytes > 0)
                item.insert(QStringLiteral("rowBytes"), f.rowBytes);
            files.append(item);
            next.insert(key, entry);
        }
    }
    for (const QString &folder : std::as_const(foldersWritten)) {
        if (!SyncFolder(QDir(dir_).filePath(folder), error))
            return undo();
    }
    if (!foldersWritten.isEmpty()
        && !SyncFolder(QDir(dir_).filePath(QStringLiteral("files")), error))
        return undo();

    const QJsonObject root { { QStringLiteral("version"), FormatVersion },
                             { QStringLiteral("settings"), stored.ToJson() },
                             { QStringLiteral("identity"), identity.ToJson() },
                             { QStringLiteral("files"), files } };
    const auto temp = WriteNewFile(dir_, IndexTempPrefix, QJsonDocument(root).toJson(), error);
    if (!temp)
        return undo();
    if (rename(Native(*temp).constData(), Native(IndexPath()).constData()) != 0) {
        *error = QStringLiteral("cannot replace %1: %2").arg(IndexPath(), Reason(errno));
        QFile::remove(*temp);
        return undo();
    }
    // From here the new state is the one that loads; a failing sync only
    // means it may not have reached the disk yet.
    QString notSynced;
    SyncFolder(dir_, &notSynced);

    for (auto it = onDisk_.cbegin(); it != onDisk_.cend(); ++it) {
        const auto kept = next.constFind(it.key());
        if (kept == next.cend() || kept->path != it->path)
            QFile::remove(QDir(dir_).filePath(it->path));
    }
    onDisk_ = std::move(next);
    return true;
}
