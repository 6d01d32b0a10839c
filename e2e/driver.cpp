// A small console program that drives another program's windows for the
// end-to-end tests: find windows, read and set control texts, press buttons,
// answer message boxes. It runs under the same Wine prefix as the program
// under test, so window handles and messages cross between the two.
//
//   e2e_driver COMMAND [options]
//
// Window selection (every command but spawn and windows needs one):
//   --title TEXT        exact caption of a top-level window
//   --title-contains T  caption contains T
//   --class NAME        window class name, e.g. "#32770" for dialogs
//   --has-id N          the window has a child control with this id
//   --hidden            also consider windows that are not visible
//   --minimized         only windows that are minimised
// Control selection: --id N (decimal, or hex with 0x).
// Timing: --timeout MS (default 10000); everything polls every 50 ms.
//
// Commands:
//   wait-window                 wait for the window; print it
//   wait-gone                   wait until no window matches
//   list                        print the window and each of its controls
//   windows                     print every matching top-level window, no
//                               wait (with no selection: all of them)
//   get-text   --id N           print the control's text
//   wait-text  --id N --text T  wait until the control's text equals T
//   msgbox     [--answer ok|yes|no|cancel|none]
//                               wait for a message box (a #32770 with static
//                               control 0xFFFF; --title is its caption),
//                               print its text and press the button by
//                               posting WM_COMMAND with its id to the box
//   click      --id N           post BM_CLICK to a button
//   command    --id N [--code C]
//                               post WM_COMMAND (id, code) to the window, as
//                               the control would send it
//   notify     --id N --code C  send WM_COMMAND (id, code) and wait for it
//                               to be handled
//   set-text   --id N --text T  WM_SETTEXT
//   select     --id N (--index I | --item T)
//                               CB_SETCURSEL, then CBN_SELCHANGE to the parent
//   combo      --id N           print the selection and every item
//   checked    --id N           print BM_GETCHECK (0, 1, 2)
//   set-check  --id N --state S click the box until BM_GETCHECK equals S
//   rect       [--id N]         print the window's or the control's rectangle:
//                               on the screen, its client size, and in the
//                               client area of the window
//   close                       post WM_SYSCOMMAND SC_CLOSE (the close box)
//   terminate                   end the process that owns the window
//   spawn      --cmdline T [--wait]
//                               start a program with exactly this command
//                               line; with --wait, wait for it and print its
//                               exit code
//   key        --vk K [--id N]  post WM_KEYDOWN and WM_KEYUP with virtual key K
//                               to the control (or the window), as a key press
//                               that the dialog's own message loop sees
//   type       --id N --text T [--at P]
//                               put the caret at position P (default: the
//                               end of the text) and send WM_CHAR for each
//                               character, as typing would
//   focus                       print the control that has the keyboard focus
//                               in the window's thread
//   hold-port  --port NAME      open a serial port for reading and writing
//                               without sharing, as another program holding
//                               it would; print held=NAME and keep it open
//                               until the time limit has passed. With --wait,
//                               keep one wait for received characters
//                               pending meanwhile and nothing else: what the
//                               platform's own waiting costs. With --id N and
//                               a window's selectors, click that button as
//                               soon as the port (or file) is held; with
//                               --cmdline T, start that program then
//
// Output: one line per item, tab-separated key=value fields. Values are
// escaped so that a line never holds a tab or a line break: "\\" for a
// backslash, "\t", "\r", "\n", and "\xHH" for any other byte below 32 or
// above 126. The texts given in --title, --title-contains, --text, --item and
// --cmdline are unescaped by the same rules, so any byte can be passed through
// the command line.
//
// Exit status: 0 done, 1 timed out, 2 bad usage, 3 the window or control
// lacks what was asked for.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitTimeout = 1;
constexpr int kExitUsage = 2;
constexpr int kExitMissing = 3;
constexpr DWORD kPollMs = 50;
constexpr UINT kSendTimeoutMs = 2000;
constexpr int kMessageBoxTextId = 0xFFFF;

