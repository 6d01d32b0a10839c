#include "ui/stamp_preview.h"

#include "app/settings.h"
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct DateCase {
    const char* name;
    std::uint8_t style, yearOn, yearTwoDigits, monthOn, dayOn, sepOn;
    char sep;
    const char* expected;
};

TEST(StampPreview, DateTitles) {
    const DateCase cases[] = {
        // name, dateStyle, yearOn, yearTwoDigits, monthOn, dayOn, dateSepOn, dateSepChar
        {"defaults", 0, 1, 0, 1, 1, 1, '/', "Date Format : YYYY/MM/DD"},
        {"style 1, two digits", 1, 1, 1, 1, 1, 1, '/', "Date Format : MM/DD/YY"},
        {"style 2", 2, 1, 0, 1, 1, 1, '/', "Date Format : DD/MM/YYYY"},
        {"year off", 0, 0, 0, 1, 1, 1, '/', "Date Format : MM/DD"},
        {"style 1, year off", 1, 0, 0, 1, 1, 1, '/', "Date Format : MM/DD"},
        {"style 2, month off", 2, 1, 0, 0, 1, 1, '/', "Date Format : DD/YYYY"},
        {"only day", 0, 0, 0, 0, 1, 1, '/', "Date Format : DD"},
        {"style 2, only year", 2, 1, 0, 0, 0, 1, '/', "Date Format : YYYY"},
        {"separator off", 0, 1, 0, 1, 1, 0, '/', "Date Format : YYYYMMDD"},
        {"separator emptied", 0, 1, 0, 1, 1, 1, '\0', "Date Format : YYYYMMDD"},
        {"other separator", 0, 1, 0, 1, 1, 1, '-', "Date Format : YYYY-MM-DD"},
        {"any non-zero switch", 0, 1, 0, 2, 1, 7, '/', "Date Format : YYYY/MM/DD"},
        {"year digits 2 is four", 0, 1, 2, 1, 1, 1, '/', "Date Format : YYYY/MM/DD"},
        {"all off", 0, 0, 0, 0, 0, 1, '/', "Date Format : "},
        {"style 3", 3, 1, 0, 1, 1, 1, '/', "Date Format : "},
        {"style 255", 255, 1, 0, 1, 1, 1, '/', "Date Format : "},
    };
    for (const DateCase& c : cases) {
        fake::resetAll();
        settings.dateStyle = c.style;
        settings.yearOn = c.yearOn;
        settings.yearTwoDigits = c.yearTwoDigits;
        settings.monthOn = c.monthOn;
        settings.dayOn = c.dayOn;
        settings.dateSepOn = c.sepOn;
        settings.dateSepChar[0] = c.sep;
        char title[kPreviewTitleSize];
        std::memset(title, 'x', sizeof title);
        composeDatePreview(title, sizeof title);
        EXPECT_STREQ(c.expected, title) << c.name;
    }
}

struct TimeCase {
    const char* name;
    std::uint8_t hourOn, minuteOn, secondOn, sepOn;
    char sep;
    const char* expected;
};

TEST(StampPreview, TimeTitles) {
    const TimeCase cases[] = {
        // name, hourOn, minuteOn, secondOn, timeSepOn, timeSepChar
        {"defaults", 1, 1, 1, 1, ':', "Time Format : HH:MM:SS"},
        {"hour off", 0, 1, 1, 1, ':', "Time Format : MM:SS"},
        {"minute off", 1, 0, 1, 1, ':', "Time Format : HH:SS"},
        {"second off", 1, 1, 0, 1, ':', "Time Format : HH:MM"},
        {"only second", 0, 0, 1, 1, ':', "Time Format : SS"},
        {"only hour", 1, 0, 0, 1, ':', "Time Format : HH"},
        {"separator off", 1, 1, 1, 0, ':', "Time Format : HHMMSS"},
        {"separator emptied", 1, 1, 1, 1, '\0', "Time Format : HHMMSS"},
        {"all off", 0, 0, 0, 1, ':', "Time Format : "},
    };
    for (const TimeCase& c : cases) {
        fake::resetAll();
        settings.hourOn = c.hourOn;
        settings.minuteOn = c.minuteOn;
        settings.secondOn = c.secondOn;
        settings.timeSepOn = c.sepOn;
        settings.timeSepChar[0] = c.sep;
        // The time title never follows the date style.
        settings.dateStyle = 9;
        char title[kPreviewTitleSize];
        std::memset(title, 'x', sizeof title);
        composeTimePreview(title, sizeof title);
        EXPECT_STREQ(c.expected, title) << c.name;
    }
}

TEST(StampPreview, OnlyTheSeparatorsFirstByteIsUsed) {
    fake::resetAll();
    settings.dateSepChar[0] = '.';
    settings.dateSepChar[1] = 'Z';
    char title[kPreviewTitleSize];
    composeDatePreview(title, sizeof title);
    EXPECT_STREQ("Date Format : YYYY.MM.DD", title);
}

TEST(StampPreview, LongestDateTitleHasTwentyFourCharacters) {
    fake::resetAll();
    // Storage exactly as long as the longest title and its terminator, so
    // that any write past it lands outside the array.
    char date[25];
    composeDatePreview(date, sizeof date);
    EXPECT_STREQ("Date Format : YYYY/MM/DD", date);
    char time[23];
    composeTimePreview(time, sizeof time);
    EXPECT_STREQ("Time Format : HH:MM:SS", time);
}

TEST(StampPreview, SmallCapacityCutsTitleAndWritesNothingBeyond) {
    fake::resetAll();
    struct Case {
        std::size_t capacity;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {0, nullptr, nullptr},
        {1, "", ""},
        {10, "Date Form", "Time Form"},
        {15, "Date Format : ", "Time Format : "},
        {17, "Date Format : YY", "Time Format : HH"},
        {24, "Date Format : YYYY/MM/D", "Time Format : HH:MM:SS"},
    };
    for (const Case& c : cases) {
        for (int which = 0; which < 2; ++which) {
            char buffer[kPreviewTitleSize];
            std::memset(buffer, 'x', sizeof buffer);
            (which == 0 ? composeDatePreview : composeTimePreview)(buffer, c.capacity);
            const char* expected = which == 0 ? c.date : c.time;
            if (expected != nullptr) {
                EXPECT_STREQ(expected, buffer) << "capacity " << c.capacity;
            }
            for (std::size_t i = c.capacity; i < sizeof buffer; ++i) {
                ASSERT_EQ('x', buffer[i]) << "capacity " << c.capacity << ", byte " << i;
            }
        }
    }
}

} // namespace
