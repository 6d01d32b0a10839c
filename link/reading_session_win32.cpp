#include "link/reading_session.h"

#include "app/settings.h"
#include "app/win32_common.h"
#include "link/base_link.h"
#include "link/base_protocol.h"
#include "app/platform.h"
#include "output/record_writer.h"
#include "resources/resource.h"

#include <cstdio>
#include <cstring>

HWND sessionWindow = nullptr;
HANDLE outputFile = INVALID_HANDLE_VALUE;
std::atomic<bool> outputFileReady{false};
HANDLE outputFileDecided = nullptr;

namespace {

// The connection check and Close act only in the state they belong to, so a
// late timer tick or a second click never stops, closes or deletes twice.
enum SessionState { kStarting, kWaiting, kReading, kEnded };
SessionState sessionState = kStarting;

constexpr UINT kConnectionCheckMs = 2000;
// Minimises the dialog once more right after it is first shown: some modal
// loops (Wine's) restore a dialog that its start minimised.
constexpr UINT_PTR kMinimiseAgainTimer = 302;

void closeOutputFile() {
    outputFileReady = false;
    if (outputFile != INVALID_HANDLE_VALUE) {
        CloseHandle(outputFile);
        outputFile = INVALID_HANDLE_VALUE;
    }
}

void warnIfShowingErrors(const char* text) {
    if (settings.showErrors) {
        showMessage(text, MB_ICONEXCLAMATION | MB_OK);
    }
}

// Notes whether the file to append to ends inside a line, one that a crash
// cut short. Looked at before the receiver starts: a record already on the
// line may be written as soon as the file opens.
void noteTornLastLine() {
    lineBreakOwed = false;
    if (settings.fileMode != kFileModeAppend || outputPathRefused ||
        (!settings.addReturn && !settings.addLineFeed)) {
        return;
    }
    HANDLE file = CreateFileA(settings.outputPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    LARGE_INTEGER lastByte = {};
    lastByte.QuadPart = -1; // fails on an empty file: nothing to end
    char last = 0;
    DWORD read = 0;
    if (SetFilePointerEx(file, lastByte, nullptr, FILE_END) &&
        ReadFile(file, &last, 1, &read, nullptr) && read == 1) {
        lineBreakOwed = last != 13 && last != 10;
    }
    CloseHandle(file);
}

void startSession(HWND dialog) {
    sessionWindow = dialog;
    noteTornLastLine();
    sessionState = kStarting;
    // Made before the receiver starts. Should it fail, a record read before
    // the file is open is refused, as it would have been.
    outputFileDecided = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!openLink()) {
        sessionState = kEnded;
        EndDialog(dialog, 2);
        return;
    }
    sendToBase("@BS\r", 4);
    SetTimer(dialog, IDT_CONNECTION_TIMER, kConnectionCheckMs, nullptr);
    if (!openOutputFile()) {
        sessionState = kEnded;
        KillTimer(dialog, IDT_CONNECTION_TIMER);
        stopLink();
        EndDialog(dialog, 2);
        return;
    }
    sessionState = kWaiting;
    if (!settings.showErrors) {
        ShowWindow(dialog, SW_SHOWMINIMIZED);
        SetTimer(dialog, kMinimiseAgainTimer, 1, nullptr);
    }
}

void checkConnection(HWND dialog) {
    KillTimer(dialog, IDT_CONNECTION_TIMER);
    if (sessionState != kWaiting) {
        return;
    }
    if (baseConnected) {
        sessionState = kReading;
        return;
    }
    sessionState = kEnded;
    warnIfShowingErrors("Base is not connected!");
    stopLink();
    closeOutputFile();
    // Only the file this session created, and never one holding records that
    // the base was told are stored.
    if (settings.fileMode == kFileModeNewName && recordCount == 0) {
        DeleteFileA(settings.outputPath);
    }
    EndDialog(dialog, 2);
}

// Starts the system's Notepad on the output file. Named by its full path, so
// a notepad.exe in the program's folder or the current one (a shared folder,
// perhaps) is never run in its place.
void startViewer() {
    static constexpr char kViewerName[] = "\\notepad.exe";
    char viewerPath[MAX_PATH + sizeof kViewerName];
    UINT folderLength = GetSystemDirectoryA(viewerPath, MAX_PATH);
    if (folderLength == 0 || folderLength >= MAX_PATH) {
        return;
    }
    std::memcpy(viewerPath + folderLength, kViewerName, sizeof kViewerName);
    // The path is passed as it stands, without quotes: Notepad takes the
    // whole tail as the file name.
    char viewerCommand[sizeof "notepad.exe " + kTextFieldSize];
    std::snprintf(viewerCommand, sizeof viewerCommand, "notepad.exe %s", settings.outputPath);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION viewer = {};
    if (CreateProcessA(viewerPath, viewerCommand, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                       &startup, &viewer)) {
        // As the system's own start of a program by name does: the process
        // ends only once Notepad is up, or after half a minute.
        constexpr DWORD kViewerStartMs = 30000;
        WaitForInputIdle(viewer.hProcess, kViewerStartMs);
        CloseHandle(viewer.hThread);
        CloseHandle(viewer.hProcess);
    }
}

void closeSession(HWND dialog) {
    if (sessionState != kWaiting && sessionState != kReading) {
        return;
    }
    sessionState = kEnded;
    KillTimer(dialog, IDT_CONNECTION_TIMER);
    stopLink();
    closeOutputFile();
    EndDialog(dialog, 1);
    if (!settings.viewData) {
        return;
    }
    if (recordCount == 0) {
        showMessage("No data received!", MB_ICONEXCLAMATION | MB_OK);
        if (settings.fileMode == kFileModeNewName) {
            DeleteFileA(settings.outputPath);
        }
        return;
    }
    std::snprintf(scratchLine, sizeof scratchLine,
                  "Done : %d records received.\nView the received data?", recordCount);
    if (showMessage(scratchLine, MB_ICONQUESTION | MB_YESNO) == IDYES) {
        startViewer();
    }
}

// Puts the Append opening at the end of the file, of any size.
bool moveToEndOfFile() {
    LARGE_INTEGER here = {};
    return SetFilePointerEx(outputFile, here, nullptr, FILE_END) != FALSE;
}

} // namespace

