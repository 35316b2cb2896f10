#pragma once

// The conditions the virtual printer can be put in. The first eight are the
// bits of its status byte, bit 0 first; the rest have no bit of their own
// there and light "Other Error".

#include <QString>
#include <QStringList>

#include <optional>

namespace status {
constexpr quint32 HeadOpen = 0x01;
constexpr quint32 PaperJam = 0x02;
constexpr quint32 PaperOut = 0x04;
constexpr quint32 RibbonOut = 0x08;
constexpr quint32 Pause = 0x10;
constexpr quint32 Printing = 0x20;
constexpr quint32 CoverOpen = 0x40;
constexpr quint32 OtherError = 0x80;
constexpr quint32 OverTemperature = 0x100;
constexpr quint32 UnderTemperature = 0x200;
constexpr quint32 CutterFault = 0x400;
constexpr quint32 CorruptRam = 0x800;
constexpr int Count = 12;
constexpr quint32 All = (1u << Count) - 1;

// The status byte of a set of conditions.
quint8 StatusByteOf(quint32 conditions);

// The names the command line and the control commands use, bit 0 first:
// head-open, paper-jam, paper-out, ribbon-out, pause, printing, cover-open,
// other-error, over-temperature, under-temperature, cutter-fault,
// corrupt-ram.
QStringList ConditionNames();

// "head-open,paper-out" (commas or blanks between names), or "ready" / ""
// for none. An unknown name is an error naming it.
std::optional<quint32> ParseConditions(const QString &list, QString *error);

// "ready" or "head-open, paper-out".
QString DescribeConditions(quint32 bits);
} // namespace status
