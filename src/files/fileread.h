#pragma once

#include <QString>
#include <QtGlobal>

// A file on disk opened for reading only: the download operations never need
// more, and a read-only font must still be usable.
class ReadOnlyFile
{
public:
    // Raises EFOpenError ("Cannot open file <path>") when the file cannot be
    // opened or is a directory.
    explicit ReadOnlyFile(const QString &path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // The size the file system reports now.
    qint64 Size() const;

    // Reads up to count bytes, fewer only at the end of the file. Raises
    // EInOutError with the system's reason when a read fails.
    qint64 Read(char *to, qint64 count);

private:
    QString path_;
    int fd_ = -1;
};

// The size of a file, opened read-only and closed again. Raises EInOutError
// with the system's reason ("File not found", "File access denied", ...).
qint64 FileSizeOf(const QString &path);
