// The platform operations of the portable logic, on Win32.
#include "app/platform.h"
#include "app/settings.h"
#include "app/win32_common.h"
#include "link/reading_session.h"
#include "resources/resource.h"

int showMessage(const char* text, UINT type) {
    return MessageBoxA(GetActiveWindow(), text, TAMSEL_CAPTION, type);
}

bool awaitOutputFile() {
    // Only a record read before the session has tried to open the file
    // waits. The session tries right after the link opens, on a thread that
    // never waits for this one before it has: this wait always ends.
    if (!outputFileReady && outputFileDecided != nullptr) {
        WaitForSingleObject(outputFileDecided, INFINITE);
    }
    return outputFileReady;
}

std::size_t writeOutputFile(const char* bytes, std::size_t count) {
    // The record writer has waited for the opening (awaitOutputFile).
    if (!outputFileReady) {
        return 0;
    }
    LARGE_INTEGER lineStart = {};
    LARGE_INTEGER here = {};
    bool positionKnown = SetFilePointerEx(outputFile, here, &lineStart, FILE_CURRENT) != FALSE;
    DWORD written = 0;
    BOOL wrote = WriteFile(outputFile, bytes, static_cast<DWORD>(count), &written, nullptr);
    // The base deletes a record once it is answered "OK": only what reached
    // the disk counts as written.
    if (wrote && written == count && FlushFileBuffers(outputFile)) {
        return written;
    }
    // A line cut short by a full disk would run into the next record's line:
    // take it back out, so the file holds whole lines only.
    if (positionKnown) {
        SetFilePointerEx(outputFile, lineStart, nullptr, FILE_BEGIN);
        SetEndOfFile(outputFile);
    }
    return 0;
}

void readLocalClock(LocalClockReading* reading) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    reading->year = now.wYear;
    reading->month = now.wMonth;
    reading->day = now.wDay;
    reading->hour = now.wHour;
    reading->minute = now.wMinute;
    reading->second = now.wSecond;
}

std::atomic<bool> warningOnScreen{false};

void showWarning(const char* text) {
    warningOnScreen = true;
    // Raised on the receiver thread, with no owner, while reading stands
    // still behind it: it must not be left behind the program in use.
    // MB_SYSTEMMODAL says topmost too, in the way Wine honours; with no
    // owner it disables no window.
    showMessage(text, MB_ICONEXCLAMATION | MB_OK | MB_TOPMOST | MB_SYSTEMMODAL | MB_SETFOREGROUND);
    warningOnScreen = false;
}

void setProgressText(const char* text) {
    // A sent message: the user-interface thread answers it even while it
    // waits for this thread to stop.
    SetDlgItemTextA(sessionWindow, IDC_PROGRESS_TEXT, text);
}

std::size_t characterLength(const char* text) {
    // IsDBCSLeadByteEx knows only the double-byte code pages: under UTF-8 it
    // says no for every byte.
    UINT codePage = GetACP();
    if (codePage == CP_UTF8) {
        return utf8CharacterLength(text);
    }
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[0]))) {
        return text[1] != '\0' ? 2 : 0;
    }
    return 1;
}

bool toCodePageExactly(const wchar_t* wide, char* out, int capacity) {
    wchar_t back[kTextFieldSize];
    if (WideCharToMultiByte(CP_ACP, 0, wide, -1, out, capacity, nullptr, nullptr) == 0 ||
        MultiByteToWideChar(CP_ACP, 0, out, -1, back, kTextFieldSize) == 0) {
        out[0] = '\0';
        return false;
    }
    for (int i = 0; wide[i] == back[i]; ++i) {
        if (wide[i] == L'\0') {
            return true;
        }
    }
    out[0] = '\0';
    return false;
}
