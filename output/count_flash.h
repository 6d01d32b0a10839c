// The light-yellow box flashed in the middle of the screen for each stored record.
#pragma once

#include <cstddef>

// "Data received : " and any int count with its sign, and the terminator.
constexpr std::size_t kFlashTextSize = 32;
extern char flashText[kFlashTextSize];

constexpr int kFlashBoxHeight = 40;
constexpr unsigned kFlashPauseMs = 200;

struct FlashGeometry {
    int centreX;
    int centreY;
    int width;
    // The box; the saved screen area is the same rectangle.
    int left;
    int top;
    int right;
    int bottom;
};

// The box for a screen of the given size in pixels, the text measured being
// measuredTextWidth pixels wide. Halves are rounded down.
FlashGeometry computeFlashGeometry(int screenWidth, int screenHeight, int measuredTextWidth);

// Rewrites flashText for the count, in full whatever its size.
void composeFlashText(int count);
