#pragma once

#include "cli/cli.h"
#include "cli/commandline.h"

#include <QString>

// "render FILE -o OUT.png [--dpi 203|300]": draws every label the commands in
// FILE print, as the window's Label Preview does, into OUT.png and, from the
// second label on, OUT-2.png, OUT-3.png, ... Exits with ExitFailed when a
// label is incomplete (ink beyond its edges, say). Needs a QGuiApplication.
int RunRender(const CommandLine &line, const CliStreams &io);

// The file of the n-th label (1 for the first): "out.png", "out-2.png", ...;
// ".png" is added to a name without it ("out" gives "out.png", "out-2.png").
QString LabelFileName(const QString &output, int n);
