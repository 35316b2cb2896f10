#pragma once

// Runs the command-line program as a process, as a script would. Only for
// test executables that know where the program is (TARVOLIN_CLI_PROGRAM).

#include "support/childprocess.h"

#include <QByteArray>
#include <QStringList>

#include <csignal>

#include <gtest/gtest.h>

struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    bool finished = false;
};

// Waits at most timeoutMs; a program still running then is killed and the
// test fails (it hung).
inline CliRun RunCliProgram(const QStringList &arguments, int timeoutMs = 60000)
{
    ChildProcess process;
    CliRun run;
    if (!process.Start(QStringLiteral(TARVOLIN_CLI_PROGRAM), arguments)) {
        ADD_FAILURE() << "tarvolin-cli did not start: " << process.Error().toStdString();
        return run;
    }
    run.finished = process.WaitForExit(timeoutMs);
    if (!run.finished) {
        process.Stop(SIGKILL, 5000);
        ADD_FAILURE() << "tarvolin-cli did not finish within " << timeoutMs << " ms";
    }
    run.exitCode = process.ExitCode();
    run.out = process.TakeOutput();
    run.err = process.Errors();
    return run;
}

// The exchange gives the printer 20 to 50 ms to begin its answer; a busy
// machine may not run the test printer's thread that soon. A run that
// should have had an answer and got none is tried again, a few times.
inline CliRun RunCliReadBack(const QStringList &args, bool answerExpected)
{
    CliRun run;
    for (int attempt = 0; attempt < 4; ++attempt) {
        run = RunCliProgram(args);
        if (!answerExpected || run.exitCode != 1)
            break;
    }
    return run;
}
