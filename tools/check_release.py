#!/usr/bin/env python3
"""Checks that each Tamsel.exe given runs on Windows 7 and later and carries
the version of resources/version.h:

- the PE header asks for subsystem version 6.1 (Windows 7) or older;
- it imports only from Windows' own DLLs, and from the Win32 ones only
  functions that Windows 7 has (the list below: each entry was checked
  against the documented minimum supported client; add a new import only
  after checking it there);
- its version resource, dialog captions and manifest all say the version;
  the version resource names the program, its company and its copyright;
- the manifest declares Per-Monitor V2 awareness, and system awareness for
  the Windows that know no other; both dialogs take the shell's dialog font
  (DS_SHELLFONT, "MS Shell Dlg"); the icon holds every size Windows asks for;
- every edit and list of the properties dialog has the name a screen reader
  gives it, found as Windows finds it (the static text before it in tab
  order, no further back than a control that starts a group and is a tab
  stop), and no two controls share an access key.

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
# while running, never imported. No screen copying (BitBlt and the bitmaps it
# needs) is on the list: the flash is a window and never writes the screen. msvcrt.dll is Windows' own C runtime,
# taken whole.
WINDOWS7 = {
    "KERNEL32.DLL": """
        CancelIoEx ClearCommError CloseHandle CreateEventA CreateFileA CreateFileW CreateProcessA
        CreateThread DeleteCriticalSection DeleteFileA EnterCriticalSection
        DeleteFileW FlushFileBuffers FormatMessageA FreeLibrary GetACP GetCommandLineA GetCommandLineW GetCurrentThreadId
        GetFileSize GetFileSizeEx GetFileType GetLastError GetLocalTime GetLongPathNameW
        GetModuleFileNameA
        GetModuleFileNameW GetModuleHandleA
        GetModuleHandleW GetOverlappedResult GetProcAddress GetShortPathNameW GetStartupInfoA
        GetSystemDirectoryA GetTempPathW GetTickCount InitializeCriticalSection IsDBCSLeadByteEx
        LeaveCriticalSection LoadLibraryA MoveFileExA MoveFileExW MultiByteToWideChar PurgeComm
        ReadFile ResetEvent SetCommMask SetCommState SetCommTimeouts SetEndOfFile
        SetErrorMode SetEvent SetFileInformationByHandle SetFilePointerEx SetThreadPriority
        SetUnhandledExceptionFilter
        SetupComm Sleep TlsGetValue VirtualProtect VirtualQuery WaitCommEvent
        WaitForMultipleObjects WaitForSingleObject WideCharToMultiByte WriteFile
        __C_specific_handler
    """,
    "USER32.DLL": """
        BeginPaint CheckDlgButton CreateWindowExA EnableWindow EndPaint FillRect FrameRect GetClientRect
        GetMonitorInfoA GetSysColor GetSysColorBrush GetWindow InvalidateRect MapWindowPoints
        MonitorFromWindow SetLayeredWindowAttributes SetWindowPos SetWindowTextA
        SystemParametersInfoW UpdateWindow GetWindowTextW SendMessageW DefWindowProcA DestroyWindow DialogBoxParamA
        DialogBoxParamW DrawTextA EndDialog GetActiveWindow GetDC GetDlgItem
        GetDlgItemInt GetDlgItemTextA GetDlgItemTextW GetSystemMetrics GetWindowRect
        IsDlgButtonChecked IsIconic KillTimer LoadCursorA LoadIconA LoadImageA MapDialogRect
        MessageBeep MessageBoxA MessageBoxW MoveWindow MsgWaitForMultipleObjects PeekMessageA
        PostMessageA PostQuitMessage RegisterClassA ReleaseDC SendDlgItemMessageA
        SendMessageA SetDlgItemInt SetDlgItemTextA SetTimer ShowWindow WaitForInputIdle
    """,
    "GDI32.DLL": """
        CreateFontIndirectW DeleteObject GetDeviceCaps GetStockObject
        GetTextExtentPoint32A SelectObject SetBkMode SetTextColor
    """,
    "COMDLG32.DLL": "CommDlgExtendedError GetSaveFileNameW",
    # The present ports and their devices' names (since Windows 2000).
    "ADVAPI32.DLL": "RegCloseKey RegEnumValueA RegOpenKeyExA RegQueryValueExA",
    "SETUPAPI.DLL": """
        SetupDiDestroyDeviceInfoList SetupDiEnumDeviceInfo SetupDiGetClassDevsA
        SetupDiGetDeviceRegistryPropertyA SetupDiOpenDevRegKey
    """,
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
    problems += check_dialogs(rc)
    captions = re.findall(r'^CAPTION "(.*)"$', rc, re.M)
    if len(captions) != 2 or set(captions) != {"Tamsel (Ver %s)" % text}:
        problems.append("dialog captions %r are not both \"Tamsel (Ver %s)\"" % (captions, text))
    return problems


DS_SHELLFONT = 0x48  # DS_SETFONT | DS_FIXEDSYS
WS_GROUP, WS_TABSTOP = 0x20000, 0x10000
ICON_SIZES = {16, 20, 24, 32, 40, 48, 64, 256}
# The name each edit and list is read by.
CONTROL_NAMES = {
    601: "Directory :", 602: "File name :", 701: "COM port :", 702: "Baud rate :",
    703: "File mode :", 603: "Character code to replace :",
    604: "Replace with character code :", 704: "Date & Time stamp :",
    705: "Data field delimiter :", 711: "Year digits :", 614: "Date separator character :",
    715: "Date Style :", 624: "Time separator character :",
}
CONTROL = re.compile(r'^\s*CONTROL "((?:[^"]|"")*)", (-?\d+), "(\w+)", (0x[0-9a-fA-F]+|\d+)')


def shown_text(text):
    """A control's text as shown: "&" marks the access key, "&&" is one "&"."""
    return re.sub(r"&(&?)", r"\1", text.replace('""', '"'))


