#include "link/base_protocol.h"

#include "app/settings.h"
#include "tests/fake_platform.h"

#include <gtest/gtest.h>

#include <string>

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

TEST_F(BaseProtocolTest, WorkedExampleStoresRecordAndAcknowledgesWithUnitAndEcho) {
    feed("@DT0107I41ABC\r");
    EXPECT_EQ(seen().fileBytes, "ABC\r\n");
    ASSERT_EQ(seen().sentToBase.size(), 1u);
    EXPECT_EQ(seen().sentToBase[0], "@DT07I41OK\r");
    EXPECT_EQ(seen().sentToBase[0].size(), 11u);
    EXPECT_EQ(recordCount, 1);
}

TEST_F(BaseProtocolTest, StartAnswerSetsConnectedAndSendsNothing) {
    struct Case {
        const char* bytes;
        int connected;
    };
    const Case cases[] = {
        {"@BS\r", 1}, {"@BS with more text\r", 1}, {"@BX\r", 0}, {"BS\r", 0}, // no "@": dropped
        {"@BS", 0},                                                           // never completed
    };
    for (const Case& c : cases) {
        fake::resetAll();
        feed(c.bytes);
        EXPECT_EQ(baseConnected.load(), c.connected) << c.bytes;
        EXPECT_TRUE(seen().sentToBase.empty()) << c.bytes;
    }
}

TEST_F(BaseProtocolTest, ResynchronisesOnAtSignsAndDropsBytesOutsideFrames) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string file;
        std::vector<std::string> acks;
    };
    const Case cases[] = {
        {"noise before and between frames",
         "xx\r\r@DT0001I40A\rjunk\r@DT0002I40B\r",
         "A\r\nB\r\n",
         {ack("01", '0', "OK"), ack("02", '0', "OK")}},
        {"second @ abandons the frame before it",
         "@DT0001I40LOST@DT0003I49KEPT\r",
         "KEPT\r\n",
         {ack("03", '9', "OK")}},
        {"frame split over many chunks", "@D", "", {}},
        {"bytes 128-255 in a payload",
         "@DT0005I4x\x80\xff\r",
         "\x80\xff\r\n",
         {ack("05", 'x', "OK")}},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        feed(c.bytes);
        EXPECT_EQ(seen().fileBytes, c.file) << c.name;
        EXPECT_EQ(seen().sentToBase, c.acks) << c.name;
    }
}

