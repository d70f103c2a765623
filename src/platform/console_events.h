#pragma once

// The console's control events on Windows (Ctrl-C, Ctrl-Break, the console
// window closing, a logoff, a shutdown), turned into events that the
// interrupt watch and the end-request watch wait on. One handler serves
// both; only the Windows backends use this.

namespace gantrell::console_events {

// The event (a HANDLE) set on the first Ctrl-C or Ctrl-Break; null: none.
// The target is cleared when it fires, so a second Ctrl-C ends the program
// as the system would.
void SetInterruptTarget(void* event);
// The event set when the console closes, the user logs off or the system
// shuts down; null: none. After setting it the handler waits a few seconds
// (the system ends the process once the handler returns), in which the
// program cancels what runs and writes its store.
void SetEndTarget(void* event);

}  // namespace gantrell::console_events
