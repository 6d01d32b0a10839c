// The flash as a window of its own: nothing on the screen is copied or put
// back, so a window that changes under it keeps what it drew.
#include "output/count_flash_win32.h"

#include "output/count_flash.h"

#include "app/platform.h"
#include "app/win32_common.h"
#include "link/base_protocol.h"
#include "link/reading_session.h"

#include <atomic>
#include <cstring>

namespace {

constexpr char kFlashClass[] = "TamselCountFlash";
constexpr UINT kShowFlash = WM_APP + 1; // wParam: the count
constexpr UINT kHideFlash = WM_APP + 2;

// Read by the receiver, set and cleared by the user-interface thread.
std::atomic<HWND> flashWindow{nullptr};
// The rest belongs to the user-interface thread.
HFONT flashFont = nullptr;
int flashFontDpi = 0;

// Functions of Windows 10 that Windows 7 lacks: looked up, never imported.
template <typename Function> Function user32Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

// The DPI of the window: its monitor's under Per-Monitor V2, else the
// session's, which is then the same for every window.
int dpiOf(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    // Looked up at each flash: a local static would draw in the runtime's
    // locking, and a lookup costs next to nothing beside the paint.
    const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow != nullptr) {
        UINT dpi = getDpiForWindow(window);
        if (dpi != 0) {
            return static_cast<int>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The font of message boxes, at the DPI given.
void chooseFont(int dpi) {
    if (flashFont != nullptr && flashFontDpi == dpi) {
        return;
    }
    using ForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
    const auto forDpi = user32Function<ForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    BOOL got =
        forDpi != nullptr
            ? forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))
            : SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    HFONT font = got ? CreateFontIndirectW(&metrics.lfMessageFont) : nullptr;
    if (font == nullptr) {
        return;
    }
    if (flashFont != nullptr) {
        DeleteObject(flashFont);
    }
    flashFont = font;
    flashFontDpi = dpi;
}

HGDIOBJ textFont() {
    return flashFont != nullptr ? static_cast<HGDIOBJ>(flashFont)
                                : GetStockObject(DEFAULT_GUI_FONT);
}

void showFlash(HWND flash, int count) {
    HWND session = sessionWindow != nullptr ? sessionWindow : flash;
    int dpi = dpiOf(session);
    chooseFont(dpi);
    // Measured on the text still shown from the previous flash.
    SIZE extent = {};
    HDC context = GetDC(flash);
    HGDIOBJ previous = SelectObject(context, textFont());
    GetTextExtentPoint32A(context, flashText, static_cast<int>(std::strlen(flashText)), &extent);
    SelectObject(context, previous);
    ReleaseDC(flash, context);
    // A minimised session dialog counts where it was before.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(session, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& area = monitor.rcMonitor;
    FlashGeometry box =
        computeFlashGeometry({area.left, area.top, area.right, area.bottom}, extent.cx, dpi);
    composeFlashText(count);
    SetWindowTextA(flash, flashText);
    SetWindowPos(flash, HWND_TOPMOST, box.left, box.top, box.width, box.height, SWP_NOACTIVATE);
    ShowWindow(flash, SW_SHOWNOACTIVATE);
    InvalidateRect(flash, nullptr, TRUE);
    UpdateWindow(flash);
}

void paintFlash(HWND flash) {
    PAINTSTRUCT paint;
    HDC context = BeginPaint(flash, &paint);
    RECT area;
    GetClientRect(flash, &area);
    // The system's tooltip colours: a contrast theme sets them too.
    FillRect(context, &area, GetSysColorBrush(COLOR_INFOBK));
    FrameRect(context, &area, GetSysColorBrush(COLOR_INFOTEXT));
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ previous = SelectObject(context, textFont());
    DrawTextA(context, flashText, -1, &area, DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
    SelectObject(context, previous);
    EndPaint(flash, &paint);
}

LRESULT CALLBACK flashWindowProc(HWND flash, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case kShowFlash:
        showFlash(flash, static_cast<int>(wParam));
        return 0;
    case kHideFlash:
        ShowWindow(flash, SW_HIDE);
        return 0;
    case WM_PAINT:
        paintFlash(flash);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    default:
        return DefWindowProcA(flash, message, wParam, lParam);
    }
}

} // namespace

void openCountFlash() {
    if (flashWindow.load() != nullptr) {
        return;
    }
    WNDCLASSA flashClass = {};
    flashClass.lpfnWndProc = flashWindowProc;
    flashClass.hInstance = moduleInstance;
    flashClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    flashClass.lpszClassName = kFlashClass;
    // Registered once; a second session start of the same process finds it.
    RegisterClassA(&flashClass);
    // No owner: a minimised session dialog would hide it. Layered and
    // transparent, so that clicks go through to the window under it.
    HWND flash = CreateWindowExA(
        WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TRANSPARENT | WS_EX_TOOLWINDOW | WS_EX_LAYERED,
        kFlashClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, moduleInstance, nullptr);
    if (flash != nullptr) {
        SetLayeredWindowAttributes(flash, 0, 255, LWA_ALPHA);
    }
    flashWindow = flash;
}

void closeCountFlash() {
    HWND flash = flashWindow.exchange(nullptr);
    if (flash != nullptr) {
        DestroyWindow(flash);
    }
    if (flashFont != nullptr) {
        DeleteObject(flashFont);
        flashFont = nullptr;
    }
}

// On the receiver thread, which has no message loop: the window is shown,
// painted and hidden by the user-interface thread, and only the 200 ms are
// spent here, before the answer.
void flashRecordCount() {
    if (HWND flash = flashWindow.load()) {
        PostMessageA(flash, kShowFlash, static_cast<WPARAM>(recordCount), 0);
    }
    Sleep(kFlashPauseMs);
    if (HWND flash = flashWindow.load()) {
        PostMessageA(flash, kHideFlash, 0, 0);
    }
}
