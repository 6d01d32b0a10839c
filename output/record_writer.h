// Turns a data frame's payload into one output line and stores it.
#pragma once

// Composes the line in the scratch line and writes it whole to the output
// file. True only when every byte of the line is on disk.
bool writeRecord(const char* payload);

// Set by the Append opening when the file ends inside a line (one cut short
// by a crash): the first record written starts a line of its own, so it is
// never joined to the fragment. Cleared once that line ending is stored.
extern bool lineBreakOwed;
