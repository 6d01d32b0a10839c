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

// Written on the receiver thread, read on the user-interface thread.
extern std::atomic<int> baseConnected;
// Read by the user-interface thread only after the receiver thread has ended.
extern int recordCount;

void feedBytes(const unsigned char* bytes, std::size_t count);
void handleFrame();
void sendAcknowledgement(int unitNumber, unsigned char echoChar, const char* verdict);
