#include "output/stamps.h"

#include "app/platform.h"
#include "app/settings.h"

#include <cstdio>
#include <cstring>

static_assert(kLineTextLimit + 3 <= kScratchLineSize, "CR, LF and NUL must fit");

bool lineTooLong = false;

void appendToLine(const char* text) {
    std::size_t used = std::strlen(scratchLine);
    std::size_t length = std::strlen(text);
    if (used + length > kLineTextLimit) {
        lineTooLong = true;
        return;
    }
    std::memcpy(scratchLine + used, text, length + 1);
}

void appendCharToLine(char character) {
    const char text[2] = {character, '\0'};
    appendToLine(text);
}

namespace {

// value as "%0*d" with width 2 or 4. Clock values take the quick way; any
// other int still gets its full decimal text.
void formatPadded(char (&out)[16], int value, int width) {
    if (value < 0 || value > 9999) {
        std::snprintf(out, sizeof out, "%0*d", width, value);
        return;
    }
    char digits[4] = {
        static_cast<char>('0' + value / 1000), static_cast<char>('0' + value / 100 % 10),
        static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10)};
    int first = value >= 1000 ? 0 : value >= 100 ? 1 : 2;
    if (4 - width < first) {
        first = 4 - width;
    }
    int length = 4 - first;
    std::memcpy(out, digits + first, static_cast<std::size_t>(length));
    out[length] = '\0';
}

// Appends the present elements in order, the separator standing only between
// two present elements.
void appendElements(const char* const texts[3], const std::uint8_t flags[3], bool separatorOn,
                    const char* separator) {
    bool anyEarlier = false;
    for (int i = 0; i < 3; ++i) {
        if (!flags[i]) {
            continue;
        }
        if (separatorOn && anyEarlier) {
            appendToLine(separator);
        }
        appendToLine(texts[i]);
        anyEarlier = true;
    }
}

} // namespace

void DateStamp() {
    if (scratchLine[0] != '\0') {
        appendCharToLine(delimiterFor(settings.delimiterIndex));
    }
    LocalClockReading now;
    readLocalClock(&now);

    // Sized for any int in decimal, whatever the clock reports.
    char year[16];
    char month[16];
    char day[16];
    if (settings.yearTwoDigits == 1) {
        formatPadded(year, now.year % 100, 2);
    } else {
        formatPadded(year, now.year, 4);
    }
    formatPadded(month, now.month, 2);
    formatPadded(day, now.day, 2);

    const char* texts[3];
    std::uint8_t flags[3];
    switch (settings.dateStyle) {
    case 0:
        texts[0] = year, texts[1] = month, texts[2] = day;
        flags[0] = settings.yearOn, flags[1] = settings.monthOn, flags[2] = settings.dayOn;
        break;
    case 1:
        texts[0] = month, texts[1] = day, texts[2] = year;
        flags[0] = settings.monthOn, flags[1] = settings.dayOn, flags[2] = settings.yearOn;
        break;
    case 2:
        texts[0] = day, texts[1] = month, texts[2] = year;
        flags[0] = settings.dayOn, flags[1] = settings.monthOn, flags[2] = settings.yearOn;
        break;
    default:
        return;
    }
    appendElements(texts, flags, settings.dateSepOn != 0, settings.dateSepChar);
}

void TimeStamp() {
    if (scratchLine[0] != '\0' && settings.separateStamps) {
        appendCharToLine(delimiterFor(settings.delimiterIndex));
    }
    LocalClockReading now;
    readLocalClock(&now);

    char hour[16];
    char minute[16];
    char second[16];
    formatPadded(hour, now.hour, 2);
    formatPadded(minute, now.minute, 2);
    formatPadded(second, now.second, 2);
    const char* texts[3] = {hour, minute, second};
    const std::uint8_t flags[3] = {settings.hourOn, settings.minuteOn, settings.secondOn};
    appendElements(texts, flags, settings.timeSepOn != 0, settings.timeSepChar);
}
