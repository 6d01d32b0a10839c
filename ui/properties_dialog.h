// The properties dialog in which every setting is edited before a reading.
#pragma once

#include "link/start_failure.h"

#include <windows.h>

// Runs the dialog modally; 1 after OK (settings stored, outputPath composed),
// 2 after Cancel. The focus starts on the field at `fault`, if any.
INT_PTR runPropertiesDialog(FaultField fault = FaultField::None);
