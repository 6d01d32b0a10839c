// Turns a data frame's payload into one output line and stores it.
#pragma once

// Composes the line in the scratch line and writes it whole to the output
// file. True only when every byte of the line is on disk.
bool writeRecord(const char* payload);

// Set by the Append opening when the file ends inside a line (one cut short
// by a crash), or when its end could not be looked at: the first record
// written starts a line of its own, so it is never joined to the fragment (an
// empty line is a lesser harm). Cleared once that line ending is stored.
extern bool lineBreakOwed;

// Looks at the end of the file just opened, in Append mode only, and sets
// lineBreakOwed. Called once the file is open and before any record can be
// written to it.
void noteTornLastLine();
