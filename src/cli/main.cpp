#include "cli/cli.h"

#include <QCoreApplication>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvolin-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVOLIN_VERSION));
    const CliOutcome outcome = RunCli(QCoreApplication::arguments().mid(1));
    if (outcome.threadsLeftBehind) {
        // A printer past its deadline still holds a thread; its backend
        // gives up in time, but the report is complete now.
        std::fflush(nullptr);
        ::_exit(outcome.exitStatus);
    }
    return outcome.exitStatus;
}
