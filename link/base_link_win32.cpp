#include "link/base_link.h"

#include "app/platform.h"
#include "app/settings.h"
#include "app/win32_common.h"
#include "link/base_protocol.h"
#include "link/serial_port_win32.h"
#include "link/start_failure_win32.h"

#include <atomic>
#include <initializer_list>

namespace {

HANDLE receiverThread = nullptr;
// Set by stopLink: ends the receiver's wait at once, whatever the port does.
HANDLE linkStopEvent = nullptr;
// Set by the receiver when its loop has ended: all it does after that is end.
HANDLE loopEndedEvent = nullptr;
std::atomic<int> linkRunning{0};
std::atomic<DWORD> receiverThreadId{0};

constexpr DWORD kReadChunk = 256;
unsigned char readBuffer[kReadChunk];

// A wait for received characters ends at least this often, and the receiver
// reads what has arrived: some drivers signal less than they receive.
constexpr DWORD kWaitBoundMs = 100;
// With the read timeouts set, a read returns at once; a driver that keeps it
// longer has it cancelled.
constexpr DWORD kReadBoundMs = 100;
// How long the stop waits for the receiver's loop to end once it makes no
// progress (a read, an answer), looking every quarter second.
constexpr DWORD kLoopEndBoundMs = 3000;
constexpr DWORD kLoopEndLookMs = 250;
// How long the stop gives a pending wait to end.
constexpr DWORD kStopBoundMs = 1000;
constexpr DWORD kStopRetryMs = 50;

// Several waits in a row that fail, or end with nothing to read (a driver
// that cannot wait for characters, as Wine's on a pseudo-terminal), switch
// the receiver to looking at the line at intervals; real drivers fail a wait
// now and then.
constexpr int kIdleWakesBeforePolling = 8;
constexpr DWORD kPollIntervalMs = 10;
// Right after bytes came in, the base's next frame is due at once (it sends
// it on our acknowledgement): look more often for a moment, so a record
// does not wait a whole interval, while an idle line still costs little.
constexpr DWORD kBusyPollIntervalMs = 1;
constexpr DWORD kBusySpanMs = 100;
// A port whose every call fails (an adapter pulled out) is opened again at
// this interval until it is back; the session goes on until Close.
constexpr int kFailuresBeforeGone = 3;
constexpr DWORD kGonePollIntervalMs = 250;

// What became of a pass's wait for received characters.
enum class Wake { Stop, Characters, TimedOut, Failed };

// Waits at most kWaitBoundMs for received characters. A wait that has not
// ended stays pending for the next pass: never a second one beside it.
Wake awaitCharacters() {
    if (!characterWait.pending) {
        ResetEvent(characterWait.record.hEvent);
        characterWait.eventMask = 0;
        characterWait.port = portHandle;
        if (!WaitCommEvent(characterWait.port, &characterWait.eventMask, &characterWait.record) &&
            GetLastError() != ERROR_IO_PENDING) {
            return Wake::Failed;
        }
        characterWait.pending = true;
    }
    HANDLE events[2] = {characterWait.record.hEvent, linkStopEvent};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, kWaitBoundMs);
    if (woken == WAIT_TIMEOUT) {
        return Wake::TimedOut;
    }
    if (woken != WAIT_OBJECT_0) {
        return Wake::Stop;
    }
    characterWait.pending = false;
    DWORD unused = 0;
    return GetOverlappedResult(characterWait.port, &characterWait.record, &unused, FALSE) != FALSE
               ? Wake::Characters
               : Wake::Failed;
}

// Ends a wait still pending at the stop, within kStopBoundMs.
void endPendingWait() {
    if (!characterWait.pending) {
        return;
    }
    CancelIoEx(characterWait.port, &characterWait.record);
    // Windows ends the wait on the cancel, Wine only when the event mask
    // changes, and not always on the first change: clear it until the wait
    // has ended.
    SetCommMask(characterWait.port, 0);
    DWORD startedAt = GetTickCount();
    while (WaitForSingleObject(characterWait.record.hEvent, kStopRetryMs) == WAIT_TIMEOUT) {
        if (GetTickCount() - startedAt >= kStopBoundMs) {
            return; // left pending; its record outlives it
        }
        SetCommMask(characterWait.port, 0);
    }
    DWORD unused = 0;
    GetOverlappedResult(characterWait.port, &characterWait.record, &unused, FALSE);
    characterWait.pending = false;
}

// Reads that failed in a row: a removed device fails every one.
int failedPortCalls = 0;
// Counts the receiver's reads and answers, so that the stop can tell one
// still at work from one held by its driver.
std::atomic<unsigned> receiverProgress{0};

