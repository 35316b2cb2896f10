#pragma once

// SIGINT and SIGTERM during a run: no further target is started, running
// transfers stop at their next chunk, and the run ends with a summary naming
// every target that was not finished and how far it got. A second signal
// ends the program at once.

#include "cli/runner.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <vector>

constexpr int ExitInterrupted = 130; // as a shell reports a program ended by SIGINT

class Interruption
{
public:
    // Catches the signals until destroyed; one at a time.
    Interruption();
    ~Interruption();
    Interruption(const Interruption &) = delete;
    Interruption &operator=(const Interruption &) = delete;

    const std::atomic<bool> *Flag() const;
    bool Happened() const;

    // Remembers a target the interruption kept from finishing.
    void Note(const CliJobResult &result, const QString &uri, qint64 totalBytes);

    // "interrupted: 2 targets not finished:" and a line for each, in target
    // order; and the same as one JSON object.
    QString Text() const;
    QByteArray Json() const;

private:
    struct Unfinished
    {
        size_t index;
        QString uri;
        bool started;
        qint64 doneBytes;
        qint64 totalBytes;
    };
    std::vector<Unfinished> unfinished_;
};
