#ifdef TARVOLIN_TEST_WIDGETS
#include <QApplication>
#elif defined(TARVOLIN_TEST_GUI)
#include <QGuiApplication>
#else
#include <QCoreApplication>
#endif
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
QtMessageHandler standardHandler = nullptr;

// The offscreen platform warns about every top-level window it cannot size
// for a window manager; that says nothing about the program.
void QuietMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("propagateSizeHints")))
        return;
    if (standardHandler)
        standardHandler(type, context, message);
}
} // namespace

#if defined(__SANITIZE_THREAD__)
// Tests start real programs (the command-line program, the virtual printer)
// while their own helper threads run; the child only calls exec, which the
// thread sanitizer does not know unless told.
extern "C" const char *__tsan_default_options()
{
    return "die_after_fork=0";
}
#endif

// Window tests get a QApplication on the offscreen platform; core tests get
// only the event loop, which the serial component needs, or a QGuiApplication
// where they draw text.
int main(int argc, char **argv)
{
    // Discovery and plain runs alike: no display needed.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtimeDir;
    if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        QFile::setPermissions(runtimeDir.path(),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                  | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    standardHandler = qInstallMessageHandler(QuietMessages);
#ifdef TARVOLIN_TEST_WIDGETS
    QApplication app(argc, argv);
#elif defined(TARVOLIN_TEST_GUI)
    QGuiApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    QCoreApplication::setApplicationName(QStringLiteral("Tarvolin"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
