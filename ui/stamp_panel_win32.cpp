#include "ui/stamp_panel_win32.h"

namespace {

// Template units: the whole dialog, the panel's width, and the edge right of
// the left-hand panel's frame from which every control is the panel's.
constexpr int kDialogWidthUnits = 396;
constexpr int kPanelWidthUnits = 172;
constexpr int kPanelStartUnits = 215;

int unitsToPixels(HWND dialog, int units) {
    RECT mapped = {0, 0, units, 0};
    MapDialogRect(dialog, &mapped);
    return mapped.right;
}

} // namespace

int stampPanelWidth(HWND dialog) {
    return unitsToPixels(dialog, kPanelWidthUnits);
}

void resizeAndCentre(HWND dialog, bool widen) {
    int halfScreenWidth = GetSystemMetrics(SM_CXSCREEN) / 2;
    int halfScreenHeight = GetSystemMetrics(SM_CYSCREEN) / 2;
    // The panel's width in the template's own units, in pixels of the
    // dialog's font at its scale.
    int panel = stampPanelWidth(dialog);
    RECT frame;
    GetWindowRect(dialog, &frame);
    frame.right += widen ? panel : -panel;
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;
    MoveWindow(dialog, halfScreenWidth - width / 2, halfScreenHeight - height / 2, width, height,
               TRUE);
}

void showStampPanel(HWND dialog, bool shown) {
    int panelStart = unitsToPixels(dialog, kPanelStartUnits);
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        RECT where;
        GetWindowRect(child, &where);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&where), 2);
        if (where.left >= panelStart) {
            // Disabled as well: every way the keyboard moves (Tab, the arrows
            // in a group, an access key) passes over a disabled control.
            EnableWindow(child, shown ? TRUE : FALSE);
            ShowWindow(child, shown ? SW_SHOWNA : SW_HIDE);
        }
    }
}

void fitStampPanelWidth(HWND dialog, bool shown) {
    int wanted = unitsToPixels(dialog, kDialogWidthUnits) -
                 (shown ? 0 : unitsToPixels(dialog, kPanelWidthUnits));
    RECT client;
    RECT frame;
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &frame);
    int change = wanted - (client.right - client.left);
    if (change != 0) {
        SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left + change,
                     frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}
