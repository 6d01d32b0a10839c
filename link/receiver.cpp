#include "link/receiver.h"

#include "app/platform.h"
#include "app/settings.h"
#include "link/base_link.h"
#include "link/base_protocol.h"

#include <cstdio>

std::atomic<int> linkRunning{0};
std::atomic<unsigned> receiverProgress{0};
std::atomic<bool> frameInHand{false};
bool portLost = false;

namespace {

constexpr std::size_t kReadChunk = 256;
unsigned char readBuffer[kReadChunk];

// A wait for received characters ends at least this often, and the receiver
// reads what has arrived: some drivers signal less than they receive.
constexpr unsigned long kWaitBoundMs = 100;
// With the read timeouts set, a read returns at once; a driver that keeps it
// longer has it cancelled.
constexpr unsigned long kReadBoundMs = 100;
// Several waits in a row that fail, or end with nothing to read (a driver
// that cannot wait for characters, as Wine's on a pseudo-terminal), switch
// the receiver to looking at the line at intervals; real drivers fail a wait
// now and then.
constexpr int kIdleWakesBeforePolling = 8;
constexpr unsigned long kPollIntervalMs = 10;
// Right after bytes came in, the base's next frame is due at once (it sends
// it on our acknowledgement): look more often for a moment, so a record
// does not wait a whole interval, while an idle line still costs little.
constexpr unsigned long kBusyPollIntervalMs = 1;
constexpr unsigned long kBusySpanMs = 100;
// Calls that fail in a row, with no call between them that the device
// answered, mean a device gone (an adapter pulled out): its port is let go
// and opened again at this interval until it is back; the session goes on.
constexpr int kFailuresBeforeGone = 3;
constexpr unsigned long kGonePollIntervalMs = 250;

int failingInRow = 0;

bool judgedGone() {
    return failingInRow >= kFailuresBeforeGone;
}

void note(PortCall call, const PortOutcome& outcome) {
    switch (signOf(call, outcome)) {
    case PortSign::Alive:
        failingInRow = 0;
        break;
    case PortSign::Neutral:
        break;
    case PortSign::Failing:
        ++failingInRow;
        break;
    case PortSign::Gone:
        failingInRow = kFailuresBeforeGone;
        break;
    }
}

// Tells the user that reading stands still and what to do; the count comes
// back once the port is open again.
void showPortLost() {
    char text[96];
    char name[kPortNameSize];
    std::snprintf(text, sizeof text, "%s lost: replug the adapter in the same USB socket, or Close",
                  portDisplayName(settings.comPortIndex, name, sizeof name) ? name : "Port");
    setProgressText(text);
}

// The port's handle is let go, so that Windows can give its name to the
// adapter when it comes back. What the old handle still brings is dropped,
// with the frame the loss cut.
void letPortGo() {
    portEndWait();
    portClose();
    dropFrame();
    portLost = true;
    showPortLost();
}

void openPortAgain() {
    unsigned long error = 0;
    if (portOpen(&error) != PortOpening::Opened) {
        return;
    }
    failingInRow = 0;
    portLost = false;
    // Opened after Close (an opening that stalled): the session's texts are
    // the user-interface thread's now, and the loop lets the port go.
    if (linkRunning) {
        showProgressCount();
    }
}

// Reads what has arrived, a buffer at a time, and hands it on; returns how
// many bytes it took. It reads even when the driver reports nothing queued:
// some drivers never do, and with the read timeouts set a read returns at
// once with what has arrived, possibly nothing.
std::size_t readAvailable() {
    std::size_t taken = 0;
    while (linkRunning && !judgedGone()) {
        ++receiverProgress;
        // The errors reported now concern the bytes queued now, which the
        // read takes when the driver counts them; those reported after the
        // read may concern bytes that came after it.
        PortOutcome before = portLineStatus();
        note(PortCall::LineStatus, before);
        std::size_t wanted = before.succeeded && before.count > 0 && before.count < kReadChunk
                                 ? before.count
                                 : kReadChunk;
        PortOutcome read = portRead(readBuffer, wanted, kReadBoundMs);
        if (!linkRunning) {
            // Stopped meanwhile (a stalled driver call let go by the close):
            // nothing more is handled, so nothing is answered "OK" late.
            return taken;
        }
        PortOutcome after = portLineStatus();
        note(PortCall::LineStatus, after);
        note(PortCall::Read, read);
        std::size_t count = read.count < wanted ? read.count : wanted;
        feedRead(read.succeeded, readBuffer, count, before.lineErrors, after.lineErrors);
        if (!read.succeeded) {
            return taken;
        }
        taken += count;
        if (count < wanted) {
            return taken; // nothing more has arrived
        }
    }
    return taken;
}

// Waits until the next pass: for received characters on a driver that can
// wait for them, else for the interval that the line's state calls for.
PortWake nextWake(bool polling, unsigned long lastBytesAt) {
    if (!polling) {
        PortOutcome outcome;
        PortWake wake = portAwaitCharacters(kWaitBoundMs, &outcome);
        if (wake == PortWake::Characters || wake == PortWake::Failed) {
            note(PortCall::Wait, outcome);
        }
        if (wake == PortWake::Failed) {
            PortOutcome status = portLineStatus();
            note(PortCall::LineStatus, status);
            if (status.lineErrors) {
                markLineError();
            }
        }
        return wake;
    }
    unsigned long interval =
        portNowMs() - lastBytesAt < kBusySpanMs ? kBusyPollIntervalMs : kPollIntervalMs;
    return portAwaitStop(interval) ? PortWake::Stop : PortWake::TimedOut;
}

} // namespace

