// The program's icon on its dialogs.
#include "app/win32_common.h"

namespace {

// Loaded once, on the user-interface thread, and kept to the end of the process.
HICON bigIcon = nullptr;
HICON smallIcon = nullptr;

// Not shared: a shared load hands back the first size loaded whatever size
// is asked for.
HICON loadProgramIcon(int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageA(moduleInstance, "Tamsel", IMAGE_ICON,
                                         GetSystemMetrics(widthMetric),
                                         GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

} // namespace

void showProgramIcon(HWND dialog) {
    if (bigIcon == nullptr) {
        bigIcon = loadProgramIcon(SM_CXICON, SM_CYICON);
        smallIcon = loadProgramIcon(SM_CXSMICON, SM_CYSMICON);
    }
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}
