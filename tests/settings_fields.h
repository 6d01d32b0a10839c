// Test helper: compares two settings records field by field.
#pragma once

#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <type_traits>

// Every field that the settings file stores on a line of one byte, in the
// file's order (lines 3 to 29): the one list for every test that needs them.
// clang-format off
#define TAMSEL_STORED_FIELDS(X)                                                                    \
    X(comPortIndex) X(baudIndex) X(fileMode) X(addReturn) X(addLineFeed) X(showErrors)            \
    X(viewData) X(alwaysShowDialog) X(replaceEnabled) X(replaceFrom) X(replaceTo)                  \
    X(stampEnabled) X(stampAtBottom) X(separateStamps) X(delimiterIndex) X(yearOn)                 \
    X(yearTwoDigits) X(monthOn) X(dayOn) X(dateSepOn) X(dateSepChar[0]) X(dateStyle) X(hourOn)    \
    X(minuteOn) X(secondOn) X(timeSepOn) X(timeSepChar[0])
// clang-format on

namespace testfields {

// How many fields TAMSEL_STORED_FIELDS lists.
#define TAMSEL_COUNT_FIELD(field) +1
constexpr int kStoredFieldCount = 0 TAMSEL_STORED_FIELDS(TAMSEL_COUNT_FIELD);
#undef TAMSEL_COUNT_FIELD

// Sets every stored field to `value` (cast to the field's type).
inline void setEveryField(ReaderSettings& s, int value) {
#define TAMSEL_SET_FIELD(field)                                                                    \
    s.field = static_cast<std::remove_reference_t<decltype(s.field)>>(value);
    TAMSEL_STORED_FIELDS(TAMSEL_SET_FIELD)
#undef TAMSEL_SET_FIELD
}

// Every field the settings file stores (outputPath is not stored), and
// outputPath as well when withOutputPath is set.
inline ::testing::AssertionResult sameFields(const ReaderSettings& expected,
                                             const ReaderSettings& actual,
                                             bool withOutputPath = true) {
    std::ostringstream differences;
    auto text = [&](const char* name, const char* a, const char* b) {
        if (std::strcmp(a, b) != 0) {
            differences << name << ": expected \"" << a << "\", got \"" << b << "\"\n";
        }
    };
    auto number = [&](const char* name, long long a, long long b) {
        if (a != b) {
            differences << name << ": expected " << a << ", got " << b << "\n";
        }
    };
    text("outputDirectory", expected.outputDirectory, actual.outputDirectory);
    text("outputFileName", expected.outputFileName, actual.outputFileName);
    if (withOutputPath) {
        text("outputPath", expected.outputPath, actual.outputPath);
    }
#define TAMSEL_SAME(field) number(#field, expected.field, actual.field);
    TAMSEL_STORED_FIELDS(TAMSEL_SAME)
    TAMSEL_SAME(dateSepChar[1])
    TAMSEL_SAME(timeSepChar[1])
#undef TAMSEL_SAME
    std::string listed = differences.str();
    if (listed.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << listed;
}

inline void setText(char (&field)[kTextFieldSize], const std::string& text) {
    ASSERT_LT(text.size(), kTextFieldSize);
    std::memcpy(field, text.c_str(), text.size() + 1);
}

} // namespace testfields
