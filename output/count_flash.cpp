#include "output/count_flash.h"

#include <cstdio>

// 20 characters to begin with: the first box is measured on this text.
char flashText[kFlashTextSize] = "Data received : 0   ";

namespace {

// Integer halves rounded down, for negative values as well.
int half(int value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

} // namespace

FlashGeometry computeFlashGeometry(int screenWidth, int screenHeight, int measuredTextWidth) {
    FlashGeometry box;
    box.centreX = half(screenWidth);
    box.centreY = half(screenHeight) - 30;
    box.width = measuredTextWidth + 40;
    box.left = box.centreX - half(box.width);
    box.top = box.centreY - kFlashBoxHeight / 2;
    box.right = box.centreX + half(box.width);
    box.bottom = box.centreY + kFlashBoxHeight / 2;
    return box;
}

void composeFlashText(int count) {
    std::snprintf(flashText, sizeof flashText, "Data received : %d", count);
}
