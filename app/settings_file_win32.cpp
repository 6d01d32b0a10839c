// Loading and saving "Tamsel.ini" on Win32.
#include "app/settings_file.h"
#include "app/settings.h"
#include "app/win32_common.h"

#include <cwchar>

int settingsFileLoaded = 0;

namespace {

// Holds the whole file as read, and a terminator.
char settingsFileContent[kSettingsReadBufferSize];

// The settings file beside the program, in Unicode: the program's folder may
// hold characters that the code page lacks (a Chinese user name on a Western
// Windows). Empty when the path could not be composed whole, and then nothing
// is read or written.
wchar_t settingsFilePath[kSettingsFilePathSize];

// The program's folder as the default output folder, as the code page holds
// it: the long name, else the short (8.3) one; empty when neither holds.
void setDefaultOutputDirectory(const wchar_t* modulePath) {
    char narrow[kTextFieldSize];
    if (!toCodePageExactly(modulePath, narrow, sizeof narrow)) {
        wchar_t shortPath[kSettingsFilePathSize];
        DWORD length = GetShortPathNameW(modulePath, shortPath, kSettingsFilePathSize);
        if (length == 0 || length >= kSettingsFilePathSize ||
            !toCodePageExactly(shortPath, narrow, sizeof narrow)) {
            settings.outputDirectory[0] = '\0';
            return;
        }
    }
    setDirectoryFromModulePath(narrow);
}

// Composes settingsFilePath beside the program; false when it does not fit.
bool findSettingsFile() {
    settingsFilePath[0] = L'\0';
    wchar_t modulePath[kSettingsFilePathSize];
    DWORD length = GetModuleFileNameW(moduleInstance, modulePath, kSettingsFilePathSize);
    // A path that filled the buffer may have been cut short: refuse it.
    if (length == 0 || length >= kSettingsFilePathSize) {
        return false;
    }
    modulePath[length] = L'\0';
    setDefaultOutputDirectory(modulePath);
    return settingsFileBeside(modulePath, settingsFilePath);
}

} // namespace

void loadSettingsFile() {
    if (!findSettingsFile()) {
        return;
    }

    // Another program may hold the file for a moment (a second Tamsel
    // starting, a sync client, a virus scanner): wait about a second for it
    // rather than take the defaults, which the next OK would save over the
    // user's settings.
    constexpr int kOpenAttempts = 20;
    constexpr DWORD kOpenRetryMs = 50;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        file = CreateFileW(settingsFilePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
            break;
        }
        Sleep(kOpenRetryMs);
    }
    if (file == INVALID_HANDLE_VALUE) {
        // One that is there but cannot be read is no first start either.
        settingsFileLoaded = GetLastError() != ERROR_FILE_NOT_FOUND;
        return;
    }
    settingsFileLoaded = 1;
    DWORD size = GetFileSize(file, nullptr);
    if (size != INVALID_FILE_SIZE) {
        DWORD wanted = size < kSettingsReadBufferSize - 1
                           ? size
                           : static_cast<DWORD>(kSettingsReadBufferSize - 1);
        DWORD read = 0;
        if (ReadFile(file, settingsFileContent, wanted, &read, nullptr)) {
            settingsFileContent[read] = '\0';
            decodeSettingsFile(settingsFileContent, read);
        }
    }
    CloseHandle(file);
}

