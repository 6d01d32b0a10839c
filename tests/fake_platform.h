// Fakes of the platform operations: they record what was asked and can be
// told to fail.
#pragma once

#include "app/platform.h"

#include <string>
#include <vector>

namespace fake {

enum class WriteOutcome { Whole, Short, Failed };

struct PlatformRecord {
    // Every call with an effect outside the logic, in order, as "kind text":
    // "write …", "flash <count then>", "progress …", "send …", "warning …".
    std::vector<std::string> calls;
    std::string fileBytes;           // everything written and on disk
    std::vector<std::string> writes; // each write asked for
    std::vector<std::string> warnings;
    std::vector<std::string> progressTexts;
    std::vector<std::string> sentToBase; // each send, whole
    int flashes = 0;
    int countAtLastFlash = -1;

    WriteOutcome writeOutcome = WriteOutcome::Whole;
    // When not empty, the outcome of each write in turn, over and over:
    // 'w' whole, 's' short, 'f' failed. Overrides writeOutcome.
    std::string writeScript;
    LocalClockReading clock = {2004, 12, 31, 23, 59, 58};
    bool doubleByte = false; // play code page 932 rather than a one-byte one
    bool utf8 = false;       // play UTF-8 (65001) rather than a one-byte one
    // What the look at an appended file's last byte finds.
    int lastByte = kOutputFileEmpty;
    int lastByteLooks = 0;
    bool openOnFirstAwait = false; // the Append opening runs as a record waits
    int clockReads = 0;
};

extern PlatformRecord platform;

// Notes a call with an effect outside the logic in platform.calls.
void note(const char* kind, const std::string& text);

// Clears the record, the settings record (to its start-up values with the
// default stamp layout) and every value the logic keeps between calls.
void resetAll();

} // namespace fake
