// e2e_driver: a small console program that drives another program's windows
// for the end-to-end tests (find windows, read and set control texts, press
// buttons, answer message boxes). It runs under the same Wine prefix as the
// program under test, so window handles and messages cross between the two.
// Usage: e2e_driver COMMAND [--OPTION [VALUE]]...; each command's handler
// below says what it does, and kCommands what it needs. A window is selected
// by --title, --title-contains, --class, --has-id and --minimized.
//
// Output: one line per item, tab-separated key=value fields, escaped so that a
// line never holds a tab or a line break: "\\", "\t", "\r", "\n", and "\xHH" for
// any other byte below 32 or above 126. Option texts are unescaped alike.
// Exit status: 0 done, 1 timed out, 2 bad usage, 3 the window or control lacks
// what was asked for.

#include <windows.h>

#include <oleacc.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kExitTimeout = 1;
constexpr int kExitUsage = 2;
constexpr int kExitMissing = 3;
constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

struct Options {
    std::set<std::string> given; // every option named on the command line
    std::string title, titleContains, className, text, answer = "ok", cmdline, port, keys;
    long hasId = -1, id = -1, index = -1, at = -1, code = BN_CLICKED, timeoutMs = 10000;
    bool has(const char* name) const { return given.count(name) != 0; }
};

std::string escape(const std::string& in) {
    std::string out;
    for (unsigned char c : in) {
        const char* named = c == '\\'   ? "\\\\"
                            : c == '\t' ? "\\t"
                            : c == '\r' ? "\\r"
                            : c == '\n' ? "\\n"
                                        : nullptr;
        char hex[5] = {static_cast<char>(c), '\0'};
        if (!named && (c < 32 || c > 126))
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += named ? named : hex;
    }
    return out;
}

// The row of a table with this name, or null.
template <typename Row, std::size_t N> const Row* find(const Row (&table)[N], const char* name) {
    for (const Row& row : table) {
        if (std::strcmp(row.name, name) == 0)
            return &row;
    }
    return nullptr;
}

std::string unescape(const std::string& in) {
    auto isHex = [&](std::size_t at) {
        return at < in.size() && std::isxdigit(static_cast<unsigned char>(in[at]));
    };
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 >= in.size()) {
            out += in[i];
            continue;
        }
        char next = in[++i];
        if (next == 't' || next == 'r' || next == 'n') {
            out += next == 't' ? '\t' : next == 'r' ? '\r' : '\n';
        } else if (next == 'x' && isHex(i + 1) && isHex(i + 2)) {
            out += static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            // A lone backslash stands for itself, so Windows paths can be
            // passed without doubling every separator.
            out += '\\';
            if (next != '\\')
                --i;
        }
    }
    return out;
}

bool parseNumber(const char* text, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 0);
    return end && *end == '\0' && end != text;
}

// A message sent with a time limit, so that a hung window cannot hang the
// driver; false when it was not handled in time. `wide`: the W form.
bool send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr,
          bool wide = false) {
    DWORD_PTR ignored = 0;
    return (wide ? SendMessageTimeoutW : SendMessageTimeoutA)(window, message, wParam, lParam,
                                                              SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                                              result ? result : &ignored) != 0;
}

std::string handleText(HWND window) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%llX",
                  static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return buffer;
}

std::string className(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string captionOf(HWND window) {
    char caption[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    return caption;
}

// WM_GETTEXT rather than GetWindowText, which cannot read the controls of
// another process.
bool controlText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!send(window, WM_GETTEXTLENGTH, 0, 0, &length))
        return false;
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!send(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()), &copied))
        return false;
    text->assign(buffer.data(), std::min<DWORD_PTR>(copied, length + 1));
    return true;
}

bool matches(HWND window, const Options& o) {
    if (!IsWindowVisible(window))
        return false;
    if (o.has("--minimized") && !IsIconic(window))
        return false;
    if (!o.className.empty() && className(window) != o.className)
        return false;
    std::string caption = o.has("--title") || !o.titleContains.empty() ? captionOf(window) : "";
    if (o.has("--title") && caption != o.title)
        return false;
    if (!o.titleContains.empty() && caption.find(o.titleContains) == std::string::npos)
        return false;
    return o.hasId < 0 || GetDlgItem(window, static_cast<int>(o.hasId));
}

