#pragma once
// The busy (hourglass) cursor for the whole application while a command
// that can take more than a moment runs, restored however it ends.

#include <QApplication>

namespace orvane::grid {

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace orvane::grid
