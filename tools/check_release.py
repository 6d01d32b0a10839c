#!/usr/bin/env python3
"""Checks that each Tamsel.exe given runs on Windows 7 and later and carries
the version of resources/version.h:

- the PE header asks for subsystem version 6.1 (Windows 7) or older;
- it imports only from Windows' own DLLs, and from the Win32 ones only
  functions that Windows 7 has (the list below: each entry was checked
  against the documented minimum supported client; add a new import only
  after checking it there);
- its version resource, dialog captions and manifest all say the version;
  the version resource names the program, its company and its copyright,
  and the manifest declares the program DPI aware.

Reads the PE with MinGW-w64's objdump and windres. Usage:
    check_release.py build/windows/Tamsel.exe build/windows-x86/Tamsel.exe
"""

import re
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
MAX_SUBSYSTEM = (6, 1)

# Win32 functions available on Windows 7 (all of these since Windows XP or
# earlier, but CancelIoEx and SetFileInformationByHandle, since Vista).
# GetDpiForWindow and SystemParametersInfoForDpi (Windows 10) are looked up
# while running, never imported. msvcrt.dll is Windows' own C runtime,
# taken whole.
WINDOWS7 = {
    "KERNEL32.DLL": """
        CancelIoEx ClearCommError CloseHandle CreateEventA CreateFileA CreateFileW CreateProcessA
        CreateThread DeleteCriticalSection DeleteFileA EnterCriticalSection
        DeleteFileW FlushFileBuffers FreeLibrary GetACP GetCommandLineA GetCommandLineW GetCurrentThreadId
        GetFileSize GetFileSizeEx GetFileType GetLastError GetLocalTime GetModuleFileNameA
        GetModuleFileNameW GetModuleHandleA
        GetModuleHandleW GetOverlappedResult GetProcAddress GetShortPathNameW GetStartupInfoA
        GetSystemDirectoryA GetTickCount InitializeCriticalSection IsDBCSLeadByteEx
        LeaveCriticalSection LoadLibraryA MoveFileExA MoveFileExW MultiByteToWideChar PurgeComm
        ReadFile ResetEvent SetCommMask SetCommState SetCommTimeouts SetEndOfFile
        SetErrorMode SetEvent SetFileInformationByHandle SetFilePointerEx SetThreadPriority
        SetUnhandledExceptionFilter
        SetupComm Sleep TlsGetValue VirtualProtect VirtualQuery WaitCommEvent
        WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteFile
        __C_specific_handler
    """,
    "USER32.DLL": """
        BeginPaint CheckDlgButton CreateWindowExA EndPaint FillRect FrameRect GetClientRect
        GetMonitorInfoA GetSysColor GetSysColorBrush GetWindow InvalidateRect MapWindowPoints
        MonitorFromWindow SetLayeredWindowAttributes SetWindowPos SetWindowTextA
        SystemParametersInfoW UpdateWindow GetWindowTextW SendMessageW DefWindowProcA DestroyWindow DialogBoxParamA
        DialogBoxParamW DrawTextA EndDialog GetActiveWindow GetDC GetDlgItem
        GetDlgItemInt GetDlgItemTextA GetDlgItemTextW GetSystemMetrics GetWindowRect
        IsDlgButtonChecked IsIconic KillTimer LoadCursorA LoadIconA LoadImageA MapDialogRect
        MessageBeep MessageBoxA MoveWindow MsgWaitForMultipleObjects PeekMessageA
        PostMessageA PostQuitMessage RegisterClassA ReleaseDC SendDlgItemMessageA
        SendMessageA SetDlgItemInt SetDlgItemTextA SetTimer ShowWindow WaitForInputIdle
    """,
    "GDI32.DLL": """
        CreateFontIndirectW GetStockObject SetTextColor
        BitBlt CreateCompatibleBitmap CreateCompatibleDC CreateSolidBrush DeleteDC
        DeleteObject GetDeviceCaps GetTextExtentPoint32A Rectangle SelectObject SetBkMode
    """,
    "COMDLG32.DLL": "CommDlgExtendedError GetSaveFileNameW",
    # The screen readers' annotation service (IAccPropServices, Windows XP).
    "OLE32.DLL": "CoCreateInstance CoInitializeEx CoUninitialize",
}
WINDOWS7 = {dll: set(names.split()) for dll, names in WINDOWS7.items()}
WHOLE_DLLS = {"MSVCRT.DLL"}


