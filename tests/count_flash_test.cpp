#include "output/count_flash.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(CountFlashTest, GeometryCentresTheBoxAboveTheMiddle) {
    struct Case {
        int screenWidth, screenHeight, textWidth;
        FlashGeometry expected;
    };
    const Case cases[] = {
        {1024, 768, 100, {512, 354, 140, 442, 334, 582, 374}},
        // An odd screen width and an odd box width round down.
        {1025, 769, 101, {512, 354, 141, 442, 334, 582, 374}},
        {1920, 1080, 0, {960, 510, 40, 940, 490, 980, 530}},
    };
    for (const Case& c : cases) {
        FlashGeometry box = computeFlashGeometry(c.screenWidth, c.screenHeight, c.textWidth);
        EXPECT_EQ(box.centreX, c.expected.centreX);
        EXPECT_EQ(box.centreY, c.expected.centreY);
        EXPECT_EQ(box.width, c.expected.width);
        EXPECT_EQ(box.left, c.expected.left);
        EXPECT_EQ(box.top, c.expected.top);
        EXPECT_EQ(box.right, c.expected.right);
        EXPECT_EQ(box.bottom, c.expected.bottom);
        EXPECT_EQ(box.bottom - box.top, kFlashBoxHeight);
    }
}

TEST(CountFlashTest, TextStartsWideAndShowsEveryCountInFull) {
    // Untouched until the first flash: the first box is measured on it.
    EXPECT_STREQ(flashText, "Data received : 0   ");

    const int counts[] = {1, 9, 10, 9999, 10000, 123456, INT_MAX, INT_MIN};
    for (int count : counts) {
        composeFlashText(count);
        EXPECT_EQ(std::string(flashText), "Data received : " + std::to_string(count));
    }
}

} // namespace
