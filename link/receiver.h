// The receiver's decisions, over the port of link/port.h: when to wait and
// read, when the port is gone and opened again, what is left to send, and
// when the stop gives up waiting for the loop.
#pragma once

#include "link/port.h"

#include <atomic>
#include <cstddef>

// 1 while the receiver is to go on; the stop sets it to 0.
extern std::atomic<int> linkRunning;
// Counts the receiver's reads and answers, so that the stop can tell one
// still at work from one held by its driver.
extern std::atomic<unsigned> receiverProgress;
// Set while the port is gone and the receiver is opening it again.
extern bool portLost;
// Set from the moment a record's answer is known to be sendable until the
// answer has gone: the record is being stored, and must be answered.
extern std::atomic<bool> frameInHand;

// The receiver thread's body: reads and hands on what arrives until the
// stop, then lets the port go, also one it opened after the stop began.
void runReceiver();
// Clears what one session's receiver kept: the next one starts afresh.
void resetReceiver();

enum class PortCall { LineStatus, Wait, Read, Write };
enum class PortSign { Alive, Neutral, Failing, Gone };
// What a call's outcome says of the device behind the port.
PortSign signOf(PortCall call, const PortOutcome& outcome);

// Sends the bytes through the writer within the bound of the whole write,
// the rest of a short write included.
void sendThrough(PortWriter writer, const char* bytes, std::size_t count);

// How long the stop waits for the receiver's loop once it makes no progress
// (a read, an answer), looking this often; a warning on the screen ("Failed
// to write file!!") is waited for as long as it stays. A record in hand (its
// line being written, to a share that stalls, say) is given longer: given up,
// it would be stored and never answered, and stored again at its next try.
constexpr unsigned long kLoopEndBoundMs = 3000;
constexpr unsigned long kFrameInHandBoundMs = 30000;
constexpr unsigned long kLoopEndLookMs = 250;
struct LoopEndWatch {
    bool (*loopEndedWithin)(unsigned long ms);
    bool (*warningOnScreen)();
    bool (*frameInHand)();
    unsigned (*progress)();
    unsigned long (*nowMs)();
};
// True when the loop ended, false when the stop gave up on it.
bool awaitLoopEnd(const LoopEndWatch& watch);
