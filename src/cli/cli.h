#pragma once

#include <QStringList>

#include <cstdio>

// The command-line program, minus its entry point: tests and main() call
// this with the arguments after the program name.

enum CliExitStatus {
    ExitOk = 0, // every printer got its command (status: every printer is Ready)
    ExitFailed = 1, // some printer failed
    ExitUsage = 2, // bad input: nothing was sent
    ExitNotReady = 3, // status: every printer answered, some are not Ready
    ExitDrift = 4, // diff, apply --check: some printer's settings differ from the profile
    ExitBusy = 5, // every printer that failed took the connection but did not answer
};

struct CliStreams
{
    FILE *out = stdout;
    FILE *err = stderr;
};

struct CliOutcome
{
    int exitStatus = ExitOk;
    // A printer that overran its deadline is still being served on a thread
    // of its own: end the process without waiting for it.
    bool threadsLeftBehind = false;
};

CliOutcome RunCli(const QStringList &arguments, const CliStreams &streams = {});

// Whether the operation draws text (render), which takes a QGuiApplication
// rather than a QCoreApplication.
bool NeedsGuiApplication(const QStringList &arguments);
