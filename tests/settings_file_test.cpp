#include "app/settings_file.h"

#include "app/launch_parameters.h"
#include "app/settings.h"
#include "tests/fake_platform.h"
#include "tests/settings_fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
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
void decode(const std::string& file, std::size_t length = std::string::npos) {
    std::unique_ptr<char[]> bytes(new char[file.size() ? file.size() : 1]);
    std::memcpy(bytes.get(), file.data(), file.size());
    decodeSettingsFile(bytes.get(), std::min(length, file.size()));
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
    testfields::setEveryField(settings, 77);
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
    std::string values = defaultValues();
    values[0] = '3', values[9] = 'A', values[10] = ';';
    EXPECT_EQ(encoded(), "\r\n\r\n" + valueLines(values));
}

// The port stays one byte, 49 + index, so COM1 to COM9 keep their digits and
// COM207 is byte 255; a byte below "1" gives no port and keeps the one held.
TEST_F(SettingsFileTest, PortByteBothWays) {
    const struct {
        std::int32_t index;
        char byte;
    } ports[] = {{0, '1'}, {8, '9'}, {9, ':'}, {11, '<'}, {206, '\xFF'}};
    for (const auto& port : ports) {
        SCOPED_TRACE(port.index);
        fake::resetAll();
        settings.comPortIndex = port.index;
        std::string file = encoded();
        ASSERT_EQ(file.substr(4, 3), std::string(1, port.byte) + "\r\n");
        settings.comPortIndex = 3;
        decode(file);
        EXPECT_EQ(settings.comPortIndex, port.index);
    }
    for (char noPort : {'0', '/', ' ', '\x01', '\r'}) {
        SCOPED_TRACE(static_cast<int>(noPort));
        fake::resetAll();
        settings.comPortIndex = 3;
        decode("\r\n\r\n" + valueLines(std::string(1, noPort) + "2"));
        EXPECT_EQ(settings.comPortIndex, 3);
        EXPECT_EQ(settings.baudIndex, 1);
    }
}

TEST_F(SettingsFileTest, EncodeRefusesASmallBuffer) {
    setText(settings.outputDirectory, "C:\\");
    const std::size_t needed = encoded().size();
    ASSERT_GT(needed, 0u);
    // Storage of exactly the capacity given, so that the sanitizer sees a
    // byte written past it.
    std::unique_ptr<char[]> buffer(new char[needed]);
    std::memset(buffer.get(), 'z', needed);
    EXPECT_EQ(encodeSettingsFile(buffer.get(), needed - 1), 0u);
    EXPECT_EQ(buffer[0], 'z');
    EXPECT_EQ(encodeSettingsFile(buffer.get(), needed), needed);
    EXPECT_EQ(encodeSettingsFile(nullptr, 1000), 0u);
}