def read_version():
    text = (ROOT / "resources" / "version.h").read_text()
    major = re.search(r"#define TAMSEL_VERSION_MAJOR (\d+)", text).group(1)
    minor = re.search(r"#define TAMSEL_VERSION_MINOR (\d+)", text).group(1)
    return major, minor


def tool(exe, name):
    prefix = "x86_64" if pe_magic(exe) == 0x20B else "i686"
    return "%s-w64-mingw32-%s" % (prefix, name)


def pe_magic(exe):
    data = Path(exe).read_bytes()
    pe = int.from_bytes(data[0x3C:0x40], "little")
    return int.from_bytes(data[pe + 24:pe + 26], "little")


def run(args):
    return subprocess.run(args, check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE).stdout.decode("latin-1")


def check_headers_and_imports(exe):
    problems = []
    dump = run([tool(exe, "objdump"), "-p", exe])
    subsystem = tuple(int(re.search(r"%sSubsystemVersion\s+(\d+)" % part, dump).group(1))
                      for part in ("Major", "Minor"))
    if subsystem > MAX_SUBSYSTEM:
        problems.append("subsystem version %d.%d is newer than Windows 7 (6.1)" % subsystem)
    dll = None
    imports = 0
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).upper()
            if dll not in WINDOWS7 and dll not in WHOLE_DLLS:
                problems.append("imports from %s, which is not Windows' own" % m.group(1))
            continue
        m = re.match(r"\t[0-9a-f]+\t\s*\d+\s+(\S+)", line)
        if m and dll:
            imports += 1
            if dll in WINDOWS7 and m.group(1) not in WINDOWS7[dll]:
                problems.append("%s!%s is not on the list of Windows 7 functions"
                                % (dll, m.group(1)))
    if imports == 0:
        problems.append("no imports found (objdump's format changed?)")
    return problems


def check_version(exe, major, minor):
    problems = []
    try:
        rc = run([tool(exe, "windres"), "-J", "coff", "-O", "rc", "-i", exe])
    except subprocess.CalledProcessError:
        return ["no resources could be read"]
    text = "%s.%s" % (major, minor)
    expected = [
        (r"FILEVERSION %s, %s, 0, 0" % (major, minor), "file version"),
        (r"PRODUCTVERSION %s, %s, 0, 0" % (major, minor), "product version"),
        (r'VALUE "FileVersion", "%s"' % re.escape(text), "FileVersion text"),
        (r'VALUE "ProductVersion", "%s"' % re.escape(text), "ProductVersion text"),
        (r'VALUE "ProductName", "Tamsel"', "product name"),
        # Task Manager shows the description as the program's name.
        (r'VALUE "FileDescription", "Tamsel"', "file description"),
        (r'VALUE "CompanyName", "[^"]+"', "company name"),
        (r'VALUE "LegalCopyright", "[^"]+"', "copyright line"),
        (r'assemblyIdentity type=""win32"" name=""Tamsel"" version=""%s\.0\.0""'
         % re.escape(text), "manifest version"),
    ]
    for pattern, what in expected:
        if not re.search(pattern, rc):
            problems.append("%s is missing or not as it should be (version %s)" % (what, text))
    # Without it Windows stretches the windows of a scaled screen as bitmaps: blurry.
    if not re.search(r'<dpiAware[^>]*>true</dpiAware>', rc):
        problems.append("the manifest does not declare the program DPI aware")
    captions = re.findall(r'^CAPTION "(.*)"$', rc, re.M)
    if len(captions) != 2 or set(captions) != {"Tamsel (Ver %s)" % text}:
        problems.append("dialog captions %r are not both \"Tamsel (Ver %s)\"" % (captions, text))
    return problems


def main(exes):
    if not exes:
        print(__doc__)
        return 2
    major, minor = read_version()
    failed = False
    for exe in exes:
        problems = check_headers_and_imports(exe) + check_version(exe, major, minor)
        for problem in problems:
            print("%s: %s" % (exe, problem))
        failed = failed or bool(problems)
        if not problems:
            print("%s: Windows 7 and later, version %s.%s" % (exe, major, minor))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
