// The entry point and the single pass that every start makes.
#include "app/launch_parameters.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/win32_common.h"
#include "link/reading_session.h"
#include "ui/properties_dialog.h"

HINSTANCE moduleInstance = nullptr;

namespace {

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        resetStampLayout();
        loadSettingsFile();
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// Whether the program's code page holds its command line as it was given:
// Windows hands a program its command line best-fitted into that code page.
bool commandLineHeldWhole() {
    static wchar_t roundTrip[32768]; // the longest command line Windows takes
    const wchar_t* given = GetCommandLineW();
    if (MultiByteToWideChar(CP_ACP, 0, GetCommandLineA(), -1, roundTrip, 32768) == 0) {
        return false;
    }
    for (int i = 0; given[i] == roundTrip[i]; ++i) {
        if (given[i] == L'\0') {
            return true;
        }
    }
    return false;
}

INT_PTR runReadingSession() {
    return DialogBoxParamA(moduleInstance, "ProgressDlg", GetActiveWindow(), readingSessionProc, 0);
}

int runReading() {
    if (launchedWithPath == 0 && settings.alwaysShowDialog != 0) {
        if (runPropertiesDialog() == 2) {
            return 0;
        }
        // Saved before the port is opened, so the settings survive a failed session.
        saveSettingsFile();
    } else {
        composeOutputPath();
        // A path typed with characters outside the code page reached the
        // program best-fitted: refused, never opened as another file.
        if (launchedWithPath != 0 && !commandLineHeldWhole()) {
            settings.outputPath[0] = '\0';
            outputPathRefused = 1;
        }
    }
    return runReadingSession() != 2 ? 1 : 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = mainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, "Tamsel");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    windowClass.lpszClassName = "Tamsel";
    if (!RegisterClassA(&windowClass)) {
        return 0;
    }
    moduleInstance = instance;

    HWND mainWindow = CreateWindowExA(0, "Tamsel", "Data Reading", WS_POPUP, 10, 50, 10, 100,
                                      nullptr, nullptr, instance, nullptr);
    if (mainWindow == nullptr) {
        return 0;
    }
    // Taken from the process command line, so that the parameter string is
    // exactly what follows the program's name, blanks of every kind skipped.
    applyLaunchParameters(parameterStringOf(GetCommandLineA()));
    runReading();
    DestroyWindow(mainWindow);
    return 1;
}