struct Options {
    std::string command;
    std::string title;
    bool titleGiven = false;
    std::string titleContains;
    std::string className;
    bool hidden = false;
    bool minimized = false;
    long hasId = -1;
    long id = -1;
    std::string text;
    bool textGiven = false;
    std::string item;
    bool itemGiven = false;
    long index = -1;
    long code = 0;
    bool codeGiven = false;
    long state = -1;
    std::string answer = "ok";
    std::string cmdline;
    std::string port;
    bool wait = false;
    DWORD timeoutMs = 10000;
    long vk = -1;
    long at = -1;
};

std::string escape(const std::string& in) {
    std::string out;
    for (unsigned char c : in) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        default:
            if (c < 32 || c > 126) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string unescape(const std::string& in) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 >= in.size()) {
            out += in[i];
            continue;
        }
        char next = in[++i];
        if (next == 't') {
            out += '\t';
        } else if (next == 'r') {
            out += '\r';
        } else if (next == 'n') {
            out += '\n';
        } else if (next == 'x' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 &&
                   hexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
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

// WM_GETTEXT rather than GetWindowText, which cannot read the controls of
// another process.
bool controlText(HWND window, std::string* text) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length))
        return false;
    std::vector<char> buffer(length + 2, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, buffer.size(),
                             reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &copied))
        return false;
    if (copied > length + 1)
        copied = length + 1;
    text->assign(buffer.data(), copied);
    return true;
}

std::string captionOf(HWND window) {
    char caption[512] = "";
    GetWindowTextA(window, caption, sizeof caption);
    return caption;
}

bool matches(HWND window, const Options& o) {
    if (!o.hidden && !IsWindowVisible(window))
        return false;
    if (o.minimized && !IsIconic(window))
        return false;
    if (!o.className.empty() && className(window) != o.className)
        return false;
    if (o.titleGiven || !o.titleContains.empty()) {
        std::string caption = captionOf(window);
        if (o.titleGiven && caption != o.title)
            return false;
        if (!o.titleContains.empty() && caption.find(o.titleContains) == std::string::npos)
            return false;
    }
    if (o.hasId >= 0 && !GetDlgItem(window, static_cast<int>(o.hasId)))
        return false;
    return true;
}

struct Search {
    const Options* options;
    HWND found;
};

