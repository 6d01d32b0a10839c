// The few operations through which the portable logic reaches the platform.
// The Windows program implements them on Win32; the native tests link fakes.
#pragma once

#include <cstddef>

struct LocalClockReading {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// Writes the bytes to the session's output file and flushes them to the file
// itself. Returns how many bytes are on disk: `count` only when the whole
// write and the flush succeeded, fewer (0 for a failed flush) otherwise.
std::size_t writeOutputFile(const char* bytes, std::size_t count);

void readLocalClock(LocalClockReading* reading);

// A modal warning (exclamation icon, OK button); returns when dismissed.
void showWarning(const char* text);

// Sets the progress text of the reading session's window. Must not wait for
// a thread that may itself be waiting for the caller.
void setProgressText(const char* text);

// Writes bytes to the base over the serial line.
void sendToBase(const char* bytes, std::size_t count);

// Announces the stored record count on the screen; returns when it is over.
void flashRecordCount();

// Whether the byte starts a two-byte character in the code page of the
// program's texts (Japanese, Chinese and Korean Windows), whose second byte
// may be any, a backslash included.
bool isLeadByte(unsigned char byte);
