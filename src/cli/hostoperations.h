#pragma once

#include "cli/operations.h"

#include <QJsonObject>

struct HostStatus;
struct Identification;

// The printer's answers about itself over any two-way link: host-status,
// info and config.
std::vector<Operation> HostOperations();

// The JSON forms the reports carry: "hostStatus" (booleans and numbers),
// "info", and "config" with "settings".
QJsonObject HostStatusJson(const HostStatus &status);
QJsonObject IdentificationJson(const Identification &id);
