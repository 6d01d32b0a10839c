#include "app/settings_file.h"

#include "app/launch_parameters.h"
#include "app/settings.h"
#include "tests/fake_platform.h"
#include "tests/settings_fields.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>
#include <string>
#include <vector>

using testfields::sameFields;
using testfields::setText;

namespace {

std::string encoded() {
    char buffer[kMaxSettingsFileSize];
    std::size_t length = encodeSettingsFile(buffer, sizeof buffer);
    return std::string(buffer, length);
}

// Decodes from storage of exactly the file's size, so that the sanitizer sees
// any read past the given length.
void decode(const std::string& file) {
    std::unique_ptr<char[]> bytes(new char[file.size() ? file.size() : 1]);
    std::memcpy(bytes.get(), file.data(), file.size());
    decodeSettingsFile(bytes.get(), file.size());
}

// The 27 value lines from 27 bytes.
std::string valueLines(const std::string& values) {
    std::string lines;
    for (char value : values) {
        lines += value;
        lines += "\r\n";
    }
    return lines;
}

// Defaults of lines 3 to 29 as a fresh file holds them.
std::string defaultValues() {
    std::string listed = "1 1 1 1 1 1 1 1 0 , ; 0 0 1 0 1 0 1 1 1 / 0 1 1 1 1 :";
    std::string values;
    for (std::size_t i = 0; i < listed.size(); i += 2) {
        values += listed[i];
    }
    return values;
}

// Sets every stored field to a value that no test record uses.
void scramble() {
    setText(settings.outputDirectory, "old directory");
    setText(settings.outputFileName, "old name");
    settings.comPortIndex = 77;
    settings.baudIndex = 77;
    settings.fileMode = 77;
    settings.addReturn = 77;
    settings.addLineFeed = 77;
    settings.showErrors = 77;
    settings.viewData = 77;
    settings.alwaysShowDialog = 77;
    settings.replaceEnabled = 77;
    settings.replaceFrom = 777;
    settings.replaceTo = 777;
    settings.stampEnabled = 77;
    settings.stampAtBottom = 77;
    settings.separateStamps = 77;
    settings.delimiterIndex = 77;
    settings.yearOn = 77;
    settings.yearTwoDigits = 77;
    settings.monthOn = 77;
    settings.dayOn = 77;
    settings.dateSepOn = 77;
    settings.dateSepChar[0] = 'Q';
    settings.dateStyle = 77;
    settings.hourOn = 77;
    settings.minuteOn = 77;
    settings.secondOn = 77;
    settings.timeSepOn = 77;
    settings.timeSepChar[0] = 'Q';
}

class SettingsFileTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }
};

// ---------------------------------------------------------------- round trip

struct RoundTripCase {
    const char* name;
    std::function<void()> fill;
};

void alternativeValues() {
    setText(settings.outputDirectory, "D:\\Logs\\Base 2\\");
    setText(settings.outputFileName, "records.csv");
    settings.comPortIndex = 8;
    settings.baudIndex = 7;
    settings.fileMode = 2;
    settings.addReturn = 0;
    settings.addLineFeed = 0;
    settings.showErrors = 0;
    settings.viewData = 0;
    settings.alwaysShowDialog = 0;
    settings.replaceEnabled = 1;
    settings.replaceFrom = 255;
    settings.replaceTo = 1;
    settings.stampEnabled = 1;
    settings.stampAtBottom = 1;
    settings.separateStamps = 0;
    settings.delimiterIndex = 4;
    settings.yearOn = 0;
    settings.yearTwoDigits = 1;
    settings.monthOn = 0;
    settings.dayOn = 0;
    settings.dateSepOn = 0;
    settings.dateSepChar[0] = '-';
    settings.dateStyle = 2;
    settings.hourOn = 0;
    settings.minuteOn = 0;
    settings.secondOn = 0;
    settings.timeSepOn = 0;
    settings.timeSepChar[0] = '.';
}

