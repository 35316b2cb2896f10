#pragma once

#include "cli/operations.h"

// The operations that read a printer's running settings before they act:
// snapshot (into a profile), diff (against one) and apply (only what
// differs, then read again to verify).

OperationPlan SnapshotPlan(const CommandLine &line);
OperationPlan DiffPlan(const CommandLine &line);
OperationPlan ApplyPlan(const CommandLine &line);

std::vector<Operation> SettingsOperations();
