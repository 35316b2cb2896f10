#pragma once

#include "cli/cli.h"
#include "cli/operations.h"

#include <QJsonObject>

struct ExtendedStatus;
struct HostStatus;
struct Identification;

// The printer's answers about itself over any two-way link: host-status,
// info and config.
std::vector<Operation> HostOperations();
// Their own options: discover's addresses, sweep and ports.
std::vector<OptionInfo> HostOperationOptions();

// "discover": the printers that answer the discovery probe (and, with
// --sweep, a subnet's open raw printing ports), one line or JSON object each,
// sorted by address.
CliOutcome RunDiscover(const CommandLine &line, const CliStreams &io);

// The JSON forms the reports carry: "hostStatus" (booleans and numbers),
// "info", and "config" with "settings".
QJsonObject HostStatusJson(const HostStatus &status);
// {"errors": "0000000000000005", "warnings": ...}: both groups as one
// hexadecimal number.
QJsonObject ExtendedStatusJson(const ExtendedStatus &status);
QJsonObject IdentificationJson(const Identification &id);
