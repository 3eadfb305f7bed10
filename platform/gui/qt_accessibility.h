// What the desktop's screen readers learn about the controls: their true roles and the names a
// person reads next to them.
#pragma once

class TControl;
class TWinControl;

namespace clvqt {

// Registers the accessible interfaces of the framework's own widgets (radio buttons report
// themselves as radio buttons even though the framework, not Qt, keeps them exclusive).
void InstallAccessibility();

// Names each field of Root's window without a name of its own (edits, spin edits, drop-down
// lists, step buttons) after the caption a reader sees next to it: the label, radio button or
// check box before it on its row, else the one just above it.
void NameFieldsAfterTheirLabels(TWinControl* Root);

// Tell the screen readers listening that Control's value, or its tabs and their selection,
// changed (nothing while none listens).
void NotifyAccessibleValue(TControl* Control);
void NotifyAccessibleTabs(TControl* Control);

}  // namespace clvqt
