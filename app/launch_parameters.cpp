#include "app/launch_parameters.h"

#include "app/settings.h"

#include <cstdint>
#include <cstring>

int launchedWithPath = 0;

namespace {

constexpr std::size_t kSlotCount = 28;
// The repeated stamp switch: applied after slot 11, so it decides when it
// holds a digit.
constexpr std::size_t kRepeatedStampSlot = 12;

// code is the slot's byte taken as unsigned, so 128..255 lie above every digit
// and are never accepted by a range-tested slot.
void applySlot(const SettingValue& value, unsigned char code) {
    bool rangeTested =
        value.kind == SettingValueKind::IntegerDigit || value.kind == SettingValueKind::ByteDigit;
    if (rangeTested && (code < value.offset || code > value.highest)) {
        return;
    }
    storeSettingValue(value, code);
}

bool isBlank(char character) {
    unsigned char code = static_cast<unsigned char>(character);
    return code >= 1 && code <= 32;
}

} // namespace

void applyLaunchParameters(const char* parameterString) {
    if (parameterString == nullptr || parameterString[0] == '\0') {
        return;
    }

    const char* comma = std::strchr(parameterString, ',');
    const std::size_t pathLength =
        comma ? static_cast<std::size_t>(comma - parameterString) : std::strlen(parameterString);
    // The slots begin after the comma, or at the terminator when there is none.
    const char* slots = comma ? comma + 1 : parameterString + pathLength;
    const std::size_t slotsLength = std::strlen(slots);

    settings.outputDirectory[0] = '\0';
    if (pathLength < kTextFieldSize) {
        std::memcpy(settings.outputPath, parameterString, pathLength);
        settings.outputPath[pathLength] = '\0';
        std::memcpy(settings.outputFileName, parameterString, pathLength);
        settings.outputFileName[pathLength] = '\0';
        outputPathRefused = 0;
    } else {
        settings.outputPath[0] = '\0';
        settings.outputFileName[0] = '\0';
        outputPathRefused = 1;
    }

    for (std::size_t n = 0; n < kSlotCount; ++n) {
        const std::size_t offset = 2 * n;
        const unsigned char code =
            offset < slotsLength ? static_cast<unsigned char>(slots[offset]) : 0;
        // The repeated slot sets the stamp switch again; the slots after it
        // line up with the values one place back.
        const std::size_t valueIndex = n < kRepeatedStampSlot    ? n
                                       : n == kRepeatedStampSlot ? kRepeatedStampSlot - 1
                                                                 : n - 1;
        applySlot(settingValues[valueIndex], code);
    }

    launchedWithPath = pathLength > 0 ? 1 : 0;
}

const char* parameterStringOf(const char* commandLine) {
    if (commandLine == nullptr) {
        return "";
    }
    const char* cursor = commandLine;
    if (*cursor == '"') {
        ++cursor;
        while (*cursor != '\0' && *cursor != '"') {
            ++cursor;
        }
        if (*cursor == '"') {
            ++cursor;
        }
    } else {
        while (*cursor != '\0' && !isBlank(*cursor)) {
            ++cursor;
        }
    }
    while (isBlank(*cursor)) {
        ++cursor;
    }
    return cursor;
}