const RoundTripCase roundTripCases[] = {
    {"defaults", [] { setText(settings.outputDirectory, "C:\\Tamsel\\"); }},
    {"every value changed", alternativeValues},
    {"middle values",
     [] {
         setText(settings.outputDirectory, "C:\\a");
         setText(settings.outputFileName, "b.txt");
         settings.comPortIndex = 4;
         settings.baudIndex = 3;
         settings.fileMode = 1;
         settings.replaceFrom = '\t';
         settings.replaceTo = ' ';
         settings.delimiterIndex = 2;
         settings.dateStyle = 1;
         settings.dateSepChar[0] = '.';
         settings.timeSepChar[0] = 'h';
     }},
    {"high bytes in raw lines",
     [] {
         settings.replaceFrom = 200;
         settings.replaceTo = 128;
         settings.dateSepChar[0] = static_cast<char>(0xA5);
         settings.timeSepChar[0] = static_cast<char>(0xFF);
     }},
    {"CR and LF as raw bytes",
     [] {
         settings.replaceFrom = '\r';
         settings.replaceTo = '\n';
         settings.dateSepChar[0] = '\n';
         settings.timeSepChar[0] = '\r';
     }},
    {"empty texts",
     [] {
         settings.outputDirectory[0] = '\0';
         settings.outputFileName[0] = '\0';
     }},
    {"longest texts: a file of 595 bytes",
     [] {
         alternativeValues();
         setText(settings.outputDirectory, "C:\\" + std::string(251, 'd') + "\\");
         setText(settings.outputFileName, std::string(255, 'n'));
     }},
    {"longer than 255 bytes: long directory and name",
     [] {
         setText(settings.outputDirectory, "C:\\" + std::string(200, 'x') + "\\");
         setText(settings.outputFileName, std::string(120, 'y') + ".txt");
         settings.baudIndex = 5;
     }},
};

TEST_F(SettingsFileTest, SavedFileLoadsBackEveryField) {
    for (const RoundTripCase& testCase : roundTripCases) {
        SCOPED_TRACE(testCase.name);
        fake::resetAll();
        testCase.fill();
        const ReaderSettings saved = settings;
        std::string file = encoded();
        ASSERT_EQ(file.size(),
                  85 + std::strlen(saved.outputDirectory) + std::strlen(saved.outputFileName));
        scramble();
        decode(file);
        EXPECT_TRUE(sameFields(saved, settings, false));
    }
}

TEST_F(SettingsFileTest, DefaultFileHasTheListedValueLines) {
    setText(settings.outputDirectory, "C:\\Tools\\");
    setText(settings.outputFileName, "data.txt");
    std::string expected = "C:\\Tools\\\r\ndata.txt\r\n" + valueLines(defaultValues());
    EXPECT_EQ(encoded(), expected);
    EXPECT_EQ(encoded().size(), 85u + 9u + 8u);
}

TEST_F(SettingsFileTest, EncodingOfEachValueLine) {
    alternativeValues();
    std::string file = encoded();
    std::string head = "D:\\Logs\\Base 2\\\r\nrecords.csv\r\n";
    ASSERT_EQ(file.substr(0, head.size()), head);
    std::string values;
    values += "983000001";            // lines 3-11
    values += static_cast<char>(255); // 12
    values += static_cast<char>(1);   // 13
    values += "110401000";            // 14-22
    values += "-2";                   // 23, 24
    values += "0000.";                // 25-29
    EXPECT_EQ(file.substr(head.size()), valueLines(values));
}

TEST_F(SettingsFileTest, WriterKeepsOnlyTheLow8BitsOfIntegers) {
    settings.replaceFrom = 0x141; // 'A' + 256
    settings.replaceTo = 0x13B;   // ';' + 256
    settings.comPortIndex = 256 + 2;
    std::string file = encoded();
    std::string values = file.substr(file.size() - 81);
    EXPECT_EQ(values[0], '3');
    EXPECT_EQ(values[27], 'A');
    EXPECT_EQ(values[30], ';');
}

