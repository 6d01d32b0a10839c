// The flash's window, owned by the user-interface thread: that thread paints
// it from its dialogs' message loops, and the receiver only posts to it.
#pragma once

// Made hidden when the session starts, on the user-interface thread.
void openCountFlash();

// Destroyed when the session dialog goes; a flash posted later is dropped.
void closeCountFlash();