TEST_F(SettingsFileTest, SettingsFileIsBesideTheProgramOrNowhere) {
    const std::wstring d244(244, L'p'), d245(245, L'p'), d299(299, L'p');
    const struct {
        const char* name;
        std::wstring modulePath;
        std::wstring filePath; // empty: refused
    } cases[] = {
        {"folder", L"C:\\Program Files\\Tamsel\\Tamsel.exe",
         L"C:\\Program Files\\Tamsel\\Tamsel.ini"},
        {"root", L"C:\\Tamsel.exe", L"C:\\Tamsel.ini"},
        {"no backslash", L"Tamsel.exe", L"Tamsel.ini"},
        {"a folder of 245 fits exactly", d244 + L"\\Tamsel.exe", d244 + L"\\Tamsel.ini"},
        {"a folder of 246 is refused", d245 + L"\\Tamsel.exe", L""},
        {"a folder of 300 is refused", d299 + L"\\x.exe", L""},
        // Unicode: a character no code page holds is one character.
        {"outside the code page", L"C:\\\u5f20\u4f1f\\Tamsel.exe", L"C:\\\u5f20\u4f1f\\Tamsel.ini"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        // Storage of exactly the size the path may take.
        std::unique_ptr<wchar_t[]> out(new wchar_t[kSettingsFilePathSize]);
        std::wmemcpy(out.get(), L"stale", 6);
        EXPECT_EQ(settingsFileBeside(row.modulePath.c_str(), out.get()), !row.filePath.empty());
        EXPECT_EQ(std::wstring(out.get()), row.filePath);
    }
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
static_assert(sizeof placed / sizeof placed[0] == testfields::kStoredFieldCount,
              "every stored field has its place");

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

// ------------------------------------------------------------ bytes in

// Each row: the file, the directory and name it leaves, and what else it
// changes. Every row starts from texts and a COM port that no row gives.
TEST_F(SettingsFileTest, BytesToSettings) {
    const std::string head = "dir\r\nname\r\n";
    std::string outOfRange = defaultValues();
    outOfRange[0] = '0', outOfRange[1] = '9', outOfRange[2] = '\xC8', outOfRange[3] = '7';
    outOfRange[14] = '9', outOfRange[21] = '\x80';
    std::string longValues = defaultValues();
    longValues[0] = '9', longValues[26] = '-';
    const std::string d255 = "C:\\" + std::string(251, 'd') + "\\", n254(254, 'n');
    const struct {
        const char* name;
        std::string file, directory, fileName;
        void (*changes)(ReaderSettings&) = nullptr;
        std::size_t length = std::string::npos;
    } rows[] = {
        // The content ends at its first NUL: that field and every later one keep theirs.
        {"NUL on line 12", head + valueLines("983000001") + std::string("\0\r\n;\r\n", 6), "dir",
         "name",
         [](ReaderSettings& e) {
             e.comPortIndex = 8, e.baudIndex = 7, e.fileMode = 2, e.replaceEnabled = 1;
             e.addReturn = e.addLineFeed = e.showErrors = e.viewData = e.alwaysShowDialog = 0;
         }},
        {"NUL on line 23", head + valueLines("111111110,;001410110") + std::string("\0\r\n2", 4),
         "dir", "name",
         [](ReaderSettings& e) { e.comPortIndex = 0, e.delimiterIndex = 4, e.dateSepOn = 0; }},
        {"NUL at the COM position", "C:\\dir\\\r\nname.txt\r\n", "C:\\dir\\", "name.txt"},
        {"NUL inside line 1", std::string("C:\\d\0ir\\\r\nname\r\n", 16) + valueLines("9"), "C:\\d",
         "old name"},
        {"length ends the content", head + valueLines("756"), "dir", "name",
         [](ReaderSettings& e) { e.comPortIndex = 6; }, 5 + 6 + 3},
        // A two-character value: every later position falls on an LF.
        {"two characters on line 3", head + "12\r\n" + valueLines(defaultValues().substr(1)), "dir",
         "name",
         [](ReaderSettings& e) {
             e.comPortIndex = 0, e.baudIndex = e.fileMode = '\n' - 49;
             e.addReturn = e.addLineFeed = e.showErrors = e.viewData = '\n' - 48;
             e.alwaysShowDialog = e.replaceEnabled = e.stampEnabled = '\n' - 48;
             e.replaceFrom = e.replaceTo = '\n';
             e.stampAtBottom = e.separateStamps = e.delimiterIndex = e.yearOn = e.yearTwoDigits =
                 e.monthOn = e.dayOn = e.dateSepOn = e.dateStyle = e.hourOn = e.minuteOn =
                     e.secondOn = e.timeSepOn = static_cast<std::uint8_t>('\n' - 48);
             e.dateSepChar[0] = e.timeSepChar[0] = '\n';
         }},
        {"two characters on line 28",
         head + valueLines(defaultValues().substr(0, 25)) + "01\r\n#\r\n", "dir", "name",
         [](ReaderSettings& e) { e.comPortIndex = e.timeSepOn = 0, e.timeSepChar[0] = '\n'; }},
        {"no range test", head + valueLines(outOfRange), "dir", "name",
         [](ReaderSettings& e) {
             e.baudIndex = 8, e.fileMode = 200 - 49, e.addReturn = 7; // "0" gives no port
             e.delimiterIndex = 9, e.dateStyle = 0x80 - 48;
         }},
        // Line 1 must end in CR LF, or the whole text is the directory.
        {"no CR", "C:\\Tamsel\\ and no line end", "C:\\Tamsel\\ and no line end", "old name"},
        {"CR without LF", "C:\\d\\\rname\r\n1\r\n", "C:\\d\\\rname\r\n1\r\n", "old name"},
        {"CR as the last byte", "C:\\dir\\\r", "C:\\dir\\\r", "old name"},
        {"LF alone", "C:\\d\\\nname\n2\n", "C:\\d\\\nname\n2\n", "old name"},
        {"empty file", "", "", "old name"},
        {"line 2 without CR", "C:\\dir\\\r\nname.txt and more 2 3", "C:\\dir\\",
         "name.txt and more 2 3"},
        // Every later value still lies at its fixed position from line 2's CR.
        {"line 2 with CR but no LF", "C:\\dir\\\r\nname\rZ" + valueLines("9834"), "C:\\dir\\",
         "name\rZ" + valueLines("9834"),
         [](ReaderSettings& e) { e.baudIndex = 7, e.fileMode = 2, e.addReturn = 4; }},
        {"longer than 255 bytes, read whole",
         d255 + "\r\n" + n254 + "\r\n" + valueLines(longValues), d255, n254,
         [](ReaderSettings& e) { e.comPortIndex = 8, e.timeSepChar[0] = '-'; }},
        // A line longer than 255 characters leaves its field.
        {"line 1 of 256", std::string(256, 'd') + "\r\nname\r\n" + valueLines("5"), "old dir",
         "name", [](ReaderSettings& e) { e.comPortIndex = 4; }},
        {"line 1 of 255 fits", std::string(255, 'd') + "\r\nname\r\n", std::string(255, 'd'),
         "name"},
        {"line 2 of 256", "dir\r\n" + std::string(256, 'n') + "\r\n" + valueLines("5"), "dir",
         "old name", [](ReaderSettings& e) { e.comPortIndex = 4; }},
        {"both of 300", std::string(300, 'd') + "\r\n" + std::string(300, 'n') + "\r\n6\r\n",
         "old dir", "old name", [](ReaderSettings& e) { e.comPortIndex = 5; }},
        {"no CR LF in 400 bytes", std::string(400, 'd'), "old dir", "old name"},
        {"line 2 without CR, 256 bytes", "dir\r\n" + std::string(256, 'n'), "dir", "old name"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake::resetAll();
        setText(settings.outputDirectory, "old dir");
        setText(settings.outputFileName, "old name");
        settings.comPortIndex = 3;
        ReaderSettings expected = settings;
        setText(expected.outputDirectory, row.directory);
        setText(expected.outputFileName, row.fileName);
        if (row.changes) {
            row.changes(expected);
        }
        decode(row.file, row.length);
        EXPECT_TRUE(sameFields(expected, settings));
    }
    setText(settings.outputDirectory, "C:\\exe\\");
    decodeSettingsFile(nullptr, 0);
    EXPECT_STREQ(settings.outputDirectory, "");
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

// Started from inside the zip, Explorer runs the program from a folder below
// the temporary one, whose name Windows may give in another case.
TEST_F(SettingsFileTest, InsideTheTemporaryFolder) {
    const wchar_t* temporary = L"C:\\Users\\Ann\\AppData\\Local\\Temp\\";
    const struct {
        const wchar_t* path;
        bool inside;
    } rows[] = {
        {L"C:\\Users\\Ann\\AppData\\Local\\Temp\\Temp1_Tamsel.zip\\x64\\Tamsel.exe", true},
        {L"c:\\users\\ann\\appdata\\local\\TEMP\\{0A1B}\\Tamsel.exe", true},
        {L"C:\\Users\\Ann\\AppData\\Local\\Temporary\\Tamsel.exe", false},
        {L"C:\\Users\\Ann\\AppData\\Local\\Tem", false},
        {L"C:\\Tamsel\\Tamsel.exe", false},
        {L"", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(isInsideFolder(row.path, temporary), row.inside);
    }
    EXPECT_FALSE(isInsideFolder(L"C:\\Tamsel.exe", L""));
    EXPECT_FALSE(isInsideFolder(nullptr, temporary));
}

} // namespace

static_assert(kMaxSettingsFileSize == 595, "two 255-character texts and 29 line ends");
static_assert(kMaxSettingsFileSize < kSettingsReadBufferSize, "the loader reads any saved file");
