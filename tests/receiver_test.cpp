// The receiver's loop against a scripted port whose drivers fail quietly,
// as USB serial drivers do on Windows; the port keeps a clock of its own and
// each opening its own operations. Each row says what the receiver did
// before its decisions were made here.
#include "link/base_link.h"
#include "link/base_protocol.h"
#include "link/port.h"
#include "link/receiver.h"
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace script {

enum class Driver {
    Healthy,
    QuietDead,  // an adapter pulled out: reads succeed with no bytes, all else fails
    HoldsReads, // takes the bytes into a read and neither completes nor cancels it
};

struct Opening {
    bool readHeld = false;
    bool writeHeld = false;
};

struct Port {
    unsigned long now = 0;
    Driver driver = Driver::Healthy;
    bool present = true;
    bool waitsWork = true; // else every wait ends aborted, as Wine's on a pseudo-terminal
    std::string queued;    // received, not yet read
    // Per write try: 'w' whole, 's' four bytes taken, 'z' none taken, 'f'
    // failed without a count, 'h' held for good; whole once it runs out.
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
Port port;

namespace {

// Windows' codes for what the scripted drivers report.
constexpr unsigned long kInvalidHandle = 6;
constexpr unsigned long kSemTimeout = 121;
constexpr unsigned long kOperationAborted = 995;
constexpr unsigned long kDeviceNotConnected = 1167;

} // namespace

void advance(unsigned long ms) {
    for (unsigned long i = 0; i < ms; ++i) {
        ++port.now;
        while (port.nextEvent < port.timeline.size() &&
               port.timeline[port.nextEvent].first <= port.now) {
            port.timeline[port.nextEvent++].second();
        }
        if (port.now > 120000) { // far beyond any row: a loop that never ends
            throw std::runtime_error("the receiver's loop did not end");
        }
    }
}

Opening* live() {
    port.callsAfterStop += port.stopAsked ? 1 : 0;
    return port.current == 0 ? nullptr : &port.openings[port.current - 1];
}

PortOutcome failed(unsigned long error) {
    PortOutcome outcome;
    outcome.error = error;
    return outcome;
}

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

void run() {
    unsigned long error = 0;
    if (portOpen(&error) != PortOpening::Opened) {
        throw std::runtime_error("the port did not open");
    }
    linkRunning = 1;
    runReceiver();
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
        *error = 2; // not found
        return PortOpening::NotOpened;
    }
    port.openings.emplace_back();
    port.current = static_cast<int>(port.openings.size());
    return PortOpening::Opened;
}

void portClose() {
    port.closes += port.current != 0 ? 1 : 0;
    port.current = 0;
}

PortOutcome portLineStatus() {
    if (script::live() == nullptr || port.driver == Driver::QuietDead) {
        return script::failed(port.current == 0 ? script::kInvalidHandle
                                                : script::kDeviceNotConnected);
    }
    PortOutcome outcome;
    outcome.succeeded = true;
    outcome.count = port.queued.size();
    return outcome;
}

PortWake portAwaitCharacters(unsigned long boundMs, PortOutcome* outcome) {
    *outcome = portLineStatus(); // fails as the line status does
    if (!outcome->succeeded) {
        return PortWake::Failed;
    }
    if (!port.waitsWork) { // ends aborted at once, not by our cancel
        script::advance(1);
        *outcome = script::failed(script::kOperationAborted);
        return port.stopAsked ? PortWake::Stop : PortWake::Failed;
    }
    for (unsigned long waited = 0; waited < boundMs; ++waited) {
        if (port.stopAsked) {
            return PortWake::Stop;
        }
        if (!port.queued.empty()) {
            return PortWake::Characters;
        }
        script::advance(1);
    }
    return PortWake::TimedOut;
}

PortOutcome portRead(unsigned char* into, std::size_t wanted, unsigned long boundMs) {
    script::Opening* opening = script::live();
    if (opening == nullptr) {
        return script::failed(script::kInvalidHandle);
    }
    PortOutcome outcome;
    std::size_t taken = std::min(wanted, port.queued.size());
    if (opening->readHeld || port.driver == Driver::HoldsReads) {
        // The driver takes the bytes and neither completes nor cancels the read.
        opening->readHeld = true;
        port.queued.erase(0, taken);
        script::advance(boundMs);
        outcome.held = true;
        return outcome;
    }
    outcome.succeeded = true; // a quiet dead driver: and no bytes, ever
    if (port.driver == Driver::Healthy) {
        std::memcpy(into, port.queued.data(), taken);
        port.queued.erase(0, taken);
        outcome.count = taken;
    }
    return outcome;
}

PortOutcome portWrite(PortWriter, const char* bytes, std::size_t count, unsigned long boundMs) {
    script::Opening* opening = script::live();
    if (opening == nullptr || port.driver == Driver::QuietDead) {
        return script::failed(opening == nullptr ? script::kInvalidHandle
                                                 : script::kDeviceNotConnected);
    }
    PortOutcome outcome;
    char step = port.writeScript.empty() ? 'w' : port.writeScript[0];
    if (!port.writeScript.empty()) {
        port.writeScript.erase(0, 1);
    }
    opening->writeHeld = opening->writeHeld || step == 'h';
    if (opening->writeHeld) {
        script::advance(boundMs);
        outcome.held = true;
        return outcome;
    }
    if (step != 'w') {
        script::advance(50); // the write's timeout
    }
    if (step == 'f') {
        return script::failed(script::kSemTimeout);
    }
    std::size_t piece = std::min<std::size_t>(count, step == 's' ? 4 : step == 'z' ? 0 : 16);
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

namespace {

using script::arrive;
using script::at;
using script::Driver;
using script::port;
using Texts = std::vector<std::string>;

std::string record(const std::string& payload) {
    return "@DT0001I41" + payload + "\r";
}
std::string answer(const char* verdict) {
    return std::string("@DT01I41") + verdict + "\r";
}

// Close is pressed at `ms`.
void stopAt(unsigned long ms) {
    at(ms, [] {
        linkRunning = 0;
        port.stopAsked = true;
    });
}

const char* const kLost = "COM1 lost: replug the adapter in the same USB socket, or Close";

void pull() {
    port.driver = Driver::QuietDead;
    port.present = false;
    port.queued.clear();
}

void plugBack() {
    port.driver = Driver::Healthy;
    port.present = true;
}

// Both ways the receiver learns of bytes: a wait that wakes it, and waits
// that keep failing (it then looks at intervals).
class ReceivePaths : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Receiver, ReceivePaths, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "event" : "polling"; });

// Before: a read that succeeds empty reset the failure count, so the dead
// handle stayed open, held the port's name, and nothing was read after the
// replug; the progress text kept the count.
TEST_P(ReceivePaths, QuietDriverAfterThePullIsLetGoAndReadingResumesOnceTheAdapterIsBack) {
    script::reset();
    port.waitsWork = GetParam();
    at(10, [] { arrive(record("BEFORE")); });
    at(300, [] { arrive("@DT0001I41HA"); }); // cut by the pull
    at(400, pull);
    at(2000, plugBack);
    at(2600, [] { arrive("LF\r" + record("AFTER")); });
    stopAt(4000);
    script::run();

    EXPECT_EQ(fake::platform.fileBytes, "BEFORE\r\nAFTER\r\n");
    EXPECT_EQ(port.line, answer("OK") + answer("OK"));
    EXPECT_EQ(fake::platform.progressTexts,
              (Texts{"Received : 1 record", kLost, "Received : 1 record", "Received : 2 records"}));
    EXPECT_EQ(port.openings.size(), 2u);
    EXPECT_EQ(port.current, 0) << "the port stays held after the session";
}

// Before: every try was stored, and none answered: one record three times.
TEST(Receiver, AnswerThatNeverCompletesLetsTheTerminalsTriesBeStoredOnce) {
    script::reset();
    port.writeScript = "h";
    for (unsigned long ms : {10ul, 400ul, 800ul}) {
        at(ms, [] { arrive(record("TRIED")); });
    }
    stopAt(1200);
    script::run();

    EXPECT_EQ(fake::platform.fileBytes, "TRIED\r\n");
    EXPECT_EQ(fake::platform.progressTexts, Texts{"Received : 1 record"});
    EXPECT_EQ(port.line, "");
}

// Before: the old handle's read shared its record with the new handle, and
// its late completion was handed to the new line. Here: a read the driver
// keeps judges the port gone, and what it took is never stored (the records
// of each opening, which keep a late completion apart, are Win32's).
TEST(Receiver, ReadTheDriverKeepsLetsThePortGoAndWhatItTookIsNeverStored) {
    script::reset();
    at(5, [] { port.driver = Driver::HoldsReads; });
    at(10, [] { arrive(record("OLD")); }); // taken into a read the driver keeps
    at(100, [] { port.driver = Driver::Healthy; });
    at(600, [] { arrive(record("NEW")); });
    stopAt(1000);
    script::run();

    EXPECT_EQ(port.openings.size(), 2u);
    EXPECT_EQ(fake::platform.fileBytes, "NEW\r\n");
    EXPECT_EQ(port.line, answer("OK"));
}

// Before: the stop closed no handle (there was none yet), and the receiver
// then kept the one its opening brought: the port stayed held.
TEST_P(ReceivePaths, OpeningThatStallsPastCloseIsClosedByTheReceiver) {
    script::reset();
    port.waitsWork = GetParam();
    at(100, pull);
    at(900, [] {
        plugBack();
        port.onOpen = [] { // Close is pressed while the opening connects
            linkRunning = 0;
            port.stopAsked = true;
        };
    });
    script::run();

    EXPECT_EQ(port.openings.size(), 2u);
    EXPECT_EQ(port.current, 0);
    EXPECT_EQ(port.closes, 2);
    EXPECT_EQ(port.callsAfterStop, 0);
    // Nothing written into the texts the session's end uses by then.
    EXPECT_EQ(fake::platform.progressTexts, Texts{kLost});
}

// What goes on the line for each way a write try ends. Before: the same,
// but untested beyond its arithmetic.
TEST(Receiver, AnswerWritesSendTheRestOfAShortTryAndNothingAfterAFailedOne) {
    const std::string ok = answer("OK");
    struct Row {
        const char* script;
        std::string line;
    } rows[] = {
        {"w", ok},
        {"s", ok},                    // timed out after 4 bytes (serial.sys)
        {"f", ""},                    // failed without a count (usbser.sys)
        {"sf", ok.substr(0, 4)},      // the rest is dropped, never sent again
        {"zzzzzzzzzzzzzzzzzzzz", ""}, // nothing taken: given up at its bound
    };
    for (const Row& row : rows) {
        script::reset();
        port.writeScript = row.script;
        unsigned long error = 0;
        ASSERT_EQ(portOpen(&error), PortOpening::Opened);
        frameInHand = true;
        sendAcknowledgement(1, '1', "OK");
        EXPECT_EQ(port.line, row.line) << row.script;
        EXPECT_FALSE(frameInHand) << row.script << ": the stop would wait for an answer gone";
        EXPECT_LE(port.now, writeBoundMs(11) + 50) << row.script;
    }
}

TEST(Receiver, OnlyCallsTheDeviceFailedOrNeverLetGoSayItIsGone) {
    struct Row {
        PortCall call;
        bool succeeded;
        std::size_t count;
        bool cancelledByUs;
        bool held;
        PortSign sign;
    } rows[] = {
        {PortCall::Read, true, 0, false, false, PortSign::Neutral}, // a pulled quiet driver
        {PortCall::Read, true, 5, false, false, PortSign::Alive},
        {PortCall::Read, false, 0, true, false, PortSign::Neutral}, // our cancel, answered
        {PortCall::Read, false, 3, false, false, PortSign::Failing},
        {PortCall::Read, false, 0, true, true, PortSign::Gone},      // held past its cancel
        {PortCall::Wait, false, 0, false, false, PortSign::Failing}, // aborted, not by us
        {PortCall::Wait, false, 0, false, true, PortSign::Gone},
        {PortCall::Wait, true, 0, false, false, PortSign::Alive},
        {PortCall::LineStatus, false, 0, false, false, PortSign::Failing},
        {PortCall::LineStatus, true, 0, false, false, PortSign::Alive},
        {PortCall::Write, false, 0, false, false, PortSign::Failing}, // usbser.sys's timeout
        {PortCall::Write, true, 0, false, false, PortSign::Neutral},
        {PortCall::Write, true, 11, false, false, PortSign::Alive},
        {PortCall::Write, false, 0, false, true, PortSign::Failing}, // cannot start
    };
    for (const Row& row : rows) {
        PortOutcome outcome;
        outcome.succeeded = row.succeeded;
        outcome.count = row.count;
        outcome.cancelledByUs = row.cancelledByUs;
        outcome.held = row.held;
        EXPECT_EQ(signOf(row.call, outcome), row.sign)
            << static_cast<int>(row.call) << " " << row.succeeded << " " << row.count << " "
            << row.cancelledByUs << " " << row.held;
    }
}

// The stop's wait for the receiver's loop, on a clock of its own.
struct Watched {
    unsigned long now;
    unsigned long loopEndsAt; // 0: held for good
    unsigned long warningUntil;
    unsigned long progressUntil;
    unsigned long frameUntil; // a record in hand until then
} watched;

bool loopEndedWithin(unsigned long ms) {
    for (unsigned long waited = 0; waited < ms; ++waited) {
        if (watched.loopEndsAt != 0 && watched.now >= watched.loopEndsAt) {
            return true;
        }
        ++watched.now;
    }
    return watched.loopEndsAt != 0 && watched.now >= watched.loopEndsAt;
}

// Before: a warning kept the stop waiting, but removing that passed every test.
TEST(Receiver, StopWaitsForTheLoopWhileItWorksOrAWarningIsUpAndGivesUpOnceItIsHeld) {
    struct Row {
        const char* what;
        Watched watched;
        bool ended;
        unsigned long byMs;
    } rows[] = {
        {"ends at once", {0, 400, 0, 0, 0}, true, 400},
        {"held by its driver", {0, 0, 0, 0, 0}, false, kLoopEndBoundMs + kLoopEndLookMs},
        {"a warning up for 10 s", {0, 10100, 10000, 0, 0}, true, 10100},
        {"working for 6 s, then held",
         {0, 0, 0, 6000, 0},
         false,
         6000 + kLoopEndBoundMs + kLoopEndLookMs},
        // Before: given up after 3 s, the record was stored and never answered.
        {"a record's line written for 10 s", {0, 10100, 0, 0, 10100}, true, 10100},
        {"a record in hand, held for good",
         {0, 0, 0, 0, 1000000},
         false,
         kFrameInHandBoundMs + kLoopEndLookMs},
    };
    for (const Row& row : rows) {
        watched = row.watched;
        bool ended = awaitLoopEnd({
            loopEndedWithin,
            [] { return watched.now < watched.warningUntil; },
            [] { return watched.now < watched.frameUntil; },
            [] { return static_cast<unsigned>(std::min(watched.now, watched.progressUntil)); },
            [] { return watched.now; },
        });
        EXPECT_EQ(ended, row.ended) << row.what;
        EXPECT_LE(watched.now, row.byMs) << row.what;
        EXPECT_GE(watched.now, row.ended ? row.watched.loopEndsAt : row.byMs - kLoopEndLookMs)
            << row.what;
    }
}

// Windows lets a thread end only once its driver lets its I/O go, which the
// close brings about: the port closes before the thread is waited for.
TEST(Receiver, StopClosesThePortBeforeItWaitsABoundedTimeForTheThread) {
    static std::string steps;
    steps.clear();
    stopInOrder({[] { steps += "loop;"; }, [] { steps += "close;"; },
                 [](unsigned long boundMs) { steps += boundMs <= 2000 ? "thread;" : "minutes;"; }});
    EXPECT_EQ(steps, "loop;close;thread;");
}

} // namespace
