// The small light-yellow window flashed for each stored record, centred a
// little above the middle of the monitor that shows the session.
#pragma once

#include <cstddef>

// "Data received : " and any int count with its sign, and the terminator.
constexpr std::size_t kFlashTextSize = 32;
extern char flashText[kFlashTextSize];

// In pixels at 96 DPI; the box follows the scale of the session's monitor.
constexpr int kFlashBoxHeight = 40;
constexpr unsigned kFlashPauseMs = 200;

struct MonitorArea {
    int left;
    int top;
    int right;
    int bottom;
};

struct FlashGeometry {
    int centreX;
    int centreY;
    int width;
    int height;
    // The window: width by height from its top left corner.
    int left;
    int top;
};

// The box on the monitor, for a text measured measuredTextWidth pixels wide
// at `dpi` (96 at 100 %; anything below 1 counts as 96). Halves are rounded
// down; the distances scale with the DPI, rounded to the nearest pixel.
FlashGeometry computeFlashGeometry(const MonitorArea& monitor, int measuredTextWidth, int dpi);

// Rewrites flashText for the count, in full whatever its size.
void composeFlashText(int count);
