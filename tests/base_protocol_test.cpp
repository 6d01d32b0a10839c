#include "link/base_protocol.h"

#include "app/settings.h"
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

class BaseProtocolTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::resetAll(); }

    static void feed(const std::string& bytes) {
        feedBytes(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }

    static std::string ack(const std::string& unit, char echo, const char* verdict) {
        return "@DT" + unit + "I4" + std::string(1, echo) + verdict + "\r";
    }

    static const fake::PlatformRecord& seen() { return fake::platform; }
};

// Each row: the bytes fed, the lines stored, the answers sent, the count and
// whether the base answered the start command.
TEST_F(BaseProtocolTest, BytesInToStoredLinesAnswersAndCount) {
    const std::string longest = "@DT0001I40" + std::string(240, 'p') + "\r"; // CR is byte 251
    const struct {
        const char* name;
        std::string bytes, file;
        std::vector<std::string> answers;
        int count, connected;
    } rows[] = {
        {"worked example", "@DT0107I41ABC\r", "ABC\r\n", {"@DT07I41OK\r"}, 1, 0},
        {"start answer", "@BS\r", "", {}, 0, 1},
        {"start answer with more text", "@BS with more text\r", "", {}, 0, 1},
        {"other kind", "@BX\r", "", {}, 0, 0},
        {"no @", "BS\r", "", {}, 0, 0},
        {"never completed", "@BS", "", {}, 0, 0},
        {"no I at 7", "@DT0001X40A\r", "", {}, 0, 0},
        {"no 4 at 8", "@DT0001I50A\r", "", {}, 0, 0},
        {"neither BS nor DT", "@XY0001I40A\r", "", {}, 0, 0},
        {"@ alone", "@\r", "", {}, 0, 0},
        {"@D", "@D\r", "", {}, 0, 0},
        {"data before the start answer",
         "@DT0001I40early\r@BS\r",
         "early\r\n",
         {ack("01", '0', "OK")},
         1,
         1},
        {"noise before and between frames",
         "xx\r\r@DT0001I40A\rjunk\r@DT0002I40B\r",
         "A\r\nB\r\n",
         {ack("01", '0', "OK"), ack("02", '0', "OK")},
         2,
         0},
        {"second @ abandons the frame before it",
         "@DT0001I40LOST@DT0003I49KEPT\r",
         "KEPT\r\n",
         {ack("03", '9', "OK")},
         1,
         0},
        {"bytes 128-255 in a payload",
         "@DT0005I4x\x80\xff\r",
         "\x80\xff\r\n",
         {ack("05", 'x', "OK")},
         1,
         0},
        {"NUL ends the payload",
         std::string("@DT0001I40AB\0CD\r", 16),
         "AB\r\n",
         {ack("01", '0', "OK")},
         1,
         0},
        {"exactly 10 characters: empty payload",
         "@DT0001I40\r",
         "\r\n",
         {ack("01", '0', "OK")},
         1,
         0},
        {"longest frame", longest, std::string(240, 'p') + "\r\n", {ack("01", '0', "OK")}, 1, 0},
        // Never handed on; a CR well after it does not revive it; the next "@" does.
        {"one byte too long",
         "@DT0001I40" + std::string(241, 'q') + "\rtail\r@DT0002I40next\r",
         "next\r\n",
         {ack("02", '0', "OK")},
         1,
         0},
        // Positions 7 and 8 of a short frame read as NUL, never as what the
        // frame before it left there.
        {"short DT frames after a long one",
         "@DT0001I40first\r@DT00\r@DT0001\r",
         "first\r\n",
         {ack("01", '0', "OK")},
         1,
         0},
        // The unit digits and the echo byte come back unchanged.
        {"unit 00", "@DT0000I4\x01x\r", "x\r\n", {ack("00", '\x01', "OK")}, 1, 0},
        {"unit 09", "@DT0009I4Zx\r", "x\r\n", {ack("09", 'Z', "OK")}, 1, 0},
        {"unit 10", "@DT0010I4ex\r", "x\r\n", {ack("10", 'e', "OK")}, 1, 0},
        {"unit 12", "@DT0012I4ex\r", "x\r\n", {ack("12", 'e', "OK")}, 1, 0},
        {"unit 99", "@DT0099I4\xfex\r", "x\r\n", {ack("99", '\xfe', "OK")}, 1, 0},
        // Not digits: the number they compute to, cut to two characters.
        {"unit digits 0A", "@DT000AI40x\r", "x\r\n", {ack("17", '0', "OK")}, 1, 0},
        {"unit digits /0", "@DT00/0I40x\r", "x\r\n", {ack("0-", '0', "OK")}, 1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake::resetAll();
        feed(row.bytes);
        EXPECT_EQ(seen().fileBytes, row.file);
        EXPECT_EQ(seen().sentToBase, row.answers);
        EXPECT_EQ(recordCount, row.count);
        EXPECT_EQ(baseConnected.load(), row.connected);
    }
}

TEST_F(BaseProtocolTest, FrameSplitAcrossChunksIsAssembledWhole) {
    for (char byte : std::string("@DT0042I4ePAYLOAD\r")) {
        feed(std::string(1, byte));
    }
    EXPECT_EQ(seen().fileBytes, "PAYLOAD\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("42", 'e', "OK")});
}

// Any unit number, even one no two bytes give, fills exactly two places.
TEST_F(BaseProtocolTest, AcknowledgementOfAnyUnitNumber) {
    const std::pair<int, const char*> units[] = {{-528, "0-"}, {-1, "0-"},  {0, "00"},
                                                 {5, "05"},    {9, "09"},   {10, "10"},
                                                 {99, "99"},   {100, "10"}, {2277, "22"}};
    for (const auto& unit : units) {
        fake::resetAll();
        sendAcknowledgement(unit.first, 'e', "NG");
        EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack(unit.second, 'e', "NG")})
            << unit.first;
    }
}

