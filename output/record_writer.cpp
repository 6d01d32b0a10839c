#include "output/record_writer.h"

#include "app/platform.h"
#include "app/settings.h"
#include "output/stamps.h"

#include <cstring>

bool lineBreakOwed = false;

namespace {

// Ends the torn line that an appended file ends with, as lines end here.
bool settleOwedLineBreak() {
    char ending[2];
    std::size_t length = 0;
    if (settings.addReturn) {
        ending[length++] = 13;
    }
    if (settings.addLineFeed) {
        ending[length++] = 10;
    }
    if (length > 0 && writeOutputFile(ending, length) < length) {
        return false;
    }
    lineBreakOwed = false;
    return true;
}

} // namespace

void noteTornLastLine() {
    lineBreakOwed = false;
    if (settings.fileMode != kFileModeAppend || (!settings.addReturn && !settings.addLineFeed)) {
        return;
    }
    int last = readOutputFileLastByte();
    lineBreakOwed = last != kOutputFileEmpty && last != 13 && last != 10;
}

bool writeRecord(const char* payload) {
    scratchLine[0] = '\0';
    lineTooLong = false;
    if (settings.stampEnabled && settings.stampAtBottom == 0) {
        DateStamp();
        TimeStamp();
    }
    if (scratchLine[0] != '\0') {
        appendCharToLine(delimiterFor(settings.delimiterIndex));
    }
    appendToLine(payload);
    if (settings.stampEnabled && settings.stampAtBottom == 1) {
        DateStamp();
        TimeStamp();
    }

    if (lineTooLong) {
        // Never store, and so never acknowledge, a record cut short.
        return false;
    }

    // The length is taken before replacing, so a replacement by code 0 keeps
    // the bytes after it in the line.
    std::size_t length = std::strlen(scratchLine);
    if (settings.replaceEnabled) {
        for (std::size_t i = 0; i < length; ++i) {
            if (static_cast<unsigned char>(scratchLine[i]) == settings.replaceFrom) {
                scratchLine[i] = static_cast<char>(settings.replaceTo & 0xFF);
            }
        }
    }
    // CR, LF and the terminator fit: the composition stops at kLineTextLimit.
    if (settings.addReturn) {
        scratchLine[length++] = 13;
    }
    if (settings.addLineFeed) {
        scratchLine[length++] = 10;
    }
    scratchLine[length] = '\0';

    // The Append opening says whether a line break is owed: a record read
    // before the file opened must not look before it has.
    if (!awaitOutputFile()) {
        return false;
    }
    if (lineBreakOwed && !settleOwedLineBreak()) {
        return false;
    }
    return writeOutputFile(scratchLine, length) >= length;
}
