#include "app/mainform.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char *Help
    = "Usage: tarvolin [Qt options]\n"
      "\n"
      "Sets up, tests and maintains thermal label printers from one window: choose how\n"
      "the printer is attached (serial port, parallel port, network, an installed\n"
      "printer or a file), then store settings, print test pages and labels, download\n"
      "fonts and files, read status and memory back, and send printer commands.\n"
      "\n"
      "  -h, --help     this text\n"
      "  -v, --version  the version\n"
      "\n"
      "Without a window: tarvolin-cli does what the buttons do, for one printer or a\n"
      "fleet; tarvolin-printer is a virtual printer to try everything on.\n"
      "See tarvolin(1), tarvolin-cli(1) and tarvolin-printer(1).\n";

} // namespace

int main(int argc, char *argv[])
{
    // Answered before any window system is touched: these work over ssh.
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::fputs(Help, stdout);
            return 0;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::puts("tarvolin " TARVOLIN_VERSION);
            return 0;
        }
    }
    const bool platformChosen
        = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
        || std::any_of(argv + 1, argv + argc, [](const char *a) {
               return !std::strcmp(a, "-platform") || !std::strcmp(a, "--platform");
           });
    if (!platformChosen && !qEnvironmentVariableIsSet("DISPLAY")
        && !qEnvironmentVariableIsSet("WAYLAND_DISPLAY")) {
        std::fputs("tarvolin: no display to show the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set).\nOver ssh, use ssh -X, or tarvolin-cli, which "
                   "needs no window.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvolin"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvolin"));
    QApplication::setApplicationVersion(QStringLiteral(TARVOLIN_VERSION));
    // Lets the desktop match the window to its menu entry and icon.
    QApplication::setDesktopFileName(QStringLiteral(TARVOLIN_APP_ID));
    TForm1 form;
    form.show();
    return app.exec();
}
