#pragma once

#include "link/printerquery.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

struct HostStatus;

// One reading of what a printer says of itself, whichever answer it came
// from (the status byte, host status, the extended error and warning
// report): the conditions that stop it printing, the warnings that do not,
// and the modes it works in, kept apart so that a healthy thermal-transfer
// printer is never "not ready". Names are snake_case keys ("paper_out"),
// the same in JSON, metrics and facts.
struct PrinterStatus
{
    QStringList conditions; // in the order of StatusConditionKeys()
    QStringList warnings;
    QStringList modes;
    // What the answers could not show, one phrase each ("paper jam, cutter
    // fault and memory errors: no answer to the extended status report").
    QStringList unseen;
    // The conditions the answers could see, set or not.
    QStringList checked;

    bool Ready() const { return conditions.isEmpty(); }
    // Adds what another answer of the same printer shows.
    void Merge(const PrinterStatus &other);
};

// Every condition key, in the order they are listed: head_open, paper_jam,
// paper_out, ribbon_out, paused, cover_open, other_error, corrupt_ram,
// under_temperature, over_temperature, cutter_fault.
const QStringList &StatusConditionKeys();
// Every warning key: buffer_full, partial_format, label_waiting, calibrate,
// clean_head, replace_head, paper_near_end, other_warning.
const QStringList &StatusWarningKeys();
// Every mode key: thermal_transfer, direct_thermal, the print modes
// (rewind, peel_off, tear_off, cutter, applicator, print_mode_<code>),
// printing, diagnostic.
QStringList StatusModeKeys();

// "Paper Out", "Corrupt RAM", "Thermal Transfer": a key as a caption.
QString StatusCaption(const QString &key);
// "Thermal Transfer, Tear Off": keys as captions, in their order.
QString StatusCaptions(const QStringList &keys);

// The status byte: bit 5 (Printing) is a mode; the rest are conditions.
PrinterStatus StatusFromByte(quint8 status);
// Host status: ribbon out only with a ribbon; the buffer, a partial format
// and a label waiting are warnings; print method and mode are modes. What
// host status has no field for is named as unseen.
PrinterStatus StatusFromHost(const HostStatus &status);

// The extended error and warning report (~HQES): two groups of 32 bits for
// errors and two for warnings, each with a flag that any is set.
struct ExtendedStatus
{
    bool anyError = false;
    quint32 errorsHigh = 0;
    quint32 errors = 0;
    bool anyWarning = false;
    quint32 warningsHigh = 0;
    quint32 warnings = 0;
    bool operator==(const ExtendedStatus &) const = default;
};

// The error and warning bits of the report's low group.
namespace extended {
constexpr quint32 PaperOut = 0x00000001;
constexpr quint32 RibbonOut = 0x00000002;
constexpr quint32 HeadOpen = 0x00000004;
constexpr quint32 CutterFault = 0x00000008;
constexpr quint32 HeadOverTemperature = 0x00000010;
constexpr quint32 MotorOverTemperature = 0x00000020;
constexpr quint32 HeadUnderTemperature = 0x00000400;
constexpr quint32 PaperJam = 0x00002000;
constexpr quint32 Paused = 0x00010000;
constexpr quint32 CorruptRam = 0x00020000;
constexpr quint32 MemoryError = 0x00040000;

constexpr quint32 Calibrate = 0x00000001;
constexpr quint32 CleanHead = 0x00000002;
constexpr quint32 ReplaceHead = 0x00000004;
constexpr quint32 PaperNearEnd = 0x00000008;
} // namespace extended

PrinterQuery ExtendedStatusQuery();
// STX CR LF, "  PRINTER STATUS", "   ERRORS:" and "   WARNINGS:" lines with
// the flag and the two groups in hexadecimal, ETX CR LF.
QByteArray ExtendedStatusText(const ExtendedStatus &status);
// Raises ETarvolinError "Extended status: <what was wrong>".
ExtendedStatus ParseExtendedStatus(const QByteArray &reply);
// Bits this program does not know count as other_error / other_warning.
PrinterStatus StatusFromExtended(const ExtendedStatus &status);
// What host status alone cannot show, for the printer that does not answer
// the extended report.
QString UnseenWithoutExtendedReport();

// {"ready": bool, "conditions": [...], "warnings": [...], "modes": [...],
//  "checked": [...], "unseen": [...]}
QJsonObject StatusJson(const PrinterStatus &status);
// "Paper Out, Paused", or "Ready"; "Ready as far as it shows" when
// something could not be seen.
QString StatusLine(const PrinterStatus &status);