// Reads what has arrived, a buffer at a time, and hands it on; returns how
// many bytes it took. It reads even when the driver reports nothing queued:
// some drivers never do, and with the read timeouts set a read returns at
// once with what has arrived, possibly nothing.
DWORD readAvailable() {
    DWORD taken = 0;
    while (linkRunning) {
        ++receiverProgress;
        DWORD got = 0;
        bool succeeded = false;
        if (portRead.pending) {
            // A read the driver completed late brings its bytes first, when
            // it succeeded.
            if (!operationFree(&portRead, &got, &succeeded)) {
                ++failedPortCalls; // a removed device may hold a read for good
                return taken;
            }
            feedRead(succeeded, readBuffer, got, false, lineErrorsCleared());
            taken += succeeded ? got : 0;
        }
        // The errors reported now concern the bytes queued now, which the
        // read takes when the driver counts them; those reported after the
        // read may concern bytes that came after it.
        COMSTAT status = {};
        bool errorsBefore = lineErrorsCleared(&status);
        DWORD wanted =
            status.cbInQue > 0 && status.cbInQue < kReadChunk ? status.cbInQue : kReadChunk;
        ResetEvent(portRead.record.hEvent);
        portRead.port = portHandle;
        BOOL started = ReadFile(portRead.port, readBuffer, wanted, nullptr, &portRead.record);
        succeeded = finishOperation(&portRead, started, kReadBoundMs, &got);
        DWORD why = succeeded ? ERROR_SUCCESS : GetLastError();
        if (!linkRunning) {
            // Stopped meanwhile (a stalled driver call let go by the close):
            // nothing more is handled, so nothing is answered "OK" late.
            return taken;
        }
        feedRead(succeeded, readBuffer, got, errorsBefore, lineErrorsCleared());
        if (!succeeded) {
            // A read cancelled at its bound, on a driver that holds reads
            // but answers the cancel, is no sign of a device gone; one the
            // driver fails, or holds past its cancel, is.
            if (portRead.pending || why != ERROR_OPERATION_ABORTED) {
                ++failedPortCalls;
            }
            return taken;
        }
        taken += got;
        failedPortCalls = 0;
        if (got < wanted) {
            return taken; // nothing more has arrived
        }
    }
    return taken;
}

// A port whose calls keep failing belongs to a device that is gone (an
// adapter pulled out): its handle is let go and the port opened again, so
// that reading goes on when the adapter is back under the same name. What
// the old handle still brings is dropped, with the frame the loss cut.
void reopenPort() {
    if (portHandle != nullptr) {
        endPendingWait();
        CancelIoEx(portHandle, nullptr);
        // Reaped through the handle they were started on, before it closes.
        for (PortOperation* operation : {&portRead, &ackWrite}) {
            DWORD unused = 0;
            bool succeeded = false;
            WaitForSingleObject(operation->record.hEvent, operation->pending ? kCancelGraceMs : 0);
            operationFree(operation, &unused, &succeeded);
        }
        closePort();
        dropFrame();
    }
    if (openConfiguredPort() == PortOpening::Opened) {
        SetCommMask(portHandle, EV_RXCHAR);
        failedPortCalls = 0;
    }
}

// Waits until the next pass: for received characters on a driver that can
// wait for them, else for the interval that the line's state calls for.
Wake nextWake(bool polling, DWORD lastBytesAt) {
    if (failedPortCalls >= kFailuresBeforeGone) {
        if (WaitForSingleObject(linkStopEvent, kGonePollIntervalMs) == WAIT_OBJECT_0) {
            return Wake::Stop;
        }
        reopenPort();
        return Wake::TimedOut;
    }
    if (!polling) {
        Wake wake = awaitCharacters();
        if (wake == Wake::Failed && lineErrorsCleared()) {
            markLineError();
        }
        return wake;
    }
    DWORD interval =
        GetTickCount() - lastBytesAt < kBusySpanMs ? kBusyPollIntervalMs : kPollIntervalMs;
    return WaitForSingleObject(linkStopEvent, interval) == WAIT_OBJECT_0 ? Wake::Stop
                                                                         : Wake::TimedOut;
}

DWORD WINAPI receiverThreadMain(LPVOID) {
    receiverThreadId = GetCurrentThreadId();
    SetCommMask(portHandle, EV_RXCHAR);

    int idleWakesInRow = 0;
    bool polling = false;
    DWORD lastBytesAt = GetTickCount() - kBusySpanMs;
    // Bytes that came before the mask was set raise no event on Windows:
    // the first pass reads without waiting.
    Wake wake = Wake::TimedOut;
    while (linkRunning) {
        // Whatever the wake, take what has arrived: bytes that came while a
        // frame was being handled are read without waiting for another.
        DWORD taken = readAvailable();
        if (taken > 0) {
            lastBytesAt = GetTickCount();
            idleWakesInRow = 0;
        } else if ((wake == Wake::Failed || wake == Wake::Characters) &&
                   ++idleWakesInRow >= kIdleWakesBeforePolling) {
            // A wait that keeps ending with nothing to read is no better than
            // one that fails: the loop would spin.
            polling = true;
        }
        wake = nextWake(polling, lastBytesAt);
        if (wake == Wake::Stop) {
            break;
        }
    }

    endPendingWait();
    PurgeComm(portHandle, PURGE_RXCLEAR);
    SetEvent(loopEndedEvent);
    return 0;
}

