// Test helper: compares two settings records field by field.
#pragma once

#include "app/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

namespace testfields {

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
#define TAMSEL_SAME(field) number(#field, expected.field, actual.field)
    TAMSEL_SAME(comPortIndex);
    TAMSEL_SAME(baudIndex);
    TAMSEL_SAME(fileMode);
    TAMSEL_SAME(addReturn);
    TAMSEL_SAME(addLineFeed);
    TAMSEL_SAME(showErrors);
    TAMSEL_SAME(viewData);
    TAMSEL_SAME(alwaysShowDialog);
    TAMSEL_SAME(replaceEnabled);
    TAMSEL_SAME(replaceFrom);
    TAMSEL_SAME(replaceTo);
    TAMSEL_SAME(stampEnabled);
    TAMSEL_SAME(stampAtBottom);
    TAMSEL_SAME(separateStamps);
    TAMSEL_SAME(delimiterIndex);
    TAMSEL_SAME(yearOn);
    TAMSEL_SAME(yearTwoDigits);
    TAMSEL_SAME(monthOn);
    TAMSEL_SAME(dayOn);
    TAMSEL_SAME(dateSepOn);
    TAMSEL_SAME(dateSepChar[0]);
    TAMSEL_SAME(dateSepChar[1]);
    TAMSEL_SAME(dateStyle);
    TAMSEL_SAME(hourOn);
    TAMSEL_SAME(minuteOn);
    TAMSEL_SAME(secondOn);
    TAMSEL_SAME(timeSepOn);
    TAMSEL_SAME(timeSepChar[0]);
    TAMSEL_SAME(timeSepChar[1]);
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
