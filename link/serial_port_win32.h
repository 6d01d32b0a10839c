// The serial port's handle and its asynchronous operations, each with its
// own record and event.
#pragma once

#include <windows.h>

#include <atomic>

// Set by the receiver thread, which opens the port again when its device is
// gone; read by the start command's write and by the stop.
extern std::atomic<HANDLE> portHandle;

// How long a cancelled operation is given to end before it is left pending.
constexpr DWORD kCancelGraceMs = 100;

// One asynchronous operation on the port, with its own record and event.
// When the driver does not complete it even after it is cancelled, it stays
// pending here, never started again, until the driver completes it: the
// record, the event and the bytes it reads or writes outlive it, as they live
// as long as the process.
struct PortOperation {
    OVERLAPPED record;
    HANDLE port; // the handle it was started on, which finishes it
    bool pending;
    DWORD eventMask;   // what a wait for characters reports
    char outgoing[16]; // what a write sends
};

extern PortOperation characterWait; // receiver thread
extern PortOperation portRead;      // receiver thread
extern PortOperation ackWrite;      // receiver thread: the acknowledgements
extern PortOperation startWrite;    // user-interface thread: the start command

bool createOperationEvents();
// Whether the operation can be started again: a pending one is reaped first
// if the driver has completed it meanwhile; *succeeded tells whether it
// succeeded, and only then does *transferred count bytes that reached the
// buffer (serial drivers copy a read's bytes back only on success).
bool operationFree(PortOperation* operation, DWORD* transferred, bool* succeeded);
// Call after a ReadFile, WriteFile or WaitCommEvent on the operation's record
// that returned `started` (with GetLastError() still its own). Waits at most
// `boundMs` for the driver to complete it; then cancels it and gives it a
// moment more. True when it completed with success; *transferred is what it
// moved, even when it failed. One still in flight stays pending.
bool finishOperation(PortOperation* operation, BOOL started, DWORD boundMs, DWORD* transferred);

// Clears the port's error state; true when it reported a line error.
bool lineErrorsCleared(COMSTAT* status = nullptr);

enum class PortOpening { Opened, NotOpened, NotConfigured };
// Why the last opening failed, as Windows said it.
extern DWORD portOpenError;
// Opens the port that comPortIndex names into portHandle, with the line
// settings and timeouts; on failure nothing stays open.
PortOpening openConfiguredPort();
void closePort();
