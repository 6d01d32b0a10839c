// What the Win32 side of the program shares: the module instance and the
// message boxes with the tool's caption.
#pragma once

#include <windows.h>

#include "resources/version.h"

extern HINSTANCE moduleInstance;

// A message box with the tool's caption, owned by the active window of the
// calling thread (none on the receiver thread). Returns the button pressed.
int showMessage(const char* text, UINT type);

// The "Tamsel" icon on a dialog of the program, big and small: its taskbar
// button and Alt+Tab show it rather than the system's default.
void showProgramIcon(HWND dialog);
