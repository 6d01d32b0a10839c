// The serial port's handle and its asynchronous operations on Win32: each
// opening has operation records of its own, each with its own event.
#pragma once

#include <windows.h>

#include <cstdint>

// Set by the stop: ends the receiver's waits at once, whatever the port does.
extern HANDLE linkStopEvent;