BOOL CALLBACK findTopLevel(HWND window, LPARAM param) {
    Search* search = reinterpret_cast<Search*>(param);
    if (matches(window, *search->options)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND findWindowNow(const Options& o) {
    Search search{&o, nullptr};
    EnumWindows(findTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class Deadline {
  public:
    explicit Deadline(DWORD ms) : start_(GetTickCount()), ms_(ms) {}
    bool passed() const { return GetTickCount() - start_ >= ms_; }

  private:
    DWORD start_;
    DWORD ms_;
};

HWND waitForWindow(const Options& o, const Deadline& deadline) {
    for (;;) {
        if (HWND window = findWindowNow(o))
            return window;
        if (deadline.passed())
            return nullptr;
        Sleep(kPollMs);
    }
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

int timedOut(const char* what) {
    std::printf("error=timeout\twhat=%s\n", escape(what).c_str());
    return kExitTimeout;
}

int missing(const char* what) {
    std::printf("error=missing\twhat=%s\n", escape(what).c_str());
    return kExitMissing;
}

// The window to work on, or null after printing why not.
HWND targetWindow(const Options& o, const Deadline& deadline) {
    HWND window = waitForWindow(o, deadline);
    if (!window)
        timedOut("window");
    return window;
}

HWND targetControl(HWND window, const Options& o) {
    HWND control = GetDlgItem(window, static_cast<int>(o.id));
    if (!control)
        missing("control");
    return control;
}

// The window and the control that a command acts on; 0, or the exit code
// when either cannot be found.
int findControl(const Options& o, const Deadline& deadline, HWND* window, HWND* control) {
    *window = targetWindow(o, deadline);
    if (!*window)
        return kExitTimeout;
    *control = targetControl(*window, o);
    return *control ? 0 : kExitMissing;
}

BOOL CALLBACK listChild(HWND child, LPARAM param) {
    HWND parent = reinterpret_cast<HWND>(param);
    if (GetParent(child) != parent)
        return TRUE; // grandchildren, such as a combo box's edit, come with their own parent
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
    std::string text;
    controlText(child, &text);
    std::printf("id=%d\tclass=%s\tvisible=%d\tenabled=%d\trect=%ld,%ld,%ld,%ld\ttext=%s\n",
                GetDlgCtrlID(child), escape(className(child)).c_str(),
                IsWindowVisible(child) ? 1 : 0, IsWindowEnabled(child) ? 1 : 0, r.left, r.top,
                r.right, r.bottom, escape(text).c_str());
    return TRUE;
}

BOOL CALLBACK printMatching(HWND window, LPARAM param) {
    if (matches(window, *reinterpret_cast<const Options*>(param)))
        printWindow(window);
    return TRUE;
}

int cmdWindows(const Options& o) {
    EnumWindows(printMatching, reinterpret_cast<LPARAM>(&o));
    return 0;
}

int cmdWaitWindow(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    printWindow(window);
    return 0;
}

int cmdWaitGone(const Options& o, const Deadline& deadline) {
    for (;;) {
        HWND window = findWindowNow(o);
        if (!window) {
            std::printf("gone=1\n");
            return 0;
        }
        if (deadline.passed()) {
            printWindow(window);
            return timedOut("window still present");
        }
        Sleep(kPollMs);
    }
}

int cmdList(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    printWindow(window);
    EnumChildWindows(window, listChild, reinterpret_cast<LPARAM>(window));
    return 0;
}

int cmdGetText(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    std::string text;
    if (!controlText(control, &text))
        return missing("text (the window did not answer)");
    std::printf("text=%s\n", escape(text).c_str());
    return 0;
}

int cmdWaitText(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    std::string text;
    for (;;) {
        bool read = controlText(control, &text);
        if (read && text == o.text) {
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

struct ButtonAnswer {
    const char* name;
    int id;
};

const ButtonAnswer kAnswers[] = {
    {"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}, {"none", 0},
};

int cmdMessageBox(Options o, const Deadline& deadline) {
    int answerId = -1;
    for (const ButtonAnswer& a : kAnswers) {
        if (o.answer == a.name)
            answerId = a.id;
    }
    if (answerId < 0) {
        std::fprintf(stderr, "unknown answer: %s\n", o.answer.c_str());
        return kExitUsage;
    }
    o.className = "#32770";
    o.hasId = kMessageBoxTextId;
    HWND box = targetWindow(o, deadline);
    if (!box)
        return kExitTimeout;
    std::string text;
    HWND textControl = GetDlgItem(box, kMessageBoxTextId);
    if (!controlText(textControl, &text))
        return missing("message text");
    std::string buttons;
    for (const ButtonAnswer& a : kAnswers) {
        if (a.id && GetDlgItem(box, a.id))
            buttons += std::string(buttons.empty() ? "" : ",") + a.name;
    }
    bool topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::printf("hwnd=%s\tcaption=%s\tbuttons=%s\ttopmost=%d\ttext=%s\n", handleText(box).c_str(),
                escape(captionOf(box)).c_str(), buttons.c_str(), topmost ? 1 : 0,
                escape(text).c_str());
    std::fflush(stdout);
    if (answerId == 0)
        return 0;
    if (!GetDlgItem(box, answerId))
        return missing("button");
    // Posted: the box's owner may run a modal loop of its own once the box
    // has gone, and a sent message would wait for it.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(answerId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, answerId)));
    while (IsWindow(box)) {
        if (deadline.passed())
            return timedOut("message box still open after the answer");
        Sleep(kPollMs);
    }
    std::printf("answered=%s\n", o.answer.c_str());
    return 0;
}

int cmdClick(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    PostMessageA(control, BM_CLICK, 0, 0);
    std::printf("clicked=%ld\n", o.id);
    return 0;
}

int cmdCommand(const Options& o, const Deadline& deadline, bool wait) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    HWND control = GetDlgItem(window, static_cast<int>(o.id));
    WPARAM wParam = MAKEWPARAM(static_cast<WORD>(o.id), static_cast<WORD>(o.code));
    if (wait) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control),
                                 SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
            return timedOut("command not handled");
    } else {
        PostMessageA(window, WM_COMMAND, wParam, reinterpret_cast<LPARAM>(control));
    }
    std::printf("command=%ld\tcode=%ld\n", o.id, o.code);
    return 0;
}

int cmdSetText(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(o.text.c_str()),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
        return timedOut("WM_SETTEXT not handled");
    std::string now;
    controlText(control, &now);
    std::printf("text=%s\n", escape(now).c_str());
    return 0;
}

bool comboItems(HWND combo, std::vector<std::string>* items) {
    DWORD_PTR count = 0;
    if (!SendMessageTimeoutA(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count) ||
        static_cast<LRESULT>(count) == CB_ERR)
        return false;
    for (DWORD_PTR i = 0; i < count; ++i) {
        // The wide forms: Wine hands another process's list text to the
        // ANSI form of CB_GETLBTEXT unconverted.
        DWORD_PTR length = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &length);
        if (static_cast<LRESULT>(length) == CB_ERR)
            length = 0;
        std::vector<wchar_t> wide(length + 1, L'\0');
        DWORD_PTR copied = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide.data()),
                            SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
        char text[1024] = "";
        WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, text, sizeof text, nullptr, nullptr);
        items->push_back(text);
    }
    return true;
}

int cmdSelect(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND combo = nullptr;
    if (int failed = findControl(o, deadline, &window, &combo))
        return failed;
    long index = o.index;
    if (o.itemGiven) {
        std::vector<std::string> items;
        comboItems(combo, &items);
        index = -1;
        for (std::size_t i = 0; i < items.size(); ++i) {
            if (items[i] == o.item) {
                index = static_cast<long>(i);
                break;
            }
        }
        if (index < 0)
            return missing("item");
    }
    DWORD_PTR result = 0;
    SendMessageTimeoutA(combo, CB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    if (static_cast<LRESULT>(result) == CB_ERR)
        return missing("index");
    // CB_SETCURSEL notifies nobody: tell the dialog as a user's choice would.
    HWND parent = GetParent(combo);
    SendMessageTimeoutA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                        reinterpret_cast<LPARAM>(combo), SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    std::printf("selected=%ld\n", index);
    return 0;
}

int cmdCombo(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND combo = nullptr;
    if (int failed = findControl(o, deadline, &window, &combo))
        return failed;
    DWORD_PTR selected = 0;
    SendMessageTimeoutA(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &selected);
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
    if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state))
        return -1;
    return static_cast<long>(state);
}

int cmdChecked(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    long state = checkState(control);
    if (state < 0)
        return missing("check state (the window did not answer)");
    std::printf("checked=%ld\n", state);
    return 0;
}

int cmdSetCheck(const Options& o, const Deadline& deadline) {
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    // A click, not BM_SETCHECK: the dialog must hear about the change as it
    // would from the user. A three-state box may need two clicks.
    for (int clicks = 0; clicks < 3; ++clicks) {
        long state = checkState(control);
        if (state == o.state) {
            std::printf("checked=%ld\n", state);
            return 0;
        }
        PostMessageA(control, BM_CLICK, 0, 0);
        Deadline settle(1000);
        while (checkState(control) == state && !settle.passed() && !deadline.passed())
            Sleep(kPollMs);
    }
    long state = checkState(control);
    std::printf("checked=%ld\n", state);
    return state == o.state ? 0 : missing("requested check state");
}

int cmdRect(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    HWND target = window;
    if (o.id >= 0) {
        target = targetControl(window, o);
        if (!target)
            return kExitMissing;
    }
    RECT screen{};
    GetWindowRect(target, &screen);
    RECT client{};
    GetClientRect(target, &client);
    RECT inParent = screen;
    if (target != window)
        MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&inParent), 2);
    std::printf("screen=%ld,%ld,%ld,%ld\tclient=%ld,%ld\tparent=%ld,%ld,%ld,%ld\n", screen.left,
                screen.top, screen.right, screen.bottom, client.right, client.bottom, inParent.left,
                inParent.top, inParent.right, inParent.bottom);
    return 0;
}

