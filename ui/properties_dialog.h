// The properties dialog in which every setting is edited before a reading.
#pragma once

#include <windows.h>

// Runs the dialog modally; 1 after OK (settings stored, outputPath composed),
// 2 after Cancel.
INT_PTR runPropertiesDialog();
