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

// Every slot at the start-up value.
const std::string kDefaultSlots = std::string("111") + "11111" + "0" + ",;" + "00" // slots 0-12
                                  + "0101011" + "1" + "/" + "0"                    // slots 13-22
                                  + "1111" + ":";                                  // slots 23-27

class LaunchParametersTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }
};

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

// A slot character that the slot does not accept leaves the field as it was.
TEST_F(LaunchParametersTest, RefusedSlotCharactersKeepTheirFields) {
    struct {
        int slot;
        char character;
    } const cases[] = {
        {0, '0'},     {0, ':'},  {0, '\x80'}, {0, '\xB1'},  {1, '9'},  {1, '0'},
        {1, '\xFF'},  {0, '<'},  {0, '-'},    {2, '4'},     {2, '0'},  {2, '\xB2'},
        {3, '2'},     {3, '/'},  {3, '\xB0'}, {7, '\xB1'},  {8, '2'},  {13, '2'},
        {13, '\x81'}, {14, '9'}, {15, '2'},   {15, '3'},    {15, '4'}, {15, '\xB0'},
        {16, 'x'},    {20, ' '}, {22, '2'},   {22, '\xB1'}, {23, '2'}, {26, '9'},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE("slot " + std::to_string(testCase.slot) + " code " +
                     std::to_string(static_cast<unsigned char>(testCase.character)));
        fake::resetAll();
        // Distinct starting values that no accepted character would give;
        // a port above COM9 is kept, as it can only be saved in the dialog.
        settings.comPortIndex = 11;
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

// What a string whose any-byte slots lie beyond its end leaves there.
void byteSlotsEmpty(ReaderSettings& e) {
    e.replaceFrom = e.replaceTo = 0;
    e.dateSepChar[0] = e.timeSepChar[0] = '\0';
}

// Start-up slot values over the fields that each row starts with changed.
void slotDefaults(ReaderSettings& e) {
    e.comPortIndex = 0;
    e.alwaysShowDialog = 1;
}

// Each row: the string, the path it names (empty when refused) and what else
// it changes. Every row starts with values the string must change.
TEST_F(LaunchParametersTest, StringToSettings) {
    std::string slots = kDefaultSlots;
    slots[9] = ' ', slots[10] = ',', slots[21] = '\xE9', slots[27] = '\t';
    const std::string anyBytes = withSlots("p", slots);
    slots = kDefaultSlots;
    slots[9] = '\x80', slots[10] = '\xFF';
    const std::string highCodes = withSlots("p", slots);
    slots = kDefaultSlots;
    slots[27] = '.';
    const std::string longPath = "C:\\" + std::string(230, 'p') + "\\out.txt";
    const std::string q = "C:\\" + std::string(253, 'q');
    const struct {
        const char* name;
        std::string parameters, path;
        int launched, refused;
        void (*changes)(ReaderSettings&);
    } rows[] = {
        {"path only", "C:\\data\\out.txt", "C:\\data\\out.txt", 1, 0, byteSlotsEmpty},
        {"default slots", withSlots("x", kDefaultSlots), "x", 1, 0, slotDefaults},
        {"slots without a path", withSlots("", "2311111111,;"), "", 0, 0,
         [](ReaderSettings& e) {
             byteSlotsEmpty(e);
             e.comPortIndex = 1, e.baudIndex = 2, e.alwaysShowDialog = e.replaceEnabled = 1;
             e.replaceFrom = '1', e.replaceTo = ',';
         }},
        {"slot 11 decides when slot 12 is missing", "p,1,1,1,1,1,1,1,1,1,a,b,1", "p", 1, 0,
         [](ReaderSettings& e) {
             byteSlotsEmpty(e), slotDefaults(e);
             e.replaceEnabled = e.stampEnabled = 1;
             e.replaceFrom = 'a', e.replaceTo = 'b';
         }},
        {"ending midway", "p,2,3,2", "p", 1, 0,
         [](ReaderSettings& e) {
             byteSlotsEmpty(e);
             e.comPortIndex = 1, e.baudIndex = 2, e.fileMode = 1;
         }},
        {"one byte short of slot 27", withSlots("p", kDefaultSlots).substr(0, 56), "p", 1, 0,
         [](ReaderSettings& e) { slotDefaults(e), e.timeSepChar[0] = '\0'; }},
        {"blanks, commas and high bytes in any-byte slots", anyBytes, "p", 1, 0,
         [](ReaderSettings& e) {
             slotDefaults(e);
             e.replaceFrom = ' ', e.replaceTo = ',';
             e.dateSepChar[0] = '\xE9', e.timeSepChar[0] = '\t';
         }},
        {"codes 128 and 255", highCodes, "p", 1, 0,
         [](ReaderSettings& e) { slotDefaults(e), e.replaceFrom = 128, e.replaceTo = 255; }},
        {"blanks in the path", "C:\\My Data\\out file.txt,2", "C:\\My Data\\out file.txt", 1, 0,
         [](ReaderSettings& e) { byteSlotsEmpty(e), e.comPortIndex = 1; }},
        {"quotes kept", "\"C:\\My Data\\out.txt\",2", "\"C:\\My Data\\out.txt\"", 1, 0,
         [](ReaderSettings& e) { byteSlotsEmpty(e), e.comPortIndex = 1; }},
        {"a blank after the quotes kept", "\"C:\\My Data\\out.txt\" ,2",
         "\"C:\\My Data\\out.txt\" ", 1, 0,
         [](ReaderSettings& e) { byteSlotsEmpty(e), e.comPortIndex = 1; }},
        {"leading and trailing blanks", "  a b  ", "  a b  ", 1, 0, byteSlotsEmpty},
        {"a comma in quotes still ends the path", "\"C:\\a,b.txt\"", "\"C:\\a", 1, 0,
         byteSlotsEmpty},
        {"longer than 255, parsed whole", withSlots(longPath, slots), longPath, 1, 0,
         [](ReaderSettings& e) { slotDefaults(e), e.timeSepChar[0] = '.'; }},
        {"path of 254", withSlots(q.substr(0, 254), kDefaultSlots), q.substr(0, 254), 1, 0,
         slotDefaults},
        {"path of 255", withSlots(q.substr(0, 255), kDefaultSlots), q.substr(0, 255), 1, 0,
         slotDefaults},
        {"path of 256 refused, slots applied", withSlots(q, slots), "", 1, 1,
         [](ReaderSettings& e) { slotDefaults(e), e.timeSepChar[0] = '.'; }},
        {"path of 1000 refused", withSlots(std::string(1000, 'q'), kDefaultSlots), "", 1, 1,
         slotDefaults},
        {"400 bytes and no comma", std::string(400, 'z'), "", 1, 1, byteSlotsEmpty},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake::resetAll();
        setText(settings.outputDirectory, "C:\\exe\\");
        setText(settings.outputFileName, "old.txt");
        setText(settings.outputPath, "C:\\exe\\old.txt");
        settings.comPortIndex = 3;
        settings.alwaysShowDialog = 0;
        outputPathRefused = 1 - row.refused;
        launchedWithPath = 1 - row.launched;
        ReaderSettings expected = settings;
        expected.outputDirectory[0] = '\0';
        setText(expected.outputPath, row.path);
        setText(expected.outputFileName, row.path);
        row.changes(expected);
        apply(row.parameters);
        EXPECT_TRUE(sameFields(expected, settings));
        EXPECT_EQ(launchedWithPath, row.launched);
        EXPECT_EQ(outputPathRefused, row.refused);
    }
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