TEST_F(SettingsFileTest, EncodeRefusesASmallBuffer) {
    setText(settings.outputDirectory, "C:\\");
    char buffer[kMaxSettingsFileSize];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(encodeSettingsFile(buffer, 85 + 3 - 1), 0u);
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_EQ(encodeSettingsFile(buffer, 85 + 3), 88u);
    EXPECT_EQ(encodeSettingsFile(nullptr, 1000), 0u);
}

// ----------------------------------------------- each field in its place

// Where each stored field lives, written here rather than taken from the
// program's own table, so that two fields swapped there show: the file's line,
// the parameter string's slot, and for each a character with the value it
// gives. No other field ever holds the file's value.
struct Placed {
    const char* name;
    int line, slot;
    void (*set)(ReaderSettings&, int);
    char fileChar;
    int fileValue;
    char slotChar;
    int slotValue;
};
#define TAMSEL_PLACED(line, slot, field, fileChar, fileValue, slotChar, slotValue)                       \
    {                                                                                                    \
#field, line, slot,                                                                              \
            [](ReaderSettings & s,                                                                       \
               int v) { s.field = static_cast<std::remove_reference_t<decltype(s.field)>>(v); },         \
                                                                                              fileChar,  \
                                                                                              fileValue, \
                                                                                              slotChar,  \
                                                                                              slotValue  \
    }
const Placed placed[] = {
    TAMSEL_PLACED(3, 0, comPortIndex, '7', 6, '5', 4),
    TAMSEL_PLACED(4, 1, baudIndex, '7', 6, '3', 2),
    TAMSEL_PLACED(5, 2, fileMode, '7', 6, '2', 1),
    TAMSEL_PLACED(6, 3, addReturn, '7', 7, '0', 0),
    TAMSEL_PLACED(7, 4, addLineFeed, '7', 7, '0', 0),
    TAMSEL_PLACED(8, 5, showErrors, '7', 7, '0', 0),
    TAMSEL_PLACED(9, 6, viewData, '7', 7, '0', 0),
    TAMSEL_PLACED(10, 7, alwaysShowDialog, '7', 7, '0', 0),
    TAMSEL_PLACED(11, 8, replaceEnabled, '7', 7, '1', 1),
    TAMSEL_PLACED(12, 9, replaceFrom, 'F', 'F', 'F', 'F'),
    TAMSEL_PLACED(13, 10, replaceTo, 'T', 'T', 'T', 'T'),
    TAMSEL_PLACED(14, 11, stampEnabled, '7', 7, '1', 1),
    TAMSEL_PLACED(15, 13, stampAtBottom, '7', 7, '1', 1),
    TAMSEL_PLACED(16, 14, separateStamps, '7', 7, '0', 0),
    TAMSEL_PLACED(17, 15, delimiterIndex, '7', 7, '1', 1),
    TAMSEL_PLACED(18, 16, yearOn, '7', 7, '0', 0),
    TAMSEL_PLACED(19, 17, yearTwoDigits, '7', 7, '1', 1),
    TAMSEL_PLACED(20, 18, monthOn, '7', 7, '0', 0),
    TAMSEL_PLACED(21, 19, dayOn, '7', 7, '0', 0),
    TAMSEL_PLACED(22, 20, dateSepOn, '7', 7, '0', 0),
    TAMSEL_PLACED(23, 21, dateSepChar[0], 'd', 'd', 'd', 'd'),
    TAMSEL_PLACED(24, 22, dateStyle, '7', 7, '1', 1),
    TAMSEL_PLACED(25, 23, hourOn, '7', 7, '0', 0),
    TAMSEL_PLACED(26, 24, minuteOn, '7', 7, '0', 0),
    TAMSEL_PLACED(27, 25, secondOn, '7', 7, '0', 0),
    TAMSEL_PLACED(28, 26, timeSepOn, '7', 7, '0', 0),
    TAMSEL_PLACED(29, 27, timeSepChar[0], 't', 't', 't', 't'),
};
#undef TAMSEL_PLACED