def access_key(text):
    m = re.search(r"(?<!&)&([^&])", text.replace("&&", ""))
    return m.group(1).lower() if m else None


def dialog_block(rc, name):
    m = re.search(r'^"%s" DIALOGEX [^\n]*\n(.*?)^END' % name, rc, re.M | re.S)
    return m.group(0) if m else ""


def check_dialogs(rc):
    problems = []
    if not re.search(r"<dpiAwareness[^>]*>\s*PerMonitorV2\b[^<]*</dpiAwareness>", rc):
        problems.append("the manifest does not declare Per-Monitor V2 awareness")
    for name in ("PROPERTIESDLG", "PROGRESSDLG"):
        block = dialog_block(rc, name)
        style = re.search(r"^STYLE (0x[0-9a-fA-F]+)", block, re.M)
        if not style or int(style.group(1), 16) & DS_SHELLFONT != DS_SHELLFONT or \
                not re.search(r'^FONT 8, "MS Shell Dlg"', block, re.M):
            problems.append("dialog %s does not take the shell's dialog font" % name)
    group = re.search(r'^"TAMSEL" 14 .*?^END', rc, re.M | re.S)
    sizes = {int(w, 8) or 256 for w in re.findall(r'"\\(\d{3})\\\d{3}', group.group(0))} \
        if group else set()
    if sizes != ICON_SIZES:
        problems.append("the icon holds %s, not %s" % (sorted(sizes), sorted(ICON_SIZES)))
    controls = [(m.group(1), int(m.group(2)), m.group(3).upper(), int(m.group(4), 0))
                for m in map(CONTROL.match, dialog_block(rc, "PROPERTIESDLG").splitlines()) if m]
    names = {}
    for index, (_, control_id, kind, _) in enumerate(controls):
        if kind not in ("EDIT", "COMBOBOX"):
            continue
        for text, _, before, style in reversed(controls[:index]):
            if before == "STATIC":
                names[control_id] = shown_text(text).strip()
                break
            if style & (WS_GROUP | WS_TABSTOP) == WS_GROUP | WS_TABSTOP:
                break
    for control_id, expected in CONTROL_NAMES.items():
        if names.get(control_id) != expected:
            problems.append("control %d is read as %r, not %r"
                            % (control_id, names.get(control_id), expected))
    keys = [access_key(text) for text, _, _, _ in controls if access_key(text)]
    if len(keys) != len(set(keys)) or "w" not in keys:
        problems.append("access keys %s clash, or Browse has none" % sorted(keys))
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
