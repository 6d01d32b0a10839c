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

// Returns once the session has tried to open its output file (a record read
// before then waits for it); false when the file is not open.
bool awaitOutputFile();

// Writes the bytes to the session's output file and flushes them to the file
// itself. Returns how many bytes are on disk: `count` only when the whole
// write and the flush succeeded, fewer (0 for a failed flush or a file not
// open) otherwise. Called after awaitOutputFile.
std::size_t writeOutputFile(const char* bytes, std::size_t count);

// The last byte of the output file as it was opened to append to, looked at
// through the session's own handle; kOutputFileEmpty for an empty file,
// kLastByteUnknown when the look failed.
constexpr int kOutputFileEmpty = -1;
constexpr int kLastByteUnknown = -2;
int readOutputFileLastByte();

void readLocalClock(LocalClockReading* reading);

// A modal warning (exclamation icon, OK button); returns when dismissed.
void showWarning(const char* text);

// Sets the progress text of the reading session's window. Must not wait for
// a thread that may itself be waiting for the caller.
void setProgressText(const char* text);

// Writes bytes to the base over the serial line.
void sendToBase(const char* bytes, std::size_t count);
// Whether an answer to the base can go out now: the port is open and its
// last answer is no longer in flight.
bool answerCanBeSent();

// Announces the stored record count on the screen; returns when it is over.
void flashRecordCount();

// How many bytes the character at `text` (terminated) takes in the code page
// of the program's texts: 1 for a one-byte character, 2 to 4 for a whole
// character of several bytes (double-byte code pages, whose second byte may
// be a backslash's; UTF-8), 0 for a byte that is no whole character (a first
// byte whose rest is missing, a stray UTF-8 byte). Reads no byte past the
// terminator; never called on the terminator itself.
std::size_t characterLength(const char* text);

// The same for UTF-8, the code page that Windows 10 and 11 may use for every
// program's texts.
std::size_t utf8CharacterLength(const char* text);