TEST_F(SettingsFileTest, EachFieldAloneIsInItsLineAndItsSlot) {
    for (const Placed& row : placed) {
        SCOPED_TRACE(row.name);
        std::string values = defaultValues();
        values[static_cast<std::size_t>(row.line - 3)] = row.fileChar;
        const std::string file = "\r\n\r\n" + valueLines(values);

        fake::resetAll();
        ReaderSettings expected = settings;
        row.set(expected, row.fileValue);
        settings = expected;
        EXPECT_EQ(encoded(), file);
        fake::resetAll();
        decode(file);
        EXPECT_TRUE(sameFields(expected, settings));

        // Every other slot holds a character that its field refuses, or that
        // an any-byte field takes; every field starts where no slot leads.
        fake::resetAll();
        scramble();
        expected = settings;
        std::string parameters = "p";
        for (int slot = 0; slot < 28; ++slot) {
            parameters += ',';
            parameters += slot == row.slot ? row.slotChar : '#';
        }
        setText(expected.outputPath, "p");
        setText(expected.outputFileName, "p");
        expected.outputDirectory[0] = '\0';
        expected.replaceFrom = expected.replaceTo = '#';
        expected.dateSepChar[0] = expected.timeSepChar[0] = '#';
        row.set(expected, row.slotValue);
        applyLaunchParameters(parameters.c_str());
        EXPECT_TRUE(sameFields(expected, settings));
    }
}

// ------------------------------------------------------------ NUL on a line

TEST_F(SettingsFileTest, NulReplaceFromKeepsItAndEveryLaterField) {
    alternativeValues();
    settings.replaceFrom = 0;
    std::string file = encoded();
    ASSERT_EQ(file[file.size() - 81 + 27], '\0');

    fake::resetAll();
    const ReaderSettings before = settings;
    decode(file);
    ReaderSettings expected = before;
    // Lines 1 to 11 are taken; lines 12 to 29 keep their values.
    setText(expected.outputDirectory, "D:\\Logs\\Base 2\\");
    setText(expected.outputFileName, "records.csv");
    expected.comPortIndex = 8;
    expected.baudIndex = 7;
    expected.fileMode = 2;
    expected.addReturn = 0;
    expected.addLineFeed = 0;
    expected.showErrors = 0;
    expected.viewData = 0;
    expected.alwaysShowDialog = 0;
    expected.replaceEnabled = 1;
    EXPECT_TRUE(sameFields(expected, settings));
    EXPECT_EQ(settings.replaceFrom, 44);
    EXPECT_EQ(settings.replaceTo, 59);
}

TEST_F(SettingsFileTest, EmptyDateSeparatorKeepsItAndLines24To29) {
    alternativeValues();
    settings.dateSepChar[0] = '\0';
    std::string file = encoded();

    fake::resetAll();
    decode(file);
    EXPECT_EQ(settings.delimiterIndex, 4);   // line 17, taken
    EXPECT_EQ(settings.dateSepOn, 0);        // line 22, taken
    EXPECT_STREQ(settings.dateSepChar, "/"); // line 23, kept
    EXPECT_EQ(settings.dateStyle, 0);        // lines 24 to 29, kept
    EXPECT_EQ(settings.hourOn, 1);
    EXPECT_EQ(settings.minuteOn, 1);
    EXPECT_EQ(settings.secondOn, 1);
    EXPECT_EQ(settings.timeSepOn, 1);
    EXPECT_STREQ(settings.timeSepChar, ":");
}

