// The serial port to the base and the receiver thread that feeds the frame
// assembler.
#pragma once

// Opens and configures the port that comPortIndex names and starts the
// receiver thread. On failure a message has been shown and nothing stays open.
bool openLink();

// Stops the receiver thread, waits until it has ended and closes the port.
void stopLink();
