// Turns a data frame's payload into one output line and stores it.
#pragma once

// Composes the line in the scratch line and writes it whole to the output
// file. True only when every byte of the line is on disk.
bool writeRecord(const char* payload);
