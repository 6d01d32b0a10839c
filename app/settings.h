// The one settings record of the tool, its fixed tables, and the shared scratch line.
#pragma once

#include <cstddef>
#include <cstdint>

// Every text field holds at most 255 characters and its terminator.
constexpr std::size_t kTextFieldSize = 256;

struct ReaderSettings {
    // Output file
    char outputDirectory[kTextFieldSize];
    char outputFileName[kTextFieldSize];
    char outputPath[kTextFieldSize];

    // Port and file
    std::int32_t comPortIndex;
    std::int32_t baudIndex;
    std::int32_t fileMode;

    // Record options
    std::int32_t addReturn;
    std::int32_t addLineFeed;
    std::int32_t showErrors;
    std::int32_t viewData;
    std::int32_t alwaysShowDialog;
    std::int32_t replaceEnabled;
    std::int32_t replaceFrom;
    std::int32_t replaceTo;
    std::int32_t stampEnabled;

    // Stamp layout
    std::uint8_t stampAtBottom;
    std::uint8_t separateStamps;
    std::uint8_t delimiterIndex;
    std::uint8_t yearOn;
    std::uint8_t yearTwoDigits;
    std::uint8_t monthOn;
    std::uint8_t dayOn;
    std::uint8_t dateSepOn;
    char dateSepChar[2];
    std::uint8_t dateStyle;
    std::uint8_t hourOn;
    std::uint8_t minuteOn;
    std::uint8_t secondOn;
    std::uint8_t timeSepOn;
    char timeSepChar[2];
};

enum FileMode : std::int32_t { kFileModeOverwrite = 0, kFileModeAppend = 1, kFileModeNewName = 2 };

extern ReaderSettings settings;

// COM1 to COM207: the settings file keeps the port as one byte, 49 + index,
// and 255 is its highest value. The parameter string's one digit names COM1
// to COM9 only.
constexpr int kPortCount = 207;
constexpr int kBaudRateCount = 8;
constexpr int kDelimiterCount = 5;

extern const std::int32_t baudRates[kBaudRateCount];
extern const char delimiterCharacters[kDelimiterCount + 1];

// The port's name as users see it ("COM12") and as it is opened
// ("\\.\COM12": Windows takes a bare name above COM9 for a file). False, and
// an empty text, for an index that names no port or a text that does not fit.
constexpr std::size_t kPortNameSize = sizeof "\\\\.\\COM207";
bool portDisplayName(std::int32_t index, char* out, std::size_t capacity);
bool portDeviceName(std::int32_t index, char* out, std::size_t capacity);

// The port a settings file's byte gives (49 + index), or -1 for a byte that
// gives no port from COM1 to COM207.
std::int32_t portIndexFromByte(unsigned char byte);

// Table look-ups that never read outside their tables: an index out of range
// gives 0 or '\0' respectively.
std::int32_t baudRateFor(std::int32_t index);
char delimiterFor(std::int32_t index);

// The record line is the longest text that goes through the scratch line: a
// 10-character date, a delimiter, an 8-character time, a delimiter, a
// 240-character payload, CR and LF make 262 bytes, plus the terminator.
constexpr std::size_t kScratchLineSize = 263;
extern char scratchLine[kScratchLineSize];

// Set when an output path did not fit its 255 characters; such a path is
// refused when the session opens the output file, never opened cut short.
extern int outputPathRefused;

// The last backslash of the text that is a character of its own, never the
// second byte of a double-byte character; null when there is none.
const char* findLastBackslash(const char* text);

// outputPath = outputDirectory, one backslash unless the directory is empty or
// already ends in one, then outputFileName. Returns false (and sets
// outputPathRefused, leaving outputPath empty) when the result does not fit.
bool composeOutputPath();

// Whether the path's file name (after its last backslash, or after a drive
// "X:" when it has none) holds a ':': on NTFS it would name a stream of
// another file, where records go that no user looks for.
bool namesAStream(const char* path);

void resetStampLayout();

// The one-character settings, in the order in which the settings file (lines
// 3 to 29) and the parameter string (its slots, bar the repeated stamp switch)
// hold them. Digits are stored as the character's code less offset.
enum class SettingValueKind {
    IntegerDigit, // 32-bit field, one digit
    ByteDigit,    // 8-bit field, one digit
    IntegerCode,  // 32-bit character code, the raw byte
    TextChar,     // one-character text, the raw byte
};

struct SettingValue {
    SettingValueKind kind;
    int offset;            // 49 for one-based digits, 48 for zero-based, 0 for raw bytes
    unsigned char highest; // the highest digit a parameter string may give
    std::int32_t ReaderSettings::*integerField;
    std::uint8_t ReaderSettings::*byteField;
    char (ReaderSettings::*textField)[2];
};

constexpr std::size_t kSettingValueCount = 27;
extern const SettingValue settingValues[kSettingValueCount];

// The field as its one character: the digit, or the low 8 bits raw.
unsigned char encodeSettingValue(const SettingValue& value);
// Sets the field from its character, without a range test.
void storeSettingValue(const SettingValue& value, unsigned char code);

// Copies a zero-terminated text into fixed storage; false, and an empty
// destination, when it does not fit.
bool copyText(char* destination, std::size_t capacity, const char* source);
