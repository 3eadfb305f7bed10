// The program's start: the splash, the application object and every window in its order.
#pragma once

// Initialises the application object and gives it the product's title.
void InitializeProgram();
// Creates the windows in start-up order; the first becomes the main window.
void CreateProgramWindows();
// Frees the windows CreateProgramWindows made (the newest first).
void DestroyProgramWindows();
// The whole program: returns the exit code once the main window has closed.
int RunProgram();
// The imaging library's start-up with the units the program uses (processing, file I/O, view),
// and its shutdown. Only the first start and the matching last stop do the work.
void StartImagingLibrary();
void StopImagingLibrary();
