#include "link/base_link.h"

#include "app/platform.h"
#include "app/settings.h"
#include "app/win32_common.h"
#include "link/base_protocol.h"

#include <atomic>

namespace {

HANDLE portHandle = nullptr;
HANDLE receiverThread = nullptr;
// Set by stopLink: ends the receiver's wait at once, whatever the port does.
HANDLE linkStopEvent = nullptr;
std::atomic<int> linkRunning{0};

DCB lineSettings;

constexpr DWORD kQueueSize = 256;
constexpr DWORD kReadChunk = 256;
unsigned char readBuffer[kReadChunk];

// Several failed waits in a row that the program did not cause (a driver that
// cannot wait for characters, as Wine's on a pseudo-terminal) switch the
// receiver to polling the input queue; real drivers fail a wait now and then.
constexpr int kFailedWaitsBeforePolling = 8;
constexpr DWORD kPollIntervalMs = 10;
// Right after bytes came in, the base's next frame is due at once (it sends
// it on our acknowledgement): look more often for a moment, so a record
// does not wait a whole interval, while an idle line still costs little.
constexpr DWORD kBusyPollIntervalMs = 1;
constexpr DWORD kBusySpanMs = 100;
constexpr DWORD kStopRetryMs = 50;

bool stopRequested() {
    return WaitForSingleObject(linkStopEvent, 0) == WAIT_OBJECT_0;
}

// Reads everything waiting in the input queue, at most one buffer per read,
// and hands it on. Returns how many bytes it took, when the queue is empty or
// a read fails.
DWORD drainInputQueue(OVERLAPPED* readRecord) {
    DWORD taken = 0;
    while (linkRunning) {
        DWORD errors = 0;
        COMSTAT status = {};
        if (!ClearCommError(portHandle, &errors, &status) || status.cbInQue == 0) {
            return taken;
        }
        DWORD wanted = status.cbInQue < kReadChunk ? status.cbInQue : kReadChunk;
        DWORD got = 0;
        ResetEvent(readRecord->hEvent);
        BOOL done = ReadFile(portHandle, readBuffer, wanted, &got, readRecord);
        if (!done && GetLastError() == ERROR_IO_PENDING) {
            done = GetOverlappedResult(portHandle, readRecord, &got, TRUE);
        }
        if (!done) {
            ClearCommError(portHandle, &errors, nullptr);
            return taken;
        }
        if (got == 0) {
            return taken;
        }
        feedBytes(readBuffer, got);
        taken += got;
    }
    return taken;
}

// Waits for a character-received event. Returns false when the wait failed;
// *stopped tells whether it ended because the link is stopping.
bool waitForCharacters(OVERLAPPED* waitRecord, bool* stopped) {
    DWORD mask = 0;
    DWORD unused = 0;
    ResetEvent(waitRecord->hEvent);
    if (WaitCommEvent(portHandle, &mask, waitRecord)) {
        return true;
    }
    if (GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    HANDLE events[2] = {waitRecord->hEvent, linkStopEvent};
    DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woken != WAIT_OBJECT_0) {
        *stopped = true;
        // Windows ends the wait on CancelIo, Wine only when the event mask
        // changes; a wait issued just after stopLink cleared the mask was
        // missed by that change, so clear it again until the wait has ended:
        // the record and the mask must not go before the wait does.
        CancelIo(portHandle);
        while (WaitForSingleObject(waitRecord->hEvent, kStopRetryMs) == WAIT_TIMEOUT) {
            SetCommMask(portHandle, 0);
        }
        GetOverlappedResult(portHandle, waitRecord, &unused, FALSE);
        return false;
    }
    return GetOverlappedResult(portHandle, waitRecord, &unused, FALSE) != FALSE;
}

DWORD WINAPI receiverThreadMain(LPVOID) {
    OVERLAPPED waitRecord = {};
    OVERLAPPED readRecord = {};
    waitRecord.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    readRecord.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetCommMask(portHandle, EV_RXCHAR);

    int failedWaitsInRow = 0;
    bool polling = waitRecord.hEvent == nullptr;
    DWORD lastBytesAt = GetTickCount() - kBusySpanMs;
    while (linkRunning && readRecord.hEvent != nullptr) {
        if (polling) {
            DWORD interval =
                GetTickCount() - lastBytesAt < kBusySpanMs ? kBusyPollIntervalMs : kPollIntervalMs;
            if (WaitForSingleObject(linkStopEvent, interval) == WAIT_OBJECT_0) {
                break;
            }
        } else {
            bool stopped = false;
            if (!waitForCharacters(&waitRecord, &stopped)) {
                if (stopped || stopRequested()) {
                    break;
                }
                DWORD errors = 0;
                ClearCommError(portHandle, &errors, nullptr);
                if (++failedWaitsInRow >= kFailedWaitsBeforePolling) {
                    polling = true;
                }
                continue;
            }
        }
        // Whatever the event, take what is queued: bytes that came while a
        // frame was being handled are read without waiting for another.
        DWORD taken = drainInputQueue(&readRecord);
        // A driver whose waits keep ending with nothing to read is no better
        // than one whose waits fail: count those too, or the loop would spin.
        if (!polling && taken == 0 && ++failedWaitsInRow >= kFailedWaitsBeforePolling) {
            polling = true;
        } else if (taken > 0) {
            failedWaitsInRow = 0;
        }
        if (taken > 0) {
            lastBytesAt = GetTickCount();
        }
    }

    PurgeComm(portHandle, PURGE_RXCLEAR);
    if (waitRecord.hEvent != nullptr) {
        CloseHandle(waitRecord.hEvent);
    }
    if (readRecord.hEvent != nullptr) {
        CloseHandle(readRecord.hEvent);
    }
    return 0;
}

void closePort() {
    CloseHandle(portHandle);
    portHandle = nullptr;
}

} // namespace

