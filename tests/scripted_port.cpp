#include "tests/scripted_port.h"

#include "link/receiver.h"
#include "tests/fake_platform.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace script {

Port port;

namespace {

// Far beyond any row: a loop that never ends fails its test instead.
constexpr unsigned long kClockLimitMs = 120000;
// Windows' codes for what the scripted driver reports.
constexpr unsigned long kFileNotFound = 2;
constexpr unsigned long kInvalidHandle = 6;
constexpr unsigned long kSemTimeout = 121;
constexpr unsigned long kOperationAborted = 995;
constexpr unsigned long kDeviceNotConnected = 1167;
constexpr std::size_t kWritePiece = 16;

void advance(unsigned long ms) {
    for (unsigned long i = 0; i < ms; ++i) {
        ++port.now;
        while (port.nextEvent < port.timeline.size() &&
               port.timeline[port.nextEvent].first <= port.now) {
            port.timeline[port.nextEvent++].second();
        }
        if (port.now > kClockLimitMs) {
            throw std::runtime_error("the receiver's loop did not end");
        }
    }
}

Opening* open() {
    if (port.stopAsked) {
        ++port.callsAfterStop;
    }
    return port.current == 0 ? nullptr : &port.openings[port.current - 1];
}

PortOutcome failed(unsigned long error) {
    PortOutcome outcome;
    outcome.error = error;
    return outcome;
}

} // namespace

void reset() {
    fake::resetAll();
    resetReceiver();
    port = Port{};
}

void at(unsigned long ms, std::function<void()> what) {
    port.timeline.emplace_back(ms, std::move(what));
    std::stable_sort(port.timeline.begin(), port.timeline.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

void arrive(const std::string& bytes) {
    if (port.present && port.driver != Driver::QuietDead) {
        port.queued += bytes;
    }
}

void stopAt(unsigned long ms) {
    at(ms, [] {
        linkRunning = 0;
        port.stopAsked = true;
    });
}

void run() {
    unsigned long error = 0;
    if (portOpen(&error) != PortOpening::Opened) {
        throw std::runtime_error("the port did not open");
    }
    linkRunning = 1;
    runReceiver();
}

std::string record(const std::string& payload) {
    return "@DT0001I41" + payload + "\r";
}

std::string answer(const char* verdict) {
    return std::string("@DT01I41") + verdict + "\r";
}

} // namespace script

using script::Driver;
using script::port;

PortOpening portOpen(unsigned long* error) {
    if (port.onOpen) {
        auto during = std::move(port.onOpen);
        port.onOpen = nullptr;
        during();
    }
    if (!port.present) {
        *error = script::kFileNotFound;
        return PortOpening::NotOpened;
    }
    port.openings.emplace_back();
    port.current = static_cast<int>(port.openings.size());
    return PortOpening::Opened;
}

void portClose() {
    if (port.current != 0) {
        ++port.closes;
        port.current = 0;
    }
}

PortOutcome portLineStatus() {
    if (script::open() == nullptr) {
        return script::failed(script::kInvalidHandle);
    }
    if (port.driver == Driver::QuietDead) {
        return script::failed(script::kDeviceNotConnected);
    }
    PortOutcome outcome;
    outcome.succeeded = true;
    outcome.count = port.queued.size();
    return outcome;
}

PortWake portAwaitCharacters(unsigned long boundMs, PortOutcome* outcome) {
    *outcome = PortOutcome{};
    if (script::open() == nullptr || port.driver == Driver::QuietDead) {
        *outcome = script::failed(port.current == 0 ? script::kInvalidHandle
                                                    : script::kDeviceNotConnected);
        return PortWake::Failed;
    }
    if (!port.waitsWork) {
        script::advance(1);
        *outcome = script::failed(script::kOperationAborted);
        return port.stopAsked ? PortWake::Stop : PortWake::Failed;
    }
    for (unsigned long waited = 0; waited < boundMs; ++waited) {
        if (port.stopAsked) {
            return PortWake::Stop;
        }
        if (!port.queued.empty()) {
            outcome->succeeded = true;
            return PortWake::Characters;
        }
        script::advance(1);
    }
    return PortWake::TimedOut;
}

PortOutcome portRead(unsigned char* into, std::size_t wanted, unsigned long boundMs) {
    script::Opening* opening = script::open();
    if (opening == nullptr) {
        return script::failed(script::kInvalidHandle);
    }
    PortOutcome outcome;
    if (opening->readHeld && !opening->readCompleted) {
        outcome.held = true;
        return outcome;
    }
    if (port.driver == Driver::QuietDead) {
        outcome.succeeded = true; // and no bytes, ever
        return outcome;
    }
    std::size_t taken = std::min(wanted, port.queued.size());
    if (port.driver == Driver::HoldsReads) {
        opening->readHeld = true;
        opening->heldBytes = port.queued.substr(0, taken);
        port.queued.erase(0, taken);
        script::advance(boundMs);
        outcome.held = true;
        return outcome;
    }
    std::memcpy(into, port.queued.data(), taken);
    port.queued.erase(0, taken);
    outcome.succeeded = true;
    outcome.count = taken;
    return outcome;
}

PortOutcome portWrite(PortWriter, const char* bytes, std::size_t count, unsigned long boundMs) {
    script::Opening* opening = script::open();
    if (opening == nullptr) {
        return script::failed(script::kInvalidHandle);
    }
    PortOutcome outcome;
    if (opening->writeHeld) {
        outcome.held = true;
        return outcome;
    }
    if (port.driver == Driver::QuietDead) {
        return script::failed(script::kDeviceNotConnected);
    }
    char step = 'w';
    if (!port.writeScript.empty()) {
        step = port.writeScript[0];
        port.writeScript.erase(0, 1);
    }
    std::size_t piece = std::min(count, script::kWritePiece);
    switch (step) {
    case 'h':
        opening->writeHeld = true;
        script::advance(boundMs);
        outcome.held = true;
        return outcome;
    case 'f':
        script::advance(50);
        return script::failed(script::kSemTimeout);
    case 's':
        piece = std::min<std::size_t>(piece, 4);
        script::advance(50);
        break;
    case 'z':
        piece = 0;
        script::advance(50);
        break;
    default:
        break;
    }
    port.line.append(bytes, piece);
    outcome.succeeded = true;
    outcome.count = piece;
    return outcome;
}

bool portWriterFree(PortWriter) {
    return port.current != 0 && !port.openings[port.current - 1].writeHeld;
}

void portEndWait() {}

void portDiscardInput() {
    if (port.current != 0 && port.driver == Driver::Healthy) {
        port.queued.clear();
    }
}

unsigned long portNowMs() {
    return port.now;
}

bool portAwaitStop(unsigned long ms) {
    for (unsigned long waited = 0; waited < ms && !port.stopAsked; ++waited) {
        script::advance(1);
    }
    return port.stopAsked;
}

// The answers go out through the receiver's own sending, as in the program.
void sendToBase(const char* bytes, std::size_t count) {
    sendThrough(PortWriter::Answer, bytes, count);
}
