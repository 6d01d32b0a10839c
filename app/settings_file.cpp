#include "app/settings_file.h"

#include "app/settings.h"

#include <cstdint>
#include <cstring>

char settingsFilePath[kSettingsFilePathSize];

namespace {

constexpr char kSettingsFileName[] = "Tamsel.ini";
constexpr std::size_t kMaxTextLength = kTextFieldSize - 1;

// How one value line (lines 3 to 29) holds its field.
enum class LineKind {
    IntegerDigit, // 32-bit field, one digit: value + offset
    ByteDigit,    // 8-bit field, one digit: value + offset
    IntegerRaw,   // 32-bit character code: its low 8 bits, raw
    TextRaw,      // one-character text: the character, raw
};

struct ValueLine {
    LineKind kind;
    int offset;
    std::int32_t ReaderSettings::*integerField;
    std::uint8_t ReaderSettings::*byteField;
    char (ReaderSettings::*textField)[2];
};

constexpr ValueLine integerDigit(std::int32_t ReaderSettings::*field, int offset) {
    return {LineKind::IntegerDigit, offset, field, nullptr, nullptr};
}
constexpr ValueLine byteDigit(std::uint8_t ReaderSettings::*field) {
    return {LineKind::ByteDigit, 48, nullptr, field, nullptr};
}
constexpr ValueLine integerRaw(std::int32_t ReaderSettings::*field) {
    return {LineKind::IntegerRaw, 0, field, nullptr, nullptr};
}
constexpr ValueLine textRaw(char (ReaderSettings::*field)[2]) {
    return {LineKind::TextRaw, 0, nullptr, nullptr, field};
}

constexpr std::size_t kValueLineCount = 27;

// Lines 3 to 29, in file order.
const ValueLine kValueLines[kValueLineCount] = {
    integerDigit(&ReaderSettings::comPortIndex, 49),     // 3
    integerDigit(&ReaderSettings::baudIndex, 49),        // 4
    integerDigit(&ReaderSettings::fileMode, 49),         // 5
    integerDigit(&ReaderSettings::addReturn, 48),        // 6
    integerDigit(&ReaderSettings::addLineFeed, 48),      // 7
    integerDigit(&ReaderSettings::showErrors, 48),       // 8
    integerDigit(&ReaderSettings::viewData, 48),         // 9
    integerDigit(&ReaderSettings::alwaysShowDialog, 48), // 10
    integerDigit(&ReaderSettings::replaceEnabled, 48),   // 11
    integerRaw(&ReaderSettings::replaceFrom),            // 12
    integerRaw(&ReaderSettings::replaceTo),              // 13
    integerDigit(&ReaderSettings::stampEnabled, 48),     // 14
    byteDigit(&ReaderSettings::stampAtBottom),           // 15
    byteDigit(&ReaderSettings::separateStamps),          // 16
    byteDigit(&ReaderSettings::delimiterIndex),          // 17
    byteDigit(&ReaderSettings::yearOn),                  // 18
    byteDigit(&ReaderSettings::yearTwoDigits),           // 19
    byteDigit(&ReaderSettings::monthOn),                 // 20
    byteDigit(&ReaderSettings::dayOn),                   // 21
    byteDigit(&ReaderSettings::dateSepOn),               // 22
    textRaw(&ReaderSettings::dateSepChar),               // 23
    byteDigit(&ReaderSettings::dateStyle),               // 24
    byteDigit(&ReaderSettings::hourOn),                  // 25
    byteDigit(&ReaderSettings::minuteOn),                // 26
    byteDigit(&ReaderSettings::secondOn),                // 27
    byteDigit(&ReaderSettings::timeSepOn),               // 28
    textRaw(&ReaderSettings::timeSepChar),               // 29
};

unsigned char encodeValue(const ValueLine& line) {
    switch (line.kind) {
    case LineKind::IntegerDigit:
        return static_cast<unsigned char>((settings.*line.integerField & 0xFF) + line.offset);
    case LineKind::ByteDigit:
        return static_cast<unsigned char>(settings.*line.byteField + line.offset);
    case LineKind::IntegerRaw:
        return static_cast<unsigned char>(settings.*line.integerField & 0xFF);
    case LineKind::TextRaw:
        return static_cast<unsigned char>((settings.*line.textField)[0]);
    }
    return 0;
}

// value is a byte of the file other than NUL, taken as unsigned 0..255.
void decodeValue(const ValueLine& line, unsigned char value) {
    switch (line.kind) {
    case LineKind::IntegerDigit:
        settings.*line.integerField = static_cast<std::int32_t>(value) - line.offset;
        break;
    case LineKind::ByteDigit:
        settings.*line.byteField = static_cast<std::uint8_t>(value - line.offset);
        break;
    case LineKind::IntegerRaw:
        settings.*line.integerField = value;
        break;
    case LineKind::TextRaw:
        (settings.*line.textField)[0] = static_cast<char>(value);
        (settings.*line.textField)[1] = '\0';
        break;
    }
}

// Length of a text field, never looking past its storage.
std::size_t fieldLength(const char (&field)[kTextFieldSize]) {
    const void* terminator = std::memchr(field, '\0', kTextFieldSize);
    return terminator ? static_cast<std::size_t>(static_cast<const char*>(terminator) - field)
                      : kMaxTextLength;
}

// Stores a line of the file in a text field when it fits; a longer line
// leaves the field as it was.
void storeLine(char (&field)[kTextFieldSize], const char* text, std::size_t length) {
    if (length > kMaxTextLength) {
        return;
    }
    if (length > 0) {
        std::memcpy(field, text, length);
    }
    field[length] = '\0';
}

std::size_t findByte(const char* text, std::size_t length, char wanted) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] == wanted) {
            return i;
        }
    }
    return length;
}

} // namespace

