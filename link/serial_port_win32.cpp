#include "link/serial_port_win32.h"

#include "app/settings.h"
#include "link/base_link.h"
#include "link/port.h"

#include <atomic>
#include <initializer_list>

HANDLE linkStopEvent = nullptr;

namespace {

// How long a cancelled operation is given to end before it is left held.
constexpr DWORD kCancelGraceMs = 100;
// How long the stop gives a pending wait to end.
constexpr DWORD kEndWaitBoundMs = 1000;
constexpr DWORD kEndWaitRetryMs = 50;
constexpr DWORD kQueueSize = 256;
constexpr DWORD kReadSize = 256;
constexpr DWORD kWriteSize = 16;

// One asynchronous operation, with its own record, event and bytes. One the
// driver never completes stays pending here, never started again: the
// record, the event and the bytes outlive it, as they live as long as the
// process.
struct PortOperation {
    OVERLAPPED record;
    HANDLE port; // the handle it was started on, which finishes it
    std::atomic<bool> pending;
    DWORD eventMask;
    unsigned char incoming[kReadSize];
    char outgoing[kWriteSize];
};

// The operations of one opening of the port. An opening whose operation is
// still held when the port closes is abandoned: a later opening takes
// another, so nothing the old handle completes reaches the new line.
struct PortOpeningRecords {
    PortOperation wait;
    PortOperation read;
    PortOperation answer;       // the receiver thread's writes
    PortOperation startCommand; // the user-interface thread's write
};
constexpr int kOpenings = 8;
PortOpeningRecords openings[kOpenings];
std::atomic<int> openingInUse{0};
std::atomic<HANDLE> portHandle{nullptr};

// Applied whole, never read from the port.
DCB lineSettings;

// What ClearCommError reports of a byte received wrong or lost: a framing
// error, a parity error, an overrun ("the next character is lost"), an input
// buffer overflow, a break.
constexpr DWORD kLineErrors = CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK;

PortOpeningRecords& current() {
    return openings[openingInUse];
}

// Whether the operation can be started again: a pending one is reaped first
// if the driver has completed it meanwhile, into *outcome.
bool reaped(PortOperation* operation, PortOutcome* outcome) {
    if (operation->pending && WaitForSingleObject(operation->record.hEvent, 0) == WAIT_OBJECT_0) {
        operation->pending = false;
        DWORD moved = 0;
        outcome->succeeded =
            GetOverlappedResult(operation->port, &operation->record, &moved, FALSE) != FALSE;
        outcome->error = outcome->succeeded ? ERROR_SUCCESS : GetLastError();
        outcome->count = moved;
    }
    return !operation->pending;
}

bool openingFree(PortOpeningRecords* opening) {
    PortOutcome unused;
    bool free = true;
    for (PortOperation* operation :
         {&opening->wait, &opening->read, &opening->answer, &opening->startCommand}) {
        if (operation->record.hEvent == nullptr) {
            // Manual reset, as the port's waits require.
            operation->record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        free = free && operation->record.hEvent != nullptr && reaped(operation, &unused);
    }
    return free;
}

// Call after a ReadFile, WriteFile on the operation's record that returned
// `started` (with GetLastError() still its own). Waits at most `boundMs` for
// the driver to complete it; then cancels it and gives it a moment more.
void finish(PortOperation* operation, BOOL started, DWORD boundMs, DWORD size,
            PortOutcome* outcome) {
    if (!started) {
        DWORD why = GetLastError();
        if (why != ERROR_IO_PENDING) {
            outcome->error = why;
            return;
        }
    }
    HANDLE done = operation->record.hEvent;
    bool cancelled = false;
    if (WaitForSingleObject(done, boundMs) != WAIT_OBJECT_0) {
        CancelIoEx(operation->port, &operation->record);
        cancelled = true;
        if (WaitForSingleObject(done, kCancelGraceMs) != WAIT_OBJECT_0) {
            operation->pending = true;
            outcome->held = true;
            outcome->error = ERROR_IO_PENDING;
            return;
        }
    }
    DWORD moved = 0;
    outcome->succeeded =
        GetOverlappedResult(operation->port, &operation->record, &moved, FALSE) != FALSE;
    // Never more than the buffer holds, whatever a driver reports.
    outcome->count = moved < size ? moved : size;
    if (!outcome->succeeded) {
        outcome->error = GetLastError();
        outcome->cancelledByUs = cancelled && outcome->error == ERROR_OPERATION_ABORTED;
    }
}

// The handle to start the operation on, or null with *outcome saying why:
// the driver still holds it (the port has stopped answering, and its record
// must stay as it is), or no port is open.
HANDLE startableOn(PortOperation* operation, PortOutcome* outcome) {
    PortOutcome late;
    if (!reaped(operation, &late)) {
        outcome->held = true;
        outcome->error = ERROR_IO_PENDING;
        return nullptr;
    }
    HANDLE port = portHandle;
    if (port == nullptr) {
        outcome->error = ERROR_INVALID_HANDLE;
    }
    return port;
}

} // namespace

PortOpening portOpen(unsigned long* error) {
    *error = ERROR_SUCCESS;
    // The opening after the last one whose operations are all done.
    int chosen = -1;
    for (int step = 1; step <= kOpenings && chosen < 0; ++step) {
        int candidate = (openingInUse + step) % kOpenings;
        if (openingFree(&openings[candidate])) {
            chosen = candidate;
        }
    }
    char name[kPortNameSize];
    if (chosen < 0 || !portDeviceName(settings.comPortIndex, name, sizeof name)) {
        // Every opening's records still held by the driver: it is busy with
        // the port, as far as anyone can tell.
        *error = chosen < 0 ? ERROR_BUSY : ERROR_FILE_NOT_FOUND;
        return PortOpening::NotOpened;
    }
    HANDLE port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return PortOpening::NotOpened;
    }
    SetupComm(port, kQueueSize, kQueueSize);