void printWindow(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    std::printf("hwnd=%s\tpid=%lu\tclass=%s\tvisible=%d\tminimized=%d\trect=%ld,%ld,%ld,%ld\t"
                "title=%s\n",
                handleText(window).c_str(), pid, escape(className(window)).c_str(),
                IsWindowVisible(window) ? 1 : 0, IsIconic(window) ? 1 : 0, r.left, r.top, r.right,
                r.bottom, escape(captionOf(window)).c_str());
}

// The first window that matches, or with `print` every one, printed.
struct Search {
    const Options* options;
    bool print;
    HWND found;
};

BOOL CALLBACK searchTopLevel(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    if (!matches(window, *search->options))
        return TRUE;
    if (search->print)
        printWindow(window);
    else
        search->found = window;
    return search->print;
}

HWND findWindowNow(const Options& o, bool print = false) {
    Search search{&o, print, nullptr};
    EnumWindows(searchTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A time limit, counted from its making.
struct Deadline {
    explicit Deadline(DWORD limitMs) : start(GetTickCount()), ms(limitMs) {}
    bool passed() const { return GetTickCount() - start >= ms; }
    DWORD start, ms;
};

HWND waitForWindow(const Options& o, const Deadline& deadline) {
    HWND window = findWindowNow(o);
    while (!window && !deadline.passed()) {
        Sleep(kPollMs);
        window = findWindowNow(o);
    }
    return window;
}

int timedOut(const char* what) {
    std::printf("error=timeout\twhat=%s\n", escape(what).c_str());
    return kExitTimeout;
}

int missing(const char* what) {
    std::printf("error=missing\twhat=%s\n", escape(what).c_str());
    return kExitMissing;
}

// --- the commands: main hands each the window and the control its row asks
// for (or null), already found.

BOOL CALLBACK listChild(HWND child, LPARAM param) {
    HWND parent = reinterpret_cast<HWND>(param);
    if (GetParent(child) != parent)
        return TRUE; // grandchildren, such as a combo box's edit, come with their own parent
    std::string text;
    controlText(child, &text);
    std::printf("id=%d\tclass=%s\tvisible=%d\tenabled=%d\ttext=%s\n", GetDlgCtrlID(child),
                escape(className(child)).c_str(), IsWindowVisible(child) ? 1 : 0,
                IsWindowEnabled(child) ? 1 : 0, escape(text).c_str());
    return TRUE;
}

// wait-window [--controls]: prints the window (and each of its controls).
int cmdWaitWindow(const Options& o, const Deadline&, HWND window, HWND) {
    printWindow(window);
    if (o.has("--controls"))
        EnumChildWindows(window, listChild, reinterpret_cast<LPARAM>(window));
    return 0;
}

// wait-gone: waits until no window matches.
int cmdWaitGone(const Options& o, const Deadline& deadline, HWND, HWND) {
    while (HWND window = findWindowNow(o)) {
        if (deadline.passed()) {
            printWindow(window);
            return timedOut("window still present");
        }
        Sleep(kPollMs);
    }
    std::printf("gone=1\n");
    return 0;
}

// windows: prints every matching window, at once (with no selection: all).
int cmdWindows(const Options& o, const Deadline&, HWND, HWND) {
    findWindowNow(o, true);
    return 0;
}

// text [--text T]: prints the control's text; with --text, once it equals T.
int cmdText(const Options& o, const Deadline& deadline, HWND, HWND control) {
    std::string text;
    for (;;) {
        bool read = controlText(control, &text);
        if (!read && !o.has("--text"))
            return missing("text (the window did not answer)");
        if (read && (!o.has("--text") || text == o.text)) {
            std::printf("text=%s\n", escape(text).c_str());
            return 0;
        }
        if (deadline.passed() || !IsWindow(control)) {
            std::printf("last=%s\n", escape(text).c_str());
            return timedOut("text");
        }
        Sleep(kPollMs);
    }
}

const struct {
    const char* name;
    int id;
} kAnswers[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}, {"none", 0}};

// msgbox [--answer ok|yes|no|cancel|none]: waits for a message box (--title:
// its caption), prints its text and buttons, and presses the answer's button.
int cmdMessageBox(const Options& o, const Deadline& deadline, HWND, HWND) {
    const auto* answer = find(kAnswers, o.answer.c_str());
    if (!answer) {
        std::fprintf(stderr, "unknown answer: %s\n", o.answer.c_str());
        return kExitUsage;
    }
    Options select = o;
    select.className = "#32770";
    select.hasId = kMessageBoxTextId;
    HWND box = waitForWindow(select, deadline);
    if (!box)
        return timedOut("window");
    std::string text;
    if (!controlText(GetDlgItem(box, kMessageBoxTextId), &text))
        return missing("message text");
    std::string buttons;
    for (const auto& a : kAnswers) {
        if (a.id && GetDlgItem(box, a.id))
            buttons += std::string(buttons.empty() ? "" : ",") + a.name;
    }
    bool topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::printf("hwnd=%s\tcaption=%s\tbuttons=%s\ttopmost=%d\ttext=%s\n", handleText(box).c_str(),
                escape(captionOf(box)).c_str(), buttons.c_str(), topmost ? 1 : 0,
                escape(text).c_str());
    std::fflush(stdout);
    if (answer->id == 0)
        return 0;
    HWND button = GetDlgItem(box, answer->id);
    if (!button)
        return missing("button");
    // Posted: the box's owner may run a modal loop of its own once the box
    // has gone, and a sent message would wait for it.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer->id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    while (IsWindow(box)) {
        if (deadline.passed())
            return timedOut("message box still open after the answer");
        Sleep(kPollMs);
    }
    std::printf("answered=%s\n", o.answer.c_str());
    return 0;
}

