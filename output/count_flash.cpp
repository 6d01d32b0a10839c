#include "output/count_flash.h"

#include <cstdio>

// 20 characters to begin with: the first box is measured on this text.
char flashText[kFlashTextSize] = "Data received : 0   ";

namespace {

constexpr int kDefaultDpi = 96;
// Around the text, and above the monitor's middle, at 96 DPI.
constexpr int kFlashPadding = 40;
constexpr int kFlashRaise = 30;

// Integer halves rounded down, for negative values as well.
int half(int value) {
    return value >= 0 ? value / 2 : -((-value + 1) / 2);
}

int scaled(int pixels, int dpi) {
    return static_cast<int>((static_cast<long long>(pixels) * dpi + kDefaultDpi / 2) / kDefaultDpi);
}

} // namespace

FlashGeometry computeFlashGeometry(const MonitorArea& monitor, int measuredTextWidth, int dpi) {
    if (dpi < 1) {
        dpi = kDefaultDpi;
    }
    FlashGeometry box;
    box.centreX = monitor.left + half(monitor.right - monitor.left);
    box.centreY = monitor.top + half(monitor.bottom - monitor.top) - scaled(kFlashRaise, dpi);
    box.width = measuredTextWidth + scaled(kFlashPadding, dpi);
    box.height = scaled(kFlashBoxHeight, dpi);
    box.left = box.centreX - half(box.width);
    box.top = box.centreY - half(box.height);
    return box;
}

void composeFlashText(int count) {
    std::snprintf(flashText, sizeof flashText, "Data received : %d", count);
}
