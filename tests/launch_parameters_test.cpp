#include "app/launch_parameters.h"

#include "app/settings.h"
#include "tests/fake_platform.h"
#include "tests/settings_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using testfields::sameFields;
using testfields::setText;

namespace {

// Applies the string from storage of exactly its size plus the terminator,
// so that the sanitizer sees any read past the terminator.
void apply(const std::string& parameters) {
    std::unique_ptr<char[]> text(new char[parameters.size() + 1]);
    std::memcpy(text.get(), parameters.c_str(), parameters.size() + 1);
    applyLaunchParameters(text.get());
}

// The path, a comma and the 28 slots joined by commas.
std::string withSlots(const std::string& path, const std::string& slots) {
    std::string parameters = path + ",";
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (i > 0) {
            parameters += ',';
        }
        parameters += slots[i];
    }
    return parameters;
}

// 28 slots that differ from the start-up values wherever the slot allows.
const std::string kChangedSlots = std::string("983") + "00000" + "1" + "AB" + "01" // slots 0-12
                                  + "1010100" + "0" + "-" + "1"                    // slots 13-22
                                  + "0000" + ".";                                  // slots 23-27
// Every slot at the start-up value.
const std::string kDefaultSlots = std::string("111") + "11111" + "0" + ",;" + "00" // slots 0-12
                                  + "0101011" + "1" + "/" + "0"                    // slots 13-22
                                  + "1111" + ":";                                  // slots 23-27

class LaunchParametersTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }
};

TEST_F(LaunchParametersTest, SlotStringsHave28Slots) {
    EXPECT_EQ(kChangedSlots.size(), 28u);
    EXPECT_EQ(kDefaultSlots.size(), 28u);
    EXPECT_EQ(withSlots("p", kChangedSlots).size(), 1 + 1 + 55u);
}

TEST_F(LaunchParametersTest, NoParameterStringChangesNothing) {
    setText(settings.outputDirectory, "C:\\exe\\");
    settings.alwaysShowDialog = 0;
    const ReaderSettings before = settings;
    apply("");
    EXPECT_TRUE(sameFields(before, settings));
    EXPECT_EQ(launchedWithPath, 0);
    applyLaunchParameters(nullptr);
    EXPECT_TRUE(sameFields(before, settings));
    EXPECT_EQ(launchedWithPath, 0);
}

TEST_F(LaunchParametersTest, PathOnly) {
    setText(settings.outputDirectory, "C:\\exe\\");
    settings.comPortIndex = 3;
    ReaderSettings expected = settings;
    expected.outputDirectory[0] = '\0';
    setText(expected.outputFileName, "C:\\data\\out.txt");
    setText(expected.outputPath, "C:\\data\\out.txt");
    expected.replaceFrom = 0;
    expected.replaceTo = 0;
    expected.dateSepChar[0] = '\0';
    expected.timeSepChar[0] = '\0';
    apply("C:\\data\\out.txt");
    EXPECT_TRUE(sameFields(expected, settings));
    EXPECT_EQ(launchedWithPath, 1);
    EXPECT_EQ(outputPathRefused, 0);
    // Composing later gives the path back unchanged.
    ASSERT_TRUE(composeOutputPath());
    EXPECT_STREQ(settings.outputPath, "C:\\data\\out.txt");
}

