// The entry point and the single pass that every start makes.
#include "app/launch_parameters.h"
#include "app/settings.h"
#include "app/settings_file.h"
#include "app/win32_common.h"
#include "link/base_link.h"
#include "link/base_protocol.h"
#include "link/reading_session.h"
#include "link/start_failure_win32.h"
#include "ui/properties_dialog.h"

#include <cwchar>

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

// Whether the program's code page holds its parameter string as it was
// given: Windows hands a program its command line best-fitted into that code
// page. Only the string is compared, as the end of the command line: the
// program's own folder may hold characters the code page lacks.
bool parameterStringHeldWhole() {
    constexpr int kLongest = 32768; // the longest command line Windows takes
    static wchar_t roundTrip[kLongest];
    int length = MultiByteToWideChar(CP_ACP, 0, parameterStringOf(GetCommandLineA()), -1, roundTrip,
                                     kLongest);
    const wchar_t* given = GetCommandLineW();
    std::size_t givenLength = std::wcslen(given);
    if (length == 0 || static_cast<std::size_t>(length - 1) > givenLength) {
        return false;
    }
    return std::wmemcmp(given + givenLength - (length - 1), roundTrip, length - 1) == 0;
}

INT_PTR runReadingSession() {
    return DialogBoxParamA(moduleInstance, "ProgressDlg", GetActiveWindow(), readingSessionProc, 0);
}

int runReading() {
    // Started plainly, a start that fails before any record is read brings
    // the dialog back on the field at fault, rather than end the program
    // (with the dialog turned off, every start would fail alike). A
    // parameter string runs unattended, as ever.
    const bool plainStart = parameterStringOf(GetCommandLineA())[0] == '\0';
    if (plainStart) {
        warnIfRunFromTemporaryFolder();
    }
    bool showDialog = launchedWithPath == 0 && settings.alwaysShowDialog != 0;
    FaultField fault = FaultField::None;
    for (;;) {
        if (showDialog) {
            if (runPropertiesDialog(fault) == 2) {
                return 0;
            }
            // Saved before the port is opened, so the settings survive a failed session.
            if (!saveSettingsFile()) {
                warnSettingsNotSaved();
            }
        } else {
            composeOutputPath();
            // A path typed with characters outside the code page reached the
            // program best-fitted: refused, never opened as another file.
            if (launchedWithPath != 0 && !parameterStringHeldWhole()) {
                settings.outputPath[0] = '\0';
                outputPathRefused = 1;
            }
        }
        INT_PTR result = runReadingSession();
        if (!dialogComesBack(static_cast<int>(result), plainStart, recordCount, sessionFault,
                             linkLetGo())) {
            return result != 2 ? 1 : 0;
        }
        showDialog = true;
        fault = sessionFault;
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // An output path on a drive without a medium fails as any path that
    // cannot be opened, rather than raise the system's "insert a disk" box.
    UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    SetErrorMode(errorMode | SEM_FAILCRITICALERRORS);
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
