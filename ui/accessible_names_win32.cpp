#include "ui/accessible_names_win32.h"

#include <commctrl.h>
// The annotation service's identifiers, defined here rather than linked.
#include <initguid.h>
#include <oleacc.h>

namespace {

// The user-interface thread's, for the dialog's life.
IAccPropServices* annotations = nullptr;
bool comStarted = false;

IAccPropServices* annotationService() {
    if (annotations == nullptr && !comStarted) {
        // Also what the Save dialog needs on this thread; a thread already
        // started in another model keeps it, and the service still works.
        comStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        void* service = nullptr;
        if (SUCCEEDED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IAccPropServices, &service))) {
            annotations = static_cast<IAccPropServices*>(service);
        }
    }
    return annotations;
}

} // namespace

void nameStampPanelToggle(HWND toggle, bool panelShown) {
    if (IAccPropServices* service = annotationService()) {
        wchar_t name[] = L"Show the date and time stamp layout";
        wchar_t hideName[] = L"Hide the date and time stamp layout";
        service->SetHwndPropStr(toggle, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF,
                                PROPID_ACC_NAME, panelShown ? hideName : name);
    }
}

void forgetAccessibleNames(HWND toggle) {
    if (annotations != nullptr) {
        MSAAPROPID named[] = {PROPID_ACC_NAME};
        annotations->ClearHwndProps(toggle, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, named,
                                    1);
        annotations->Release();
        annotations = nullptr;
    }
    if (comStarted) {
        CoUninitialize();
        comStarted = false;
    }
}

void explainRefusedName(HWND edit, int capacity, bool pathTooLong) {
    // One more character than any name may hold: a text that fills it is
    // too long whatever the rest.
    constexpr int kLongest = 1024;
    wchar_t text[kLongest + 1];
    int length = GetWindowTextW(edit, text, kLongest + 1);
    int bytes = length >= kLongest
                    ? kLongest
                    : WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    explainRefusal(edit, length == 0                       ? NameRefusal::Empty
                         : pathTooLong || bytes > capacity ? NameRefusal::TooLong
                                                           : NameRefusal::OutsideCodePage);
}

void explainRefusal(HWND edit, NameRefusal why) {
    if (why == NameRefusal::None) {
        return;
    }
    EDITBALLOONTIP balloon = {};
    balloon.cbStruct = sizeof balloon;
    balloon.pszTitle = L"This name cannot be used";
    balloon.pszText = why == NameRefusal::Empty
                          ? L"Type the name of the file that the records go to."
                      : why == NameRefusal::TooLong
                          ? L"The folder and the file name together are too long for Tamsel "
                            L"(255 characters at most). Choose a shorter name or folder."
                          : L"It holds a character that Windows cannot give Tamsel unchanged. "
                            L"Rename it, or choose another.";
    balloon.ttiIcon = TTI_WARNING;
    SendMessageW(edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon));
}
