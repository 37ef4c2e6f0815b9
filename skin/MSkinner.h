#pragma once
// MSkinner, the skin engine: a form calls AttachSkin once from its load handler with its own
// window, and from then on the form and every window in it (and the message boxes and
// dialogs it activates) wear the light-blue skin. Nothing removes the skin but the
// windows' own destruction.

#include <windows.h>

namespace cartulane::skin {

// 1 if the window (a form, with everything inside it) was attached now; 0 for no window or
// one already skinned. The first attach on a thread builds the skin images.
int AttachSkin(HWND window);

}  // namespace cartulane::skin
