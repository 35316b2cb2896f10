#pragma once

#include "commands/setuppanel.h"

#include <QByteArray>
#include <QLocale>

// The settings format: "^XA" then speed, density, label size, media sensor,
// post-print action, media type, direction, top, shift and home, one command
// each (the last four always, the others only when their box or field says
// so), without the closing "^XZ". Lengths become dots at the selected
// resolution. Throws EConvertError at the first length that does not parse.
QByteArray BuildSettingsBlock(const SetupPanelValues &values,
                              const QLocale &locale = QLocale::system());

// "Store Settings": the settings format closed, then a second format that
// makes the printer keep the settings ("^JUS").
QByteArray StoreSettingsCommand(const SetupPanelValues &values,
                                const QLocale &locale = QLocale::system());