// press [--post] [--code N]: the click of the button --id as it reaches the
// window, WM_COMMAND (id, BN_CLICKED or N) with the control's handle, sent and
// handled before this returns; posted for a button whose handler ends the
// dialog or opens a modal one, which a sent message would wait for.
int cmdPress(const Options& o, const Deadline&, HWND window, HWND control) {
    // A disabled button sends no notification: a press of one must not act.
    if (control && !IsWindowEnabled(control))
        return missing("an enabled control");
    WPARAM wParam = MAKEWPARAM(static_cast<WORD>(o.id), static_cast<WORD>(o.code));
    LPARAM lParam = reinterpret_cast<LPARAM>(control);
    if (o.has("--post"))
        PostMessageA(window, WM_COMMAND, wParam, lParam);
    else if (!send(window, WM_COMMAND, wParam, lParam))
        return timedOut("press not handled");
    std::printf("pressed=%ld\n", o.id);
    return 0;
}

int printText(HWND control) {
    std::string now;
    controlText(control, &now);
    std::printf("text=%s\n", escape(now).c_str());
    return 0;
}

// set-text --text T: WM_SETTEXT; prints the text the control then has.
int cmdSetText(const Options& o, const Deadline&, HWND, HWND control) {
    if (!send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.text.c_str())))
        return timedOut("WM_SETTEXT not handled");
    return printText(control);
}

bool comboItems(HWND combo, std::vector<std::string>* items) {
    DWORD_PTR count = 0;
    if (!send(combo, CB_GETCOUNT, 0, 0, &count) || static_cast<LRESULT>(count) == CB_ERR)
        return false;
    for (DWORD_PTR i = 0; i < count; ++i) {
        // The wide forms: Wine hands another process's list text to the
        // ANSI form of CB_GETLBTEXT unconverted.
        DWORD_PTR length = 0;
        send(combo, CB_GETLBTEXTLEN, i, 0, &length, true);
        if (static_cast<LRESULT>(length) == CB_ERR)
            length = 0;
        std::vector<wchar_t> wide(length + 1, L'\0');
        send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()), nullptr, true);
        char text[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text, nullptr, nullptr);
        items->push_back(text);
    }
    return true;
}

// select --index I: chooses the combo box item as a user's choice does.
int cmdSelect(const Options& o, const Deadline&, HWND, HWND combo) {
    DWORD_PTR result = 0;
    send(combo, CB_SETCURSEL, o.index, 0, &result);
    if (static_cast<LRESULT>(result) == CB_ERR)
        return missing("index");
    // CB_SETCURSEL notifies nobody: tell the dialog as a user's choice would.
    send(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
         reinterpret_cast<LPARAM>(combo));
    std::printf("selected=%ld\n", o.index);
    return 0;
}

// combo: prints the selection and every item.
int cmdCombo(const Options&, const Deadline&, HWND, HWND combo) {
    DWORD_PTR selected = 0;
    send(combo, CB_GETCURSEL, 0, 0, &selected);
    std::vector<std::string> items;
    if (!comboItems(combo, &items))
        return missing("combo items");
    std::printf("selected=%ld\tcount=%u\n", static_cast<long>(static_cast<LRESULT>(selected)),
                static_cast<unsigned>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i)
        std::printf("index=%u\titem=%s\n", static_cast<unsigned>(i), escape(items[i]).c_str());
    return 0;
}

