#include "output/record_writer.h"

#include "app/settings.h"
#include "output/stamps.h"
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

class RecordWriterTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }

    // Composes and writes one record; returns the bytes that reached the file.
    static std::string line(const char* payload) {
        fake::platform.fileBytes.clear();
        EXPECT_TRUE(writeRecord(payload));
        return fake::platform.fileBytes;
    }

    static std::string stamps() {
        scratchLine[0] = '\0';
        DateStamp();
        TimeStamp();
        return scratchLine;
    }
};

TEST_F(RecordWriterTest, WorkedExamplesOfTheTwentyEightByteLine) {
    settings.stampEnabled = 1;
    EXPECT_EQ(line("ABC123"), "2004/12/31,23:59:58,ABC123\r\n");

    settings.stampAtBottom = 1;
    EXPECT_EQ(line("ABC123"), "ABC123,2004/12/31,23:59:58\r\n");

    settings.stampAtBottom = 0;
    settings.replaceEnabled = 1;
    EXPECT_EQ(line("ABC123"), "2004/12/31;23:59:58;ABC123\r\n");
}

// Every row of the layout table: D and T present or empty, separateStamps on
// and off, stamps at top or bottom, payload present or empty. d is ",".
TEST_F(RecordWriterTest, LineLayoutTable) {
    struct Row {
        bool date, time, separate;
        const char *topP, *topEmpty, *bottomP, *bottomEmpty;
    };
    const Row rows[] = {
        {true, true, true, "D,T,P", "D,T,", "P,D,T", "D,T"},
        {true, true, false, "DT,P", "DT,", "P,DT", "DT"},
        {true, false, true, "D,,P", "D,,", "P,D,", "D,"},
        {true, false, false, "D,P", "D,", "P,D", "D"},
        {false, true, true, "T,P", "T,", "P,,T", "T"},
        {false, true, false, "T,P", "T,", "P,T", "T"},
        {false, false, true, "P", "", "P,,", ""},
        {false, false, false, "P", "", "P,", ""},
    };
    auto expand = [](std::string pattern) {
        std::string out;
        for (char c : pattern) {
            if (c == 'D') {
                out += "2004/12/31";
            } else if (c == 'T') {
                out += "23:59:58";
            } else if (c == 'P') {
                out += "PAY";
            } else {
                out += c;
            }
        }
        return out + "\r\n";
    };
    for (const Row& row : rows) {
        fake::resetAll();
        settings.stampEnabled = 1;
        settings.separateStamps = row.separate;
        settings.yearOn = settings.monthOn = settings.dayOn = row.date;
        settings.hourOn = settings.minuteOn = settings.secondOn = row.time;
        const std::string label = std::string(row.date ? "D" : "-") + (row.time ? "T" : "-") +
                                  (row.separate ? " separate" : " together");
        settings.stampAtBottom = 0;
        EXPECT_EQ(line("PAY"), expand(row.topP)) << label;
        EXPECT_EQ(line(""), expand(row.topEmpty)) << label;
        settings.stampAtBottom = 1;
        EXPECT_EQ(line("PAY"), expand(row.bottomP)) << label;
        EXPECT_EQ(line(""), expand(row.bottomEmpty)) << label;
    }
}

TEST_F(RecordWriterTest, StampsOffOrOutOfPlaceGiveThePayloadAlone) {
    EXPECT_EQ(line("P1"), "P1\r\n");
    settings.stampEnabled = 1;
    settings.stampAtBottom = 2;
    EXPECT_EQ(line("P1"), "P1\r\n");
}

