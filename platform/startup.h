// Process start-up of the platform layer: the main thread's identity, the "C" numeric locale,
// and (once the GUI half exists) the application object. Called first by main() and by each
// test program.
#pragma once

void PlatformStartup(int& argc, char** argv);
