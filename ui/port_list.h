// Which ports the properties dialog lists, in which order, with which
// names, and which one it selects.
#pragma once

#include <cstddef>
#include <cstdint>

// "COM207 - " and a device name of up to 80 bytes; a longer name is left out
// rather than cut (a cut could split a character).
constexpr std::size_t kPortLabelSize = 96;
constexpr std::size_t kDeviceNameSize = 81;

struct PresentPort {
    std::int32_t index;               // COM1 is 0
    char deviceName[kDeviceNameSize]; // as Windows names the device; may be empty
};

struct PortListItem {
    std::int32_t index;
    char text[kPortLabelSize];
};

// The port a name such as "COM12" gives (any case), or -1: LPT1, "COM0",
// "COM208", "COM12 " and the like name none.
std::int32_t portIndexFromName(const char* name);

// Adds a present port by its port name, once; a device name given later
// fills one left empty. Names that give no port, and ports beyond
// `capacity`, are passed over.
void addPresentPort(PresentPort* ports, std::size_t* count, std::size_t capacity,
                    const char* portName, const char* deviceName);

// COM1 to COM9 always, every present port above them and the saved and the
// chosen one when above COM9, in the order of their numbers, each once; a present port is
// shown with its device's name. Returns how many items were written (at
// most `capacity`).
std::size_t composePortList(const PresentPort* present, std::size_t presentCount,
                            std::int32_t savedIndex, std::int32_t chosenIndex, PortListItem* items,
                            std::size_t capacity);

// The saved port; on a first start (no settings file), the one present port
// when there is exactly one.
std::int32_t initialPortSelection(std::int32_t savedIndex, bool firstStart,
                                  const PresentPort* present, std::size_t presentCount);
