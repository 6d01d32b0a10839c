#include "link/base_link.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(BaseLinkTest, ShortWriteLeavesItsRestAndFailedWriteLeavesNothing) {
    EXPECT_EQ(writeBoundMs(11), 205u);
    EXPECT_EQ(leftToSend(true, 11, 11), 0u);
    EXPECT_EQ(leftToSend(true, 11, 4), 7u); // timed out after 4 bytes
    EXPECT_EQ(leftToSend(true, 7, 0), 7u);
    EXPECT_EQ(leftToSend(false, 11, 4), 0u); // dropped, never sent again
}

// A driver that completes the receiver's last operation only when the port
// closes: Windows keeps the thread until then (or for minutes).
bool portClosed = false;
std::string stopSteps;
TEST(BaseLinkTest, StopClosesThePortBeforeItWaitsABoundedTimeForTheThread) {
    stopInOrder({[] { stopSteps += "loop ended;"; },
                 [] {
                     portClosed = true;
                     stopSteps += "port closed;";
                 },
                 [](unsigned long boundMs) {
                     stopSteps += portClosed       ? "thread ended;"
                                  : boundMs > 2000 ? "held for minutes;"
                                                   : "thread left;";
                 }});
    EXPECT_EQ(stopSteps, "loop ended;port closed;thread ended;");
}

} // namespace
