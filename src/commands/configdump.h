#pragma once

#include "link/printerquery.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The printer's configuration as text (^HH): one setting a line, value then
// name, and the settings of the setup panel found in it.

PrinterQuery ConfigurationQuery();

struct ConfigSetting
{
    QString name; // as written, trailing blanks removed ("PRINT  WIDTH" keeps its two spaces)
    QString value; // as written, trailing blanks removed; may begin with a blank
};

bool operator==(const ConfigSetting &a, const ConfigSetting &b);

// Every line with a name, in the printer's order (the same name may come
// more than once). A line without a name (the serial number of older
// printers) is left out. Raises ETarvolinError "Configuration: <what>" for a
// reply that is cut short, holds no setting, or holds lines that are not
// text or longer than a setting line.
QList<ConfigSetting> ParseConfiguration(const QByteArray &reply);

// The setup panel's values found in a configuration, as a profile names
// them ("speed", "density", "width", "height", "media-sensor", "media-type",
// "post-print-action", "top", "shift", "resolution"), width and height in
// millimetres. A setting the printer does not list, or lists with a value
// the panel cannot hold (a print speed of 8, a cutter), is left out; a
// number no printer could hold (a darkness of 4294967296, a length beyond
// 32000 dots) raises ETarvolinError "Configuration: <name> '<value>' is not
// a number the printer could hold".
QList<QPair<QString, QString>> PanelSettings(const QList<ConfigSetting> &settings);

// What a printer's configuration says about power-on: a printer that runs
// with settings it has not stored may list, beside a setting, the value it
// comes back with ("POWER-ON DARKNESS"). `reported` when it lists any;
// `panel` holds the setup panel's values that would change (profile key and
// the value at power-on, in PanelSettings' terms), `others` the other
// settings that would, by the printer's names and values.
struct PowerOnChanges
{
    bool reported = false;
    QList<QPair<QString, QString>> panel;
    QList<QPair<QString, QString>> others;
};
PowerOnChanges PowerOnSettings(const QList<ConfigSetting> &settings);
