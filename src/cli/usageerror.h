#pragma once

#include "core/exceptions.h"

// Bad input on the command line or in a file it names: the program says what
// and where, sends nothing, and exits with status 2.
class EUsageError : public ETarvolinError
{
public:
    using ETarvolinError::ETarvolinError;
};
