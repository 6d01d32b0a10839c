// The reading session dialog: owns one session from the start command to the
// end-of-session report.
#pragma once

#include <windows.h>

#include <atomic>

extern HWND sessionWindow;
extern HANDLE outputFile;
// Set once outputFile is open; until then a record cannot be written.
extern std::atomic<bool> outputFileReady;

INT_PTR CALLBACK readingSessionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

bool openOutputFile();