// Waits at most boundMs for the object, answering messages sent to this
// thread meanwhile: the receiver may be setting the progress text, so
// neither thread can hold the other. Posted messages (clicks, timers) stay
// queued.
void awaitAnswering(HANDLE object, DWORD boundMs) {
    DWORD startedAt = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - startedAt;
        DWORD left = boundMs == INFINITE ? INFINITE : boundMs - (spent < boundMs ? spent : boundMs);
        if (MsgWaitForMultipleObjects(1, &object, FALSE, left, QS_SENDMESSAGE) !=
            WAIT_OBJECT_0 + 1) {
            return;
        }
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

bool openLink() {
    PortOpening opening = openConfiguredPort();
    if (opening == PortOpening::NotOpened) {
        char portName[kPortNameSize];
        portDisplayName(settings.comPortIndex, portName, sizeof portName);
        reportStartFailure("Can't open the COM port!", portFailureCause(portOpenError),
                           FaultField::Port, portName, portOpenError, true);
        return false;
    }
    if (opening != PortOpening::Opened) {
        sessionFault = FaultField::Port;
        showMessage("Error on setting communication state", MB_ICONEXCLAMATION | MB_OK);
        return false;
    }

    for (HANDLE* event : {&linkStopEvent, &loopEndedEvent}) {
        if (*event == nullptr) {
            *event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
    }
    bool eventsMade =
        linkStopEvent != nullptr && loopEndedEvent != nullptr && createOperationEvents();
    if (eventsMade) {
        ResetEvent(linkStopEvent);
        ResetEvent(loopEndedEvent);
    }
    linkRunning = 1;
    receiverThread =
        eventsMade ? CreateThread(nullptr, 0, receiverThreadMain, nullptr, 0, nullptr) : nullptr;
    if (receiverThread == nullptr) {
        linkRunning = 0;
        sessionFault = FaultField::Port;
        showMessage("Can't create a reading thread!", MB_ICONEXCLAMATION | MB_OK);
        closePort();
        return false;
    }
    SetThreadPriority(receiverThread, THREAD_PRIORITY_HIGHEST);
    Sleep(100);
    return true;
}

void stopLink() {
    LinkStopSteps steps = {
        [] {
            linkRunning = 0;
            // The receiver alone uses the port until its loop has ended.
            SetEvent(linkStopEvent);
            // Every overlapped call of the loop is bounded, but a driver may
            // stall a plain one (an adapter being removed): the wait ends
            // once the receiver has made no progress for a while, and
            // closing the port lets the call go. Records in hand are
            // finished, and a message on the screen ("Failed to write
            // file!!") is waited for, as it must be.
            DWORD since = GetTickCount();
            unsigned seen = receiverProgress;
            while (WaitForSingleObject(loopEndedEvent, 0) != WAIT_OBJECT_0) {
                if (warningOnScreen || receiverProgress != seen) {
                    seen = receiverProgress;
                    since = GetTickCount();
                } else if (GetTickCount() - since >= kLoopEndBoundMs) {
                    break;
                }
                awaitAnswering(loopEndedEvent, kLoopEndLookMs);
            }
        },
        closePort,
        [](unsigned long boundMs) {
            // A thread still held by its driver after that ends on its own:
            // nothing the process keeps depends on it.
            awaitAnswering(receiverThread, boundMs);
            CloseHandle(receiverThread);
            receiverThread = nullptr;
        },
    };
    stopInOrder(steps);
}

void sendToBase(const char* bytes, std::size_t count) {
    HANDLE port = portHandle; // the receiver may open the port again meanwhile
    if (port == nullptr) {
        return;
    }
    ++receiverProgress;
    // Each thread writes through its own operation, so a write never shares
    // a record with one in flight on the other thread.
    PortOperation* write = GetCurrentThreadId() == receiverThreadId ? &ackWrite : &startWrite;
    const DWORD bound = writeBoundMs(count);
    const DWORD startedAt = GetTickCount();
    while (count > 0) {
        DWORD written = 0;
        bool succeeded = false;
        // One that never completed blocks the next: the port has stopped
        // answering, and its record must stay as it is.
        DWORD spent = GetTickCount() - startedAt;
        if (!operationFree(write, &written, &succeeded) || spent >= bound) {
            return;
        }
        // The driver may read the bytes after this returns: they go from the
        // operation's own buffer, which outlives it.
        DWORD piece =
            static_cast<DWORD>(count < sizeof write->outgoing ? count : sizeof write->outgoing);
        CopyMemory(write->outgoing, bytes, piece);
        ResetEvent(write->record.hEvent);
        write->port = port;
        BOOL started = WriteFile(port, write->outgoing, piece, nullptr, &write->record);
        // A write that times out succeeds with fewer bytes: the rest goes in
        // the next try, within what is left of the bound.
        succeeded = finishOperation(write, started, bound - spent, &written);
        std::size_t left = leftToSend(succeeded, count, written);
        bytes += count - left;
        count = left;
    }
}