bool openLink() {
    const char* portName = portNameFor(settings.comPortIndex);
    if (portName != nullptr) {
        portHandle = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED, nullptr);
    }
    if (portName == nullptr || portHandle == INVALID_HANDLE_VALUE) {
        portHandle = nullptr;
        showMessage("Can't open the COM port!", MB_ICONEXCLAMATION | MB_OK);
        return false;
    }
    SetupComm(portHandle, kQueueSize, kQueueSize);

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
    if (!SetCommState(portHandle, &lineSettings)) {
        showMessage("Error on setting communication state", MB_ICONEXCLAMATION | MB_OK);
        closePort();
        return false;
    }

    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD; // reads return at once with what has arrived
    timeouts.WriteTotalTimeoutMultiplier = 5;
    timeouts.WriteTotalTimeoutConstant = 50;
    SetCommTimeouts(portHandle, &timeouts);

    if (linkStopEvent == nullptr) {
        linkStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ResetEvent(linkStopEvent);
    linkRunning = 1;
    receiverThread = linkStopEvent != nullptr
                         ? CreateThread(nullptr, 0, receiverThreadMain, nullptr, 0, nullptr)
                         : nullptr;
    if (receiverThread == nullptr) {
        linkRunning = 0;
        showMessage("Can't create a reading thread!", MB_ICONEXCLAMATION | MB_OK);
        closePort();
        return false;
    }
    SetThreadPriority(receiverThread, THREAD_PRIORITY_HIGHEST);
    Sleep(100);
    return true;
}

void stopLink() {
    linkRunning = 0;
    SetEvent(linkStopEvent);
    SetCommMask(portHandle, 0);

    // The receiver may be setting the progress text, a message sent to this
    // thread: keep answering sent messages while waiting, so neither thread
    // can hold the other. Posted messages (clicks, timers) stay queued.
    for (;;) {
        DWORD woken =
            MsgWaitForMultipleObjects(1, &receiverThread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken != WAIT_OBJECT_0 + 1) {
            break;
        }
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(receiverThread);
    receiverThread = nullptr;
    closePort();
}

void sendToBase(const char* bytes, std::size_t count) {
    if (portHandle == nullptr || count == 0) {
        return;
    }
    // Each write has its own record and event, and completes within the
    // write timeouts, so no record is shared between threads.
    OVERLAPPED writeRecord = {};
    writeRecord.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (writeRecord.hEvent == nullptr) {
        return;
    }
    DWORD written = 0;
    if (!WriteFile(portHandle, bytes, static_cast<DWORD>(count), &written, &writeRecord) &&
        GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(portHandle, &writeRecord, &written, TRUE);
    }
    CloseHandle(writeRecord.hEvent);
}
