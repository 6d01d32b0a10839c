#include "ui/port_list.h"

#include "app/settings.h"

#include <cstdio>
#include <cstring>

std::int32_t portIndexFromName(const char* name) {
    if (name == nullptr) {
        return -1;
    }
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(name[0]) != 'C' || upper(name[1]) != 'O' || upper(name[2]) != 'M') {
        return -1;
    }
    std::int32_t number = 0;
    const char* digits = name + 3;
    std::size_t count = 0;
    for (; digits[count] >= '0' && digits[count] <= '9'; ++count) {
        // Three digits reach COM999; more name no port this list holds.
        if (count == 3 || (count == 0 && digits[0] == '0')) {
            return -1;
        }
        number = number * 10 + (digits[count] - '0');
    }
    if (count == 0 || digits[count] != '\0' || number < 1 || number > kPortCount) {
        return -1;
    }
    return number - 1;
}

void addPresentPort(PresentPort* ports, std::size_t* count, std::size_t capacity,
                    const char* portName, const char* deviceName) {
    std::int32_t index = portIndexFromName(portName);
    if (index < 0) {
        return;
    }
    // A name too long to show whole is left out: copyText leaves it empty.
    const char* name = deviceName != nullptr ? deviceName : "";
    for (std::size_t i = 0; i < *count; ++i) {
        if (ports[i].index == index) {
            if (ports[i].deviceName[0] == '\0') {
                copyText(ports[i].deviceName, sizeof ports[i].deviceName, name);
            }
            return;
        }
    }
    if (*count >= capacity) {
        return;
    }
    PresentPort& port = ports[(*count)++];
    port.index = index;
    copyText(port.deviceName, sizeof port.deviceName, name);
}

namespace {

const PresentPort* findPresent(const PresentPort* present, std::size_t count, std::int32_t index) {
    for (std::size_t i = 0; i < count; ++i) {
        if (present[i].index == index) {
            return &present[i];
        }
    }
    return nullptr;
}

// "COM12 - USB Serial Port": Windows' name of the port's device, without
// the " (COM12)" that the name of a port often ends with.
void composeLabel(std::int32_t index, const PresentPort* port, char* out, std::size_t capacity) {
    char portName[kPortNameSize];
    portDisplayName(index, portName, sizeof portName);
    if (port == nullptr || port->deviceName[0] == '\0') {
        std::snprintf(out, capacity, "%s", portName);
        return;
    }
    char suffix[kPortNameSize + 3];
    std::snprintf(suffix, sizeof suffix, " (%s)", portName);
    std::size_t nameLength = std::strlen(port->deviceName);
    std::size_t suffixLength = std::strlen(suffix);
    if (nameLength > suffixLength &&
        std::strcmp(port->deviceName + nameLength - suffixLength, suffix) == 0) {
        nameLength -= suffixLength;
    }
    std::snprintf(out, capacity, "%s - %.*s", portName, static_cast<int>(nameLength),
                  port->deviceName);
}

} // namespace

std::size_t composePortList(const PresentPort* present, std::size_t presentCount,
                            std::int32_t savedIndex, std::int32_t chosenIndex, PortListItem* items,
                            std::size_t capacity) {
    constexpr std::int32_t kAlwaysListed = 9;
    std::size_t written = 0;
    for (std::int32_t index = 0; index < kPortCount && written < capacity; ++index) {
        const PresentPort* port = findPresent(present, presentCount, index);
        if (index >= kAlwaysListed && port == nullptr && index != savedIndex &&
            index != chosenIndex) {
            continue;
        }
        items[written].index = index;
        composeLabel(index, port, items[written].text, sizeof items[written].text);
        ++written;
    }
    return written;
}

std::int32_t initialPortSelection(std::int32_t savedIndex, bool firstStart,
                                  const PresentPort* present, std::size_t presentCount) {
    return firstStart && presentCount == 1 ? present[0].index : savedIndex;
}