    // Applied whole and never read from the port: 8 data bits, no parity, one
    // stop bit, no flow control of any kind, DTR and RTS off.
    lineSettings.DCBlength = sizeof lineSettings;
    lineSettings.fBinary = TRUE; // Windows supports binary mode only
    if (baudRateFor(settings.baudIndex) != 0) {
        lineSettings.BaudRate = static_cast<DWORD>(baudRateFor(settings.baudIndex));
    }
    lineSettings.ByteSize = 8;
    lineSettings.Parity = NOPARITY;
    lineSettings.StopBits = ONESTOPBIT;
    lineSettings.fOutxCtsFlow = 0;
    lineSettings.fOutX = 0;
    lineSettings.fRtsControl = RTS_CONTROL_DISABLE;
    // Flow control stays off both ways, yet Windows refuses a record whose
    // XON and XOFF characters are equal: give them the usual DC1 and DC3.
    // The XON and XOFF limits stay 0, which every driver's check (0 up to
    // its buffer size) accepts.
    lineSettings.XonChar = 0x11;
    lineSettings.XoffChar = 0x13;
    if (!SetCommState(port, &lineSettings)) {
        *error = GetLastError();
        CloseHandle(port);
        return PortOpening::NotConfigured;
    }

    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD; // reads return at once with what has arrived
    timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutConstantMs;
    SetCommTimeouts(port, &timeouts);
    SetCommMask(port, EV_RXCHAR);
    openingInUse = chosen;
    portHandle = port;
    return PortOpening::Opened;
}

void portClose() {
    HANDLE port = portHandle.exchange(nullptr);
    if (port != nullptr) {
        // A call the driver stalls is let go; what completes later lands in
        // this opening's records, which no later opening uses.
        CancelIoEx(port, nullptr);
        CloseHandle(port);
    }
}

PortOutcome portLineStatus() {
    PortOutcome outcome;
    HANDLE port = portHandle;
    DWORD errors = 0;
    COMSTAT status = {};
    if (port == nullptr || !ClearCommError(port, &errors, &status)) {
        outcome.error = port == nullptr ? ERROR_INVALID_HANDLE : GetLastError();
        return outcome;
    }
    outcome.succeeded = true;
    outcome.count = status.cbInQue;
    outcome.lineErrors = (errors & kLineErrors) != 0;
    return outcome;
}