TEST_F(LaunchParametersTest, EverySlotChanged) {
    apply(withSlots("C:\\out.txt", kChangedSlots));
    EXPECT_EQ(launchedWithPath, 1);
    EXPECT_STREQ(settings.outputPath, "C:\\out.txt");
    EXPECT_STREQ(settings.outputFileName, "C:\\out.txt");
    EXPECT_STREQ(settings.outputDirectory, "");
    EXPECT_EQ(settings.comPortIndex, 8);
    EXPECT_EQ(settings.baudIndex, 7);
    EXPECT_EQ(settings.fileMode, 2);
    EXPECT_EQ(settings.addReturn, 0);
    EXPECT_EQ(settings.addLineFeed, 0);
    EXPECT_EQ(settings.showErrors, 0);
    EXPECT_EQ(settings.viewData, 0);
    EXPECT_EQ(settings.alwaysShowDialog, 0);
    EXPECT_EQ(settings.replaceEnabled, 1);
    EXPECT_EQ(settings.replaceFrom, 'A');
    EXPECT_EQ(settings.replaceTo, 'B');
    EXPECT_EQ(settings.stampEnabled, 1); // slot 11 "0", slot 12 "1"
    EXPECT_EQ(settings.stampAtBottom, 1);
    EXPECT_EQ(settings.separateStamps, 0);
    EXPECT_EQ(settings.delimiterIndex, 1);
    EXPECT_EQ(settings.yearOn, 0);
    EXPECT_EQ(settings.yearTwoDigits, 1);
    EXPECT_EQ(settings.monthOn, 0);
    EXPECT_EQ(settings.dayOn, 0);
    EXPECT_EQ(settings.dateSepOn, 0);
    EXPECT_STREQ(settings.dateSepChar, "-");
    EXPECT_EQ(settings.dateStyle, 1);
    EXPECT_EQ(settings.hourOn, 0);
    EXPECT_EQ(settings.minuteOn, 0);
    EXPECT_EQ(settings.secondOn, 0);
    EXPECT_EQ(settings.timeSepOn, 0);
    EXPECT_STREQ(settings.timeSepChar, ".");
}

TEST_F(LaunchParametersTest, DefaultSlotsGiveTheDefaults) {
    const ReaderSettings before = settings;
    apply(withSlots("x", kDefaultSlots));
    ReaderSettings expected = before;
    setText(expected.outputPath, "x");
    setText(expected.outputFileName, "x");
    EXPECT_TRUE(sameFields(expected, settings));
}

TEST_F(LaunchParametersTest, LeadingCommaAppliesSlotsWithoutAPath) {
    setText(settings.outputDirectory, "C:\\exe\\");
    setText(settings.outputFileName, "old.txt");
    setText(settings.outputPath, "C:\\exe\\old.txt");
    settings.alwaysShowDialog = 0;
    apply(withSlots("", "2311111111,;"));
    EXPECT_STREQ(settings.outputDirectory, "");
    EXPECT_STREQ(settings.outputFileName, "");
    EXPECT_STREQ(settings.outputPath, "");
    EXPECT_EQ(launchedWithPath, 0);
    EXPECT_EQ(settings.comPortIndex, 1);
    EXPECT_EQ(settings.baudIndex, 2);
    EXPECT_EQ(settings.alwaysShowDialog, 1);
    EXPECT_EQ(settings.stampEnabled, 0);
    EXPECT_STREQ(settings.dateSepChar, ""); // slot 21 beyond the string
}

TEST_F(LaunchParametersTest, LaunchedWithPathFollowsEachString) {
    apply("C:\\a.txt");
    EXPECT_EQ(launchedWithPath, 1);
    apply(",1");
    EXPECT_EQ(launchedWithPath, 0);
    apply("");
    EXPECT_EQ(launchedWithPath, 0);
}

TEST_F(LaunchParametersTest, Slots11And12) {
    struct {
        char slot11;
        char slot12;
        int before;
        int expected;
    } const cases[] = {
        {'1', '0', 0, 0}, {'1', ',', 0, 1}, {'0', '1', 0, 1},    {'0', ',', 1, 0},
        {'1', '1', 0, 1}, {'0', '0', 1, 0}, {',', ',', 1, 1},    {',', ',', 0, 0},
        {'2', '1', 0, 1}, {'1', '2', 0, 1}, {'1', '\x80', 0, 1},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(std::string("slot 11 ") + testCase.slot11 + ", slot 12 " + testCase.slot12);
        fake::resetAll();
        settings.stampEnabled = testCase.before;
        std::string slots = kDefaultSlots;
        slots[11] = testCase.slot11;
        slots[12] = testCase.slot12;
        apply(withSlots("p", slots));
        EXPECT_EQ(settings.stampEnabled, testCase.expected);
    }
}

