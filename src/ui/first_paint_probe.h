// A hook for bench/main_window_bench's measure from process start: with
// GANTRELL_FIRST_PAINT_PROBE set in the environment, the program prints
// "first-paint NS" (the steady clock's reading in nanoseconds, the clock
// every process of the machine shares) once the main window's list has
// painted itself with rows in it, and ends at once, without writing
// anything. Not an option: nothing a user types reaches it.
#pragma once

namespace gantrell::ui {

// Installs the probe on the application when the variable is set.
void InstallFirstPaintProbeIfAsked();

}  // namespace gantrell::ui
