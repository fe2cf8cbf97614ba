#pragma once
// Where a form's controls go and in which order their windows are made. No window is touched
// here.

#include <cstddef>
#include <vector>

#include "forms/control.h"

namespace tavoro::platform::win32 {

// Twips from the form's client origin. A control inside a frame is designed relative to the
// frame, as in the form designer, and all controls are made as siblings on the form (a group
// box makes a poor parent: its children's notifications would go to it, not to the form).
forms::Bounds FormBounds(const forms::Control& control);

// Kinds the keyboard can reach: a tab index makes them a tab stop.
bool TakesFocus(forms::ControlKind kind);

// Indices into `controls` in the order their windows are made, which becomes their z-order
// from the top and so the keyboard's order: tab stops by tab index, then the other controls as
// declared, then the frames, inner ones first, beneath the controls they hold so they can
// never paint over them.
std::vector<std::size_t> CreationOrder(const std::vector<forms::Control*>& controls);

}  // namespace tavoro::platform::win32