TEST_F(SettingsFileTest, NulAtTheComPositionKeepsComPortIndex) {
    settings.comPortIndex = 3;
    decode("C:\\dir\\\r\nname.txt\r\n");
    EXPECT_EQ(settings.comPortIndex, 3);
    EXPECT_STREQ(settings.outputDirectory, "C:\\dir\\");
    EXPECT_STREQ(settings.outputFileName, "name.txt");
    EXPECT_EQ(settings.baudIndex, 0);
}

TEST_F(SettingsFileTest, NulInsideTheBytesEndsTheText) {
    decode(std::string("C:\\d\0ir\\\r\nname\r\n", 16) + valueLines("9"));
    EXPECT_STREQ(settings.outputDirectory, "C:\\d");
    EXPECT_STREQ(settings.outputFileName, "");
    EXPECT_EQ(settings.comPortIndex, 0);
}

TEST_F(SettingsFileTest, LengthEndsTheContent) {
    std::string file = "dir\r\nname\r\n" + valueLines("456");
    // Only the first value line lies within the given length.
    decodeSettingsFile(file.data(), 5 + 6 + 3);
    EXPECT_EQ(settings.comPortIndex, 3);
    EXPECT_EQ(settings.baudIndex, 0);
    EXPECT_EQ(settings.fileMode, 0);
}

// ----------------------------------------------------------- shifted lines

TEST_F(SettingsFileTest, TwoCharacterValueShiftsLaterLines) {
    std::string values = defaultValues();
    std::string file = "dir\r\nname\r\n12\r\n" + valueLines(values.substr(1));
    decode(file);
    // Line 3 gives its first digit; every later position now holds an LF.
    EXPECT_EQ(settings.comPortIndex, 0);
    EXPECT_EQ(settings.baudIndex, '\n' - 49);
    EXPECT_EQ(settings.fileMode, '\n' - 49);
    EXPECT_EQ(settings.addReturn, '\n' - 48);
    EXPECT_EQ(settings.replaceFrom, '\n');
    EXPECT_EQ(settings.replaceTo, '\n');
    EXPECT_EQ(settings.stampAtBottom, static_cast<std::uint8_t>('\n' - 48));
    EXPECT_EQ(settings.delimiterIndex, static_cast<std::uint8_t>('\n' - 48));
    EXPECT_STREQ(settings.dateSepChar, "\n");
    EXPECT_STREQ(settings.timeSepChar, "\n");
    // The tables are never read outside their bounds.
    EXPECT_EQ(baudRateFor(settings.baudIndex), 0);
    EXPECT_EQ(delimiterFor(settings.delimiterIndex), '\0');
}

TEST_F(SettingsFileTest, TwoCharacterValueOnLine28ShiftsOnlyLine29) {
    std::string values = defaultValues();
    // Line 28 holds "01": its position gives "0", line 29's position then
    // falls on the LF after it.
    std::string file = "dir\r\nname\r\n" + valueLines(values.substr(0, 25)) + "01\r\n#\r\n";
    decode(file);
    EXPECT_EQ(settings.secondOn, 1);
    EXPECT_EQ(settings.timeSepOn, 0);
    EXPECT_STREQ(settings.timeSepChar, "\n");
}

// ------------------------------------------------------------ value ranges

TEST_F(SettingsFileTest, BaudDigitsSixToEightSelectTheSlowSpeeds) {
    struct {
        char digit;
        int index;
        int rate;
    } const cases[] = {
        {'1', 0, 115200}, {'5', 4, 9600}, {'6', 5, 4800}, {'7', 6, 2400}, {'8', 7, 1200}};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.digit);
        fake::resetAll();
        std::string values = defaultValues();
        values[1] = testCase.digit;
        decode("dir\r\nname\r\n" + valueLines(values));
        EXPECT_EQ(settings.baudIndex, testCase.index);
        EXPECT_EQ(baudRateFor(settings.baudIndex), testCase.rate);
    }
}

