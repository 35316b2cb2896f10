#include "cli/cli.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Only drawing labels needs fonts, hence a GUI application; it never
    // needs a display.
    std::unique_ptr<QCoreApplication> app;
    QTemporaryDir runtimeDir;
    if (NeedsGuiApplication(arguments)) {
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Outside a desktop session the platform wants a private runtime
        // folder, and says so on every run when there is none.
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
            QFile::setPermissions(runtimeDir.path(),
                                  QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ExeOwner);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir.path()));
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
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
