#include "printer/printerprogram.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The label pictures are drawn with fonts, which need a GUI application;
    // a printer needs no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("tarvolin-printer"));
    QGuiApplication::setApplicationVersion(QStringLiteral(TARVOLIN_VERSION));
    const ParsedOptions parsed = ParsePrinterOptions(QGuiApplication::arguments());
    if (!parsed.options) {
        fputs(parsed.text.toLocal8Bit().constData(), parsed.exitCode == 0 ? stdout : stderr);
        return parsed.exitCode;
    }
    PrinterProgram program(*parsed.options);
    QString error;
    if (!program.Start(&error)) {
        fprintf(stderr, "tarvolin-printer: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    return app.exec();
}
