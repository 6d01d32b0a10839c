#include "link/serial_port_win32.h"

#include "app/settings.h"
#include "link/base_link.h"

#include <initializer_list>

std::atomic<HANDLE> portHandle{nullptr};
DWORD portOpenError = ERROR_SUCCESS;
PortOperation characterWait;
PortOperation portRead;
PortOperation ackWrite;
PortOperation startWrite;

namespace {

// Applied whole, never read from the port.
DCB lineSettings;
constexpr DWORD kQueueSize = 256;

} // namespace

bool createOperationEvents() {
    for (PortOperation* operation : {&characterWait, &portRead, &ackWrite, &startWrite}) {
        if (operation->record.hEvent == nullptr) {
            // Manual reset, as the port's waits require.
            operation->record.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        }
        if (operation->record.hEvent == nullptr) {
            return false;
        }
    }
    return true;
}

bool operationFree(PortOperation* operation, DWORD* transferred, bool* succeeded) {
    *transferred = 0;
    *succeeded = false;
    if (operation->pending && WaitForSingleObject(operation->record.hEvent, 0) == WAIT_OBJECT_0) {
        operation->pending = false;
        *succeeded =
            GetOverlappedResult(operation->port, &operation->record, transferred, FALSE) != FALSE;
    }
    return !operation->pending;
}

bool finishOperation(PortOperation* operation, BOOL started, DWORD boundMs, DWORD* transferred) {
    *transferred = 0;
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    HANDLE done = operation->record.hEvent;
    if (WaitForSingleObject(done, boundMs) != WAIT_OBJECT_0) {
        CancelIoEx(operation->port, &operation->record);
        if (WaitForSingleObject(done, kCancelGraceMs) != WAIT_OBJECT_0) {
            operation->pending = true;
            return false;
        }
    }
    return GetOverlappedResult(operation->port, &operation->record, transferred, FALSE) != FALSE;
}

// What ClearCommError reports of a byte received wrong or lost: a framing
// error, a parity error, an overrun ("the next character is lost"), an input
// buffer overflow, a break.
constexpr DWORD kLineErrors = CE_FRAME | CE_RXPARITY | CE_OVERRUN | CE_RXOVER | CE_BREAK;

bool lineErrorsCleared(COMSTAT* status) {
    DWORD errors = 0;
    return ClearCommError(portHandle, &errors, status) && (errors & kLineErrors) != 0;
}

PortOpening openConfiguredPort() {
    char portName[kPortNameSize];
    HANDLE port = !portDeviceName(settings.comPortIndex, portName, sizeof portName)
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        portOpenError = portName[0] != '\0' ? GetLastError() : ERROR_FILE_NOT_FOUND;
        return PortOpening::NotOpened;
    }
    portHandle = port;
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
    // Flow control stays off both ways, yet Windows refuses a record whose
    // XON and XOFF characters are equal: give them the usual DC1 and DC3.
    // The XON and XOFF limits stay 0, which every driver's check (0 up to
    // its buffer size) accepts.
    lineSettings.XonChar = 0x11;
    lineSettings.XoffChar = 0x13;
    if (!SetCommState(portHandle, &lineSettings)) {
        closePort();
        return PortOpening::NotConfigured;
    }

    COMMTIMEOUTS timeouts = {};
    timeouts.ReadIntervalTimeout = MAXDWORD; // reads return at once with what has arrived
    timeouts.WriteTotalTimeoutMultiplier = kWriteTimeoutPerByteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutConstantMs;
    SetCommTimeouts(portHandle, &timeouts);
    return PortOpening::Opened;
}

void closePort() {
    HANDLE port = portHandle.exchange(nullptr);
    if (port != nullptr) {
        CloseHandle(port);
    }
}
