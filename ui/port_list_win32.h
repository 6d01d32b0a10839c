// The serial ports that are present now, as Windows lists them.
#pragma once

#include "ui/port_list.h"

#include <windows.h>

// Fills `ports` (of `capacity`) with the ports present now, with the names
// of their devices where Windows gives one; returns how many.
std::size_t findPresentPorts(PresentPort* ports, std::size_t capacity);

// Fills the dialog's list `id` with the ports (in the order and with the names of port_list.h),
// each item holding its port's index, and selects `chosen`, or on a first
// start the one port that is present; `saved` stays listed.
void fillPortList(HWND dialog, int id, std::int32_t saved, std::int32_t chosen, bool firstStart);

// The port of the list's selected item, or `current` when none is selected.
std::int32_t selectedPort(HWND dialog, int id, std::int32_t current);