bool openOutputFile() {
    DWORD disposition = CREATE_ALWAYS;
    const char* failure = "File open/create failed!";
    if (settings.fileMode == kFileModeAppend) {
        disposition = OPEN_ALWAYS;
    } else if (settings.fileMode == kFileModeNewName) {
        disposition = CREATE_NEW;
        failure = "Failed to create file!\n\nFile already exists!";
    }
    // A path that did not fit its storage is refused, never opened cut short.
    if (!outputPathRefused) {
        outputFile = CreateFileA(settings.outputPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    bool opened = !outputPathRefused && outputFile != INVALID_HANDLE_VALUE &&
                  (settings.fileMode != kFileModeAppend || moveToEndOfFile());
    if (!opened) {
        closeOutputFile();
        // Released before the message: the receiver answers a waiting record
        // "NG" and is never held while the message is on the screen.
        SetEvent(outputFileDecided);
        warnIfShowingErrors(failure);
        return false;
    }
    outputFileReady = true;
    SetEvent(outputFileDecided);
    return true;
}

INT_PTR CALLBACK readingSessionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        showProgramIcon(dialog);
        startSession(dialog);
        return TRUE;
    case WM_TIMER:
        if (wParam == IDT_CONNECTION_TIMER) {
            checkConnection(dialog);
        } else if (wParam == kMinimiseAgainTimer) {
            KillTimer(dialog, kMinimiseAgainTimer);
            if (!IsIconic(dialog)) {
                ShowWindow(dialog, SW_SHOWMINIMIZED);
            }
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            closeSession(dialog);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
