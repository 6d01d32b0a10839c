#include "ui/dialog_texts_win32.h"

#include "app/settings.h"
#include "app/win32_common.h"

#include <commdlg.h>

#include <cstring>

bool readNameExactly(HWND dialog, int id, char* out, int capacity) {
    // One more than a name can hold: a text that fills it was cut, and is
    // refused like any other that does not fit.
    constexpr int kWideCapacity = static_cast<int>(kTextFieldSize) + 1;
    wchar_t wide[kWideCapacity];
    int length = GetDlgItemTextW(dialog, id, wide, kWideCapacity);
    return length < kWideCapacity - 1 && toCodePageExactly(wide, out, capacity);
}

SeparatorDecision readSeparatorEdit(HWND dialog, int id, char current) {
    // The first character, a surrogate pair's two units included, and
    // whether anything follows it.
    wchar_t wide[3];
    int length = GetDlgItemTextW(dialog, id, wide, 3);
    int firstUnits = length >= 2 && IS_HIGH_SURROGATE(wide[0]) ? 2 : length > 0 ? 1 : 0;
    bool moreFollows = length > firstUnits;
    wide[firstUnits] = L'\0';
    // Room for any one character of any code page, UTF-8's four bytes included.
    char first[8];
    bool held = toCodePageExactly(wide, first, sizeof first);
    return decideSeparator(held ? first : nullptr, moreFollows, current);
}

namespace {

// The Save dialog itself. True with the chosen path, split where the
// dialog says the name starts.
bool askForOutputFile(wchar_t* chosen, WORD* nameOffset, NameRefusal* refused) {
    // With a final backslash: "C:" alone names the current folder of drive C.
    char initialDirectory[kTextFieldSize + 1];
    std::size_t directoryLength = std::strlen(settings.outputDirectory);
    std::memcpy(initialDirectory, settings.outputDirectory, directoryLength);
    if (directoryLength > 0 && findLastBackslash(settings.outputDirectory) !=
                                   settings.outputDirectory + directoryLength - 1) {
        initialDirectory[directoryLength++] = '\\';
    }
    initialDirectory[directoryLength] = '\0';
    wchar_t initialDirectoryWide[kTextFieldSize + 1];
    if (MultiByteToWideChar(CP_ACP, 0, initialDirectory, -1, initialDirectoryWide,
                            kTextFieldSize + 1) == 0) {
        initialDirectoryWide[0] = L'\0';
    }
    if (MultiByteToWideChar(CP_ACP, 0, settings.outputFileName, -1, chosen, kTextFieldSize) == 0) {
        chosen[0] = L'\0';
    }

    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = GetActiveWindow();
    request.hInstance = moduleInstance;
    request.lpstrFilter = L"Data Files (*.TXT)\0*.TXT\0All Files (*.*)\0*.*\0";
    request.nFilterIndex = 1;
    request.lpstrFile = chosen;
    request.nMaxFile = kTextFieldSize;
    request.lpstrInitialDir = initialDirectoryWide;
    // The current directory stays where it was: a program started later by
    // name must not be looked for in the folder browsed to.
    request.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    request.lpstrDefExt = L"TXT";
    bool chose = GetSaveFileNameW(&request) != FALSE;
    DWORD why = chose ? 0 : CommDlgExtendedError();
    if (why == FNERR_INVALIDFILENAME) {
        // The stored name holds a character that the dialog refuses: once
        // more without it.
        chosen[0] = L'\0';
        chose = GetSaveFileNameW(&request) != FALSE;
        why = chose ? 0 : CommDlgExtendedError();
    }
    if (why == FNERR_BUFFERTOOSMALL) {
        MessageBeep(MB_ICONEXCLAMATION);
        *refused = NameRefusal::TooLong;
    }
    *nameOffset = request.nFileOffset;
    return chose;
}

} // namespace

bool chooseOutputFile(char* directory, char* fileName, NameRefusal* refused) {
    wchar_t chosen[kTextFieldSize];
    WORD nameOffset = 0;
    *refused = NameRefusal::None;
    if (!askForOutputFile(chosen, &nameOffset, refused)) {
        return false;
    }
    // Split where the dialog says the name starts, in characters: the last
    // 0x5C byte of the path may be the second byte of a character. The
    // directory keeps no trailing backslash; OK puts one back.
    std::size_t chosenLength = 0;
    while (chosenLength + 1 < kTextFieldSize && chosen[chosenLength] != L'\0') {
        ++chosenLength;
    }
    chosen[chosenLength] = L'\0';
    std::size_t nameStart = nameOffset <= chosenLength ? nameOffset : chosenLength;
    wchar_t name[kTextFieldSize];
    std::size_t length = 0;
    while (chosen[nameStart + length] != L'\0') {
        name[length] = chosen[nameStart + length];
        ++length;
    }
    name[length] = L'\0';
    std::size_t directoryEnd = nameStart;
    if (directoryEnd > 0 && chosen[directoryEnd - 1] == L'\\') {
        --directoryEnd;
    }
    chosen[directoryEnd] = L'\0';
    // A name the program could not hold as it is stays out of the fields.
    if (!toCodePageExactly(chosen, directory, kTextFieldSize) ||
        !toCodePageExactly(name, fileName, kTextFieldSize)) {
        MessageBeep(MB_ICONEXCLAMATION);
        *refused = NameRefusal::OutsideCodePage;
        return false;
    }
    return true;
}
