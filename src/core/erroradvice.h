#pragma once

#include "core/exceptions.h"

#include <QString>
#include <QStringList>

// The informative text under a failure's fixed message: what it concerns
// (the device, file, printer or field), the system's own reason, and one
// hint on what to try where one helps. Empty when nothing is known.
QString ErrorAdvice(const ErrorParticulars &particulars);

// The group that owns a device node or file ("dialout", "lp"); empty when it
// cannot be read.
QString OwningGroup(const QString &path);

// The programs that hold a device open, as "name (process 1234)", from
// /proc. Only what /proc shows without privileges: processes of other users
// are usually missing.
QStringList ProcessesUsing(const QString &path, const QString &procDir = QStringLiteral("/proc"));
