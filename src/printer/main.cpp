#include "printer/printerprogram.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvolin-printer"));
    const ParsedOptions parsed = ParsePrinterOptions(QCoreApplication::arguments());
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
