#include "printer/printerstatefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

namespace {

constexpr int FormatVersion = 1;

bool WriteAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    if (!QDir().mkpath(QFileInfo(path).path())) {
        *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

} // namespace

PrinterStateFile::PrinterStateFile(const QString &dir)
    : dir_(dir)
{ }

QString PrinterStateFile::IndexPath() const
{
    return QDir(dir_).filePath(QStringLiteral("state.json"));
}

// Names come from the wire: on disk they are percent-encoded, so none can
// leave its folder or clash with "." and "..".
QString PrinterStateFile::DataPath(QChar device, const QString &name) const
{
    QByteArray encoded = name.toUtf8().toPercentEncoding();
    if (encoded.startsWith('.'))
        encoded.replace(0, 1, "%2E");
    return QDir(dir_).filePath(
        QStringLiteral("files/%1/%2").arg(device, QString::fromLatin1(encoded)));
}

bool PrinterStateFile::Load(PrinterSettings &stored, PrinterIdentity &identity,
                            PrinterMemory &memory, QString *error) const
{
    QFile f(IndexPath());
    if (!f.exists())
        return true;
    const auto fail = [&](const QString &why) {
        *error = QStringLiteral("%1: %2").arg(IndexPath(), why);
        return false;
    };
    if (!f.open(QIODevice::ReadOnly))
        return fail(f.errorString());
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &parse);
    if (!doc.isObject())
        return fail(parse.error != QJsonParseError::NoError ? parse.errorString()
                                                            : QStringLiteral("not a JSON object"));
    const QJsonObject root = doc.object();
    if (root.value(QStringLiteral("version")).toInt() != FormatVersion)
        return fail(
            QStringLiteral("unknown version (this program reads version %1)").arg(FormatVersion));
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
        QFile data(DataPath(letter.at(0), name));
        if (!data.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1:%2: %3").arg(letter, name, data.errorString()));
        const QByteArray bytes = data.readAll();
        if (bytes.size() != size)
            return fail(QStringLiteral("%1:%2 holds %3 bytes, the list says %4")
                            .arg(letter, name)
                            .arg(bytes.size())
                            .arg(size));
        const int rowBytes = entry.value(QStringLiteral("rowBytes")).toInt(0);
        if (!loaded.Store(letter.at(0), StoredFile { name, bytes, rowBytes }))
            return fail(QStringLiteral("%1:%2 (%3 bytes) does not fit in %4 of %5 KB")
                            .arg(letter, name)
                            .arg(size)
                            .arg(PrinterMemory::DeviceName(letter.at(0)))
                            .arg(loaded.CapacityBytes(letter.at(0)) / 1024));
    }
    stored = *settings;
    identity = *id;
    memory = std::move(loaded);
    return true;
}

bool PrinterStateFile::WriteIndex(const PrinterSettings &stored, const PrinterIdentity &identity,
                                  const PrinterMemory &memory, QString *error) const
{
    QJsonArray files;
    for (QChar device : PrinterMemory::DeviceLetters()) {
        if (!PrinterMemory::KeepsFilesAtPowerOff(device))
            continue;
        for (const StoredFile &f : memory.Files(device)) {
            QJsonObject entry { { QStringLiteral("device"), QString(device) },
                                { QStringLiteral("name"), f.name },
                                { QStringLiteral("size"), f.data.size() } };
            if (f.rowBytes > 0)
                entry.insert(QStringLiteral("rowBytes"), f.rowBytes);
            files.append(entry);
        }
    }
    const QJsonObject root { { QStringLiteral("version"), FormatVersion },
                             { QStringLiteral("settings"), stored.ToJson() },
                             { QStringLiteral("identity"), identity.ToJson() },
                             { QStringLiteral("files"), files } };
    return WriteAtomically(IndexPath(), QJsonDocument(root).toJson(), error);
}

bool PrinterStateFile::WriteFile(QChar device, const StoredFile &file, QString *error) const
{
    return WriteAtomically(DataPath(device, file.name), file.data, error);
}

bool PrinterStateFile::RemoveFile(QChar device, const QString &name, QString *error) const
{
    QFile f(DataPath(device, name));
    if (f.exists() && !f.remove()) {
        *error = QStringLiteral("cannot remove %1: %2").arg(f.fileName(), f.errorString());
        return false;
    }
    return true;
}