bool saveSettingsFile() {
    if (settingsFilePath[0] == L'\0') {
        return false;
    }
    // The new settings are written whole beside the old file and then take
    // its place in one step, so that a crash or a full disk during the save
    // leaves the old settings rather than a cut or empty file.
    static constexpr wchar_t kNewSuffix[] = L".new";
    constexpr std::size_t kSuffixSize = sizeof kNewSuffix / sizeof kNewSuffix[0];
    wchar_t newPath[kSettingsFilePathSize + kSuffixSize - 1];
    std::size_t pathLength = std::wcslen(settingsFilePath);
    std::wmemcpy(newPath, settingsFilePath, pathLength);
    std::wmemcpy(newPath + pathLength, kNewSuffix, kSuffixSize);

    char content[kMaxSettingsFileSize];
    std::size_t length = encodeSettingsFile(content, sizeof content);
    if (length == 0) {
        return false;
    }
    HANDLE file = CreateFileW(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool whole = WriteFile(file, content, static_cast<DWORD>(length), &written, nullptr) &&
                 written == length && FlushFileBuffers(file);
    CloseHandle(file);
    // A virus scanner, an indexer or a sync client may hold the old file for
    // a moment: try the replace again for about half a second.
    constexpr int kReplaceAttempts = 10;
    constexpr DWORD kReplaceRetryMs = 50;
    bool replaced = false;
    for (int attempt = 0; whole && !replaced && attempt < kReplaceAttempts; ++attempt) {
        if (attempt > 0) {
            Sleep(kReplaceRetryMs);
        }
        replaced = MoveFileExW(newPath, settingsFilePath,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!replaced) {
        DeleteFileW(newPath);
    }
    return replaced;
}

namespace {

void append(wchar_t* out, std::size_t capacity, const wchar_t* text) {
    std::size_t used = std::wcslen(out);
    for (; *text != L'\0' && used + 1 < capacity; ++text) {
        out[used++] = *text;
    }
    out[used] = L'\0';
}

} // namespace

void warnSettingsNotSaved() {
    static bool warned = false;
    if (warned) {
        return;
    }
    warned = true;
    // The folder in Unicode: it may hold characters the code page lacks.
    wchar_t folder[kSettingsFilePathSize];
    std::wmemcpy(folder, settingsFilePath, kSettingsFilePathSize);
    if (wchar_t* lastBackslash = std::wcsrchr(folder, L'\\')) {
        lastBackslash[1] = L'\0';
    }
    wchar_t text[2 * kSettingsFilePathSize + 400] = L"";
    // With no path (the program's own is too long for one), no folder to name.
    append(text, sizeof text / sizeof text[0],
           folder[0] != L'\0' ? L"Tamsel.ini cannot be saved in " : L"Tamsel.ini cannot be saved");
    append(text, sizeof text / sizeof text[0], folder);
    append(text, sizeof text / sizeof text[0],
           L"\n\nThese settings are used for this reading only: the next start will not know "
           L"them, and \"Always show this dialog box\" stays on. Put Tamsel.exe in a folder "
           L"you can write, such as C:\\Tamsel, and start it from there.");
    MessageBoxW(GetActiveWindow(), text, L"" TAMSEL_CAPTION, MB_ICONEXCLAMATION | MB_OK);
}

void warnIfRunFromTemporaryFolder() {
    wchar_t modulePath[kSettingsFilePathSize];
    wchar_t temporary[MAX_PATH + 1];
    wchar_t longTemporary[kSettingsFilePathSize];
    DWORD moduleLength = GetModuleFileNameW(moduleInstance, modulePath, kSettingsFilePathSize);
    DWORD temporaryLength = GetTempPathW(MAX_PATH + 1, temporary);
    if (moduleLength == 0 || moduleLength >= kSettingsFilePathSize || temporaryLength == 0 ||
        temporaryLength > MAX_PATH) {
        return;
    }
    // The temporary folder may be given by its short (8.3) name.
    DWORD longLength = GetLongPathNameW(temporary, longTemporary, kSettingsFilePathSize);
    const wchar_t* folder =
        longLength != 0 && longLength < kSettingsFilePathSize ? longTemporary : temporary;
    if (isInsideFolder(modulePath, folder)) {
        showMessage("Tamsel is running from a temporary folder, as it does when it is started "
                    "from inside the zip: its settings would be lost.\n\nExtract the zip first "
                    "(right-click it, Extract All...), then start Tamsel.exe from the folder it "
                    "was extracted to.",
                    MB_ICONEXCLAMATION | MB_OK);
    }
}
