#include "tests/fake_platform.h"

#include "app/launch_parameters.h"
#include "app/settings.h"
#include "link/base_protocol.h"
#include "output/record_writer.h"
#include "output/stamps.h"

#include <cstring>

namespace fake {

PlatformRecord platform;

void resetAll() {
    platform = PlatformRecord{};
    // Taken at the first reset, before any test has changed a field.
    static const ReaderSettings startUp = settings;
    settings = startUp;
    resetStampLayout();
    std::memset(frameBuffer, 0, sizeof frameBuffer);
    frameLength = 0;
    frameDamaged = false;
    lineErrorPending = false;
    baseConnected = 0;
    recordCount = 0;
    std::memset(scratchLine, 0, sizeof scratchLine);
    outputPathRefused = 0;
    lineBreakOwed = false;
    lineTooLong = false;
    launchedWithPath = 0;
}

void note(const char* kind, const std::string& text) {
    platform.calls.push_back(kind + (" " + text));
}

} // namespace fake

std::size_t writeOutputFile(const char* bytes, std::size_t count) {
    fake::WriteOutcome outcome = fake::platform.writeOutcome;
    const std::string& script = fake::platform.writeScript;
    if (!script.empty()) {
        char step = script[fake::platform.writes.size() % script.size()];
        outcome = step == 's'   ? fake::WriteOutcome::Short
                  : step == 'f' ? fake::WriteOutcome::Failed
                                : fake::WriteOutcome::Whole;
    }
    fake::platform.writes.emplace_back(bytes, count);
    fake::note("write", fake::platform.writes.back());
    switch (outcome) {
    case fake::WriteOutcome::Whole:
        fake::platform.fileBytes.append(bytes, count);
        return count;
    case fake::WriteOutcome::Short:
        if (count == 0) {
            return 0;
        }
        fake::platform.fileBytes.append(bytes, count - 1);
        return count - 1;
    case fake::WriteOutcome::Failed:
        return 0;
    }
    return 0;
}

void readLocalClock(LocalClockReading* reading) {
    ++fake::platform.clockReads;
    *reading = fake::platform.clock;
}

void showWarning(const char* text) {
    fake::platform.warnings.emplace_back(text);
    fake::note("warning", text);
}

void setProgressText(const char* text) {
    fake::platform.progressTexts.emplace_back(text);
    fake::note("progress", text);
}

void flashRecordCount() {
    ++fake::platform.flashes;
    fake::platform.countAtLastFlash = recordCount;
    fake::note("flash", std::to_string(recordCount));
}

bool awaitOutputFile() {
    // The session opens the file while the first record waits for it.
    if (fake::platform.openOnFirstAwait) {
        fake::platform.openOnFirstAwait = false;
        noteTornLastLine();
    }
    return true;
}

int readOutputFileLastByte() {
    ++fake::platform.lastByteLooks;
    return fake::platform.lastByte;
}

std::size_t characterLength(const char* text) {
    if (fake::platform.utf8) {
        return utf8CharacterLength(text);
    }
    // Code page 932's lead bytes when playing a double-byte code page.
    auto byte = static_cast<unsigned char>(text[0]);
    if (fake::platform.doubleByte && ((byte >= 0x81 && byte <= 0x9F) || byte >= 0xE0)) {
        return text[1] != '\0' ? 2 : 0;
    }
    return 1;
}
