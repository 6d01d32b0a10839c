// Reports a start that failed, and remembers which field of the properties
// dialog the user should look at.
#pragma once

#include "link/start_failure.h"

// Where the last start failed; None after a start that did not fail.
extern FaultField sessionFault;

// Notes the field at fault (`otherwise` for a cause that names none) and,
// when `show` is set, shows the message: `firstLine`, then the cause.
void reportStartFailure(const char* firstLine, FailureCause cause, FaultField otherwise,
                        const char* subject, unsigned long error, bool show);
