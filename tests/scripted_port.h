// A serial port whose driver is scripted, with its own clock: the receiver's
// loop runs against it on the test's thread, as drivers that fail quietly
// behave on Windows.
#pragma once

#include "link/port.h"

#include <functional>
#include <string>
#include <vector>

namespace script {

enum class Driver {
    Healthy,
    // An adapter pulled out on a driver that fails quietly: reads succeed
    // with no bytes, every other call fails.
    QuietDead,
    // Takes the queued bytes into a read and neither completes nor cancels it.
    HoldsReads,
};

// The records of one opening, as the driver holds them.
struct Opening {
    bool readHeld = false;
    bool readCompleted = false; // the held read completed later, into its own record
    std::string heldBytes;
    bool writeHeld = false;
};

struct Port {
    unsigned long now = 0;
    Driver driver = Driver::Healthy;
    bool present = true;
    // The event path; else every wait ends aborted at once, as Wine's on a
    // pseudo-terminal.
    bool waitsWork = true;
    std::string queued; // received, not yet read
    // Per write try: 'w' whole, 's' four bytes taken, 'z' none taken, 'f'
    // failed without a count, 'h' held; whole once it runs out.
    std::string writeScript;
    std::string line; // what reached the base
    std::vector<Opening> openings;
    int current = 0; // the open opening's number, 0 when closed
    int closes = 0;
    int callsAfterStop = 0;
    bool stopAsked = false;
    std::function<void()> onOpen; // runs inside the next opening
    std::vector<std::pair<unsigned long, std::function<void()>>> timeline;
    std::size_t nextEvent = 0;
};

extern Port port;

// Resets the port and every fake, and the receiver.
void reset();
// Runs `what` once the clock reaches `ms`; in the order given.
void at(unsigned long ms, std::function<void()> what);
// The terminal sends bytes; they reach the queue only while the device is there.
void arrive(const std::string& bytes);
// Close is pressed at `ms`.
void stopAt(unsigned long ms);
// Runs the receiver's loop until it ends.
void run();

std::string record(const std::string& payload);
std::string answer(const char* verdict);

} // namespace script
