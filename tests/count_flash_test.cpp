#include "output/count_flash.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

TEST(CountFlashTest, GeometryCentresTheBoxOnTheMonitorAtItsScale) {
    struct Case {
        MonitorArea monitor;
        int textWidth, dpi;
        FlashGeometry expected; // centre x, y, width, height, left, top
    };
    const Case cases[] = {
        {{0, 0, 1024, 768}, 100, 96, {512, 354, 140, 40, 442, 334}},
        // An odd screen width and an odd box width round down.
        {{0, 0, 1025, 769}, 101, 96, {512, 354, 141, 40, 442, 334}},
        // 150 %: the padding, the height and the raise grow, the text is
        // measured at that scale already.
        {{0, 0, 1920, 1080}, 150, 144, {960, 495, 210, 60, 855, 465}},
        // 125 %: 40 * 1.25 = 50, 30 * 1.25 = 37.5 rounds to 38.
        {{0, 0, 1920, 1080}, 0, 120, {960, 502, 50, 50, 935, 477}},
        // A second monitor left of the primary one, and one above it.
        {{-1280, 0, 0, 1024}, 100, 96, {-640, 482, 140, 40, -710, 462}},
        {{0, -1080, 1920, 0}, 100, 96, {960, -570, 140, 40, 890, -590}},
        // No DPI known: 96.
        {{0, 0, 1024, 768}, 100, 0, {512, 354, 140, 40, 442, 334}},
    };
    for (const Case& c : cases) {
        FlashGeometry box = computeFlashGeometry(c.monitor, c.textWidth, c.dpi);
        const int got[] = {box.centreX, box.centreY, box.width, box.height, box.left, box.top};
        const int want[] = {c.expected.centreX, c.expected.centreY, c.expected.width,
                            c.expected.height,  c.expected.left,    c.expected.top};
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(got[i], want[i])
                << "field " << i << ", dpi " << c.dpi << ", monitor left " << c.monitor.left;
        }
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
    // Left as the process starts, so that the test holds when run again.
    std::snprintf(flashText, sizeof flashText, "%s", "Data received : 0   ");
}

} // namespace