long checkState(HWND control) {
    DWORD_PTR state = 0;
    return send(control, BM_GETCHECK, 0, 0, &state) ? static_cast<long>(state) : -1;
}

// checked: prints BM_GETCHECK (0, 1 or 2).
int cmdChecked(const Options&, const Deadline&, HWND, HWND control) {
    long state = checkState(control);
    if (state < 0)
        return missing("check state (the window did not answer)");
    std::printf("checked=%ld\n", state);
    return 0;
}

// acc-name: the control's name as a screen reader asks for it: from the system's
// standard accessibility object for the window (what oleacc hands a screen
// reader for a standard control), not from its text.
int cmdAccName(const Options&, const Deadline&, HWND, HWND control) {
    // Spelled out: MinGW's import library gives the name of a jump, not the GUID.
    static const IID kAccessible = {
        0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return missing("COM");
    IAccessible* accessible = nullptr;
    BSTR name = nullptr;
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    HRESULT got = CreateStdAccessibleObject(control, OBJID_CLIENT, kAccessible,
                                            reinterpret_cast<void**>(&accessible));
    if (SUCCEEDED(got))
        got = accessible->get_accName(self, &name);
    std::string text;
    for (UINT i = 0; name && i < SysStringLen(name); ++i)
        text += name[i] < 128 ? static_cast<char>(name[i]) : '?';
    std::printf("hresult=0x%08lX\tname=%s\n", static_cast<unsigned long>(got),
                escape(text).c_str());
    SysFreeString(name);
    if (accessible)
        accessible->Release();
    CoUninitialize();
    return 0;
}

// rect [--id N]: the window's or control's rectangle: on the screen, its
// client area, and in the window's client area.
int cmdRect(const Options&, const Deadline&, HWND window, HWND control) {
    HWND target = control ? control : window;
    RECT screen{}, client{};
    GetWindowRect(target, &screen);
    GetClientRect(target, &client);
    RECT inParent = screen;
    if (control)
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&inParent), 2);
    std::printf("screen=%ld,%ld,%ld,%ld\tclient=%ld,%ld\tparent=%ld,%ld,%ld,%ld\n", screen.left,
                screen.top, screen.right, screen.bottom, client.right, client.bottom, inParent.left,
                inParent.top, inParent.right, inParent.bottom);
    return 0;
}

// close: the close box (WM_SYSCOMMAND SC_CLOSE), posted.
int cmdClose(const Options&, const Deadline&, HWND window, HWND) {
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::printf("closed=%s\n", handleText(window).c_str());
    return 0;
}

// terminate: ends the process that owns the window.
int cmdTerminate(const Options&, const Deadline&, HWND window, HWND) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
    if (!process)
        return missing("process");
    TerminateProcess(process, 99);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
    std::printf("terminated=%lu\n", pid);
    return 0;
}

