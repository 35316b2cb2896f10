#include "printer/printermemory.h"

#include <algorithm>

PrinterMemory::PrinterMemory()
{
    for (QChar letter : DeviceLetters()) {
        Device d;
        d.letter = letter;
        d.capacity = (letter == QLatin1Char('R') ? DefaultDramKb : DefaultFlashKb) * 1024;
        devices_.push_back(std::move(d));
    }
}

QString PrinterMemory::DeviceName(QChar device)
{
    if (device == QLatin1Char('R'))
        return QStringLiteral("DRAM");
    if (device == QLatin1Char('E'))
        return QStringLiteral("FLASH");
    return QString(device) + QLatin1Char(':');
}

PrinterMemory::Device &PrinterMemory::At(QChar device)
{
    auto it = std::find_if(devices_.begin(), devices_.end(),
                           [device](const Device &d) { return d.letter == device; });
    Q_ASSERT(it != devices_.end());
    return *it;
}

const PrinterMemory::Device &PrinterMemory::At(QChar device) const
{
    return const_cast<PrinterMemory *>(this)->At(device);
}

void PrinterMemory::SetCapacityKb(QChar device, qint64 kb)
{
    At(device).capacity = std::clamp<qint64>(kb, 0, MaxTotalBytes / 1024) * 1024;
}

qint64 PrinterMemory::CapacityBytes(QChar device) const
{
    return At(device).capacity;
}

qint64 PrinterMemory::UsedBytes(QChar device) const
{
    qint64 used = 0;
    for (const StoredFile &f : At(device).files)
        used += f.data.size();
    return used;
}

qint64 PrinterMemory::FreeKb(QChar device) const
{
    return std::max<qint64>(0, CapacityBytes(device) - UsedBytes(device)) / 1024;
}

qint64 PrinterMemory::TotalUsedBytes() const
{
    qint64 used = 0;
    for (const Device &d : devices_)
        used += UsedBytes(d.letter);
    return used;
}

bool PrinterMemory::HasRoomFor(QChar device, const QString &name, qint64 size) const
{
    const StoredFile *old = Find(device, name);
    const qint64 freed = old ? old->data.size() : 0;
    return size >= 0 && UsedBytes(device) - freed + size <= CapacityBytes(device)
        && TotalUsedBytes() - freed + size <= MaxTotalBytes;
}

bool PrinterMemory::Store(QChar device, const StoredFile &file, bool *replaced)
{
    if (!HasRoomFor(device, file.name, file.data.size()))
        return false;
    Device &d = At(device);
    auto it = std::find_if(d.files.begin(), d.files.end(), [&](const StoredFile &f) {
        return f.name.compare(file.name, Qt::CaseInsensitive) == 0;
    });
    if (replaced)
        *replaced = it != d.files.end();
    if (it != d.files.end())
        *it = file;
    else
        d.files.push_back(file);
    return true;
}

const StoredFile *PrinterMemory::Find(QChar device, const QString &name) const
{
    const Device &d = At(device);
    auto it = std::find_if(d.files.begin(), d.files.end(), [&](const StoredFile &f) {
        return f.name.compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == d.files.end() ? nullptr : &*it;
}

const std::vector<StoredFile> &PrinterMemory::Files(QChar device) const
{
    return At(device).files;
}

QStringList PrinterMemory::Names(QChar device, const QString &pattern) const
{
    QStringList names;
    for (const StoredFile &f : At(device).files) {
        if (Matches(f.name, pattern))
            names << f.name;
    }
    return names;
}

QStringList PrinterMemory::Delete(QChar device, const QString &pattern)
{
    const QStringList gone = Names(device, pattern);
    std::erase_if(At(device).files, [&](const StoredFile &f) { return Matches(f.name, pattern); });
    return gone;
}

void PrinterMemory::Clear(QChar device)
{
    At(device).files.clear();
}

namespace {

bool IsControl(QChar c)
{
    return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
}

QString Escaped(const QString &text)
{
    QString shown;
    for (QChar c : text) {
        if (IsControl(c))
            shown += QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            shown += c;
    }
    return shown;
}

} // namespace

bool PrinterMemory::CheckName(const QString &name, QString *why)
{
    const auto refuse = [&](const QString &reason) {
        if (why)
            *why = QStringLiteral("\"%1\" is no file name: %2").arg(Escaped(name.left(80)), reason);
        return false;
    };
    for (QChar c : name) {
        if (IsControl(c))
            return refuse(QStringLiteral("it holds control characters"));
        if (c == QLatin1Char(' ') || QStringLiteral("*?/\\\":^~,").contains(c))
            return refuse(QStringLiteral("it holds \"%1\"").arg(c));
    }
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0 || dot != name.lastIndexOf(QLatin1Char('.')))
        return refuse(
            QStringLiteral("a name and an extension with one \".\" between them are needed"));
    if (dot == 0 || dot > MaxNameChars)
        return refuse(QStringLiteral("the name before the \".\" has %1 characters (1 to %2)")
                          .arg(dot)
                          .arg(MaxNameChars));
    const qsizetype extension = name.size() - dot - 1;
    if (extension == 0 || extension > MaxExtensionChars)
        return refuse(QStringLiteral("the extension has %1 characters (1 to %2)")
                          .arg(extension)
                          .arg(MaxExtensionChars));
    return true;
}

bool PrinterMemory::Matches(const QString &name, const QString &pattern)
{
    // Classic two-pointer wildcard match with backtracking to the last *.
    qsizetype n = 0, p = 0, star = -1, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size()
            && (pattern[p] == QLatin1Char('?')
                || pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            star = p++;
            mark = n;
        } else if (star >= 0) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}
