// The reading session dialog: owns one session from the start command to the
// end-of-session report.
#pragma once

#include <windows.h>

#include <atomic>

extern HWND sessionWindow;
extern HANDLE outputFile;
// Set once outputFile is open; until then a record cannot be written.
extern std::atomic<bool> outputFileReady;
// Signalled once the session has tried to open outputFile, whether it opened
// or not. A record that the receiver reads before (one already queued when
// the port opens, or one sent right after the start answer) waits for it
// instead of being refused. Reset when a session starts again after a failed
// start.
extern HANDLE outputFileDecided;

INT_PTR CALLBACK readingSessionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

bool openOutputFile();
