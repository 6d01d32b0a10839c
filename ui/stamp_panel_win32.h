// The date/time panel of the properties dialog as the keyboard and a change
// of scale meet it, apart from the dialog's own handling.
#pragma once

#include <windows.h>

// Widens the window by the panel's width, or narrows it, and centres it on
// the screen.
void resizeAndCentre(HWND dialog, bool widen);

// Hides the panel's controls while the window cuts it off, and shows them
// again: a control out of sight is neither reached by Tab nor changed by a
// key, and a hidden check box is never flipped by Space and saved by OK.
void showStampPanel(HWND dialog, bool shown);

// After a change of DPI, which re-lays out the dialog for the new monitor:
// sets the width again to the template's, less the panel while it is cut off,
// in the pixels of the new scale. Leaves the position as Windows chose it.
void fitStampPanelWidth(HWND dialog, bool shown);

// The panel's width in the dialog's pixels at its current font and scale.
int stampPanelWidth(HWND dialog);
