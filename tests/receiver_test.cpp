// The receiver's loop against drivers that fail quietly. Each row says what
// the receiver did before its decisions were made here.
#include "link/base_link.h"
#include "link/base_protocol.h"
#include "link/receiver.h"
#include "tests/fake_platform.h"
#include "tests/scripted_port.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using script::answer;
using script::arrive;
using script::at;
using script::Driver;
using script::port;
using script::record;
using Texts = std::vector<std::string>;

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
    script::stopAt(4000);
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
    script::stopAt(1200);
    script::run();

    EXPECT_EQ(fake::platform.fileBytes, "TRIED\r\n");
    EXPECT_EQ(fake::platform.progressTexts, Texts{"Received : 1 record"});
    EXPECT_EQ(port.line, "");
}

// Before: the old handle's read shared its record with the new handle, and
// its late completion was handed to the new line.
TEST(Receiver, LateCompletionOfTheOldHandlesReadNeverReachesTheNewLine) {
    script::reset();
    at(5, [] { port.driver = Driver::HoldsReads; });
    at(10, [] { arrive(record("OLD")); }); // taken into a read the driver keeps
    at(100, [] { port.driver = Driver::Healthy; });
    at(500, [] { port.openings[0].readCompleted = true; });
    at(600, [] { arrive(record("NEW")); });
    script::stopAt(1000);
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
        sendAcknowledgement(1, '1', "OK");
        EXPECT_EQ(port.line, row.line) << row.script;
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
        {"ends at once", {0, 400, 0, 0}, true, 400},
        {"held by its driver", {0, 0, 0, 0}, false, kLoopEndBoundMs + kLoopEndLookMs},
        {"a warning up for 10 s", {0, 10100, 10000, 0}, true, 10100},
        {"working for 6 s, then held",
         {0, 0, 0, 6000},
         false,
         6000 + kLoopEndBoundMs + kLoopEndLookMs},
    };
    for (const Row& row : rows) {
        watched = row.watched;
        bool ended = awaitLoopEnd({
            loopEndedWithin,
            [] { return watched.now < watched.warningUntil; },
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
