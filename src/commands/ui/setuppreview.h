#pragma once

// The Label Preview framed by the setup panel: its resolution, unit and
// label size, handed to the preview as plain values.

#include "commands/setuppanel.h"
#include "preview/ui/previewwindow.h"

// The label size is left empty when the panel's lengths do not parse.
PreviewRequest PreviewRequestFor(const SetupPanelValues &values);