int cmdClose(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    std::printf("closed=%s\n", handleText(window).c_str());
    return 0;
}

int cmdTerminate(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
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

int cmdSpawn(const Options& o, const Deadline& deadline) {
    std::vector<char> line(o.cmdline.begin(), o.cmdline.end());
    line.push_back('\0');
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
    if (o.wait) {
        DWORD waited = WAIT_TIMEOUT;
        while (waited == WAIT_TIMEOUT && !deadline.passed())
            waited = WaitForSingleObject(info.hProcess, kPollMs);
        if (waited == WAIT_OBJECT_0) {
            DWORD code = 0;
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

int cmdHoldPort(const Options& o, const Deadline& deadline) {
    HANDLE port = CreateFileA(o.port.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, o.wait ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::printf("error=open\tcode=%lu\n", GetLastError());
        return kExitMissing;
    }
    OVERLAPPED waitRecord = {};
    if (o.wait) {
        SetCommMask(port, EV_RXCHAR);
        waitRecord.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    std::printf("held=%s\n", escape(o.port).c_str());
    std::fflush(stdout);
    // The click or the start follows the opening at once, whatever starting
    // a second process would cost: the program meets the file held.
    Options spawn = o;
    spawn.wait = false;
    int failed = o.id >= 0            ? cmdClick(o, deadline)
                 : !o.cmdline.empty() ? cmdSpawn(spawn, deadline)
                                      : 0;
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
        if (!pending) {
            Sleep(kPollMs);
        } else if (WaitForSingleObject(waitRecord.hEvent, kPollMs) == WAIT_OBJECT_0) {
            pending = false;
        }
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

bool parseNumber(const char* text, long* value) {
    char* end = nullptr;
    *value = std::strtol(text, &end, 0);
    return end && *end == '\0' && end != text;
}

int usage(const char* why) {
    std::fprintf(stderr, "e2e_driver: %s (see the comment at the top of driver.cpp)\n", why);
    return kExitUsage;
}

// Posted, so that the dialog's message loop takes the key through
// IsDialogMessage as it takes the user's keys (Escape, Enter, Tab).
int cmdKey(const Options& o, const Deadline& deadline) {
    if (o.vk <= 0 || o.vk > 0xFE)
        return usage("--vk 1..254 is required");
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    HWND target = window;
    if (o.id >= 0) {
        target = targetControl(window, o);
        if (!target)
            return kExitMissing;
    }
    UINT scan = MapVirtualKeyA(static_cast<UINT>(o.vk), MAPVK_VK_TO_VSC);
    LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
    LPARAM up = down | (static_cast<LPARAM>(3) << 30);
    PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(o.vk), down);
    PostMessageA(target, WM_KEYUP, static_cast<WPARAM>(o.vk), up);
    std::printf("key=%ld\n", o.vk);
    return 0;
}

int cmdType(const Options& o, const Deadline& deadline) {
    if (o.id < 0 || !o.textGiven)
        return usage("--id and --text are required");
    HWND window = nullptr;
    HWND control = nullptr;
    if (int failed = findControl(o, deadline, &window, &control))
        return failed;
    DWORD_PTR result = 0;
    WPARAM caret = static_cast<WPARAM>(o.at);
    if (o.at < 0) {
        SendMessageTimeoutA(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &result);
        caret = static_cast<WPARAM>(result);
    }
    SendMessageTimeoutA(control, EM_SETSEL, caret, static_cast<LPARAM>(caret), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &result);
    for (unsigned char c : o.text) {
        if (!SendMessageTimeoutA(control, WM_CHAR, c, 1, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result))
            return timedOut("WM_CHAR not handled");
    }
    std::string now;
    controlText(control, &now);
    std::printf("text=%s\n", escape(now).c_str());
    return 0;
}

int cmdFocus(const Options& o, const Deadline& deadline) {
    HWND window = targetWindow(o, deadline);
    if (!window)
        return kExitTimeout;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info))
        return missing("thread information");
    if (!info.hwndFocus) {
        std::printf("id=none\n");
        return 0;
    }
    std::printf("id=%d\tclass=%s\tparent=%s\n", GetDlgCtrlID(info.hwndFocus),
                escape(className(info.hwndFocus)).c_str(),
                handleText(GetParent(info.hwndFocus)).c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return usage("no command");
    Options o;
    o.command = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--hidden") {
            o.hidden = true;
            continue;
        }
        if (name == "--minimized") {
            o.minimized = true;
            continue;
        }
        if (name == "--wait") {
            o.wait = true;
            continue;
        }
        if (i + 1 >= argc)
            return usage("missing value");
        const char* value = argv[++i];
        long number = 0;
        bool numeric = parseNumber(value, &number);
        if (name == "--title") {
            o.title = unescape(value);
            o.titleGiven = true;
        } else if (name == "--title-contains") {
            o.titleContains = unescape(value);
        } else if (name == "--class") {
            o.className = value;
        } else if (name == "--text") {
            o.text = unescape(value);
            o.textGiven = true;
        } else if (name == "--item") {
            o.item = unescape(value);
            o.itemGiven = true;
        } else if (name == "--answer") {
            o.answer = value;
        } else if (name == "--cmdline") {
            o.cmdline = unescape(value);
        } else if (name == "--port") {
            o.port = value;
        } else if (!numeric) {
            return usage("bad or unknown option");
        } else if (name == "--has-id") {
            o.hasId = number;
        } else if (name == "--id") {
            o.id = number;
        } else if (name == "--index") {
            o.index = number;
        } else if (name == "--code") {
            o.code = number;
            o.codeGiven = true;
        } else if (name == "--state") {
            o.state = number;
        } else if (name == "--vk") {
            o.vk = number;
        } else if (name == "--at") {
            o.at = number;
        } else if (name == "--timeout") {
            o.timeoutMs = static_cast<DWORD>(number < 0 ? 0 : number);
        } else {
            return usage("unknown option");
        }
    }

    const std::string& c = o.command;
    bool needsId = c == "get-text" || c == "wait-text" || c == "click" || c == "command" ||
                   c == "notify" || c == "set-text" || c == "select" || c == "combo" ||
                   c == "checked" || c == "set-check";
    if (needsId && o.id < 0)
        return usage("--id is required");
    if ((c == "wait-text" || c == "set-text") && !o.textGiven)
        return usage("--text is required");
    if (c == "select" && o.index < 0 && !o.itemGiven)
        return usage("--index or --item is required");
    if (c == "notify" && !o.codeGiven)
        return usage("--code is required");
    if (c == "set-check" && o.state < 0)
        return usage("--state is required");
    if (c == "spawn" && o.cmdline.empty())
        return usage("--cmdline is required");
    if (c == "hold-port" && o.port.empty())
        return usage("--port is required");
    bool selects = o.titleGiven || !o.titleContains.empty() || !o.className.empty();
    if (c != "spawn" && c != "windows" && c != "hold-port" && !selects)
        return usage("--title, --title-contains or --class is required");

    Deadline deadline(o.timeoutMs);
    int result = kExitUsage;
    if (c == "wait-window")
        result = cmdWaitWindow(o, deadline);
    else if (c == "wait-gone")
        result = cmdWaitGone(o, deadline);
    else if (c == "list")
        result = cmdList(o, deadline);
    else if (c == "windows")
        result = cmdWindows(o);
    else if (c == "get-text")
        result = cmdGetText(o, deadline);
    else if (c == "wait-text")
        result = cmdWaitText(o, deadline);
    else if (c == "msgbox")
        result = cmdMessageBox(o, deadline);
    else if (c == "click")
        result = cmdClick(o, deadline);
    else if (c == "command")
        result = cmdCommand(o, deadline, false);
    else if (c == "notify")
        result = cmdCommand(o, deadline, true);
    else if (c == "set-text")
        result = cmdSetText(o, deadline);
    else if (c == "select")
        result = cmdSelect(o, deadline);
    else if (c == "combo")
        result = cmdCombo(o, deadline);
    else if (c == "checked")
        result = cmdChecked(o, deadline);
    else if (c == "set-check")
        result = cmdSetCheck(o, deadline);
    else if (c == "rect")
        result = cmdRect(o, deadline);
    else if (c == "close")
        result = cmdClose(o, deadline);
    else if (c == "terminate")
        result = cmdTerminate(o, deadline);
    else if (c == "spawn")
        result = cmdSpawn(o, deadline);
    else if (c == "hold-port")
        result = cmdHoldPort(o, deadline);
    else if (c == "key")
        result = cmdKey(o, deadline);
    else if (c == "type")
        result = cmdType(o, deadline);
    else if (c == "focus")
        result = cmdFocus(o, deadline);
    else
        return usage("unknown command");
    std::fflush(stdout);
    return result;
}