bool setPathsFromModulePath(const char* modulePath) {
    settingsFilePath[0] = '\0';
    if (modulePath == nullptr) {
        return false;
    }
    const char* lastBackslash = std::strrchr(modulePath, '\\');
    std::size_t directoryLength =
        lastBackslash ? static_cast<std::size_t>(lastBackslash - modulePath) + 1 : 0;
    storeLine(settings.outputDirectory, modulePath, directoryLength);

    constexpr std::size_t nameLength = sizeof kSettingsFileName - 1;
    if (directoryLength + nameLength >= kSettingsFilePathSize) {
        return false;
    }
    std::memcpy(settingsFilePath, modulePath, directoryLength);
    std::memcpy(settingsFilePath + directoryLength, kSettingsFileName, nameLength + 1);
    return true;
}

std::size_t encodeSettingsFile(char* out, std::size_t capacity) {
    std::size_t directoryLength = fieldLength(settings.outputDirectory);
    std::size_t nameLength = fieldLength(settings.outputFileName);
    std::size_t total = directoryLength + 2 + nameLength + 2 + kValueLineCount * 3;
    if (out == nullptr || capacity < total) {
        return 0;
    }
    char* cursor = out;
    std::memcpy(cursor, settings.outputDirectory, directoryLength);
    cursor += directoryLength;
    *cursor++ = '\r';
    *cursor++ = '\n';
    std::memcpy(cursor, settings.outputFileName, nameLength);
    cursor += nameLength;
    *cursor++ = '\r';
    *cursor++ = '\n';
    for (const ValueLine& line : kValueLines) {
        *cursor++ = static_cast<char>(encodeValue(line));
        *cursor++ = '\r';
        *cursor++ = '\n';
    }
    return total;
}

void decodeSettingsFile(const char* bytes, std::size_t length) {
    if (bytes == nullptr) {
        length = 0;
    }
    // The content is a text: it ends at its first NUL.
    const std::size_t textLength = length ? findByte(bytes, length, '\0') : 0;

    // Line 1: up to the first CR, which must be followed by LF.
    const std::size_t firstCr = textLength ? findByte(bytes, textLength, '\r') : 0;
    if (firstCr + 1 >= textLength || bytes[firstCr + 1] != '\n') {
        storeLine(settings.outputDirectory, bytes, textLength);
        return;
    }
    storeLine(settings.outputDirectory, bytes, firstCr);

    // The tail: everything after that LF, up to the end of the text.
    const char* tail = bytes + firstCr + 2;
    const std::size_t tailLength = textLength - firstCr - 2;
    auto byteAt = [tail, tailLength](std::size_t position) -> unsigned char {
        return position < tailLength ? static_cast<unsigned char>(tail[position]) : 0;
    };

    const std::size_t secondCr = tailLength ? findByte(tail, tailLength, '\r') : 0;
    const std::size_t e = secondCr < tailLength ? secondCr + 1 : tailLength;
    if (byteAt(e) == '\n') {
        storeLine(settings.outputFileName, tail, secondCr);
        if (unsigned char comPort = byteAt(e + 1)) {
            decodeValue(kValueLines[0], comPort);
        }
    } else {
        storeLine(settings.outputFileName, tail, tailLength);
    }

    for (std::size_t k = 1; k < kValueLineCount; ++k) {
        if (unsigned char value = byteAt(e + 1 + 3 * k)) {
            decodeValue(kValueLines[k], value);
        }
    }
}
