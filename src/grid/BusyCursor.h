#pragma once
// The busy (hourglass) cursor for the whole application while a command
// that can take more than a moment runs, restored however it ends. Without
// a window system (a program or test without windows) it does nothing.

#include <QGuiApplication>

namespace orvane::grid {

class BusyCursor {
public:
    BusyCursor() : m_shown(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_shown)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyCursor()
    {
        if (m_shown)
            QGuiApplication::restoreOverrideCursor();
    }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    bool m_shown;
};

} // namespace orvane::grid