int spawn(const std::string& cmdline, bool wait, const Deadline& deadline) {
    std::vector<char> line(cmdline.c_str(), cmdline.c_str() + cmdline.size() + 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        std::printf("error=spawn\tcode=%lu\n", GetLastError());
        return kExitMissing;
    }
    std::printf("pid=%lu\n", info.dwProcessId);
    std::fflush(stdout);
    int result = 0;
    if (wait) {
        DWORD waited = WAIT_TIMEOUT;
        while (waited == WAIT_TIMEOUT && !deadline.passed())
            waited = WaitForSingleObject(info.hProcess, kPollMs);
        DWORD code = 0;
        if (waited == WAIT_OBJECT_0) {
            GetExitCodeProcess(info.hProcess, &code);
            std::printf("exit=%lu\n", code);
        } else {
            result = timedOut("process still running");
        }
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return result;
}

// spawn --cmdline T [--wait]: starts a program with exactly this command
// line; with --wait, waits for it and prints its exit code.
int cmdSpawn(const Options& o, const Deadline& deadline, HWND, HWND) {
    return spawn(o.cmdline, o.has("--wait"), deadline);
}

// hold --port NAME [--wait] [--id N and a window | --cmdline T]: opens a port
// or a file without sharing and keeps it until the time limit (with --wait, a
// wait for received characters pending); once held, presses the button N
// (posted) or starts the program. main has found the button before the opening.
int cmdHold(const Options& o, const Deadline& deadline, HWND window, HWND button) {
    HANDLE port = CreateFileA(o.port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, o.has("--wait") ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("error=open\tcode=%lu\n", GetLastError());
        return kExitMissing;
    }
    OVERLAPPED waitRecord = {};
    if (o.has("--wait")) {
        SetCommMask(port, EV_RXCHAR);
        waitRecord.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    std::printf("held=%s\n", escape(o.port).c_str());
    std::fflush(stdout);
    // The click or the start follows the opening at once, whatever starting
    // a second process would cost: the program meets the file held.
    Options posted = o;
    posted.given.insert("--post");
    int failed = button              ? cmdPress(posted, deadline, window, button)
                 : o.cmdline.empty() ? 0
                                     : spawn(o.cmdline, false, deadline);
    if (failed != 0) {
        CloseHandle(port);
        return failed;
    }
    bool pending = false;
    while (!deadline.passed()) {
        if (waitRecord.hEvent != nullptr && !pending) {
            DWORD mask = 0;
            ResetEvent(waitRecord.hEvent);
            pending =
                !WaitCommEvent(port, &mask, &waitRecord) && GetLastError() == ERROR_IO_PENDING;
        }
        if (!pending)
            Sleep(kPollMs);
        else if (WaitForSingleObject(waitRecord.hEvent, kPollMs) == WAIT_OBJECT_0)
            pending = false;
    }
    if (pending) {
        // Wine ends a pending wait when the mask changes, not on CancelIo.
        SetCommMask(port, 0);
        CancelIo(port);
        DWORD unused = 0;
        GetOverlappedResult(port, &waitRecord, &unused, TRUE);
    }
    if (waitRecord.hEvent != nullptr)
        CloseHandle(waitRecord.hEvent);
    CloseHandle(port);
    std::printf("released=%s\n", escape(o.port).c_str());
    return 0;
}

// type --text T [--at P]: puts the caret at P (the end by default) and sends
// WM_CHAR for each character.
int cmdType(const Options& o, const Deadline&, HWND, HWND control) {
    DWORD_PTR caret = static_cast<WPARAM>(o.at);
    if (o.at < 0) {
        caret = 0;
        send(control, WM_GETTEXTLENGTH, 0, 0, &caret);
    }
    send(control, EM_SETSEL, caret, static_cast<LPARAM>(caret));
    for (unsigned char c : o.text) {
        if (!send(control, WM_CHAR, c, 1))
            return timedOut("WM_CHAR not handled");
    }
    return printText(control);
}

HWND focusOf(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

// focus: prints the id of the control that has the keyboard focus in the
// window's thread, or none.
int cmdFocus(const Options&, const Deadline&, HWND window, HWND) {
    if (HWND focus = focusOf(window))
        std::printf("id=%d\n", GetDlgCtrlID(focus));
    else
        std::printf("id=none\n");
    return 0;
}

// One step of --keys: "[alt+|shift+]KEY[=ID[/CHECKED]]", the key pressed and what
// the focused control must then be (and, for a button, its check state).
struct KeyStep {
    std::string text;
    WORD modifier = 0; // VK_MENU, VK_SHIFT or none
    WORD vk = 0;
    long focusId = -1, checked = -1;
};

const struct {
    const char* name;
    WORD vk;
} kKeyNames[] = {{"tab", VK_TAB},       {"space", VK_SPACE}, {"return", VK_RETURN},
                 {"escape", VK_ESCAPE}, {"down", VK_DOWN},   {"up", VK_UP}};

bool parseKeyStep(const std::string& text, KeyStep* step) {
    step->text = text;
    std::string key = text.substr(0, text.find('='));
    for (const auto& m : {std::make_pair("alt+", VK_MENU), std::make_pair("shift+", VK_SHIFT)}) {
        if (key.rfind(m.first, 0) == 0) {
            step->modifier = static_cast<WORD>(m.second);
            key.erase(0, std::strlen(m.first));
        }
    }
    const auto* named = find(kKeyNames, key.c_str());
    if (named)
        step->vk = named->vk;
    else if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0])))
        step->vk = static_cast<WORD>(std::toupper(static_cast<unsigned char>(key[0])));
    else
        return false;
    if (text.find('=') == std::string::npos)
        return true;
    std::string expected = text.substr(text.find('=') + 1);
    std::size_t slash = expected.find('/');
    return parseNumber(expected.substr(0, slash).c_str(), &step->focusId) &&
           (slash == std::string::npos ||
            parseNumber(expected.substr(slash + 1).c_str(), &step->checked));
}