TEST_F(RecordWriterTest, DateTextsByStyleYearFormAndElements) {
    struct Case {
        int style, twoDigits, year, month, day, separatorOn;
        const char* separator;
        const char* expected;
    };
    const Case cases[] = {
        {0, 0, 1, 1, 1, 1, "/", "2004/12/31"}, {0, 1, 1, 1, 1, 1, "/", "04/12/31"},
        {1, 0, 1, 1, 1, 1, "/", "12/31/2004"}, {1, 1, 1, 1, 1, 1, "/", "12/31/04"},
        {2, 0, 1, 1, 1, 1, "/", "31/12/2004"}, {2, 1, 1, 1, 1, 1, "/", "31/12/04"},
        {0, 0, 0, 1, 1, 1, "/", "12/31"},      {0, 0, 1, 0, 1, 1, "/", "2004/31"},
        {0, 0, 1, 1, 0, 1, "/", "2004/12"},    {0, 0, 1, 0, 0, 1, "/", "2004"},
        {0, 0, 0, 1, 0, 1, "/", "12"},         {0, 0, 0, 0, 1, 1, "/", "31"},
        {0, 0, 0, 0, 0, 1, "/", ""},           {0, 0, 1, 1, 1, 0, "/", "20041231"},
        {0, 0, 1, 1, 1, 1, "", "20041231"},    {3, 0, 1, 1, 1, 1, "/", ""},
        {0, 2, 1, 1, 1, 1, "-", "2004-12-31"}, // only exactly 1 is the two-digit form
    };
    for (const Case& c : cases) {
        fake::resetAll();
        settings.dateStyle = static_cast<std::uint8_t>(c.style);
        settings.yearTwoDigits = static_cast<std::uint8_t>(c.twoDigits);
        settings.yearOn = static_cast<std::uint8_t>(c.year);
        settings.monthOn = static_cast<std::uint8_t>(c.month);
        settings.dayOn = static_cast<std::uint8_t>(c.day);
        settings.dateSepOn = static_cast<std::uint8_t>(c.separatorOn);
        settings.dateSepChar[0] = c.separator[0];
        settings.hourOn = settings.minuteOn = settings.secondOn = 0;
        settings.separateStamps = 0;
        EXPECT_EQ(stamps(), c.expected) << c.style << c.twoDigits << c.year << c.month << c.day;
    }
}

TEST_F(RecordWriterTest, TwoDigitYearIsTheLastTwoDigits) {
    settings.yearTwoDigits = 1;
    settings.separateStamps = 0;
    settings.monthOn = settings.dayOn = 0;
    settings.hourOn = settings.minuteOn = settings.secondOn = 0;
    const int years[][2] = {{2004, 4}, {2013, 13}, {2026, 26}, {2100, 0}};
    for (const auto& y : years) {
        fake::platform.clock.year = y[0];
        char expected[3] = {static_cast<char>('0' + y[1] / 10), static_cast<char>('0' + y[1] % 10)};
        EXPECT_EQ(stamps(), expected) << y[0];
    }
}

TEST_F(RecordWriterTest, ElementTextsMatchPrintfForAnyClockValue) {
    settings.separateStamps = 0;
    settings.dateSepChar[0] = '|';
    settings.timeSepChar[0] = '|';
    const int values[] = {0, 5, 9, 10, 59, 99, 100, 999, 1000, 2026, 9999, 10000, -1, -2147483647};
    for (int value : values) {
        fake::platform.clock = {value, value, value, value, value, value};
        char expected[128];
        std::snprintf(expected, sizeof expected, "%04d|%02d|%02d%02d|%02d|%02d", value, value,
                      value, value, value, value);
        EXPECT_EQ(stamps(), expected) << value;
    }
}

TEST_F(RecordWriterTest, TimeTextsByElements) {
    struct Case {
        int hour, minute, second, separatorOn;
        const char* expected;
    };
    const Case cases[] = {
        {1, 1, 1, 1, "23:59:58"}, {0, 1, 1, 1, "59:58"}, {1, 0, 1, 1, "23:58"},
        {1, 1, 0, 1, "23:59"},    {0, 0, 1, 1, "58"},    {0, 0, 0, 1, ""},
        {1, 1, 1, 0, "235958"},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        settings.yearOn = settings.monthOn = settings.dayOn = 0;
        settings.hourOn = static_cast<std::uint8_t>(c.hour);
        settings.minuteOn = static_cast<std::uint8_t>(c.minute);
        settings.secondOn = static_cast<std::uint8_t>(c.second);
        settings.timeSepOn = static_cast<std::uint8_t>(c.separatorOn);
        EXPECT_EQ(stamps(), c.expected);
    }
}

TEST_F(RecordWriterTest, DateAndTimeComeFromTwoClockReadings) {
    settings.stampEnabled = 1;
    line("x");
    EXPECT_EQ(fake::platform.clockReads, 2);
}

