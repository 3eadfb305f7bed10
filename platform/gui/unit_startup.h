// Start-up work of units that needs the screen: what a unit of the framework does in its
// initialization section once the application objects exist and before the first window is
// created (register cursors, look at the display).
#pragma once

// Registers Routine to run once during PlatformStartup, after the application objects exist.
// A routine registered after that point runs at once. Meant for a unit's static registration:
// returns true so that the result can initialise a namespace-scope constant.
bool RegisterStartupRoutine(void (*Routine)());
// Runs the routines registered so far, in registration order; later calls do nothing.
void RunStartupRoutines();
