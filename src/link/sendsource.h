#pragma once

#include <QByteArray>
#include <QString>

class Transfer;

// Where the bytes of a send come from, a piece at a time, so that a send
// holds one piece and not the whole of what it sends.
class SendSource
{
public:
    virtual ~SendSource() = default;
    // Every byte it will give; -1 when that is known only at the end.
    virtual qint64 Size() const = 0;
    // The next piece, at most `most` bytes; empty at the end. A wait for the
    // input goes through `transfer`, so a stop ends it. Raises ETarvolinError
    // when the input cannot be read.
    virtual QByteArray Next(qsizetype most, Transfer &transfer) = 0;
    // Has the kernel copy up to `most` of the next bytes straight into the
    // open descriptor `target`: the count copied, 0 at the end, -1 when it
    // cannot copy between the two (or the copy failed), after which the
    // caller takes the rest with Next(), where a failure shows again with
    // whose it is.
    virtual qint64 CopyInto(int /*target*/, qint64 /*most*/) { return -1; }
    // The bytes given so far.
    qint64 Given() const { return given_; }

protected:
    qint64 given_ = 0;
};

// Bytes already in memory, given without copying: each piece refers to them.
class BufferSource : public SendSource
{
public:
    explicit BufferSource(QByteArray bytes)
        : bytes_(std::move(bytes))
    { }
    qint64 Size() const override { return bytes_.size(); }
    QByteArray Next(qsizetype most, Transfer &transfer) override;

private:
    QByteArray bytes_;
};

// A file, a pipe or a device read as the send goes: the file's size when it
// is a regular file, otherwise unknown until it ends.
class FileSource : public SendSource
{
public:
    static constexpr qsizetype PieceBytes = 1 << 20;

    // Raises ETarvolinError when the file cannot be opened.
    explicit FileSource(const QString &path);
    ~FileSource() override;
    FileSource(const FileSource &) = delete;
    FileSource &operator=(const FileSource &) = delete;

    qint64 Size() const override { return size_; }
    QByteArray Next(qsizetype most, Transfer &transfer) override;
    // A regular file with a size is copied by copy_file_range, or where that
    // cannot reach the target by sendfile.
    qint64 CopyInto(int target, qint64 most) override;

private:
    [[noreturn]] void Fail(int err) const;

    enum class KernelCopy { Range, SendFile, None };

    QString path_;
    int fd_ = -1;
    qint64 size_ = -1;
    KernelCopy copy_ = KernelCopy::Range;
};
