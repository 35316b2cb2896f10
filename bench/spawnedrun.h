#pragma once

// A program run as a script would run it, its output thrown away (or kept in
// a file): the wall time, the CPU time and the peak memory the benchmarks
// compare.

#include <QElapsedTimer>
#include <QStringList>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct Run
{
    qint64 ms = 0;
    double cpuMs = 0; // user and system
    long maxRssKb = 0;
    int status = -1;
};

// `env` ("NAME=value" ...) is set through env(1) for this run only; the
// standard output goes to `outputFile` when one is named.
inline Run Spawn(const QStringList &argv, const QStringList &env = {},
                 const QString &outputFile = {})
{
    const QStringList command
        = env.isEmpty() ? argv : QStringList { QStringLiteral("/usr/bin/env") } + env + argv;
    std::vector<QByteArray> bytes;
    for (const QString &a : command)
        bytes.push_back(a.toLocal8Bit());
    std::vector<char *> args;
    for (QByteArray &b : bytes)
        args.push_back(b.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray output
        = outputFile.isEmpty() ? QByteArray("/dev/null") : outputFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, output.constData(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    Run run;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        rusage usage {};
        wait4(pid, &status, 0, &usage);
        run.ms = clock.elapsed();
        run.maxRssKb = usage.ru_maxrss;
        run.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}