TEST_F(RecordWriterTest, DelimiterBeforeStampsFollowsTheLineNotTheElements) {
    // On a non-empty line DateStamp always adds its delimiter, even with no element.
    settings.yearOn = settings.monthOn = settings.dayOn = 0;
    std::strcpy(scratchLine, "x");
    DateStamp();
    EXPECT_STREQ(scratchLine, "x,");
    settings.dateStyle = 7;
    std::strcpy(scratchLine, "x");
    DateStamp();
    EXPECT_STREQ(scratchLine, "x,");
    // TimeStamp only when separateStamps is on, even with every element off.
    settings.hourOn = settings.minuteOn = settings.secondOn = 0;
    std::strcpy(scratchLine, "x");
    TimeStamp();
    EXPECT_STREQ(scratchLine, "x,");
    settings.separateStamps = 0;
    std::strcpy(scratchLine, "x");
    TimeStamp();
    EXPECT_STREQ(scratchLine, "x");
}

TEST_F(RecordWriterTest, DelimiterTableAndOutOfRangeIndex) {
    settings.stampEnabled = 1;
    settings.separateStamps = 0;
    settings.monthOn = settings.dayOn = 0;
    settings.hourOn = settings.minuteOn = settings.secondOn = 0;
    const char* expected[] = {"2004,P\r\n",  "2004:P\r\n", "2004;P\r\n", "2004/P\r\n",
                              "2004\\P\r\n", "2004P\r\n",  "2004P\r\n"};
    const int indices[] = {0, 1, 2, 3, 4, 5, 255};
    for (int i = 0; i < 7; ++i) {
        settings.delimiterIndex = static_cast<std::uint8_t>(indices[i]);
        EXPECT_EQ(line("P"), expected[i]) << indices[i];
    }
}

TEST_F(RecordWriterTest, ReplacementRules) {
    struct Case {
        const char* name;
        int from, to;
        const char* payload;
        int stamps;
        std::string expected;
    };
    const Case cases[] = {
        {"delimiters replaced too", 44, 59, "a,b", 1, "2004/12/31;23:59:58;a;b\r\n"},
        {"date separators", 47, '-', "x", 1, "2004-12-31,23:59:58,x\r\n"},
        {"never the CR", 13, 'X', "a", 0, "a\r\n"},
        {"never the LF", 10, 'X', "a", 0, "a\r\n"},
        {"code 0 replaces nothing", 0, 'X', "abc", 0, "abc\r\n"},
        {"to 0 keeps the bytes after it", 'b', 0, "abc", 0, std::string("a\0c\r\n", 5)},
        {"only low 8 bits of replaceTo", 'a', 0x141, "aa", 0, "AA\r\n"},
        {"bytes above 127 match as unsigned", 0xE9, 'e', "caf\xE9", 0, "cafe\r\n"},
        {"no match outside 0-255", 300, 'X', "abc", 0, "abc\r\n"},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        settings.replaceEnabled = 1;
        settings.replaceFrom = c.from;
        settings.replaceTo = c.to;
        settings.stampEnabled = c.stamps;
        EXPECT_EQ(line(c.payload), c.expected) << c.name;
    }
}

TEST_F(RecordWriterTest, ReturnAndLineFeedSwitches) {
    const int switches[][2] = {{1, 1}, {1, 0}, {0, 1}, {0, 0}};
    const char* expected[] = {"P\r\n", "P\r", "P\n", "P"};
    for (int i = 0; i < 4; ++i) {
        settings.addReturn = switches[i][0];
        settings.addLineFeed = switches[i][1];
        EXPECT_EQ(line("P"), expected[i]);
    }
}

// A file appended to that ends inside a line: the first record's line starts
// on a line of its own, with the line ending as set; later records do not.
TEST_F(RecordWriterTest, OwedLineBreakGoesBeforeTheFirstRecordOnly) {
    const int switches[][2] = {{1, 1}, {1, 0}, {0, 1}, {0, 0}};
    const char* expected[] = {"\r\nP\r\nQ\r\n", "\rP\rQ\r", "\nP\nQ\n", "PQ"};
    for (int i = 0; i < 4; ++i) {
        fake::resetAll();
        settings.addReturn = switches[i][0];
        settings.addLineFeed = switches[i][1];
        lineBreakOwed = true;
        EXPECT_TRUE(writeRecord("P"));
        EXPECT_TRUE(writeRecord("Q"));
        EXPECT_EQ(fake::platform.fileBytes, expected[i]);
        EXPECT_FALSE(lineBreakOwed);
    }

    // A line ending that cannot be stored refuses the record and stays owed.
    fake::resetAll();
    lineBreakOwed = true;
    fake::platform.writeScript = "fw";
    EXPECT_FALSE(writeRecord("P"));
    EXPECT_TRUE(lineBreakOwed);
    fake::platform.writeScript = "";
    EXPECT_TRUE(writeRecord("Q"));
    EXPECT_EQ(fake::platform.fileBytes, "\r\nQ\r\n");
}

