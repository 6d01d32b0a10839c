#include "app/settings.h"

#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }
};

TEST_F(SettingsTest, ResetStampLayoutTouchesOnlyTheLayout) {
    settings.dateSepChar[0] = 0;
    settings.dateSepChar[1] = 'x';
    settings.dateStyle = 9;
    settings.delimiterIndex = 4;
    settings.replaceFrom = 7;
    resetStampLayout();
    EXPECT_EQ(settings.dateSepChar[0], '/');
    EXPECT_EQ(settings.dateSepChar[1], '\0');
    EXPECT_EQ(settings.dateStyle, 0);
    EXPECT_EQ(settings.delimiterIndex, 0);
    EXPECT_EQ(settings.replaceFrom, 7);
}

TEST_F(SettingsTest, ComposeOutputPath) {
    struct Case {
        const char* directory;
        const char* name;
        const char* path;
        bool doubleByte;
        bool utf8 = false;
    };
    // "\x95\x5C" is one character in code page 932 (its second byte is a
    // backslash's) and two in a one-byte code page.
    const Case cases[] = {
        {"C:\\data", "out.txt", "C:\\data\\out.txt", false},
        {"C:\\data\\", "out.txt", "C:\\data\\out.txt", false},
        {"", "out.txt", "out.txt", false},
        {"C:", "log.txt", "C:\\log.txt", false},
        {"C:\\data", "", "C:\\data\\", false},
        {"C:\\\x95\x5C", "d.txt", "C:\\\x95\x5C\\d.txt", true},
        {"C:\\\x95\x5C\\", "d.txt", "C:\\\x95\x5C\\d.txt", true},
        {"C:\\\x95\x5C", "d.txt",
         "C:\\\x95\x5C"
         "d.txt",
         false},
        {"C:\\\x95", "d.txt", "C:\\\x95\\d.txt", true}, // a lone lead byte
        // UTF-8: "\xE5\xBC\xA0" is one character; a byte that does not
        // continue one never hides the backslash after it.
        {"C:\\\xE5\xBC\xA0", "d.txt", "C:\\\xE5\xBC\xA0\\d.txt", false, true},
        {"C:\\\xC3\\", "d.txt", "C:\\\xC3\\d.txt", false, true},
        {"C:\\\xE5\xBC\\", "d.txt", "C:\\\xE5\xBC\\d.txt", false, true},
    };
    for (const Case& c : cases) {
        fake::platform.doubleByte = c.doubleByte;
        fake::platform.utf8 = c.utf8;
        std::strcpy(settings.outputDirectory, c.directory);
        std::strcpy(settings.outputFileName, c.name);
        EXPECT_TRUE(composeOutputPath());
        EXPECT_STREQ(settings.outputPath, c.path);
        EXPECT_EQ(outputPathRefused, 0);
    }
}

TEST_F(SettingsTest, AFileNameWithAColonNamesAStream) {
    const std::pair<const char*, bool> cases[] = {
        {"C:\\d\\data.txt:x", true}, {"data.txt:x", true},  {"C:\\d\\:x", true},
        {"C:\\d\\data.txt", false},  {"C:data.txt", false}, {"\\\\srv\\s\\d.txt", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(namesAStream(c.first), c.second) << c.first;
    }
}

TEST_F(SettingsTest, ComposedPathThatDoesNotFitIsRefusedNotCut) {
    const std::string directory(200, 'd');
    const std::string name(55, 'n'); // 200 + backslash + 55 = 256 characters: one too many
    std::strcpy(settings.outputDirectory, directory.c_str());
    std::strcpy(settings.outputFileName, name.c_str());
    EXPECT_FALSE(composeOutputPath());
    EXPECT_STREQ(settings.outputPath, "");
    EXPECT_EQ(outputPathRefused, 1);

    settings.outputFileName[54] = '\0'; // exactly 255 characters fit
    EXPECT_TRUE(composeOutputPath());
    EXPECT_EQ(std::strlen(settings.outputPath), 255u);
    EXPECT_EQ(outputPathRefused, 0);
}

// Above COM9 Windows opens a bare "COM10" as a file: every port is opened by
// its device name.
TEST_F(SettingsTest, PortNames) {
    const struct {
        std::int32_t index;
        const char* shown;
        const char* device;
    } rows[] = {
        {0, "COM1", "\\\\.\\COM1"},
        {8, "COM9", "\\\\.\\COM9"},
        {11, "COM12", "\\\\.\\COM12"},
        {206, "COM207", "\\\\.\\COM207"},
        {207, "", ""},
        {-1, "", ""},
        {-49, "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        char shown[kPortNameSize] = "x";
        char device[kPortNameSize] = "x";
        EXPECT_EQ(portDisplayName(row.index, shown, sizeof shown), row.shown[0] != '\0');
        EXPECT_EQ(portDeviceName(row.index, device, sizeof device), row.device[0] != '\0');
        EXPECT_STREQ(shown, row.shown);
        EXPECT_STREQ(device, row.device);
    }
    char tight[sizeof "\\\\.\\COM12" - 1] = "x";
    EXPECT_FALSE(portDeviceName(11, tight, sizeof tight));
    EXPECT_STREQ(tight, "");
}

TEST_F(SettingsTest, TableLookUpsNeverLeaveTheirTables) {
    // Past either end: no rate. The rates themselves are checked at the
    // line, end to end.
    EXPECT_EQ(baudRateFor(8), 0);
    EXPECT_EQ(baudRateFor(-1), 0);
    EXPECT_EQ(delimiterFor(4), '\\');
    EXPECT_EQ(delimiterFor(5), '\0');
}

// Storage of exactly the capacity, so that the sanitizer sees a byte past it.
TEST_F(SettingsTest, CopyTextFitsWithItsTerminatorOrEmptiesTheDestination) {
    const struct {
        const char* source;
        bool fits;
    } rows[] = {{"", true}, {"abc", true}, {"abcd", true}, {"abcde", false}, {"abcdefgh", false}};
    for (const auto& row : rows) {
        std::unique_ptr<char[]> destination(new char[5]);
        std::memcpy(destination.get(), "zzzz", 5);
        EXPECT_EQ(copyText(destination.get(), 5, row.source), row.fits) << row.source;
        EXPECT_STREQ(destination.get(), row.fits ? row.source : "") << row.source;
    }
    char untouched = 'z';
    EXPECT_FALSE(copyText(&untouched, 0, ""));
    EXPECT_EQ(untouched, 'z');
}

} // namespace
