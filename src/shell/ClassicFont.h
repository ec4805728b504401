#pragma once
// The font of Orvane's windows: the desktop's classic "MS Sans Serif" at 8
// points, which the window layout's pixel sizes were drawn for.

namespace orvane::shell {

// Makes it the application's font. Where the face is missing, faces of
// close metrics stand in for it (and for "Tahoma", the menu bar's face).
void applyClassicFont();

} // namespace orvane::shell