TEST_F(LaunchParametersTest, Slot11DecidesWhenTheStringEndsBeforeSlot12) {
    apply("p,1,1,1,1,1,1,1,1,1,a,b,1");
    EXPECT_EQ(settings.stampEnabled, 1);
    EXPECT_EQ(settings.replaceFrom, 'a');
    EXPECT_EQ(settings.replaceTo, 'b');
}

// A slot character that the slot does not accept leaves the field as it was.
TEST_F(LaunchParametersTest, RefusedSlotCharactersKeepTheirFields) {
    struct {
        int slot;
        char character;
    } const cases[] = {
        {0, '0'},     {0, ':'},  {0, '\x80'},  {0, '\xB1'}, {1, '9'},     {1, '0'},    {1, '\xFF'},
        {2, '4'},     {2, '0'},  {2, '\xB2'},  {3, '2'},    {3, '/'},     {3, '\xB0'}, {7, '\xB1'},
        {8, '2'},     {13, '2'}, {13, '\x81'}, {14, '9'},   {15, '2'},    {15, '3'},   {15, '4'},
        {15, '\xB0'}, {16, 'x'}, {20, ' '},    {22, '2'},   {22, '\xB1'}, {23, '2'},   {26, '9'},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE("slot " + std::to_string(testCase.slot) + " code " +
                     std::to_string(static_cast<unsigned char>(testCase.character)));
        fake::resetAll();
        // Distinct starting values that no accepted character would give.
        settings.comPortIndex = 5;
        settings.baudIndex = 6;
        settings.fileMode = 1;
        settings.addReturn = 7;
        settings.alwaysShowDialog = 7;
        settings.replaceEnabled = 7;
        settings.stampAtBottom = 7;
        settings.separateStamps = 7;
        settings.delimiterIndex = 3;
        settings.yearOn = 7;
        settings.dateSepOn = 7;
        settings.dateStyle = 2;
        settings.hourOn = 7;
        settings.timeSepOn = 7;
        ReaderSettings expected = settings;
        setText(expected.outputPath, "p");
        setText(expected.outputFileName, "p");
        // Slots other than the one under test hold a character no slot
        // accepts; the any-byte slots get theirs.
        std::string slots(28, '#');
        slots[testCase.slot] = testCase.character;
        expected.replaceFrom = '#';
        expected.replaceTo = '#';
        expected.dateSepChar[0] = '#';
        expected.timeSepChar[0] = '#';
        apply(withSlots("p", slots));
        EXPECT_TRUE(sameFields(expected, settings));
    }
}

