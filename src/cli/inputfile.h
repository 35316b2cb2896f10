#pragma once

// Files named on tarvolin-cli's command line, read within limits: a pipe or
// device that never ends, or never sends, cannot hold the program past its
// --timeout or take the machine's memory. Every refusal is an EUsageError:
// nothing is sent.

#include <QByteArray>
#include <QString>

#include <chrono>

struct CommandLine;

// --timeout in milliseconds (60 s unless given, 0 for none); raises an
// EUsageError for a value that is no number of seconds.
int TimeoutMsOf(const CommandLine &line);
// When --timeout runs out for the whole operation, reading its input
// included; time_point::max() for none.
std::chrono::steady_clock::time_point OperationDeadline(const CommandLine &line);

// What one send takes at most from a file.
constexpr qint64 MaxInputBytes = 128LL * 1024 * 1024;
// No printer memory holds more: a larger download cannot be stored.
constexpr qint64 MaxDownloadBytes = 64LL * 1024 * 1024;

// The whole file, read within the operation's --timeout and MaxInputBytes.
QByteArray ReadInputFile(const QString &path, const CommandLine &line);

// Whether `send` may read the file as it sends: the file can be opened, and
// each target can read the same bytes from it (a regular file, or a pipe or
// device for a single target). Raises EUsageError for a folder or a file that
// cannot be opened, and when a pipe gives nothing before --timeout.
bool StreamableInput(const QString &path, const CommandLine &line);

// A file to download: a regular file no larger than any printer memory.
void CheckDownloadFile(const QString &path);
