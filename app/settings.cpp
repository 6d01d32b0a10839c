#include "app/settings.h"

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

const char* const portNames[kPortCount] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                           "COM6", "COM7", "COM8", "COM9"};
const std::int32_t baudRates[kBaudRateCount] = {115200, 57600, 38400, 19200,
                                                9600,   4800,  2400,  1200};
const char delimiterCharacters[kDelimiterCount + 1] = ",:;/\\";

char scratchLine[kScratchLineSize];
int outputPathRefused = 0;

const char* portNameFor(std::int32_t index) {
    return (index >= 0 && index < kPortCount) ? portNames[index] : nullptr;
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

bool composeOutputPath() {
    std::size_t directoryLength = std::strlen(settings.outputDirectory);
    std::size_t nameLength = std::strlen(settings.outputFileName);
    bool needsBackslash =
        directoryLength > 0 && settings.outputDirectory[directoryLength - 1] != '\\';
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
