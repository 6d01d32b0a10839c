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
        std::snprintf(year, sizeof year, "%02d", now.year % 100);
    } else {
        std::snprintf(year, sizeof year, "%04d", now.year);
    }
    std::snprintf(month, sizeof month, "%02d", now.month);
    std::snprintf(day, sizeof day, "%02d", now.day);

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
    std::snprintf(hour, sizeof hour, "%02d", now.hour);
    std::snprintf(minute, sizeof minute, "%02d", now.minute);
    std::snprintf(second, sizeof second, "%02d", now.second);
    const char* texts[3] = {hour, minute, second};
    const std::uint8_t flags[3] = {settings.hourOn, settings.minuteOn, settings.secondOn};
    appendElements(texts, flags, settings.timeSepOn != 0, settings.timeSepChar);
}
