#include "link/start_failure.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Windows' error, as the port's or the file's opening gave it, to the cause
// the user is told and the field the dialog comes back to.
TEST(StartFailureTest, CauseOfEachError) {
    const struct {
        bool port;
        unsigned long error;
        FailureCause cause;
        FaultField field;
    } rows[] = {
        {true, 2, FailureCause::PortMissing, FaultField::Port},
        {true, 3, FailureCause::PortMissing, FaultField::Port},
        {true, 5, FailureCause::PortInUse, FaultField::Port},
        {true, 32, FailureCause::PortInUse, FaultField::Port},
        {true, 31, FailureCause::Other, FaultField::None},
        {false, 2, FailureCause::FolderMissing, FaultField::Directory},
        {false, 3, FailureCause::FolderMissing, FaultField::Directory},
        {false, 5, FailureCause::FolderNotWritable, FaultField::Directory},
        {false, 32, FailureCause::FileInUse, FaultField::FileName},
        {false, 33, FailureCause::FileInUse, FaultField::FileName},
        {false, 21, FailureCause::DriveNotReady, FaultField::Directory},
        {false, 19, FailureCause::DriveWriteProtected, FaultField::Directory},
        {false, 123, FailureCause::Other, FaultField::None},
        {false, 112, FailureCause::Other, FaultField::None},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.port) + " " + std::to_string(row.error));
        FailureCause cause = row.port ? portFailureCause(row.error) : fileFailureCause(row.error);
        EXPECT_EQ(cause, row.cause);
        EXPECT_EQ(faultFieldOf(cause), row.field);
    }
    // Refused before any opening, or opened as no file on a disk: whatever
    // error Windows last gave (none, or the device's success) is not told.
    EXPECT_EQ(outputFileFailureCause(true, false, 0), FailureCause::PathUnusable);
    EXPECT_EQ(outputFileFailureCause(false, true, 0), FailureCause::NotAFile);
    EXPECT_EQ(outputFileFailureCause(true, true, 2), FailureCause::PathUnusable);
    EXPECT_EQ(outputFileFailureCause(false, false, 2), FailureCause::FolderMissing);
    EXPECT_EQ(faultFieldOf(FailureCause::NotAFile), FaultField::FileName);
    EXPECT_EQ(faultFieldOf(FailureCause::PathUnusable), FaultField::Directory);
}

// The first line stays as it always was, then a blank line and the
// paragraph that names the port or the file; Windows' own text goes on one
// line, and where there is none, the error's number.
TEST(StartFailureTest, Texts) {
    const struct {
        FailureCause cause;
        const char* systemText;
        const char* paragraph;
    } rows[] = {
        {FailureCause::PortMissing, "", "COM4 is not there. Plug the adapter in, or choose"},
        {FailureCause::Other, "Not functioning.\r\n", "COM4: Not functioning."},
        {FailureCause::Other, "First.\r\nSecond.\r\n", "COM4: First. Second."},
        {FailureCause::Other, "\r\n", "COM4: error 1234."},
        {FailureCause::Other, nullptr, "COM4: error 1234."},
    };
    for (const auto& row : rows) {
        char text[kStartFailureTextSize];
        composeStartFailure(text, sizeof text, "Can't open the COM port!", row.cause, "COM4", 1234,
                            row.systemText);
        EXPECT_EQ(
            std::string(text).rfind(std::string("Can't open the COM port!\n\n") + row.paragraph, 0),
            0u)
            << text;
    }
}

TEST(StartFailureTest, LongestSubjectFitsAndSmallBuffersHoldTheirEnd) {
    const std::string path = "C:\\" + std::string(252, 'd');
    char text[kStartFailureTextSize];
    for (FailureCause cause : {FailureCause::FolderNotWritable, FailureCause::NotAFile,
                               FailureCause::FolderMissing, FailureCause::Other}) {
        composeStartFailure(text, sizeof text, "File open/create failed!", cause, path.c_str(), 5,
                            std::string(600, 'w').c_str());
        std::string shown(text);
        EXPECT_EQ(shown.find("File open/create failed!\n\n"), 0u);
        EXPECT_NE(shown.find(path), std::string::npos);
        EXPECT_LT(shown.size(), sizeof text - 1);
    }
    for (std::size_t capacity : {1, 10, 30}) {
        char small[32];
        std::memset(small, 'z', sizeof small);
        composeStartFailure(small, capacity, "File open/create failed!", FailureCause::FileInUse,
                            path.c_str(), 32, nullptr);
        EXPECT_LT(std::strlen(small), capacity);
        EXPECT_EQ(small[capacity], 'z');
    }
}

TEST(StartFailureTest, TheDialogComesBackOnlyAfterAPlainStartThatStoredNothing) {
    const struct {
        int result;
        bool plain;
        int stored;
        FaultField fault;
        bool letGo;
        bool back;
    } rows[] = {
        {2, true, 0, FaultField::Port, true, true},
        {2, true, 0, FaultField::Directory, true, true},
        {2, true, 0, FaultField::FileName, true, true},
        {2, false, 0, FaultField::Port, true, false}, // a parameter string runs unattended
        {2, true, 1, FaultField::Port, true,
         false}, // records answered "OK" before the base was found
        {2, true, 0, FaultField::None, true, false},
        {1, true, 0, FaultField::Port, true, false},  // closed by the user
        {2, true, 0, FaultField::Port, false, false}, // the receiver still held by its driver
    };
    for (const auto& row : rows) {
        EXPECT_EQ(dialogComesBack(row.result, row.plain, row.stored, row.fault, row.letGo),
                  row.back);
    }
}

} // namespace
