#pragma once

// The virtual printer's memory devices and the files stored in them. R: is
// the DRAM, whose files are lost at power-off; E: is the FLASH; B:, A: and Z:
// are further devices that keep their files like the FLASH. Each device has a
// capacity, and all devices together never hold more than MaxTotalBytes, so a
// stream of downloads cannot take the machine's memory.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

struct StoredFile
{
    QString name; // "DEMO.FNT", without the device
    QByteArray data;
    int rowBytes = 0; // a graphic's bytes per row of dots; 0 for other files
};

class PrinterMemory
{
public:
    static constexpr qint64 MaxTotalBytes = 256LL * 1024 * 1024;
    static constexpr qint64 DefaultDramKb = 8 * 1024;
    static constexpr qint64 DefaultFlashKb = 64 * 1024;

    PrinterMemory();

    // "RBEAZ"-style letters in the order the devices are listed.
    static QString DeviceLetters() { return QStringLiteral("REBAZ"); }
    static bool IsDevice(QChar letter) { return DeviceLetters().contains(letter); }
    static bool KeepsFilesAtPowerOff(QChar device) { return device != QLatin1Char('R'); }
    // "DRAM", "FLASH", or "B:" for the others.
    static QString DeviceName(QChar device);

    // Clamped so that no device alone exceeds MaxTotalBytes.
    void SetCapacityKb(QChar device, qint64 kb);
    qint64 CapacityBytes(QChar device) const;
    qint64 UsedBytes(QChar device) const;
    // Whole kilobytes still free on the device.
    qint64 FreeKb(QChar device) const;
    qint64 TotalUsedBytes() const;

    // Whether a file of `size` bytes fits, counting the room a same-named
    // file it would replace gives back.
    bool HasRoomFor(QChar device, const QString &name, qint64 size) const;
    // Stores or replaces (names compare without regard to letter case).
    // False, storing nothing, when it does not fit.
    bool Store(QChar device, const StoredFile &file, bool *replaced = nullptr);

    const StoredFile *Find(QChar device, const QString &name) const;
    // In the order they were first stored.
    const std::vector<StoredFile> &Files(QChar device) const;
    QStringList Names(QChar device, const QString &pattern = QStringLiteral("*")) const;

    // Deletes the files whose names match a pattern with * and ?; returns
    // the names deleted.
    QStringList Delete(QChar device, const QString &pattern);
    void Clear(QChar device);

    // The one check every name a file is stored under passes, with the
    // device's limits: NAME.EXT with a name of 1 to MaxNameChars characters
    // and an extension of 1 to MaxExtensionChars, no blanks (the file list
    // separates names by blanks), no control characters and none of the
    // characters that address devices, folders or patterns. False with the
    // reason otherwise; the reason shows control characters escaped.
    static constexpr qsizetype MaxNameChars = 16;
    static constexpr qsizetype MaxExtensionChars = 3;
    static bool CheckName(const QString &name, QString *why);

    // Whether a name matches a pattern of * (any run) and ? (one character),
    // without regard to letter case.
    static bool Matches(const QString &name, const QString &pattern);

private:
    struct Device
    {
        QChar letter;
        qint64 capacity = 0;
        std::vector<StoredFile> files;
    };
    Device &At(QChar device);
    const Device &At(QChar device) const;

    std::vector<Device> devices_;
};
