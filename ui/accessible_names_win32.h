// What a screen reader hears of the properties dialog beyond its texts: the
// name of the panel toggle, and why a name was refused.
#pragma once

#include <windows.h>

// Names the panel toggle for what it does now: its text (">>", "<<") says
// nothing of it. Through the system's accessibility annotations, which a
// screen reader asks for the control's name.
void nameStampPanelToggle(HWND toggle, bool panelShown);

// Drops the toggle's name and the annotation service; on the dialog's end.
void forgetAccessibleNames(HWND toggle);

// Says beside the edit why its name was refused, in a balloon that stays
// until the user types or the focus moves: too long when its text does not
// fit `capacity` bytes of the code page, terminator included, or when
// `pathTooLong` (the path composed with it does not fit); otherwise the code
// page cannot hold it unchanged; an empty edit is asked for a name.
void explainRefusedName(HWND edit, int capacity, bool pathTooLong);

enum class NameRefusal { None, Empty, TooLong, OutsideCodePage };
// The same balloon for a reason already known (a name Browse brought back);
// nothing for None.
void explainRefusal(HWND edit, NameRefusal why);
