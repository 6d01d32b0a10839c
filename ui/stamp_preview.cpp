#include "ui/stamp_preview.h"

#include "app/settings.h"

#include <cstdint>

namespace {

struct TitleBuilder {
    char* title;
    std::size_t capacity;
    std::size_t length;
};

void append(TitleBuilder* builder, const char* text) {
    if (builder->capacity == 0) {
        return;
    }
    while (*text != '\0' && builder->length + 1 < builder->capacity) {
        builder->title[builder->length++] = *text++;
    }
    builder->title[builder->length] = '\0';
}

// Only the separator's first byte is used, so a stray byte after it can never
// be taken as part of the separator.
void appendSeparator(TitleBuilder* builder, const char separator[2]) {
    const char text[2] = {separator[0], '\0'};
    append(builder, text);
}

// The present elements in order, the separator standing only between two of
// them.
void appendElements(TitleBuilder* builder, const char* const texts[3],
                    const std::uint8_t switches[3], bool separatorOn, const char separator[2]) {
    bool anyEarlier = false;
    for (int i = 0; i < 3; ++i) {
        if (!switches[i]) {
            continue;
        }
        if (separatorOn && anyEarlier) {
            appendSeparator(builder, separator);
        }
        append(builder, texts[i]);
        anyEarlier = true;
    }
}

} // namespace

void composeDatePreview(char* title, std::size_t capacity) {
    TitleBuilder builder = {title, capacity, 0};
    append(&builder, "Date Format : ");

    const char* year = settings.yearTwoDigits == 1 ? "YY" : "YYYY";
    const char* texts[3];
    std::uint8_t switches[3];
    switch (settings.dateStyle) {
    case 0:
        texts[0] = year, texts[1] = "MM", texts[2] = "DD";
        switches[0] = settings.yearOn, switches[1] = settings.monthOn, switches[2] = settings.dayOn;
        break;
    case 1:
        texts[0] = "MM", texts[1] = "DD", texts[2] = year;
        switches[0] = settings.monthOn, switches[1] = settings.dayOn, switches[2] = settings.yearOn;
        break;
    case 2:
        texts[0] = "DD", texts[1] = "MM", texts[2] = year;
        switches[0] = settings.dayOn, switches[1] = settings.monthOn, switches[2] = settings.yearOn;
        break;
    default:
        return;
    }
    appendElements(&builder, texts, switches, settings.dateSepOn != 0, settings.dateSepChar);
}

void composeTimePreview(char* title, std::size_t capacity) {
    TitleBuilder builder = {title, capacity, 0};
    append(&builder, "Time Format : ");
    const char* const texts[3] = {"HH", "MM", "SS"};
    const std::uint8_t switches[3] = {settings.hourOn, settings.minuteOn, settings.secondOn};
    appendElements(&builder, texts, switches, settings.timeSepOn != 0, settings.timeSepChar);
}