TEST_F(LaunchParametersTest, AcceptedSlotCharacters) {
    struct {
        int slot;
        char character;
        std::int32_t ReaderSettings::*integerField;
        std::uint8_t ReaderSettings::*byteField;
        int expected;
    } const cases[] = {
        {0, '1', &ReaderSettings::comPortIndex, nullptr, 0},
        {0, '9', &ReaderSettings::comPortIndex, nullptr, 8},
        {1, '8', &ReaderSettings::baudIndex, nullptr, 7},
        {1, '6', &ReaderSettings::baudIndex, nullptr, 5},
        {2, '3', &ReaderSettings::fileMode, nullptr, 2},
        {2, '2', &ReaderSettings::fileMode, nullptr, 1},
        {5, '0', &ReaderSettings::showErrors, nullptr, 0},
        {6, '0', &ReaderSettings::viewData, nullptr, 0},
        {15, '1', nullptr, &ReaderSettings::delimiterIndex, 1},
        {15, '0', nullptr, &ReaderSettings::delimiterIndex, 0},
        {22, '1', nullptr, &ReaderSettings::dateStyle, 1},
        {17, '1', nullptr, &ReaderSettings::yearTwoDigits, 1},
        {25, '0', nullptr, &ReaderSettings::secondOn, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE("slot " + std::to_string(testCase.slot) + " " + testCase.character);
        fake::resetAll();
        settings.delimiterIndex = 3;
        settings.dateStyle = 2;
        std::string slots(28, '#');
        slots[testCase.slot] = testCase.character;
        apply(withSlots("p", slots));
        int actual =
            testCase.integerField ? settings.*testCase.integerField : settings.*testCase.byteField;
        EXPECT_EQ(actual, testCase.expected);
    }
}

TEST_F(LaunchParametersTest, HighCodesInSlots9And10SelectThatByte) {
    for (int code : {128, 129, 200, 255}) {
        SCOPED_TRACE(code);
        fake::resetAll();
        std::string slots = kDefaultSlots;
        slots[9] = static_cast<char>(code);
        slots[10] = static_cast<char>(383 - code);
        apply(withSlots("p", slots));
        EXPECT_EQ(settings.replaceFrom, code);
        EXPECT_EQ(settings.replaceTo, 383 - code);
    }
}

TEST_F(LaunchParametersTest, AnyByteSlotsTakeBlanksCommasAndHighBytes) {
    std::string slots = kDefaultSlots;
    slots[9] = ' ';
    slots[10] = ',';
    slots[21] = '\xE9';
    slots[27] = '\t';
    apply(withSlots("p", slots));
    EXPECT_EQ(settings.replaceFrom, ' ');
    EXPECT_EQ(settings.replaceTo, ',');
    EXPECT_EQ(settings.dateSepChar[0], '\xE9');
    EXPECT_EQ(settings.dateSepChar[1], '\0');
    EXPECT_STREQ(settings.timeSepChar, "\t");
}

TEST_F(LaunchParametersTest, StringEndingMidwaySetsAnyByteSlotsToNul) {
    apply("p,2,3,2");
    EXPECT_EQ(settings.comPortIndex, 1);
    EXPECT_EQ(settings.baudIndex, 2);
    EXPECT_EQ(settings.fileMode, 1);
    EXPECT_EQ(settings.addReturn, 1);
    EXPECT_EQ(settings.replaceFrom, 0);
    EXPECT_EQ(settings.replaceTo, 0);
    EXPECT_STREQ(settings.dateSepChar, "");
    EXPECT_STREQ(settings.timeSepChar, "");
    // A string whose last slot character is the last byte.
    fake::resetAll();
    apply(withSlots("p", kChangedSlots));
    EXPECT_STREQ(settings.timeSepChar, ".");
    // One character short of slot 27.
    fake::resetAll();
    std::string shortString = withSlots("p", kChangedSlots);
    shortString.pop_back();
    apply(shortString);
    EXPECT_STREQ(settings.timeSepChar, "");
    EXPECT_EQ(settings.timeSepOn, 0);
}

TEST_F(LaunchParametersTest, QuotesAndBlanksStayInThePath) {
    struct {
        std::string parameters;
        std::string path;
    } const cases[] = {
        {"C:\\My Data\\out file.txt,2", "C:\\My Data\\out file.txt"},
        {"\"C:\\My Data\\out.txt\",2", "\"C:\\My Data\\out.txt\""},
        {"\"C:\\My Data\\out.txt\" ,2", "\"C:\\My Data\\out.txt\" "},
        {"  leading and trailing  ", "  leading and trailing  "},
        {"\"C:\\a,b.txt\"", "\"C:\\a"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.parameters);
        fake::resetAll();
        apply(testCase.parameters);
        EXPECT_EQ(std::string(settings.outputPath), testCase.path);
        EXPECT_EQ(std::string(settings.outputFileName), testCase.path);
        EXPECT_EQ(launchedWithPath, 1);
    }
}

TEST_F(LaunchParametersTest, StringLongerThan255IsParsedWhole) {
    std::string path = "C:\\" + std::string(230, 'p') + "\\out.txt";
    std::string parameters = withSlots(path, kChangedSlots);
    ASSERT_GT(parameters.size(), 255u);
    apply(parameters);
    EXPECT_EQ(std::string(settings.outputPath), path);
    EXPECT_EQ(std::string(settings.outputFileName), path);
    EXPECT_EQ(launchedWithPath, 1);
    EXPECT_EQ(settings.comPortIndex, 8);
    EXPECT_EQ(settings.replaceFrom, 'A');
    EXPECT_EQ(settings.delimiterIndex, 1);
    EXPECT_STREQ(settings.dateSepChar, "-");
    EXPECT_STREQ(settings.timeSepChar, ".");
}

TEST_F(LaunchParametersTest, PathLengthLimit) {
    struct {
        std::size_t length;
        bool fits;
    } const cases[] = {{254, true}, {255, true}, {256, false}, {300, false}, {1000, false}};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.length);
        fake::resetAll();
        setText(settings.outputDirectory, "C:\\exe\\");
        outputPathRefused = testCase.fits ? 1 : 0; // the opposite of what must follow
        std::string path = "C:\\" + std::string(testCase.length - 3, 'q');
        apply(withSlots(path, kChangedSlots));
        EXPECT_EQ(launchedWithPath, 1);
        EXPECT_STREQ(settings.outputDirectory, "");
        if (testCase.fits) {
            EXPECT_EQ(std::string(settings.outputPath), path);
            EXPECT_EQ(std::string(settings.outputFileName), path);
            EXPECT_EQ(outputPathRefused, 0);
        } else {
            EXPECT_STREQ(settings.outputPath, "");
            EXPECT_STREQ(settings.outputFileName, "");
            EXPECT_EQ(outputPathRefused, 1);
        }
        // The slots are applied either way.
        EXPECT_EQ(settings.comPortIndex, 8);
        EXPECT_STREQ(settings.timeSepChar, ".");
    }
}

