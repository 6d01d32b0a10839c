#include "link/reading_session.h"

#include "app/settings.h"
#include "app/win32_common.h"
#include "link/base_link.h"
#include "link/base_protocol.h"
#include "link/start_failure_win32.h"
#include "app/platform.h"
#include "output/count_flash_win32.h"
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

// With `discard`, the empty New-name file that this session created goes
// too: marked for deletion on its own handle before the handle closes, since
// a delete by name afterwards fails when an indexer or a virus scanner opens
// the file in between. By name only where the mark cannot be made (a share
// that refuses it, a folder that lets files be made but not deleted).
void closeOutputFile(bool discard = false) {
    outputFileReady = false;
    if (outputFile == INVALID_HANDLE_VALUE) {
        return;
    }
    FILE_DISPOSITION_INFO disposition = {TRUE};
    bool marked = discard && SetFileInformationByHandle(outputFile, FileDispositionInfo,
                                                        &disposition, sizeof disposition);
    CloseHandle(outputFile);
    outputFile = INVALID_HANDLE_VALUE;
    if (discard && !marked) {
        DeleteFileA(settings.outputPath);
    }
}

void warnIfShowingErrors(const char* text) {
    if (settings.showErrors) {
        showMessage(text, MB_ICONEXCLAMATION | MB_OK);
    }
}

void startSession(HWND dialog) {
    sessionWindow = dialog;
    sessionState = kStarting;
    // Made before the receiver starts. Should it fail, a record read before
    // the file is open is refused, as it would have been.
    if (outputFileDecided == nullptr) {
        outputFileDecided = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ResetEvent(outputFileDecided);
    // A session after a failed start begins as the first did.
    sessionFault = FaultField::None;
    baseConnected = 0;
    recordCount = 0;
    dropFrame();
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
    sessionFault = FaultField::Port;
    warnIfShowingErrors("Base is not connected!");
    stopLink();
    // Only the file this session created, and never one holding records that
    // the base was told are stored.
    closeOutputFile(settings.fileMode == kFileModeNewName && recordCount == 0);
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
    // In quotes: an editor that stands in for Notepad splits an unquoted
    // path at its blanks.
    char viewerCommand[sizeof "notepad.exe \"\"" + kTextFieldSize];
    std::snprintf(viewerCommand, sizeof viewerCommand, "notepad.exe \"%s\"", settings.outputPath);
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
    closeOutputFile(settings.viewData && recordCount == 0 && settings.fileMode == kFileModeNewName);
    EndDialog(dialog, 1);
    if (!settings.viewData) {
        return;
    }
    if (recordCount == 0) {
        showMessage("No data received!", MB_ICONEXCLAMATION | MB_OK);
        return;
    }
    std::snprintf(scratchLine, sizeof scratchLine,
                  "Done : %d records received.\nView the received data?", recordCount);
    if (showMessage(scratchLine, MB_ICONQUESTION | MB_YESNO) == IDYES) {
        startViewer();
    }
}

// Opens the output file for this session alone. A virus scanner, an indexer
// or a sync client may hold it for a moment: wait about a second for it.
HANDLE createOutputFile(DWORD disposition, DWORD* error) {
    // Deleted through its own handle when a New-name session stores nothing.
    DWORD access = GENERIC_READ | GENERIC_WRITE;
    if (settings.fileMode == kFileModeNewName) {
        access |= DELETE;
    }
    constexpr int kOpenAttempts = 20;
    constexpr DWORD kOpenRetryMs = 50;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kOpenRetryMs);
        }
        // Written through: a failure of the disk comes back from the write
        // itself, not later as a system pop-up after "OK" was sent.
        file = CreateFileA(settings.outputPath, access, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        DWORD why = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
        if (why == ERROR_ACCESS_DENIED && (access & DELETE) != 0) {
            // A folder that lets files be made but not deleted: the file is
            // made all the same, and an empty one is left there.
            access &= ~static_cast<DWORD>(DELETE);
            --attempt;
            continue;
        }
        *error = why;
        if (why != ERROR_SHARING_VIOLATION && why != ERROR_LOCK_VIOLATION) {
            break;
        }
    }
    return file;
}

// Puts the Append opening at the end of the file, of any size.
bool moveToEndOfFile() {
    LARGE_INTEGER here = {};
    return SetFilePointerEx(outputFile, here, nullptr, FILE_END) != FALSE;
}

} // namespace

int readOutputFileLastByte() {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(outputFile, &size)) {
        return kLastByteUnknown;
    }
    if (size.QuadPart == 0) {
        return kOutputFileEmpty;
    }
    LARGE_INTEGER lastByte = {};
    lastByte.QuadPart = -1;
    unsigned char last = 0;
    DWORD read = 0;
    if (!SetFilePointerEx(outputFile, lastByte, nullptr, FILE_END) ||
        !ReadFile(outputFile, &last, 1, &read, nullptr) || read != 1) {
        return kLastByteUnknown;
    }
    return last;
}

bool openOutputFile() {
    DWORD disposition = CREATE_ALWAYS;
    if (settings.fileMode == kFileModeAppend) {
        disposition = OPEN_ALWAYS;
    } else if (settings.fileMode == kFileModeNewName) {
        disposition = CREATE_NEW;
    }
    // A path that did not fit its storage is refused, never opened cut
    // short; so is a name of a stream, whose records no user would find.
    bool stream = namesAStream(settings.outputPath);
    DWORD error = ERROR_SUCCESS;
    if (!outputPathRefused && !stream) {
        outputFile = createOutputFile(disposition, &error);
    }
    // "COM2.txt", "nul" or "aux.txt" name a device in any folder: records
    // written there are stored nowhere, yet every write and flush may
    // succeed. Only a file on a disk is written to.
    bool opened = outputFile != INVALID_HANDLE_VALUE && GetFileType(outputFile) == FILE_TYPE_DISK;
    FailureCause cause = outputFileFailureCause(
        outputPathRefused != 0, stream || outputFile != INVALID_HANDLE_VALUE, error);
    // Before any record can be written: the first one must know whether
    // the file ends inside a line (only an appended one can; a break owed to
    // the file of an earlier session is dropped). Never read from a handle
    // that is no file on a disk.
    if (opened) {
        noteTornLastLine();
    }
    if (opened && settings.fileMode == kFileModeAppend) {
        opened = moveToEndOfFile();
        error = GetLastError();
        cause = FailureCause::Other;
    }
    if (!opened) {
        closeOutputFile();
        // Released before the message: the receiver answers a waiting record
        // "NG" and is never held while the message is on the screen.
        SetEvent(outputFileDecided);
        // Only an existing file is "already exists": a New name in a missing
        // folder is told as such.
        if (settings.fileMode == kFileModeNewName && error == ERROR_FILE_EXISTS) {
            sessionFault = FaultField::FileName;
            warnIfShowingErrors("Failed to create file!\n\nFile already exists!");
        } else {
            reportStartFailure("File open/create failed!", cause, FaultField::FileName,
                               settings.outputPath, error, settings.showErrors != 0);
        }
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
        openCountFlash();
        startSession(dialog);
        return TRUE;
    case WM_DESTROY:
        closeCountFlash();
        return FALSE;
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
