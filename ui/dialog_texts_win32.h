// The properties dialog's texts between its Unicode controls and the code
// page of the program's texts: a name or a separator is taken only as the
// code page holds it unchanged, never best-fitted into another.
#pragma once

#include "ui/accessible_names_win32.h"
#include "ui/dialog_rules.h"

#include <windows.h>

// Reads an edit's name into `out` (of `capacity` bytes). False, with `out`
// empty, when it does not fit or the code page cannot hold it unchanged.
bool readNameExactly(HWND dialog, int id, char* out, int capacity);

// What to do with a separator edit's text, `current` being the separator
// stored now.
SeparatorDecision readSeparatorEdit(HWND dialog, int id, char current);

// The Save dialog on the stored name, in the output directory. True with the
// chosen folder (no final backslash) and name, each of kTextFieldSize bytes;
// a choice too long, or that the code page cannot hold unchanged, beeps and
// counts as none, with *refused saying which.
bool chooseOutputFile(char* directory, char* fileName, NameRefusal* refused);