PortSign signOf(PortCall call, const PortOutcome& outcome) {
    if (outcome.held) {
        // Its record stays in flight: this opening can start no more of its
        // kind, and only a fresh one reads again. A held answer only stops
        // the storing (the terminal's tries are stored once), and counts
        // with the other calls: reopening for it would store each try anew.
        return call == PortCall::Write ? PortSign::Failing : PortSign::Gone;
    }
    if (outcome.succeeded) {
        // A removed device may still answer reads and writes with success
        // and no bytes: only what moved bytes or reported on the line counts.
        bool movedNothing =
            (call == PortCall::Read || call == PortCall::Write) && outcome.count == 0;
        return movedNothing ? PortSign::Neutral : PortSign::Alive;
    }
    // One cancelled at its bound, on a driver that holds operations but
    // answers the cancel, says nothing of the device; one that ends aborted
    // without our cancel, or fails, does.
    return outcome.cancelledByUs ? PortSign::Neutral : PortSign::Failing;
}

bool answerCanBeSent() {
    if (portLost || judgedGone()) {
        return false;
    }
    if (portWriterFree(PortWriter::Answer)) {
        frameInHand = true;
        return true;
    }
    PortOutcome held;
    held.held = true;
    note(PortCall::Write, held);
    return false;
}

void sendThrough(PortWriter writer, const char* bytes, std::size_t count) {
    ++receiverProgress;
    const unsigned long bound = writeBoundMs(count);
    const unsigned long startedAt = portNowMs();
    while (count > 0) {
        unsigned long spent = portNowMs() - startedAt;
        if (spent >= bound) {
            break;
        }
        PortOutcome outcome = portWrite(writer, bytes, count, bound - spent);
        if (writer == PortWriter::Answer) {
            note(PortCall::Write, outcome); // the receiver's own count
        }
        std::size_t left = leftToSend(outcome.succeeded, count, outcome.count);
        bytes += count - left;
        count = left;
    }
    if (writer == PortWriter::Answer) {
        frameInHand = false;
    }
}

void runReceiver() {
    int idleWakesInRow = 0;
    bool polling = false;
    unsigned long lastBytesAt = portNowMs() - kBusySpanMs;
    PortWake wake = PortWake::TimedOut;
    while (linkRunning) {
        if (portLost || judgedGone()) {
            if (!portLost) {
                letPortGo();
            }
            if (portAwaitStop(kGonePollIntervalMs)) {
                break;
            }
            openPortAgain();
            // Bytes that came before the mask was set raise no event on
            // Windows: the first pass reads without waiting.
            idleWakesInRow = 0;
            polling = false;
            wake = PortWake::TimedOut;
            continue;
        }
        // Whatever the wake, take what has arrived: bytes that came while a
        // frame was being handled are read without waiting for another.
        std::size_t taken = readAvailable();
        if (taken > 0) {
            lastBytesAt = portNowMs();
            idleWakesInRow = 0;
        } else if ((wake == PortWake::Failed || wake == PortWake::Characters) &&
                   ++idleWakesInRow >= kIdleWakesBeforePolling) {
            // A wait that keeps ending with nothing to read is no better than
            // one that fails: the loop would spin.
            polling = true;
        }
        if (judgedGone()) {
            continue;
        }
        wake = nextWake(polling, lastBytesAt);
        if (wake == PortWake::Stop) {
            break;
        }
    }
    if (!portLost) {
        portEndWait();
        portDiscardInput();
    }
    // Also a port opened again after the stop began, which the stop may have
    // found closed.
    portClose();
}

void resetReceiver() {
    failingInRow = 0;
    portLost = false;
    frameInHand = false;
}

bool awaitLoopEnd(const LoopEndWatch& watch) {
    unsigned long since = watch.nowMs();
    unsigned seen = watch.progress();
    while (!watch.loopEndedWithin(kLoopEndLookMs)) {
        unsigned progress = watch.progress();
        if (watch.warningOnScreen() || progress != seen) {
            seen = progress;
            since = watch.nowMs();
        } else if (watch.nowMs() - since >=
                   (watch.frameInHand() ? kFrameInHandBoundMs : kLoopEndBoundMs)) {
            return false;
        }
    }
    return true;
}
