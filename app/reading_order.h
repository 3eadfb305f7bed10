// The keyboard walks a window's fields the way the eye reads them.
#pragma once

class TWinControl;

// Gives the windowed children of Parent, and of each container among them, the tab order of
// reading: row by row from the top, left to right within a row. Controls whose middles lie
// within half the smaller height of each other share a row.
void SetReadingTabOrder(TWinControl* Parent);
