#include "app/settings_file.h"

#include "app/settings.h"

#include <cstdint>
#include <cstring>
#include <cwchar>

namespace {

constexpr std::size_t kMaxTextLength = kTextFieldSize - 1;

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

void setDirectoryFromModulePath(const char* modulePath) {
    const char* lastBackslash = findLastBackslash(modulePath);
    std::size_t directoryLength =
        lastBackslash ? static_cast<std::size_t>(lastBackslash - modulePath) + 1 : 0;
    storeLine(settings.outputDirectory, modulePath, directoryLength);
}

std::size_t encodeSettingsFile(char* out, std::size_t capacity) {
    std::size_t directoryLength = fieldLength(settings.outputDirectory);
    std::size_t nameLength = fieldLength(settings.outputFileName);
    std::size_t total = directoryLength + 2 + nameLength + 2 + kSettingValueCount * 3;
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
    for (const SettingValue& line : settingValues) {
        *cursor++ = static_cast<char>(encodeSettingValue(line));
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
        // COM1 to COM207 by the same arithmetic as the digits; a byte that
        // gives no port keeps the one the record holds.
        std::int32_t comPort = portIndexFromByte(byteAt(e + 1));
        if (comPort >= 0) {
            settings.comPortIndex = comPort;
        }
    } else {
        storeLine(settings.outputFileName, tail, tailLength);
    }

    for (std::size_t k = 1; k < kSettingValueCount; ++k) {
        if (unsigned char value = byteAt(e + 1 + 3 * k)) {
            storeSettingValue(settingValues[k], value);
        }
    }
}

bool isInsideFolder(const wchar_t* path, const wchar_t* folder) {
    auto folded = [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; };
    if (path == nullptr || folder == nullptr || folder[0] == L'\0') {
        return false;
    }
    for (; *folder != L'\0'; ++folder, ++path) {
        if (*path == L'\0' || folded(*path) != folded(*folder)) {
            return false;
        }
    }
    return true;
}

bool settingsFileBeside(const wchar_t* modulePath, wchar_t* out) {
    out[0] = L'\0';
    static constexpr wchar_t kFileName[] = L"Tamsel.ini";
    constexpr std::size_t kNameSize = sizeof kFileName / sizeof kFileName[0];
    const wchar_t* lastBackslash = std::wcsrchr(modulePath, L'\\');
    std::size_t directoryLength =
        lastBackslash ? static_cast<std::size_t>(lastBackslash - modulePath) + 1 : 0;
    if (directoryLength + kNameSize > kSettingsFilePathSize) {
        return false;
    }
    std::wmemcpy(out, modulePath, directoryLength);
    std::wmemcpy(out + directoryLength, kFileName, kNameSize);
    return true;
}
