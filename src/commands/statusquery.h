#pragma once

#include "link/printerlink.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

// The status query: ESC "!?" asks the printer for its one-byte status over
// the serial port; each bit names one condition.

QByteArray StatusRequestCommand();

// How the query talks to the printer: 20 ms for the answer to begin, no wait
// before closing, the reply as received.
ExchangeOptions StatusExchangeOptions();

// Which status lamps a reply lights. A lamp that is not lit is shown greyed.
struct StatusLamps
{
    bool connectError = false; // nothing came back (red)
    bool ready = false; // status byte 00 (green)
    std::array<bool, 8> conditions = {}; // bit 0 (Head Open) .. bit 7 (Other Error), red
};

// Only the first byte of the reply counts; an empty reply is a connect error.
StatusLamps EvaluateStatusReply(const QByteArray &reply);

// The lamps' captions: "Ready", "Connect Error", and the condition of each
// bit from "Head Open" (bit 0) to "Other Error" (bit 7).
QString ReadyCaption();
QString ConnectErrorCaption();
QString ConditionCaption(int bit);

// The captions of the lit lamps, in the column's order: "Ready", the
// conditions from bit 0 up, or "Connect Error".
QStringList LitCaptions(const StatusLamps &lamps);