TEST_F(BaseProtocolTest, FrameSplitAcrossChunksIsAssembledWhole) {
    const std::string frame = "@DT0042I4ePAYLOAD\r";
    for (char byte : frame) {
        feed(std::string(1, byte));
    }
    EXPECT_EQ(seen().fileBytes, "PAYLOAD\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("42", 'e', "OK")});
}

TEST_F(BaseProtocolTest, LongestFrameIsHandledAndOverLongFrameIsSkippedUntilNextAt) {
    // CR as the 251st byte: a 240-byte payload.
    const std::string longest = "@DT0001I40" + std::string(240, 'p') + "\r";
    feed(longest);
    EXPECT_EQ(seen().fileBytes, std::string(240, 'p') + "\r\n");
    ASSERT_EQ(seen().sentToBase.size(), 1u);

    // One byte more: never handed on, and a CR well after it does not revive it.
    fake::resetAll();
    feed("@DT0001I40" + std::string(241, 'q') + "\r" + "tail\r");
    EXPECT_TRUE(seen().writes.empty());
    EXPECT_TRUE(seen().sentToBase.empty());

    // Assembling resumes at the next "@".
    feed("@DT0002I40next\r");
    EXPECT_EQ(seen().fileBytes, "next\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("02", '0', "OK")});
    EXPECT_LE(frameLength, kMaxFrameBytes);
}

TEST_F(BaseProtocolTest, PayloadEndsAtNulAndShortFramesHaveEmptyPayload) {
    feed(std::string("@DT0001I40AB\0CD\r", 16));
    EXPECT_EQ(seen().fileBytes, "AB\r\n");

    fake::resetAll();
    feed("@DT0001I40\r"); // exactly 10 characters
    EXPECT_EQ(seen().fileBytes, "\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("01", '0', "OK")});
    EXPECT_EQ(recordCount, 1);
}

TEST_F(BaseProtocolTest, ShortDtFrameNeverReadsWhatAnEarlierFrameLeft) {
    // The first frame leaves "I4" at positions 7 and 8; a short frame after it
    // must read those positions as NUL and be ignored.
    feed("@DT0001I40first\r");
    feed("@DT00\r");
    feed("@DT0001\r");
    EXPECT_EQ(seen().sentToBase.size(), 1u);
    EXPECT_EQ(recordCount, 1);
}

TEST_F(BaseProtocolTest, DtFramesWithoutI4AndOtherKindsAreIgnoredWithoutAnswer) {
    const char* frames[] = {"@DT0001X40A\r", "@DT0001I50A\r", "@XY0001I40A\r", "@\r", "@D\r"};
    for (const char* frame : frames) {
        fake::resetAll();
        feed(frame);
        EXPECT_TRUE(seen().writes.empty()) << frame;
        EXPECT_TRUE(seen().sentToBase.empty()) << frame;
        EXPECT_EQ(recordCount, 0) << frame;
    }
}

TEST_F(BaseProtocolTest, AcknowledgementCarriesUnitDigitsAndEchoByteUnchanged) {
    struct Case {
        const char* unitDigits;
        char echo;
        std::string expectedUnit;
    };
    const Case cases[] = {
        {"07", '1', "07"},
        {"12", 'Z', "12"},
        {"00", '\x01', "00"},
        {"99", '\xfe', "99"},
        // Not digits: the number they compute to, cut to two characters.
        {"0A", '0', "17"},
        {"/0", '0', "0-"},
    };
    for (const Case& c : cases) {
        fake::resetAll();
        feed(std::string("@DT00") + c.unitDigits + "I4" + c.echo + "x\r");
        ASSERT_EQ(seen().sentToBase.size(), 1u) << c.unitDigits;
        EXPECT_EQ(seen().sentToBase[0], ack(c.expectedUnit, c.echo, "OK")) << c.unitDigits;
    }
}

TEST_F(BaseProtocolTest, AcknowledgementIsElevenBytesForAnyUnitNumber) {
    const int units[] = {-528, -10, -1, 0, 5, 9, 10, 99, 100, 2277};
    for (int unit : units) {
        fake::resetAll();
        sendAcknowledgement(unit, 'e', "NG");
        ASSERT_EQ(seen().sentToBase.size(), 1u);
        const std::string& sent = seen().sentToBase[0];
        EXPECT_EQ(sent.size(), 11u) << unit;
        EXPECT_EQ(sent.substr(0, 3), "@DT") << unit;
        EXPECT_EQ(sent.substr(5), "I4eNG\r") << unit;
    }
}

TEST_F(BaseProtocolTest, FailedOrShortWriteIsAnsweredNgAndNothingCounts) {
    for (fake::WriteOutcome outcome : {fake::WriteOutcome::Short, fake::WriteOutcome::Failed}) {
        for (int showErrors : {1, 0}) {
            fake::resetAll();
            settings.showErrors = showErrors;
            fake::platform.writeOutcome = outcome;
            feed("@DT0003I47lost\r");
            EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("03", '7', "NG")});
            EXPECT_EQ(recordCount, 0);
            EXPECT_EQ(seen().flashes, 0);
            EXPECT_TRUE(seen().progressTexts.empty());
            EXPECT_EQ(seen().warnings.size(), showErrors ? 1u : 0u);
            if (showErrors) {
                EXPECT_EQ(seen().warnings[0], "Failed to write file!!");
            }

            // Writing works again: the next record is handled normally.
            fake::platform.writeOutcome = fake::WriteOutcome::Whole;
            feed("@DT0004I48kept\r");
            EXPECT_EQ(seen().sentToBase.back(), ack("04", '8', "OK"));
            EXPECT_EQ(recordCount, 1);
        }
    }
}

TEST_F(BaseProtocolTest, StoredRecordsCountFlashAndSetProgressTextBeforeTheAnswer) {
    feed("@DT0001I40a\r@DT0001I40b\r@DT0001I40c\r");
    EXPECT_EQ(recordCount, 3);
    EXPECT_EQ(seen().flashes, 3);
    EXPECT_EQ(seen().countAtLastFlash, 3);
    const std::vector<std::string> texts = {"Received : 1 record", "Received : 2 records",
                                            "Received : 3 records"};
    EXPECT_EQ(seen().progressTexts, texts);
    // The scratch line is cleared after the progress text.
    EXPECT_EQ(scratchLine[0], '\0');
}

TEST_F(BaseProtocolTest, DataBeforeTheStartAnswerIsStoredLikeAnyOther) {
    feed("@DT0001I40early\r@BS\r");
    EXPECT_EQ(recordCount, 1);
    EXPECT_EQ(baseConnected.load(), 1);
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
    EXPECT_EQ(seen().fileBytes, "A\r\n");
    EXPECT_EQ(seen().sentToBase, std::vector<std::string>{ack("01", '0', "OK")});
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

} // namespace
