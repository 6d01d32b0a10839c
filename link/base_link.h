// The serial port to the base and the receiver thread that feeds the frame
// assembler.
#pragma once

#include <cstddef>

// Opens and configures the port that comPortIndex names and starts the
// receiver thread. On failure a message has been shown and nothing stays open.
bool openLink();

// Ends the receiver's loop, closes the port and waits a bounded time for the
// receiver thread to end.
void stopLink();

// Whether the last stop saw the receiver thread end. One held by its driver
// past the stop may still wake and read: no second session may start then.
bool linkLetGo();

// The portable decisions of the link, apart from Win32 so that they are
// tested natively.

// A write of n bytes ends within its timeouts, 50 ms and 5 ms a byte; a
// driver that does not honour them has it cancelled after a margin. The
// bound runs from the first try, further tries included.
constexpr unsigned long kWriteTimeoutConstantMs = 50;
constexpr unsigned long kWriteTimeoutPerByteMs = 5;
constexpr unsigned long kWriteMarginMs = 100;
constexpr unsigned long writeBoundMs(std::size_t count) {
    return kWriteTimeoutConstantMs + kWriteTimeoutPerByteMs * static_cast<unsigned long>(count) +
           kWriteMarginMs;
}

// What is left to send once a try at sending `left` bytes has completed and
// the driver reports `taken` of them written. A write that times out on
// serial.sys succeeds with fewer bytes: the rest is sent next. A failed one
// (usbser.sys fails a write that times out) leaves nothing: what is left is
// dropped, never sent again from the start.
constexpr std::size_t leftToSend(bool succeeded, std::size_t left, std::size_t taken) {
    return !succeeded || taken >= left ? 0 : left - taken;
}

// The stop's steps in an order that no driver can hold. Windows lets a
// thread end only once its pending I/O completes (or after the I/O manager's
// five-minute cancel time-out), and closing the port is what makes a driver
// complete it: so the receiver's loop ends first (a frame in hand is
// finished, and a message on the screen is waited for), then the port is
// closed, and only then is the thread waited for, a bounded time.
constexpr unsigned long kThreadEndBoundMs = 2000;
struct LinkStopSteps {
    void (*endLoop)();
    void (*closePort)();
    void (*awaitThread)(unsigned long boundMs);
};
inline void stopInOrder(const LinkStopSteps& steps) {
    steps.endLoop();
    steps.closePort();
    steps.awaitThread(kThreadEndBoundMs);
}
