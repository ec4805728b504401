#pragma once
// Small helpers shared by the log editing windows.

class QWidget;
class QSpinBox;

namespace orvane::logedit {

// A whole-number box with up and down arrows, range 1 to 99, value 1.
QSpinBox* newLogNumberBox(QWidget* parent);

// Moves a top-level window so that it is centred on another window (on the
// screen when there is none).
void centreOn(QWidget* window, const QWidget* over);

} // namespace orvane::logedit
