#pragma once
// Small helpers shared by the log editing windows.

class QWidget;
class QSpinBox;

namespace orvane::logedit {

// A whole-number box with up and down arrows, range 1 to 99, value 1.
// Any text can be typed into it (more digits, letters, signs); the arrows
// and the wheel step within 1 to 99. When it loses the focus, is hidden or Enter is pressed in it, it keeps a
// text that names no log number (0, an empty box) instead of silently
// putting back its earlier value, so the command that reads it can refuse
// what the user sees.
QSpinBox* newLogNumberBox(QWidget* parent);

// The log number a box shows, read from its text in the box's locale.
// Throws OrvaneError when the text names no log number (see
// logNumberFromText); never falls back on the box's earlier value.
int logNumberOf(const QSpinBox* box);

// Moves a top-level window so that it is centred on another window (on the
// screen when there is none).
void centreOn(QWidget* window, const QWidget* over);

} // namespace orvane::logedit