TEST_F(LaunchParametersTest, OverLongPathWithoutComma) {
    apply(std::string(400, 'z'));
    EXPECT_EQ(launchedWithPath, 1);
    EXPECT_EQ(outputPathRefused, 1);
    EXPECT_STREQ(settings.outputPath, "");
    EXPECT_EQ(settings.replaceFrom, 0);
}

// ------------------------------------------------------- parameterStringOf

TEST(ParameterStringOf, CutsTheProgramNameAndTheBlanksAfterIt) {
    struct {
        std::string commandLine;
        std::string rest;
    } const cases[] = {
        {"\"C:\\Program Files\\Tamsel\\Tamsel.exe\" C:\\out.txt,1", "C:\\out.txt,1"},
        {"Tamsel.exe C:\\out.txt", "C:\\out.txt"},
        {"Tamsel.exe\t\t  x", "x"},
        {"Tamsel.exe\x01\x1f\x20x", "x"},
        {"Tamsel.exe\tx y", "x y"},
        {"Tamsel.exe", ""},
        {"Tamsel.exe   ", ""},
        {"\"Tamsel.exe\"", ""},
        {"\"C:\\a b\\Tamsel.exe\"   ", ""},
        {"\"C:\\a b\\Tamsel.exe\"\t\"q\",1", "\"q\",1"},
        {"\"unclosed name with blanks", ""},
        {"\"C:\\a\"rest x", "rest x"},
        {"Tamsel.exe a  b  ", "a  b  "},
        {"Tamsel.exe \"q p\",1", "\"q p\",1"},
        {"Tam\x80sel.exe x", "x"},
        {"Tam\"sel\".exe x", "x"},
        {"Tamsel.exe \x80", "\x80"},
        {" x", "x"},
        {"", ""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.commandLine);
        const std::size_t size = testCase.commandLine.size();
        std::unique_ptr<char[]> text(new char[size + 1]);
        std::memcpy(text.get(), testCase.commandLine.c_str(), size + 1);
        const char* parameters = parameterStringOf(text.get());
        EXPECT_EQ(parameters, text.get() + (size - testCase.rest.size()));
        EXPECT_EQ(std::string(parameters), testCase.rest);
    }
}

} // namespace
