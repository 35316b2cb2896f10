#pragma once

#include "cli/cli.h"
#include "cli/commandline.h"
#include "cli/operations.h"

#include <vector>

// "graphic IMAGE": a picture made into a label graphic. Without --store, a
// label printing it at the top left (--field-only: the ^GF field alone);
// with --store, the download that keeps it in printer memory. Sent to the
// --to targets, or written to -o FILE or standard output.
Operation GraphicOperation();
std::vector<OptionInfo> GraphicOptions();

// Without targets: the commands into -o FILE or onto standard output, and
// with --json the size of each encoding. Needs a QGuiApplication (an SVG
// may hold text).
int RunGraphic(const CommandLine &line, const CliStreams &io);
