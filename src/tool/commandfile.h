#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;

// Command files and editor page text. A page is a list of lines; on disk and
// on the wire its lines are separated by CR LF. A loaded file is shown as
// UTF-8 when that reproduces it exactly, otherwise as Latin-1 (one character
// per byte), and is written back in the same encoding so no byte is lost.

enum class PageEncoding { Utf8, Latin1 };

struct PageText
{
    QStringList lines { QString() };
    PageEncoding encoding = PageEncoding::Utf8;
};

// Largest file a page takes, and its longest line: the editor lays a line
// out whole at every keystroke, so a longer one would make typing crawl. A
// file beyond either is refused ("Send File" sends it as it is).
constexpr qint64 MaxPageFileBytes = qint64(16) * 1024 * 1024;
constexpr qint64 MaxPageLineBytes = 64 * 1024;

// The file's bytes as page text: the text ends before the first 00 byte, and
// CR LF, a lone CR and a lone LF each end one line.
PageText DecodeCommandFile(QByteArrayView bytes);

// The name shown beside the page selector: "UTF-8" or "Latin-1".
QString PageEncodingName(PageEncoding encoding);

// The characters of the lines that Latin-1 cannot hold, each once, in the
// order they first appear. A Latin-1 page holding any cannot be written as it
// was loaded.
QString CharactersOutsideLatin1(const QStringList &lines);

// The characters of the lines that are one byte in Latin-1 but two in UTF-8
// (80 to FF hex: the accented letters and the other signs above ASCII), each
// once, in order: what changes in the file when a Latin-1 page is written as
// UTF-8 instead.
QString CharactersChangedByUtf8(const QStringList &lines);

// The lines joined by CR LF, without a break after the last line, in the
// given encoding. Nothing is ever re-encoded behind the operator's back: for
// a Latin-1 page holding characters Latin-1 cannot hold (see
// CharactersOutsideLatin1) this throws ETarvolinError naming them; the
// operator decides whether the page becomes UTF-8.
QByteArray EncodePageText(const QStringList &lines, PageEncoding encoding);

// "Send Text": the page's bytes followed by CR LF. Throws like EncodePageText.
QByteArray BuildSendTextCommand(const PageText &page);

// The file's bytes as one text for the editor, its lines ended by LF alone,
// decoded as DecodeCommandFile does.
QString DecodeForEditor(QByteArrayView bytes, PageEncoding *encoding);

// Reads a command file for a page a piece at a time, so that the window can
// show how far it got and stop between pieces.
class PageFileReader
{
public:
    static constexpr qint64 PieceBytes = 1024 * 1024;

    // Throws EFOpenError when the file cannot be opened.
    explicit PageFileReader(const QString &path, qint64 maxBytes = MaxPageFileBytes,
                            qint64 maxLineBytes = MaxPageLineBytes);
    ~PageFileReader();

    // -1 for a device or pipe.
    qint64 Size() const { return size_; }
    qint64 BytesRead() const { return bytes_.size(); }
    // Reads the next piece; false once the whole file is in or it has turned
    // out to be more than a page holds. Throws EFOpenError when reading fails.
    bool ReadSome();
    // Why the file is more than a page holds, in the operator's words; empty
    // when it is not.
    QString TooMuch() const { return tooMuch_; }
    QString TakeText(PageEncoding *encoding);

private:
    QString path_;
    qint64 maxBytes_;
    qint64 maxLineBytes_;
    qint64 size_ = -1;
    std::unique_ptr<QFile> file_;
    QByteArray bytes_;
    qint64 lineBytes_ = 0; // of the line read so far
    qint64 lines_ = 1;
    bool lastWasCr_ = false;
    bool ended_ = false;
    QString tooMuch_;
};

// Reads a command file for a page whole. Throws EFOpenError when it cannot be
// read and ETarvolinError("Text exceeds memo capacity") when it is more than
// a page holds.
PageText ReadCommandFile(const QString &path, qint64 maxBytes = MaxPageFileBytes);

// Writes the bytes to a temporary file beside the target and renames it over
// the target when complete, so a failed save leaves an existing file intact.
// Throws EFCreateError.
void WriteCommandFile(const QString &path, const QByteArray &bytes);

// "Send File": whether the path names an existing file (not a directory).
bool CommandFileExists(const QString &path);

// The whole file, byte for byte. Throws EFOpenError.
QByteArray ReadWholeFile(const QString &path);
