#pragma once

// The "File Download" group's commands: a font travels as a download command
// carrying the file in hexadecimal text, a BIN or data file as its own bytes.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// "File Type:" items, in list order.
enum class DownloadFileType { Font, Bin, Data };

// The largest file whose size the download command's size field can carry.
constexpr qint64 MaxFontDownloadSize = 2147483647;

// The file-name part of a chosen path: what follows the last "/".
QString FileNamePart(const QString &path);

// The name a font is stored under, taken from the file-name field: the text
// before the first ".", with ASCII a to z raised; empty when there is no ".".
// Other characters stay as they are.
QString FontNameOf(const QString &fileNameText);

// The memory device at a position of the "Memory Device:" list ("R:", "E:",
// "B:", "A:", "Z:"); empty for no selection.
QByteArray MemoryDevice(int position);

// Writes the n bytes at `in` as 2n upper-case hexadecimal digits to `out`.
void HexEncodeUpper(const uchar *in, qsizetype n, char *out);

// "~DU" device name "," size "," CR LF hex CR LF, from bytes in memory.
QByteArray FontDownloadCommand(QByteArrayView device, const QString &fontName,
                               QByteArrayView fontData);

// The same command, read from a file in one pass straight into a buffer of
// the final size. Raises EFOpenError when the file cannot be opened,
// EInOutError when reading fails, and ETarvolinError when the file is too
// large for the size field.
QByteArray FontDownloadCommandFromFile(QByteArrayView device, const QString &fontName,
                                       const QString &path);

// Every byte of a file, unchanged. Raises like FontDownloadCommandFromFile
// (there is no size limit).
QByteArray FileContents(const QString &path);

// What "Download" reads from the group.
struct DownloadRequest
{
    int fileType = 0; // position in "File Type:", -1 for none
    int device = 1; // position in "Memory Device:", -1 for none
    QString fileNameText; // the file-name field as it stands
    QString path; // the chosen file, empty until one is chosen
};

// The bytes "Download" sends: the font download command for a font, the
// file itself for a BIN or data file, nothing when no type or (for a font)
// no device is selected.
QByteArray DownloadCommand(const DownloadRequest &request);
