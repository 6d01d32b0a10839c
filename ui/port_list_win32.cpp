// Which ports are present: the ports that serial drivers have registered
// under HARDWARE\DEVICEMAP\SERIALCOMM (every driver that gives a COM name,
// also where Plug and Play knows no device), and the devices of the Ports
// class that are present, for the names Device Manager shows.
#include "ui/port_list_win32.h"

#include "app/settings.h"

#include <windows.h>

#include <initguid.h>

#include <devguid.h>
#include <setupapi.h>

namespace {

// A registry text as Windows stores it, which need not end in a NUL: one
// more byte is kept free for it.
void terminate(char* text, DWORD size, DWORD capacity) {
    text[size < capacity ? size : capacity - 1] = '\0';
}

void addRegisteredPorts(PresentPort* ports, std::size_t* count, std::size_t capacity) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return;
    }
    // Bounded: a key that keeps changing while it is read cannot hold us.
    constexpr DWORD kMostValues = 1024;
    for (DWORD i = 0; i < kMostValues; ++i) {
        char valueName[256];
        DWORD valueNameLength = sizeof valueName;
        char portName[16];
        DWORD portNameSize = sizeof portName - 1;
        DWORD type = 0;
        LONG result = RegEnumValueA(key, i, valueName, &valueNameLength, nullptr, &type,
                                    reinterpret_cast<BYTE*>(portName), &portNameSize);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        // A name or port too long for these buffers names no port here.
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        terminate(portName, portNameSize, sizeof portName);
        addPresentPort(ports, count, capacity, portName, "");
    }
    RegCloseKey(key);
}

void addPortDevices(PresentPort* ports, std::size_t* count, std::size_t capacity) {
    HDEVINFO devices = SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        // The port's name lives in the device's hardware key.
        HKEY key =
            SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        char portName[16];
        DWORD portNameSize = sizeof portName - 1;
        DWORD type = 0;
        LONG result = RegQueryValueExA(key, "PortName", nullptr, &type,
                                       reinterpret_cast<BYTE*>(portName), &portNameSize);
        RegCloseKey(key);
        if (result != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        terminate(portName, portNameSize, sizeof portName);
        char friendlyName[kDeviceNameSize + 1];
        DWORD friendlySize = 0;
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, &type,
                                               reinterpret_cast<BYTE*>(friendlyName),
                                               sizeof friendlyName - 1, &friendlySize) ||
            type != REG_SZ) {
            friendlySize = 0;
        }
        terminate(friendlyName, friendlySize, sizeof friendlyName);
        addPresentPort(ports, count, capacity, portName, friendlyName);
    }
    SetupDiDestroyDeviceInfoList(devices);
}

} // namespace

std::size_t findPresentPorts(PresentPort* ports, std::size_t capacity) {
    std::size_t count = 0;
    addRegisteredPorts(ports, &count, capacity);
    addPortDevices(ports, &count, capacity);
    return count;
}

void fillPortList(HWND dialog, int id, std::int32_t saved, std::int32_t chosen, bool firstStart) {
    static PresentPort present[kPortCount];
    static PortListItem items[kPortCount];
    std::size_t presentCount = findPresentPorts(present, kPortCount);
    std::int32_t selected = initialPortSelection(chosen, firstStart, present, presentCount);
    std::size_t count = composePortList(present, presentCount, saved, selected, items, kPortCount);
    SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
    for (std::size_t i = 0; i < count; ++i) {
        LRESULT at = SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0,
                                         reinterpret_cast<LPARAM>(items[i].text));
        if (at < 0) {
            continue;
        }
        SendDlgItemMessageA(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(at), items[i].index);
        if (items[i].index == selected) {
            SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        }
    }
    // The names are wider than the list's box: the dropped list shows them whole.
    RECT wide = {0, 0, 160, 0};
    MapDialogRect(dialog, &wide);
    SendDlgItemMessageA(dialog, id, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(wide.right), 0);
}

std::int32_t selectedPort(HWND dialog, int id, std::int32_t current) {
    LRESULT selected = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) {
        return current;
    }
    LRESULT index =
        SendDlgItemMessageA(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(selected), 0);
    return index >= 0 && index < kPortCount ? static_cast<std::int32_t>(index) : current;
}