TEST_F(SettingsFileTest, OutOfRangeBytesAreStoredWithoutARangeTest) {
    std::string values = defaultValues();
    values[0] = '0';                      // COM: -1
    values[1] = '9';                      // baud: 8
    values[2] = static_cast<char>(0xC8);  // file mode: 200 - 49
    values[3] = '7';                      // addReturn: 7
    values[14] = '9';                     // delimiter: 9
    values[21] = static_cast<char>(0x80); // date style: 128 - 48
    decode("dir\r\nname\r\n" + valueLines(values));
    EXPECT_EQ(settings.comPortIndex, -1);
    EXPECT_EQ(settings.baudIndex, 8);
    EXPECT_EQ(settings.fileMode, 151);
    EXPECT_EQ(settings.addReturn, 7);
    EXPECT_EQ(settings.delimiterIndex, 9);
    EXPECT_EQ(settings.dateStyle, 80);
    EXPECT_EQ(portNameFor(settings.comPortIndex), nullptr);
    EXPECT_EQ(baudRateFor(settings.baudIndex), 0);
    EXPECT_EQ(delimiterFor(settings.delimiterIndex), '\0');
}

// ----------------------------------------------------- line 1 and line 2

TEST_F(SettingsFileTest, NoCrLfAfterLine1) {
    struct {
        const char* name;
        std::string file;
    } const cases[] = {
        {"no CR", "C:\\Tamsel\\ and no line end"},
        {"CR without LF", "C:\\dir\\\rname\r\n1\r\n"},
        {"CR as the last byte", "C:\\dir\\\r"},
        {"LF alone", "C:\\dir\\\nname\n2\n"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fake::resetAll();
        setText(settings.outputFileName, "kept.txt");
        ReaderSettings expected = settings;
        setText(expected.outputDirectory, testCase.file);
        decode(testCase.file);
        EXPECT_TRUE(sameFields(expected, settings));
    }
}

TEST_F(SettingsFileTest, Line2WithoutCr) {
    settings.comPortIndex = 5;
    ReaderSettings expected = settings;
    setText(expected.outputDirectory, "C:\\dir\\");
    setText(expected.outputFileName, "name.txt and more 2 3");
    decode("C:\\dir\\\r\nname.txt and more 2 3");
    EXPECT_TRUE(sameFields(expected, settings));
}

TEST_F(SettingsFileTest, Line2WithCrButNoLf) {
    settings.comPortIndex = 5;
    // The LF after line 2's CR is replaced by "Z": the COM line is not taken,
    // every later value still lies at its fixed position from that CR.
    std::string values = "9834";
    std::string body = "name\rZ" + valueLines(values);
    decode("C:\\dir\\\r\n" + body);
    EXPECT_STREQ(settings.outputFileName, body.c_str());
    EXPECT_EQ(settings.comPortIndex, 5);
    EXPECT_EQ(settings.baudIndex, 7);
    EXPECT_EQ(settings.fileMode, 2);
    EXPECT_EQ(settings.addReturn, 4);
    EXPECT_EQ(settings.addLineFeed, 1);
}

TEST_F(SettingsFileTest, EmptyFileEmptiesOnlyTheDirectory) {
    setText(settings.outputDirectory, "C:\\exe\\");
    setText(settings.outputFileName, "kept.txt");
    ReaderSettings expected = settings;
    expected.outputDirectory[0] = '\0';
    decode("");
    EXPECT_TRUE(sameFields(expected, settings));

    setText(settings.outputDirectory, "C:\\exe\\");
    decodeSettingsFile(nullptr, 0);
    EXPECT_TRUE(sameFields(expected, settings));
}

// -------------------------------------------------------- long files/lines

TEST_F(SettingsFileTest, FileLongerThan255BytesIsReadWhole) {
    std::string directory = "C:\\" + std::string(251, 'd') + "\\"; // 255 characters
    std::string name = std::string(250, 'n') + ".txt";             // 254 characters
    std::string values = defaultValues();
    values[0] = '9';
    values[26] = '-';
    std::string file = directory + "\r\n" + name + "\r\n" + valueLines(values);
    ASSERT_EQ(file.size(), 85 + 255 + 254u);
    decode(file);
    EXPECT_EQ(std::string(settings.outputDirectory), directory);
    EXPECT_EQ(std::string(settings.outputFileName), name);
    EXPECT_EQ(settings.comPortIndex, 8);
    EXPECT_STREQ(settings.timeSepChar, "-");
}

TEST_F(SettingsFileTest, OverLongLinesLeaveTheirFields) {
    struct {
        const char* name;
        std::string file;
        bool directoryKept;
        bool nameKept;
        int comPort;
    } const cases[] = {
        {"line 1 of 256", std::string(256, 'd') + "\r\nname\r\n" + valueLines("5"), true, false, 4},
        {"line 2 of 256", "dir\r\n" + std::string(256, 'n') + "\r\n" + valueLines("5"), false, true,
         4},
        {"both of 300", std::string(300, 'd') + "\r\n" + std::string(300, 'n') + "\r\n6\r\n", true,
         true, 5},
        {"no CR LF at all, 400 bytes", std::string(400, 'd'), true, true, 0},
        {"line 2 without CR, 256 bytes", "dir\r\n" + std::string(256, 'n'), false, true, 0},
        {"line 1 of 255 fits", std::string(255, 'd') + "\r\nname\r\n", false, false, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fake::resetAll();
        setText(settings.outputDirectory, "old dir");
        setText(settings.outputFileName, "old name");
        decode(testCase.file);
        if (testCase.directoryKept) {
            EXPECT_STREQ(settings.outputDirectory, "old dir");
        } else {
            EXPECT_NE(std::string(settings.outputDirectory), "old dir");
        }
        if (testCase.nameKept) {
            EXPECT_STREQ(settings.outputFileName, "old name");
        } else {
            EXPECT_NE(std::string(settings.outputFileName), "old name");
        }
        EXPECT_EQ(settings.comPortIndex, testCase.comPort);
    }
}

// ------------------------------------------------------------ module paths

TEST_F(SettingsFileTest, ModulePaths) {
    struct {
        const char* name;
        std::string modulePath;
        std::string directory;
    } const cases[] = {
        {"normal", "C:\\Program Files\\Tamsel\\Tamsel.exe", "C:\\Program Files\\Tamsel\\"},
        {"root", "C:\\Tamsel.exe", "C:\\"},
        {"no backslash", "Tamsel.exe", ""},
        {"directory of 255 fits exactly", std::string(254, 'p') + "\\x.exe",
         std::string(254, 'p') + "\\"},
        {"directory of 256 is refused", std::string(255, 'p') + "\\x.exe", "old"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fake::resetAll();
        setText(settings.outputDirectory, "old");
        setDirectoryFromModulePath(testCase.modulePath.c_str());
        EXPECT_EQ(std::string(settings.outputDirectory), testCase.directory);
    }

    // A program renamed "\x95\x5C.exe" under code page 932, or "\xC3\x5C"
    // (a stray byte and a backslash) under UTF-8: the backslash that ends
    // the folder is the one of its own.
    fake::platform.doubleByte = true;
    setDirectoryFromModulePath("C:\\d\\\x95\x5C.exe");
    EXPECT_STREQ(settings.outputDirectory, "C:\\d\\");
    fake::platform.doubleByte = false;
    fake::platform.utf8 = true;
    setDirectoryFromModulePath("C:\\d\xC3\\\xE5\xBC\xA0.exe");
    EXPECT_STREQ(settings.outputDirectory, "C:\\d\xC3\\");
}

} // namespace

static_assert(kMaxSettingsFileSize == 595, "two 255-character texts and 29 line ends");
static_assert(kMaxSettingsFileSize < kSettingsReadBufferSize, "the loader reads any saved file");
