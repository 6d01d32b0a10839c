#include "link/base_link.h"

#include "app/platform.h"
#include "app/settings.h"
#include "app/win32_common.h"
#include "link/port.h"
#include "link/receiver.h"
#include "link/serial_port_win32.h"
#include "link/start_failure_win32.h"

#include <atomic>
#include <initializer_list>

namespace {

HANDLE receiverThread = nullptr;
bool receiverLetGo = true;
// Set by the receiver when its loop has ended: all it does after that is end.
HANDLE loopEndedEvent = nullptr;
std::atomic<DWORD> receiverThreadId{0};

DWORD WINAPI receiverThreadMain(LPVOID) {
    receiverThreadId = GetCurrentThreadId();
    runReceiver();
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
    resetReceiver();
    unsigned long error = 0;
    PortOpening opening = portOpen(&error);
    if (opening == PortOpening::NotOpened) {
        char portName[kPortNameSize];
        portDisplayName(settings.comPortIndex, portName, sizeof portName);
        reportStartFailure("Can't open the COM port!", portFailureCause(error), FaultField::Port,
                           portName, error, true);
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
    bool eventsMade = linkStopEvent != nullptr && loopEndedEvent != nullptr;
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
        portClose();
        return false;
    }
    SetThreadPriority(receiverThread, THREAD_PRIORITY_HIGHEST);
    Sleep(100);
    return true;
}

bool linkLetGo() {
    return receiverLetGo;
}

void stopLink() {
    LinkStopSteps steps = {
        [] {
            linkRunning = 0;
            // The receiver alone uses the port until its loop has ended.
            SetEvent(linkStopEvent);
            // Every overlapped call of the loop is bounded, but a driver may
            // stall a plain one (an adapter being removed, a Bluetooth port
            // connecting): closing the port lets the call go, and a port the
            // receiver opens after that it closes itself.
            awaitLoopEnd({
                [](unsigned long ms) {
                    awaitAnswering(loopEndedEvent, ms);
                    return WaitForSingleObject(loopEndedEvent, 0) == WAIT_OBJECT_0;
                },
                [] { return warningOnScreen.load(); },
                [] { return frameInHand.load(); },
                [] { return receiverProgress.load(); },
                [] { return static_cast<unsigned long>(GetTickCount()); },
            });
        },
        portClose,
        [](unsigned long boundMs) {
            // A thread still held by its driver after that ends on its own,
            // as long as no other session starts beside it.
            awaitAnswering(receiverThread, boundMs);
            receiverLetGo = receiverThread == nullptr ||
                            WaitForSingleObject(receiverThread, 0) == WAIT_OBJECT_0;
            CloseHandle(receiverThread);
            receiverThread = nullptr;
        },
    };
    stopInOrder(steps);
}

void sendToBase(const char* bytes, std::size_t count) {
    // Each thread writes through its own operation, so a write never shares
    // a record with one in flight on the other thread.
    sendThrough(GetCurrentThreadId() == receiverThreadId ? PortWriter::Answer
                                                         : PortWriter::StartCommand,
                bytes, count);
}
