// What the Win32 side of the program shares: the module instance and the
// message boxes with the tool's caption.
#pragma once

#include <windows.h>

#include <atomic>

#include "resources/version.h"

extern HINSTANCE moduleInstance;

// A message box with the tool's caption, owned by the active window of the
// calling thread (none on the receiver thread). Returns the button pressed.
int showMessage(const char* text, UINT type);

// Set while the receiver's warning is on the screen: the stop waits for it.
extern std::atomic<bool> warningOnScreen;

// Converts a text to the program's code page only when it comes back the
// same: a character outside the code page would become another ("\u0142" an
// "l", or a "?"), and a file name another file. Empties `out` (of `capacity`
// bytes, at least 1) and returns false otherwise, or when it does not fit. A
// text longer than a settings text never comes back whole.
bool toCodePageExactly(const wchar_t* wide, char* out, int capacity);

// The "Tamsel" icon on a dialog of the program, big and small: its taskbar
// button and Alt+Tab show it rather than the system's default.
void showProgramIcon(HWND dialog);