// The answer goes last: "OK" only once the record is stored and counted, its
// flash over and its progress text set; "NG" before the warning, which may
// wait for the user.
TEST_F(BaseProtocolTest, EachAnswerFollowsWhatItReports) {
    feed("@DT0001I40a\r@DT0001I40b\r");
    EXPECT_EQ(seen().calls, (std::vector<std::string>{
                                "write a\r\n", "flash 1", "progress Received : 1 record",
                                "send " + ack("01", '0', "OK"), "write b\r\n", "flash 2",
                                "progress Received : 2 records", "send " + ack("01", '0', "OK")}));
    EXPECT_EQ(scratchLine[0], '\0');

    for (fake::WriteOutcome outcome : {fake::WriteOutcome::Short, fake::WriteOutcome::Failed}) {
        for (int showErrors : {1, 0}) {
            fake::resetAll();
            settings.showErrors = showErrors;
            fake::platform.writeOutcome = outcome;
            feed("@DT0003I47lost\r");
            std::vector<std::string> calls = {"write lost\r\n", "send " + ack("03", '7', "NG")};
            if (showErrors) {
                calls.emplace_back("warning Failed to write file!!");
            }
            EXPECT_EQ(seen().calls, calls);
            EXPECT_EQ(recordCount, 0);

            // Writing works again: the next record is handled normally.
            fake::platform.writeOutcome = fake::WriteOutcome::Whole;
            feed("@DT0004I48kept\r");
            EXPECT_EQ(seen().calls.back(), "send " + ack("04", '8', "OK"));
            EXPECT_EQ(recordCount, 1);
        }
    }
}

} // namespace

namespace {

void feedRead(bool succeeded, const std::string& bytes, bool errorsBefore, bool errorsAfter) {
    ::feedRead(succeeded, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
               errorsBefore, errorsAfter);
}

TEST_F(BaseProtocolTest, FailedReadHandsOnNoneOfTheBytesItsBufferStillHolds) {
    const std::string buffer = "@DT0001I40A\r";
    feedRead(true, buffer, false, false);
    feedRead(false, buffer, false, false); // cancelled with a count, buffer unchanged
    // A frame that runs across a cancelled read lost what the driver took.
    feed("@DT0002I40B");
    feedRead(false, "CD", false, false);
    feedRead(true, "E\r", false, false);
    EXPECT_EQ(seen().fileBytes, "A\r\n");
    EXPECT_EQ(seen().sentToBase,
              (std::vector<std::string>{ack("01", '0', "OK"), ack("02", '0', "NG")}));
}

TEST_F(BaseProtocolTest, LineErrorDamagesTheFrameInProgressAndThoseStartingInItsBytes) {
    settings.showErrors = 1;
    feed("@DT0001I40A\r@DT0002I40B"); // the first is done before the error
    feedRead(true, "C\r@DT0003I40D\r", true, false);
    feedRead(true, "@DT0004I40E\r", false, false);
    // Reported after a read: bytes still queued may hold the bad one.
    feedRead(true, "@DT0005I40F\r", false, true);
    feedRead(false, "", false, false);
    feedRead(true, "@DT0006I40G\r@DT0007I40H\r", false, false);
    feedRead(true, "@DT0008I40I\r", false, false);
    EXPECT_EQ(seen().fileBytes, "A\r\nE\r\nI\r\n");
    const std::vector<std::string> acks = {
        ack("01", '0', "OK"), ack("02", '0', "NG"), ack("03", '0', "NG"), ack("04", '0', "OK"),
        ack("05", '0', "NG"), ack("06", '0', "NG"), ack("07", '0', "NG"), ack("08", '0', "OK")};
    EXPECT_EQ(seen().sentToBase, acks);
    EXPECT_EQ(recordCount, 3);
    EXPECT_TRUE(seen().warnings.empty());
}

// The adapter pulled out and plugged back: nothing of the old line is joined
// to the new one, nor do its errors damage the new line's first frame.
TEST_F(BaseProtocolTest, ALostLineLeavesNoFrameNorErrorBehind) {
    feed("@DT0001I40A");
    markLineError();
    dropFrame();
    feed("B\r@DT0002I40C\r");
    EXPECT_EQ(seen().fileBytes, "C\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("02", '0', "OK")});
}

} // namespace
