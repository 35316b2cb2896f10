#pragma once

#include <QByteArray>
#include <QString>

// Where --output and snapshot -o write. A regular file (or a new one) is
// replaced whole and atomically (ReplaceFileAtomically); a link to one
// replaces the file it names and keeps the link. A character device, a FIFO
// or a link into /dev or /proc (/dev/stdout) is written straight into, never
// replaced. A directory, a block device, a FIFO nobody reads, a folder that
// is missing or cannot be written is refused with ETarvolinError naming it.
void WriteOutputFile(const QString &path, const QByteArray &bytes);

// Replaces `path` with `bytes` so that a reader sees the old file or the new
// one, never a part: a temporary file beside it is written, synced and
// renamed over it. The file is readable by others as the umask allows (a
// collector usually runs as another user). Throws ETarvolinError naming the
// file and the system's reason; nothing is left behind then.
void ReplaceFileAtomically(const QString &path, const QByteArray &bytes);
