// Cuts the received byte stream into frames from "@" to CR and answers the base.
#pragma once

#include <atomic>
#include <cstddef>

constexpr std::size_t kFrameBufferSize = 256;
// Bytes of one frame that are stored, its "@" and CR included.
constexpr int kMaxFrameBytes = 251;

extern unsigned char frameBuffer[kFrameBufferSize];
// Bytes of the current frame stored so far; 0 while hunting for an "@",
// kMaxFrameBytes while an over-long frame is being skipped.
extern int frameLength;
// A line error reported by the port damages the frame being assembled and
// every frame that starts in the next bytes fed (lineErrorPending until then).
extern bool frameDamaged;
extern bool lineErrorPending;

// Written on the receiver thread, read on the user-interface thread.
extern std::atomic<int> baseConnected;
// Read by the user-interface thread only after the receiver thread has ended.
extern int recordCount;

void feedBytes(const unsigned char* bytes, std::size_t count);
// The port reported a framing error, an overrun, an input overflow or a
// break: a byte may be wrong or lost. A damaged data frame is not stored and
// is answered "NG", so that the terminal keeps it and sends it again.
void markLineError();
// The line was lost: the frame being assembled is dropped whole, never joined
// to bytes of a new line.
void dropFrame();
// Hands on what one read from the port brought: its bytes only when it
// succeeded (a failed or cancelled read leaves the buffer as it was; one
// that reports a count lost those bytes, and damages the frame in progress). Line
// errors reported before or after the read damage the frame in progress and
// those that start in the read's bytes; those reported after it may concern
// bytes still queued, so they also damage frames starting in the next read.
void feedRead(bool succeeded, const unsigned char* bytes, std::size_t count, bool errorsBefore,
              bool errorsAfter);
void handleFrame();
// Shows the count of stored records as the progress text.
void showProgressCount();
void sendAcknowledgement(int unitNumber, unsigned char echoChar, const char* verdict);
