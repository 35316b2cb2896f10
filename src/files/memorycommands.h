#pragma once

// Commands about what is stored in the printer's memory, and the reading of
// the printer's answers to them.

#include "link/printerlink.h"

#include <QByteArray>
#include <QString>

// "File (s)": a label listing the files of the device at a position of the
// "Memory Device:" list; with no device selected an empty format.
QByteArray DirectoryLabelCommand(int devicePosition);

// "~!F" CR LF: asks for the file list.
QByteArray FileListRequest();

// "CLS" CR LF "~!A" CR LF: asks for the free memory.
QByteArray FreeMemoryRequest();

// How the two read-backs talk to the printer: 50 ms for the answer to begin
// and 30 ms before closing; the file list gets an LF after every CR.
ExchangeOptions FileListExchangeOptions();
ExchangeOptions FreeMemoryExchangeOptions();

// "Memory Device" items of the format choice, in list order.
enum class FormatMemory { Dram, Flash };

// 'KILL "*"' (DRAM) or 'KILL F,"*"' (FLASH), then CR LF.
QByteArray FormatCommand(FormatMemory memory);

// Lays the file list reply out for the text box: a line break after
// "DRAM FILES: ", before and after "FLASH FILES: " (first occurrences).
QByteArray FileListLayout(QByteArray reply);

// The two figures of a free memory reply, trimmed; a figure whose label is
// missing is empty.
struct FreeMemoryFigures
{
    QString dram;
    QString flash;
};
FreeMemoryFigures ParseFreeMemory(const QByteArray &reply);

// Bytes from the printer as text, byte for byte: UTF-8 when they are valid
// UTF-8 (an initial byte order mark included), otherwise one character per
// byte.
QString ReplyText(const QByteArray &reply);