// Key input as a user's keyboard gives it, through the system's input queue
// to the foreground window; or posted to `target`, where the dialog's message
// loop takes it through IsDialogMessage, whatever window is in front.
void pressKey(const KeyStep& step, HWND target) {
    if (target) {
        UINT scan = MapVirtualKeyA(step.vk, MAPVK_VK_TO_VSC);
        LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
        PostMessageA(target, WM_KEYDOWN, step.vk, down);
        PostMessageA(target, WM_KEYUP, step.vk, down | (static_cast<LPARAM>(3) << 30));
        return;
    }
    INPUT inputs[4] = {};
    UINT count = 0;
    auto add = [&](WORD vk, DWORD flags) {
        inputs[count].type = INPUT_KEYBOARD;
        inputs[count].ki.wVk = vk;
        inputs[count].ki.wScan = static_cast<WORD>(MapVirtualKeyA(vk, MAPVK_VK_TO_VSC));
        inputs[count].ki.dwFlags = flags;
        ++count;
    };
    if (step.modifier)
        add(step.modifier, 0);
    add(step.vk, 0);
    add(step.vk, KEYEVENTF_KEYUP);
    if (step.modifier)
        add(step.modifier, KEYEVENTF_KEYUP);
    SendInput(count, inputs, sizeof(INPUT));
}

// keys --keys STEP,... [--post [--id N]]: presses each key, then waits for the
// focus the step expects and prints the focus.
int cmdKeys(const Options& o, const Deadline& deadline, HWND window, HWND control) {
    bool post = o.has("--post");
    std::vector<KeyStep> steps;
    for (std::size_t start = 0; start <= o.keys.size();) {
        std::size_t end = std::min(o.keys.find(',', start), o.keys.size());
        steps.emplace_back();
        if (!parseKeyStep(o.keys.substr(start, end - start), &steps.back()) ||
            (post && steps.back().modifier)) {
            std::fprintf(stderr, "bad key step: %s\n", steps.back().text.c_str());
            return kExitUsage;
        }
        start = end + 1;
    }
    constexpr DWORD kStepMs = 5000, kSettleMs = 200;
    for (const KeyStep& step : steps) {
        if (!post && GetForegroundWindow() != window)
            SetForegroundWindow(window);
        pressKey(step, post ? (control ? control : window) : nullptr);
        // A step that expects nothing gives the key a moment.
        Deadline stepDeadline(step.focusId < 0 ? kSettleMs : kStepMs);
        for (;;) {
            HWND focus = focusOf(window);
            long checked = focus && className(focus) == "Button" ? checkState(focus) : -1;
            bool met = step.focusId < 0 || (focus && GetDlgCtrlID(focus) == step.focusId &&
                                            (step.checked < 0 || checked == step.checked));
            bool done = met && (step.focusId >= 0 || stepDeadline.passed());
            if (done || stepDeadline.passed() || deadline.passed()) {
                std::printf("key=%s\tfocus=%d\tchecked=%ld\n", escape(step.text).c_str(),
                            focus ? GetDlgCtrlID(focus) : -1, checked);
                if (!met)
                    return timedOut("the focus the key step expects");
                break;
            }
            Sleep(10);
        }
    }
    return 0;
}

// --- the tables ------------------------------------------------------------

// What main finds before a handler runs. kWindow: the selection's window,
// waited for. kControl: the control of --id, if given, which must exist (its
// window then waited for); kAnyControl: the same, or null when there is none.
// kSelect: a selection, which the command uses itself.
constexpr unsigned kSelect = 1 << 0, kWindow = 1 << 1, kControl = 1 << 2, kAnyControl = 1 << 3;

using Handler = int (*)(const Options&, const Deadline&, HWND window, HWND control);

