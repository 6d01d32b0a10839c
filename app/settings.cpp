#include "app/settings.h"

#include "app/platform.h"

#include <cstdio>
#include <cstring>

ReaderSettings settings = {
    {}, {}, {}, // texts
    0,  0,  kFileModeOverwrite,
    1,  1,  1,
    1,  1,      // addReturn, addLineFeed, showErrors, viewData, alwaysShowDialog
    0,  44, 59, // replaceEnabled, replaceFrom ',', replaceTo ';'
    0,          // stampEnabled
    0,  0,  0,
    0,  0,  0,
    0,  0,  {0, 0},
    0,  0,  0,
    0,  0,  {0, 0}, // layout: set by resetStampLayout
};

const std::int32_t baudRates[kBaudRateCount] = {115200, 57600, 38400, 19200,
                                                9600,   4800,  2400,  1200};
const char delimiterCharacters[kDelimiterCount + 1] = ",:;/\\";

namespace {

constexpr SettingValue oneBased(std::int32_t ReaderSettings::*field, unsigned char highest) {
    return {SettingValueKind::IntegerDigit, 49, highest, field, nullptr, nullptr};
}
constexpr SettingValue flag(std::int32_t ReaderSettings::*field) {
    return {SettingValueKind::IntegerDigit, 48, '1', field, nullptr, nullptr};
}
constexpr SettingValue byteDigit(std::uint8_t ReaderSettings::*field) {
    return {SettingValueKind::ByteDigit, 48, '1', nullptr, field, nullptr};
}
constexpr SettingValue code(std::int32_t ReaderSettings::*field) {
    return {SettingValueKind::IntegerCode, 0, 0, field, nullptr, nullptr};
}
constexpr SettingValue character(char (ReaderSettings::*field)[2]) {
    return {SettingValueKind::TextChar, 0, 0, nullptr, nullptr, field};
}

} // namespace

const SettingValue settingValues[kSettingValueCount] = {
    oneBased(&ReaderSettings::comPortIndex, '9'),
    oneBased(&ReaderSettings::baudIndex, '8'),
    oneBased(&ReaderSettings::fileMode, '3'),
    flag(&ReaderSettings::addReturn),
    flag(&ReaderSettings::addLineFeed),
    flag(&ReaderSettings::showErrors),
    flag(&ReaderSettings::viewData),
    flag(&ReaderSettings::alwaysShowDialog),
    flag(&ReaderSettings::replaceEnabled),
    code(&ReaderSettings::replaceFrom),
    code(&ReaderSettings::replaceTo),
    flag(&ReaderSettings::stampEnabled),
    byteDigit(&ReaderSettings::stampAtBottom),
    byteDigit(&ReaderSettings::separateStamps),
    byteDigit(&ReaderSettings::delimiterIndex), // a parameter string gives "0" or "1" only
    byteDigit(&ReaderSettings::yearOn),
    byteDigit(&ReaderSettings::yearTwoDigits),
    byteDigit(&ReaderSettings::monthOn),
    byteDigit(&ReaderSettings::dayOn),
    byteDigit(&ReaderSettings::dateSepOn),
    character(&ReaderSettings::dateSepChar),
    byteDigit(&ReaderSettings::dateStyle), // a parameter string gives "0" or "1" only
    byteDigit(&ReaderSettings::hourOn),
    byteDigit(&ReaderSettings::minuteOn),
    byteDigit(&ReaderSettings::secondOn),
    byteDigit(&ReaderSettings::timeSepOn),
    character(&ReaderSettings::timeSepChar),
};

unsigned char encodeSettingValue(const SettingValue& value) {
    switch (value.kind) {
    case SettingValueKind::IntegerDigit:
        return static_cast<unsigned char>((settings.*value.integerField & 0xFF) + value.offset);
    case SettingValueKind::ByteDigit:
        return static_cast<unsigned char>(settings.*value.byteField + value.offset);
    case SettingValueKind::IntegerCode:
        return static_cast<unsigned char>(settings.*value.integerField & 0xFF);
    case SettingValueKind::TextChar:
        return static_cast<unsigned char>((settings.*value.textField)[0]);
    }
    return 0;
}

void storeSettingValue(const SettingValue& value, unsigned char code) {
    switch (value.kind) {
    case SettingValueKind::IntegerDigit:
        settings.*value.integerField = static_cast<std::int32_t>(code) - value.offset;
        break;
    case SettingValueKind::ByteDigit:
        settings.*value.byteField = static_cast<std::uint8_t>(code - value.offset);
        break;
    case SettingValueKind::IntegerCode:
        settings.*value.integerField = code;
        break;
    case SettingValueKind::TextChar:
        (settings.*value.textField)[0] = static_cast<char>(code);
        (settings.*value.textField)[1] = '\0';
        break;
    }
}

