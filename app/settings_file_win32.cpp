// Loading and saving "Tamsel.ini" on Win32.
#include "app/settings_file.h"
#include "app/win32_common.h"

#include <cstring>

namespace {

// Holds the whole file as read, and a terminator.
char settingsFileContent[kSettingsReadBufferSize];

} // namespace

void loadSettingsFile() {
    char modulePath[kSettingsFilePathSize];
    DWORD length = GetModuleFileNameA(moduleInstance, modulePath, sizeof modulePath);
    // A path that filled the buffer may have been cut short: refuse it, so
    // settingsFilePath stays empty and nothing is read or written.
    if (length == 0 || length >= sizeof modulePath) {
        settingsFilePath[0] = '\0';
        return;
    }
    modulePath[length] = '\0';
    if (!setPathsFromModulePath(modulePath)) {
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
        file = CreateFileA(settingsFilePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) {
            break;
        }
        Sleep(kOpenRetryMs);
    }
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
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

void saveSettingsFile() {
    if (settingsFilePath[0] == '\0') {
        return;
    }
    // The new settings are written whole beside the old file and then take
    // its place in one step, so that a crash or a full disk during the save
    // leaves the old settings rather than a cut or empty file.
    static constexpr char kNewSuffix[] = ".new";
    char newPath[kSettingsFilePathSize + sizeof kNewSuffix - 1];
    std::size_t pathLength = std::strlen(settingsFilePath);
    if (pathLength + sizeof kNewSuffix > sizeof newPath) {
        return;
    }
    std::memcpy(newPath, settingsFilePath, pathLength);
    std::memcpy(newPath + pathLength, kNewSuffix, sizeof kNewSuffix);

    char content[kMaxSettingsFileSize];
    std::size_t length = encodeSettingsFile(content, sizeof content);
    if (length == 0) {
        return;
    }
    HANDLE file = CreateFileA(newPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
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
        replaced = MoveFileExA(newPath, settingsFilePath,
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }
    if (!replaced) {
        DeleteFileA(newPath);
    }
}
