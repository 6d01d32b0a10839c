#include "link/base_link.h"

#include <gtest/gtest.h>

namespace {

TEST(BaseLinkTest, ShortWriteLeavesItsRestAndFailedWriteLeavesNothing) {
    EXPECT_EQ(writeBoundMs(11), 205u);
    EXPECT_EQ(leftToSend(true, 11, 11), 0u);
    EXPECT_EQ(leftToSend(true, 11, 4), 7u); // timed out after 4 bytes
    EXPECT_EQ(leftToSend(true, 7, 0), 7u);
    EXPECT_EQ(leftToSend(false, 11, 4), 0u); // dropped, never sent again
}

} // namespace