char scratchLine[kScratchLineSize];
int outputPathRefused = 0;

namespace {

bool composePortName(const char* prefix, std::int32_t index, char* out, std::size_t capacity) {
    if (capacity == 0) {
        return false;
    }
    out[0] = '\0';
    if (index < 0 || index >= kPortCount) {
        return false;
    }
    int length = std::snprintf(out, capacity, "%sCOM%d", prefix, static_cast<int>(index) + 1);
    if (length < 0 || static_cast<std::size_t>(length) >= capacity) {
        out[0] = '\0';
        return false;
    }
    return true;
}

} // namespace

bool portDisplayName(std::int32_t index, char* out, std::size_t capacity) {
    return composePortName("", index, out, capacity);
}

bool portDeviceName(std::int32_t index, char* out, std::size_t capacity) {
    return composePortName("\\\\.\\", index, out, capacity);
}

std::int32_t portIndexFromByte(unsigned char byte) {
    std::int32_t index = static_cast<std::int32_t>(byte) - 49;
    return index >= 0 && index < kPortCount ? index : -1;
}

std::int32_t baudRateFor(std::int32_t index) {
    return (index >= 0 && index < kBaudRateCount) ? baudRates[index] : 0;
}

char delimiterFor(std::int32_t index) {
    return (index >= 0 && index < kDelimiterCount) ? delimiterCharacters[index] : '\0';
}

bool copyText(char* destination, std::size_t capacity, const char* source) {
    std::size_t length = std::strlen(source);
    if (capacity == 0) {
        return false;
    }
    if (length >= capacity) {
        destination[0] = '\0';
        return false;
    }
    std::memcpy(destination, source, length + 1);
    return true;
}

std::size_t utf8CharacterLength(const char* text) {
    auto byte = static_cast<unsigned char>(text[0]);
    std::size_t length = byte < 0x80   ? 1
                         : byte < 0xC2 ? 0
                         : byte < 0xE0 ? 2
                         : byte < 0xF0 ? 3
                         : byte < 0xF5 ? 4
                                       : 0;
    // Every byte after the first must continue the character (0x80 to 0xBF,
    // never a backslash nor the terminator): a byte that does not starts a
    // character of its own, and the first stands alone.
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

const char* findLastBackslash(const char* text) {
    const char* last = nullptr;
    for (const char* cursor = text; *cursor != '\0';) {
        std::size_t length = characterLength(cursor);
        if (length == 1 && *cursor == '\\') {
            last = cursor;
        }
        cursor += length != 0 ? length : 1;
    }
    return last;
}

bool composeOutputPath() {
    std::size_t directoryLength = std::strlen(settings.outputDirectory);
    std::size_t nameLength = std::strlen(settings.outputFileName);
    // A final 0x5C may be the second byte of a character ("表" in code page
    // 932): only a backslash of its own ends the directory.
    bool needsBackslash = directoryLength > 0 && findLastBackslash(settings.outputDirectory) !=
                                                     settings.outputDirectory + directoryLength - 1;
    std::size_t total = directoryLength + (needsBackslash ? 1 : 0) + nameLength;
    if (total >= sizeof settings.outputPath) {
        settings.outputPath[0] = '\0';
        outputPathRefused = 1;
        return false;
    }
    char* cursor = settings.outputPath;
    std::memcpy(cursor, settings.outputDirectory, directoryLength);
    cursor += directoryLength;
    if (needsBackslash) {
        *cursor++ = '\\';
    }
    std::memcpy(cursor, settings.outputFileName, nameLength + 1);
    outputPathRefused = 0;
    return true;
}

bool namesAStream(const char* path) {
    const char* lastBackslash = findLastBackslash(path);
    const char* name = lastBackslash != nullptr ? lastBackslash + 1 : path;
    if (lastBackslash == nullptr && name[0] != '\0' && name[1] == ':') {
        name += 2;
    }
    return std::strchr(name, ':') != nullptr;
}

void resetStampLayout() {
    settings.stampAtBottom = 0;
    settings.separateStamps = 1;
    settings.delimiterIndex = 0;
    settings.yearOn = 1;
    settings.yearTwoDigits = 0;
    settings.monthOn = 1;
    settings.dayOn = 1;
    settings.dateSepOn = 1;
    settings.dateSepChar[0] = '/';
    settings.dateSepChar[1] = '\0';
    settings.dateStyle = 0;
    settings.hourOn = 1;
    settings.minuteOn = 1;
    settings.secondOn = 1;
    settings.timeSepOn = 1;
    settings.timeSepChar[0] = ':';
    settings.timeSepChar[1] = '\0';
}
