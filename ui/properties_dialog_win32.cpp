#include "ui/properties_dialog.h"

#include "app/settings.h"
#include "app/settings_file.h"
#include "app/win32_common.h"
#include "resources/resource.h"
#include "ui/accessible_names_win32.h"
#include "ui/dialog_rules.h"
#include "ui/dialog_texts_win32.h"
#include "ui/port_list_win32.h"
#include "ui/stamp_panel_win32.h"
#include "ui/stamp_preview.h"

#include <cstdint>

namespace {

int timeOptionsShown = 0;

// Sent to itself after a change of DPI, once Windows has re-laid out the
// dialog for the new scale.
constexpr UINT kFitPanelMessage = WM_APP + 1;

// Capacities of the texts read back on OK, terminators included. The file
// name is read whole: a long name that Browse put there must not silently
// become another, shorter one.
constexpr int kDirectoryCapacity = 255;
constexpr int kFileNameCapacity = static_cast<int>(kTextFieldSize);

const char* const baudRateItems[] = {"115200", "57600", "38400", "19200", "9600"};
const char* const fileModeItems[] = {"Overwrite", "Append", "New name"};
const char* const stampPositionItems[] = {"Add to record's top", "Appended to bottom"};
const char* const delimiterItems[] = {"Comma (,)", "Colon (:)", "Semi-Colon (;)", "Slash (/)",
                                      "Back-Slash (\\)"};
const char* const yearDigitsItems[] = {"4 Digits (YYYY)", "2 Digits (YY)"};
const char* const dateStyleItems[] = {"Year.Month.Day", "Month.Day.Year", "Day.Month.Year"};

template <std::size_t N>
void fillList(HWND dialog, int id, const char* const (&items)[N], int selected) {
    for (const char* item : items) {
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    // An index outside the items leaves the list with no selection.
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

// The list's selection, or the stored value when nothing is selected: the
// platform's no-selection index is never stored.
template <typename Field> void takeSelection(HWND dialog, int id, Field* field) {
    LRESULT selected = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    if (selected != CB_ERR) {
        *field = static_cast<Field>(selected);
    }
}

void setCheck(HWND dialog, int id, int on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

int isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED ? 1 : 0;
}

// A group box's title takes "&" for a keyboard shortcut: a separator "&"
// is doubled to show as itself.
void setPreviewTitle(HWND dialog, int id, const char* title) {
    char shown[2 * kPreviewTitleSize];
    std::size_t length = 0;
    for (const char* cursor = title; *cursor != '\0' && length + 2 < sizeof shown; ++cursor) {
        if (*cursor == '&') {
            shown[length++] = '&';
        }
        shown[length++] = *cursor;
    }
    shown[length] = '\0';
    SetDlgItemTextA(dialog, id, shown);
}

void refreshPreview(HWND dialog, int previewId) {
    char title[kPreviewTitleSize];
    (previewId == IDC_DATE_PREVIEW ? composeDatePreview : composeTimePreview)(title, sizeof title);
    setPreviewTitle(dialog, previewId, title);
}

void fillDateTimePanel(HWND dialog) {
    fillList(dialog, IDC_STAMP_POSITION, stampPositionItems, settings.stampAtBottom);
    fillList(dialog, IDC_DELIMITER, delimiterItems, settings.delimiterIndex);
    fillList(dialog, IDC_YEAR_DIGITS, yearDigitsItems, settings.yearTwoDigits);
    fillList(dialog, IDC_DATE_STYLE, dateStyleItems, settings.dateStyle);
    SetDlgItemTextA(dialog, IDC_DATE_SEPARATOR, settings.dateSepChar);
    SetDlgItemTextA(dialog, IDC_TIME_SEPARATOR, settings.timeSepChar);
    setCheck(dialog, IDC_SEPARATE_STAMPS, settings.separateStamps);
    setCheck(dialog, IDC_YEAR_ON, settings.yearOn);
    setCheck(dialog, IDC_MONTH_ON, settings.monthOn);
    setCheck(dialog, IDC_DAY_ON, settings.dayOn);
    setCheck(dialog, IDC_DATE_SEPARATOR_ON, settings.dateSepOn);
    setCheck(dialog, IDC_HOUR_ON, settings.hourOn);
    setCheck(dialog, IDC_MINUTE_ON, settings.minuteOn);
    setCheck(dialog, IDC_SECOND_ON, settings.secondOn);
    setCheck(dialog, IDC_TIME_SEPARATOR_ON, settings.timeSepOn);
}

void openDialog(HWND dialog) {
    resizeAndCentre(dialog, false);
    showStampPanel(dialog, false);
    nameStampPanelToggle(GetDlgItem(dialog, IDC_TOGGLE_PANEL), false);
    SetDlgItemTextA(dialog, IDC_DIRECTORY, settings.outputDirectory);
    SetDlgItemTextA(dialog, IDC_FILE_NAME, settings.outputFileName);
    SetDlgItemInt(dialog, IDC_REPLACE_FROM, static_cast<UINT>(settings.replaceFrom), TRUE);
    SetDlgItemInt(dialog, IDC_REPLACE_TO, static_cast<UINT>(settings.replaceTo), TRUE);
    // A first start selects the one port present; the dialog back after a
    // failed start shows the port chosen.
    static bool openedBefore = false;
    fillPortList(dialog, IDC_COM_PORT, settings.comPortIndex, settings.comPortIndex,
                 !openedBefore && !settingsFileLoaded);
    openedBefore = true;
    fillList(dialog, IDC_BAUD_RATE, baudRateItems, settings.baudIndex);
    fillList(dialog, IDC_FILE_MODE, fileModeItems, settings.fileMode);
    setCheck(dialog, IDC_ADD_RETURN, settings.addReturn);
    setCheck(dialog, IDC_ADD_LINE_FEED, settings.addLineFeed);
    setCheck(dialog, IDC_SHOW_ERRORS, settings.showErrors);
    setCheck(dialog, IDC_VIEW_DATA, settings.viewData);
    setCheck(dialog, IDC_ALWAYS_SHOW_DIALOG, settings.alwaysShowDialog);
    setCheck(dialog, IDC_REPLACE_ENABLED, settings.replaceEnabled);
    setCheck(dialog, IDC_STAMP_ENABLED, settings.stampEnabled);
    fillDateTimePanel(dialog);
    refreshPreview(dialog, IDC_DATE_PREVIEW);
    refreshPreview(dialog, IDC_TIME_PREVIEW);
}

// Runs on every change of a code edit. A correction written back into the
// edit raises a new change, and that inner run stores the corrected value.
void applyReplacementCodeRule(HWND dialog, int id, std::int32_t* field) {
    // Enough to tell an empty edit from a non-empty one.
    char head[4];
    GetDlgItemTextA(dialog, id, head, sizeof head);
    BOOL translated = FALSE;
    UINT reading = GetDlgItemInt(dialog, id, &translated, FALSE);
    ReplacementCodeDecision decision =
        decideReplacementCode(translated != FALSE, reading, head[0] == '\0', *field);
    switch (decision.action) {
    case ReplacementCodeAction::Store:
        *field = decision.value;
        break;
    case ReplacementCodeAction::WriteBack255:
        SetDlgItemInt(dialog, id, 255, TRUE);
        break;
    case ReplacementCodeAction::WriteBack0:
        SetDlgItemInt(dialog, id, 0, TRUE);
        break;
    case ReplacementCodeAction::UndoToFieldValue:
        SetDlgItemInt(dialog, id, static_cast<UINT>(*field), TRUE);
        break;
    case ReplacementCodeAction::DoNothing:
        break;
    }
}

// Runs on every change of a separator edit: only its first character counts,
// and only a one-byte one. A text written back raises a new change, whose
// run stores it.
void applySeparatorRule(HWND dialog, int id, char separator[2]) {
    SeparatorDecision decision = readSeparatorEdit(dialog, id, separator[0]);
    if (decision.action != SeparatorAction::Store) {
        const char shown[2] = {decision.character, '\0'};
        SetDlgItemTextA(dialog, id, shown);
        return;
    }
    separator[0] = decision.character;
    separator[1] = '\0';
    if (id == IDC_DATE_SEPARATOR) {
        refreshPreview(dialog, IDC_DATE_PREVIEW);
    } else {
        refreshPreview(dialog, IDC_TIME_PREVIEW);
    }
}

void togglePanel(HWND dialog) {
    bool widen = timeOptionsShown == 0;
    if (!widen) {
        showStampPanel(dialog, false);
    }
    resizeAndCentre(dialog, widen);
    if (widen) {
        showStampPanel(dialog, true);
    }
    nameStampPanelToggle(GetDlgItem(dialog, IDC_TOGGLE_PANEL), widen);
    SetDlgItemTextA(dialog, IDC_TOGGLE_PANEL, widen ? "<<" : ">>");
    timeOptionsShown = widen ? 1 : 0;
}

void browse(HWND dialog) {
    char directory[kTextFieldSize];
    char fileName[kTextFieldSize];
    NameRefusal refused = NameRefusal::None;
    if (!chooseOutputFile(directory, fileName, &refused)) {
        // A refused choice is said beside the name, not by a beep alone.
        explainRefusal(GetDlgItem(dialog, IDC_FILE_NAME), refused);
        return;
    }
    copyText(settings.outputDirectory, sizeof settings.outputDirectory, directory);
    copyText(settings.outputFileName, sizeof settings.outputFileName, fileName);
    SetDlgItemTextA(dialog, IDC_DIRECTORY, settings.outputDirectory);
    SetDlgItemTextA(dialog, IDC_FILE_NAME, settings.outputFileName);
}

void confirm(HWND dialog) {
    // A path that does not fit, or that the program's code page cannot hold
    // as typed, is never cut or changed: let the user mend it.
    int refusedId = 0;
    int capacity = kFileNameCapacity;
    // An empty name would open the port and send the start command, only
    // for the file to fail.
    if (!readNameExactly(dialog, IDC_FILE_NAME, settings.outputFileName, kFileNameCapacity) ||
        settings.outputFileName[0] == '\0') {
        refusedId = IDC_FILE_NAME;
    }
    bool directoryRead =
        readNameExactly(dialog, IDC_DIRECTORY, settings.outputDirectory, kDirectoryCapacity);
    bool pathTooLong = directoryRead && refusedId == 0 && !composeOutputPath();
    if (!directoryRead || pathTooLong) {
        refusedId = IDC_DIRECTORY;
        capacity = kDirectoryCapacity;
    }
    if (refusedId != 0) {
        // Said in a balloon as well: a beep alone goes unnoticed with the
        // sound off.
        MessageBeep(MB_ICONEXCLAMATION);
        HWND refused = GetDlgItem(dialog, refusedId);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(refused), TRUE);
        explainRefusedName(refused, capacity, pathTooLong);
        return;
    }
    settings.comPortIndex = selectedPort(dialog, IDC_COM_PORT, settings.comPortIndex);
    takeSelection(dialog, IDC_BAUD_RATE, &settings.baudIndex);
    takeSelection(dialog, IDC_FILE_MODE, &settings.fileMode);
    settings.addReturn = isChecked(dialog, IDC_ADD_RETURN);
    settings.addLineFeed = isChecked(dialog, IDC_ADD_LINE_FEED);
    settings.showErrors = isChecked(dialog, IDC_SHOW_ERRORS);
    settings.viewData = isChecked(dialog, IDC_VIEW_DATA);
    settings.alwaysShowDialog = isChecked(dialog, IDC_ALWAYS_SHOW_DIALOG);
    settings.replaceEnabled = isChecked(dialog, IDC_REPLACE_ENABLED);
    settings.stampEnabled = isChecked(dialog, IDC_STAMP_ENABLED);
    EndDialog(dialog, 1);
}

// A stamp layout switch: stored at once, and its preview follows.
void flipLayoutSwitch(HWND dialog, int id, std::uint8_t* field, int previewId) {
    *field = isChecked(dialog, id) ? 0 : 1;
    setCheck(dialog, id, *field);
    refreshPreview(dialog, previewId);
}

std::uint8_t* layoutSwitchField(int id) {
    switch (id) {
    case IDC_SEPARATE_STAMPS:
        return &settings.separateStamps;
    case IDC_YEAR_ON:
        return &settings.yearOn;
    case IDC_MONTH_ON:
        return &settings.monthOn;
    case IDC_DAY_ON:
        return &settings.dayOn;
    case IDC_DATE_SEPARATOR_ON:
        return &settings.dateSepOn;
    case IDC_HOUR_ON:
        return &settings.hourOn;
    case IDC_MINUTE_ON:
        return &settings.minuteOn;
    case IDC_SECOND_ON:
        return &settings.secondOn;
    case IDC_TIME_SEPARATOR_ON:
        return &settings.timeSepOn;
    default:
        return nullptr;
    }
}

void dispatchCommand(HWND dialog, int id, int notification) {
    switch (id) {
    case IDOK:
        confirm(dialog);
        return;
    case IDCANCEL:
        EndDialog(dialog, 2);
        return;
    case IDC_BROWSE:
        browse(dialog);
        return;
    case IDC_TOGGLE_PANEL:
        togglePanel(dialog);
        return;
    case IDC_REPLACE_FROM:
    case IDC_REPLACE_TO:
        if (notification == EN_CHANGE) {
            applyReplacementCodeRule(
                dialog, id, id == IDC_REPLACE_FROM ? &settings.replaceFrom : &settings.replaceTo);
        }
        return;
    case IDC_DATE_SEPARATOR:
        if (notification == EN_CHANGE) {
            applySeparatorRule(dialog, id, settings.dateSepChar);
        } else {
            refreshPreview(dialog, IDC_DATE_PREVIEW);
        }
        return;
    case IDC_TIME_SEPARATOR:
        if (notification == EN_CHANGE) {
            applySeparatorRule(dialog, id, settings.timeSepChar);
        } else {
            refreshPreview(dialog, IDC_TIME_PREVIEW);
        }
        return;
    case IDC_COM_PORT:
        // Read again as it drops down: a device plugged in since shows.
        if (notification == CBN_DROPDOWN) {
            fillPortList(dialog, id, settings.comPortIndex,
                         selectedPort(dialog, id, settings.comPortIndex), false);
        }
        return;
    case IDC_FILE_MODE:
        takeSelection(dialog, id, &settings.fileMode);
        return;
    case IDC_STAMP_POSITION:
        takeSelection(dialog, id, &settings.stampAtBottom);
        return;
    case IDC_DELIMITER:
        takeSelection(dialog, id, &settings.delimiterIndex);
        return;
    case IDC_YEAR_DIGITS:
        takeSelection(dialog, id, &settings.yearTwoDigits);
        refreshPreview(dialog, IDC_DATE_PREVIEW);
        return;
    case IDC_DATE_STYLE:
        takeSelection(dialog, id, &settings.dateStyle);
        refreshPreview(dialog, IDC_DATE_PREVIEW);
        return;
    case IDC_ADD_RETURN:
    case IDC_ADD_LINE_FEED:
    case IDC_SHOW_ERRORS:
    case IDC_VIEW_DATA:
    case IDC_ALWAYS_SHOW_DIALOG:
    case IDC_REPLACE_ENABLED:
    case IDC_STAMP_ENABLED:
        // Stored only on OK.
        setCheck(dialog, id, !isChecked(dialog, id));
        return;
    default:
        break;
    }
    if (std::uint8_t* field = layoutSwitchField(id)) {
        bool timeSwitch = id >= IDC_HOUR_ON && id <= IDC_TIME_SEPARATOR_ON;
        flipLayoutSwitch(dialog, id, field, timeSwitch ? IDC_TIME_PREVIEW : IDC_DATE_PREVIEW);
    }
}

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        showProgramIcon(dialog);
        openDialog(dialog);
        // Back after a failed start: on the field to mend, once the dialog
        // has put the focus where it starts.
        if (lParam != 0) {
            PostMessageA(dialog, WM_NEXTDLGCTL,
                         reinterpret_cast<WPARAM>(GetDlgItem(dialog, static_cast<int>(lParam))),
                         TRUE);
        }
        return TRUE;
    case WM_COMMAND:
        dispatchCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DPICHANGED:
        PostMessageA(dialog, kFitPanelMessage, 0, 0);
        return FALSE;
    case kFitPanelMessage:
        fitStampPanelWidth(dialog, timeOptionsShown != 0);
        return TRUE;
    case WM_DESTROY:
        forgetAccessibleNames(GetDlgItem(dialog, IDC_TOGGLE_PANEL));
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

INT_PTR runPropertiesDialog(FaultField fault) {
    int focusId = fault == FaultField::Port        ? IDC_COM_PORT
                  : fault == FaultField::Directory ? IDC_DIRECTORY
                  : fault == FaultField::FileName  ? IDC_FILE_NAME
                                                   : 0;
    // The panel always opens collapsed, also when the dialog comes back.
    timeOptionsShown = 0;
    // A Unicode dialog, so that its edits hold what is typed as typed, and a
    // name outside the code page can be seen for what it is on OK.
    return DialogBoxParamW(moduleInstance, L"PropertiesDlg", GetActiveWindow(),
                           propertiesDialogProc, focusId);
}
