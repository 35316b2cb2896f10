#pragma once

// Commands that change the virtual printer from outside while it runs, one
// per line, on its standard input or its control file:
//   status                      show the status byte and its conditions
//   status head-open,paper-out  set exactly these conditions ("ready": none)
//   status +pause / -pause      set or clear one condition
//   show                        identity, settings, memory and status
//   cancel                      drop the labels not printed yet
//   reset                       power off and on
//   quit                        end the printer
//   help                        this list

#include <QString>

class LabelOutput;
class VirtualPrinter;

struct ControlResult
{
    QString output; // what to show in answer (may be several lines)
    bool ok = true;
    bool quit = false;
};

ControlResult RunControlCommand(const QString &line, VirtualPrinter &printer, LabelOutput &output);

QString ControlHelp();
