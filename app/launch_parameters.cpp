#include "app/launch_parameters.h"

#include "app/settings.h"

#include <cstdint>
#include <cstring>

int launchedWithPath = 0;

namespace {

constexpr int kSlotCount = 28;

enum class SlotKind {
    IntegerDigit, // 32-bit field; accepts lowest..highest; stores code - offset
    ByteDigit,    // 8-bit field; accepts lowest..highest; stores code - offset
    IntegerCode,  // 32-bit character code; any byte, NUL included
    TextChar,     // one-character text; any byte, NUL included
};

struct Slot {
    SlotKind kind;
    unsigned char lowest;
    unsigned char highest;
    int offset;
    std::int32_t ReaderSettings::*integerField;
    std::uint8_t ReaderSettings::*byteField;
    char (ReaderSettings::*textField)[2];
};

// The one-based slots: "1".."highest", stored as code - 49.
constexpr Slot oneBased(std::int32_t ReaderSettings::*field, unsigned char highest) {
    return {SlotKind::IntegerDigit, '1', highest, 49, field, nullptr, nullptr};
}
// The zero-based 32-bit slots: "0" or "1", stored as code - 48.
constexpr Slot flag(std::int32_t ReaderSettings::*field) {
    return {SlotKind::IntegerDigit, '0', '1', 48, field, nullptr, nullptr};
}
// The 8-bit slots: "0" or "1" only (delimiter and date style included).
constexpr Slot byteDigit(std::uint8_t ReaderSettings::*field) {
    return {SlotKind::ByteDigit, '0', '1', 48, nullptr, field, nullptr};
}
constexpr Slot integerCode(std::int32_t ReaderSettings::*field) {
    return {SlotKind::IntegerCode, 0, 0, 0, field, nullptr, nullptr};
}
constexpr Slot textChar(char (ReaderSettings::*field)[2]) {
    return {SlotKind::TextChar, 0, 0, 0, nullptr, nullptr, field};
}

// Slot n lies at offset 2n after the comma.
const Slot kSlots[kSlotCount] = {
    oneBased(&ReaderSettings::comPortIndex, '9'), // 0
    oneBased(&ReaderSettings::baudIndex, '8'),    // 1
    oneBased(&ReaderSettings::fileMode, '3'),     // 2
    flag(&ReaderSettings::addReturn),             // 3
    flag(&ReaderSettings::addLineFeed),           // 4
    flag(&ReaderSettings::showErrors),            // 5
    flag(&ReaderSettings::viewData),              // 6
    flag(&ReaderSettings::alwaysShowDialog),      // 7
    flag(&ReaderSettings::replaceEnabled),        // 8
    integerCode(&ReaderSettings::replaceFrom),    // 9
    integerCode(&ReaderSettings::replaceTo),      // 10
    flag(&ReaderSettings::stampEnabled),          // 11
    flag(&ReaderSettings::stampEnabled),          // 12, decides over 11
    byteDigit(&ReaderSettings::stampAtBottom),    // 13
    byteDigit(&ReaderSettings::separateStamps),   // 14
    byteDigit(&ReaderSettings::delimiterIndex),   // 15, "0" and "1" only
    byteDigit(&ReaderSettings::yearOn),           // 16
    byteDigit(&ReaderSettings::yearTwoDigits),    // 17
    byteDigit(&ReaderSettings::monthOn),          // 18
    byteDigit(&ReaderSettings::dayOn),            // 19
    byteDigit(&ReaderSettings::dateSepOn),        // 20
    textChar(&ReaderSettings::dateSepChar),       // 21
    byteDigit(&ReaderSettings::dateStyle),        // 22, "0" and "1" only
    byteDigit(&ReaderSettings::hourOn),           // 23
    byteDigit(&ReaderSettings::minuteOn),         // 24
    byteDigit(&ReaderSettings::secondOn),         // 25
    byteDigit(&ReaderSettings::timeSepOn),        // 26
    textChar(&ReaderSettings::timeSepChar),       // 27
};

// code is the slot's byte taken as unsigned, so 128..255 lie above every digit
// and are never accepted by a range-tested slot.
void applySlot(const Slot& slot, unsigned char code) {
    const bool accepted = code >= slot.lowest && code <= slot.highest;
    switch (slot.kind) {
    case SlotKind::IntegerDigit:
        if (accepted) {
            settings.*slot.integerField = static_cast<std::int32_t>(code) - slot.offset;
        }
        break;
    case SlotKind::ByteDigit:
        if (accepted) {
            settings.*slot.byteField = static_cast<std::uint8_t>(code - slot.offset);
        }
        break;
    case SlotKind::IntegerCode:
        settings.*slot.integerField = code;
        break;
    case SlotKind::TextChar:
        (settings.*slot.textField)[0] = static_cast<char>(code);
        (settings.*slot.textField)[1] = '\0';
        break;
    }
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
        applySlot(kSlots[n], code);
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
