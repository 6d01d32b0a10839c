// The serial port as the receiver sees it: a few calls, each reporting what
// became of it. The Windows program makes them on Win32, where each opening
// of the port has operation records of its own; the native tests script them.
#pragma once

#include <cstddef>

// What one port call came to.
struct PortOutcome {
    bool succeeded = false;
    unsigned long error = 0;    // the platform's error code when it failed
    bool cancelledByUs = false; // ended aborted by the program's own cancel at its bound
    // Neither completed nor let go by its cancel: its record stays in flight
    // on this opening, which can start no other operation of its kind.
    bool held = false;
    std::size_t count = 0;   // bytes moved (a failed read may report some that were lost)
    bool lineErrors = false; // LineStatus: a byte was received wrong or lost
};

enum class PortOpening { Opened, NotOpened, NotConfigured };
// The start command's write goes from the user-interface thread, the
// answers' from the receiver: each through an operation of its own.
enum class PortWriter { Answer, StartCommand };
enum class PortWake { Stop, Characters, TimedOut, Failed };

// Opens the port that the settings name, with the line settings, timeouts
// and the character event, and fresh operation records. On failure nothing
// stays open, and *error holds the platform's error code.
PortOpening portOpen(unsigned long* error);
// Closes the port. Operations it still holds are abandoned with their
// records: nothing they bring reaches a later opening.
void portClose();
// Clears the port's error state; count is the number of bytes queued.
PortOutcome portLineStatus();
// Waits at most boundMs for received characters or the stop. A wait still
// pending stays so for the next call. *outcome says why one failed.
PortWake portAwaitCharacters(unsigned long boundMs, PortOutcome* outcome);
// Reads at most `wanted` (at most 256) bytes into `into`, waiting at most
// boundMs; one the driver keeps longer is cancelled. While a read is held,
// none is started (held is reported).
PortOutcome portRead(unsigned char* into, std::size_t wanted, unsigned long boundMs);
// One try at writing `count` bytes (at most 16 of them), waiting at most
// boundMs, then cancelling. Starts nothing while the writer's last write is
// held (held is reported).
PortOutcome portWrite(PortWriter writer, const char* bytes, std::size_t count,
                      unsigned long boundMs);
// Whether the writer's operation is free on an open port.
bool portWriterFree(PortWriter writer);
// Ends a pending wait for characters, a bounded time, before the port closes.
void portEndWait();
// Discards what is still queued for reading.
void portDiscardInput();

// The receiver's clock and its way to sleep: portAwaitStop returns true as
// soon as the stop has been asked, else after ms.
unsigned long portNowMs();
bool portAwaitStop(unsigned long ms);