// What the Append opening finds at the end of the file: a look that fails
// counts as a line break owed, never as none.
TEST_F(RecordWriterTest, AppendOpeningOwesALineBreakUnlessTheFileEndsOne) {
    struct Case {
        std::int32_t fileMode;
        int lastByte;
        bool owed;
    };
    const Case cases[] = {
        {kFileModeAppend, 'B', true},
        {kFileModeAppend, kLastByteUnknown, true},
        {kFileModeAppend, 10, false},
        {kFileModeAppend, 13, false},
        {kFileModeAppend, kOutputFileEmpty, false},
        {kFileModeOverwrite, 'B', false},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        settings.fileMode = c.fileMode;
        fake::platform.lastByte = c.lastByte;
        noteTornLastLine();
        EXPECT_EQ(lineBreakOwed, c.owed) << c.fileMode << " " << c.lastByte;
    }
    // A record read before the file opened waits for the look.
    fake::resetAll();
    settings.fileMode = kFileModeAppend;
    fake::platform.lastByte = 'B';
    fake::platform.openOnFirstAwait = true;
    EXPECT_TRUE(writeRecord("P"));
    EXPECT_EQ(fake::platform.fileBytes, "\r\nP\r\n");

    // With no line ending set there is nothing to owe, and nothing to look at.
    fake::resetAll();
    settings.fileMode = kFileModeAppend;
    settings.addReturn = settings.addLineFeed = 0;
    fake::platform.lastByte = kLastByteUnknown;
    noteTornLastLine();
    EXPECT_FALSE(lineBreakOwed);
    EXPECT_EQ(fake::platform.lastByteLooks, 0);
}

TEST_F(RecordWriterTest, EmptyLineAsksForZeroBytesAndSucceeds) {
    settings.addReturn = settings.addLineFeed = 0;
    EXPECT_TRUE(writeRecord(""));
    ASSERT_EQ(fake::platform.writes.size(), 1u);
    EXPECT_EQ(fake::platform.writes[0], "");
}

// The stamps take 20 characters, so payloads of 240 to 242 compose lines of
// 260 to 262. A line that cannot be held is refused, never cut, and the
// refusal holds for that record only.
TEST_F(RecordWriterTest, LineLimitRefusesOneRecordNotTheNext) {
    settings.stampEnabled = 1;
    const std::string date = "2004/12/31,23:59:58";
    const struct {
        int bottom;
        std::size_t payload;
        bool stored;
    } rows[] = {{0, 241, false}, {0, 240, true}, {1, 242, false}, {1, 240, true},
                {0, 250, false}, {1, 1, true},   {0, 0, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.payload) + (row.bottom ? " at the bottom" : " on top"));
        fake::platform.fileBytes.clear();
        fake::platform.writes.clear();
        settings.stampAtBottom = static_cast<std::uint8_t>(row.bottom);
        const std::string payload(row.payload, 'p');
        EXPECT_EQ(writeRecord(payload.c_str()), row.stored);
        if (!row.stored) {
            EXPECT_TRUE(fake::platform.writes.empty());
        } else if (row.bottom) {
            EXPECT_EQ(fake::platform.fileBytes, payload + "," + date + "\r\n");
        } else {
            EXPECT_EQ(fake::platform.fileBytes, date + "," + payload + "\r\n");
        }
    }
    // A clock gone wild lengthens the stamps past the limit.
    fake::platform.clock.year = -2147483647;
    EXPECT_FALSE(writeRecord(std::string(240, 'p').c_str()));
}

TEST_F(RecordWriterTest, ShortOrFailedWriteReportsFailure) {
    fake::platform.writeOutcome = fake::WriteOutcome::Short;
    EXPECT_FALSE(writeRecord("abc"));
    fake::platform.writeOutcome = fake::WriteOutcome::Failed;
    EXPECT_FALSE(writeRecord("abc"));
}

} // namespace
