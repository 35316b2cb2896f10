#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

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

// Largest file a page takes; a larger one is refused rather than freezing
// the window or exhausting memory.
constexpr qint64 MaxPageFileBytes = qint64(64) * 1024 * 1024;

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

// Reads a command file for a page. Throws EFOpenError when it cannot be read
// and ETarvolinError("Text exceeds memo capacity") when it is too large.
PageText ReadCommandFile(const QString &path, qint64 maxBytes = MaxPageFileBytes);

// Writes the bytes to a temporary file beside the target and renames it over
// the target when complete, so a failed save leaves an existing file intact.
// Throws EFCreateError.
void WriteCommandFile(const QString &path, const QByteArray &bytes);

// "Send File": whether the path names an existing file (not a directory).
bool CommandFileExists(const QString &path);

// The whole file, byte for byte. Throws EFOpenError.
QByteArray ReadWholeFile(const QString &path);