PortWake portAwaitCharacters(unsigned long boundMs, PortOutcome* outcome) {
    *outcome = PortOutcome{};
    PortOperation& wait = current().wait;
    // A wait that has not ended stays pending for the next pass: never a
    // second one beside it.
    if (!wait.pending) {
        HANDLE port = portHandle;
        if (port == nullptr) {
            outcome->error = ERROR_INVALID_HANDLE;
            return PortWake::Failed;
        }
        ResetEvent(wait.record.hEvent);
        wait.eventMask = 0;
        wait.port = port;
        if (!WaitCommEvent(port, &wait.eventMask, &wait.record)) {
            DWORD why = GetLastError();
            if (why != ERROR_IO_PENDING) {
                outcome->error = why;
                return PortWake::Failed;
            }
        }
        wait.pending = true;
    }
    HANDLE events[2] = {wait.record.hEvent, linkStopEvent};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, boundMs);
    if (woken == WAIT_TIMEOUT) {
        return PortWake::TimedOut;
    }
    if (woken == WAIT_OBJECT_0 + 1) {
        return PortWake::Stop;
    }
    if (woken != WAIT_OBJECT_0) {
        outcome->error = GetLastError(); // the wait itself failed: counted, not a stop
        return PortWake::Failed;
    }
    wait.pending = false;
    DWORD unused = 0;
    if (GetOverlappedResult(wait.port, &wait.record, &unused, FALSE)) {
        outcome->succeeded = true;
        return PortWake::Characters;
    }
    outcome->error = GetLastError();
    return PortWake::Failed;
}

PortOutcome portRead(unsigned char* into, std::size_t wanted, unsigned long boundMs) {
    PortOutcome outcome;
    PortOperation& read = current().read;
    // A held read judges its port gone: what it brings later is dropped with
    // the frame the loss cut.
    HANDLE port = startableOn(&read, &outcome);
    if (port == nullptr) {
        return outcome;
    }
    DWORD size = static_cast<DWORD>(wanted < kReadSize ? wanted : kReadSize);
    ResetEvent(read.record.hEvent);
    read.port = port;
    BOOL started = ReadFile(port, read.incoming, size, nullptr, &read.record);
    finish(&read, started, boundMs, size, &outcome);
    if (outcome.succeeded) {
        CopyMemory(into, read.incoming, outcome.count);
    }
    return outcome;
}

PortOutcome portWrite(PortWriter writer, const char* bytes, std::size_t count,
                      unsigned long boundMs) {
    PortOutcome outcome;
    PortOpeningRecords& opening = current();
    PortOperation& write = writer == PortWriter::Answer ? opening.answer : opening.startCommand;
    HANDLE port = startableOn(&write, &outcome);
    if (port == nullptr) {
        return outcome;
    }
    // The driver may read the bytes after this returns: they go from the
    // operation's own buffer, which outlives it.
    DWORD piece = static_cast<DWORD>(count < kWriteSize ? count : kWriteSize);
    CopyMemory(write.outgoing, bytes, piece);
    ResetEvent(write.record.hEvent);
    write.port = port;
    BOOL started = WriteFile(port, write.outgoing, piece, nullptr, &write.record);
    finish(&write, started, boundMs, piece, &outcome);
    return outcome;
}

bool portWriterFree(PortWriter writer) {
    PortOpeningRecords& opening = current();
    PortOutcome late;
    return portHandle != nullptr &&
           reaped(writer == PortWriter::Answer ? &opening.answer : &opening.startCommand, &late);
}

void portEndWait() {
    PortOperation& wait = current().wait;
    if (!wait.pending) {
        return;
    }
    CancelIoEx(wait.port, &wait.record);
    // Windows ends the wait on the cancel, Wine only when the event mask
    // changes, and not always on the first change: clear it until the wait
    // has ended.
    SetCommMask(wait.port, 0);
    DWORD startedAt = GetTickCount();
    while (WaitForSingleObject(wait.record.hEvent, kEndWaitRetryMs) == WAIT_TIMEOUT) {
        if (GetTickCount() - startedAt >= kEndWaitBoundMs) {
            return; // left pending with its opening, which no later one uses
        }
        SetCommMask(wait.port, 0);
    }
    DWORD unused = 0;
    GetOverlappedResult(wait.port, &wait.record, &unused, FALSE);
    wait.pending = false;
}

void portDiscardInput() {
    HANDLE port = portHandle;
    if (port != nullptr) {
        PurgeComm(port, PURGE_RXCLEAR);
    }
}

unsigned long portNowMs() {
    return GetTickCount();
}

bool portAwaitStop(unsigned long ms) {
    DWORD woken = WaitForSingleObject(linkStopEvent, ms);
    if (woken == WAIT_FAILED) {
        Sleep(ms); // the interval still passes: never a spin
    }
    return woken == WAIT_OBJECT_0;
}