const struct Command {
    const char* name;
    Handler handler;
    unsigned needs;
    const char* required[2]; // the options it cannot do without
} kCommands[] = {
    {"wait-window", cmdWaitWindow, kWindow, {}},
    {"wait-gone", cmdWaitGone, kSelect, {}},
    {"windows", cmdWindows, 0, {}},
    {"text", cmdText, kWindow | kControl, {"--id"}},
    {"msgbox", cmdMessageBox, kSelect, {}},
    {"press", cmdPress, kWindow | kAnyControl, {"--id"}},
    {"set-text", cmdSetText, kWindow | kControl, {"--id", "--text"}},
    {"select", cmdSelect, kWindow | kControl, {"--id", "--index"}},
    {"combo", cmdCombo, kWindow | kControl, {"--id"}},
    {"checked", cmdChecked, kWindow | kControl, {"--id"}},
    {"acc-name", cmdAccName, kWindow | kControl, {"--id"}},
    {"rect", cmdRect, kWindow | kControl, {}},
    {"close", cmdClose, kWindow, {}},
    {"terminate", cmdTerminate, kWindow, {}},
    {"spawn", cmdSpawn, 0, {"--cmdline"}},
    {"type", cmdType, kWindow | kControl, {"--id", "--text"}},
    {"keys", cmdKeys, kWindow | kAnyControl, {"--keys"}},
    {"focus", cmdFocus, kWindow, {}},
    {"hold", cmdHold, kControl, {"--port"}},
};

// Each option and where its value goes: a text, unescaped as described at the
// top, or a number (decimal, or hex with 0x); neither for a flag.
const struct Option {
    const char* name;
    std::string Options::*text;
    long Options::*number;
} kOptions[] = {
    {"--title", &Options::title, nullptr},
    {"--title-contains", &Options::titleContains, nullptr},
    {"--class", &Options::className, nullptr},
    {"--has-id", nullptr, &Options::hasId},
    {"--minimized", nullptr, nullptr},
    {"--id", nullptr, &Options::id},
    {"--text", &Options::text, nullptr},
    {"--index", nullptr, &Options::index},
    {"--answer", &Options::answer, nullptr},
    {"--cmdline", &Options::cmdline, nullptr},
    {"--port", &Options::port, nullptr},
    {"--keys", &Options::keys, nullptr},
    {"--at", nullptr, &Options::at},
    {"--code", nullptr, &Options::code},
    {"--wait", nullptr, nullptr},
    {"--post", nullptr, nullptr},
    {"--controls", nullptr, nullptr},
    {"--timeout", nullptr, &Options::timeoutMs},
};

int usage(const std::string& why) {
    std::string names;
    for (const Command& c : kCommands)
        names += std::string(names.empty() ? "" : ", ") + c.name;
    std::fprintf(stderr,
                 "e2e_driver: %s\nusage: e2e_driver COMMAND [--OPTION [VALUE]]...\n"
                 "commands: %s (e2e/driver.cpp says what each does and takes)\n",
                 why.c_str(), names.c_str());
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage("no command");
    const Command* command = find(kCommands, argv[1]);
    if (!command)
        return usage(std::string("unknown command: ") + argv[1]);

    Options o;
    for (int i = 2; i < argc; ++i) {
        const Option* option = find(kOptions, argv[i]);
        if (!option)
            return usage(std::string("unknown option: ") + argv[i]);
        o.given.insert(option->name);
        if (!option->text && !option->number)
            continue;
        if (i + 1 >= argc)
            return usage(std::string("missing value for ") + option->name);
        const char* value = argv[++i];
        if (option->text)
            o.*option->text = unescape(value);
        else if (!parseNumber(value, &(o.*option->number)))
            return usage(std::string("not a number for ") + option->name + ": " + value);
    }
    for (const char* name : command->required) {
        if (name && !o.has(name))
            return usage(std::string(name) + " is required");
    }
    bool selected = o.has("--title") || o.has("--title-contains") || o.has("--class");
    if ((command->needs & (kSelect | kWindow)) && !selected)
        return usage("a window selection is required: --title, --title-contains or --class");

    Deadline deadline(static_cast<DWORD>(o.timeoutMs < 0 ? 0 : o.timeoutMs));
    HWND window = nullptr;
    HWND control = nullptr;
    bool byId = (command->needs & (kControl | kAnyControl)) && o.has("--id");
    if ((command->needs & kWindow) || byId) {
        window = waitForWindow(o, deadline);
        if (!window)
            return timedOut("window");
        if (byId) {
            control = GetDlgItem(window, static_cast<int>(o.id));
            if (!control && (command->needs & kControl))
                return missing("control");
        }
    }
    int result = command->handler(o, deadline, window, control);
    std::fflush(stdout);
    return result;
}
