#pragma once
// The busy (hourglass) cursor for the whole application while a command
// that can take more than a moment runs, restored however it ends. Without
// a window system (a program or test without windows) it does nothing.

#include <QCursor>
#include <QGuiApplication>

namespace orvane::grid {

// One cursor over the whole application for the life of a scope, put back
// however the scope ends.
class ScopedCursor {
public:
    explicit ScopedCursor(Qt::CursorShape shape)
        : m_shown(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
    {
        if (m_shown)
            QGuiApplication::setOverrideCursor(shape);
    }
    ~ScopedCursor()
    {
        if (m_shown)
            QGuiApplication::restoreOverrideCursor();
    }
    ScopedCursor(const ScopedCursor&) = delete;
    ScopedCursor& operator=(const ScopedCursor&) = delete;

private:
    bool m_shown;
};

class BusyCursor : public ScopedCursor {
public:
    BusyCursor() : ScopedCursor(Qt::WaitCursor) {}
};

// The normal arrow while a box waits for the user, also in the middle of a
// command that shows the busy cursor: the box can be answered, and its
// buttons look like it.
class NormalCursor : public ScopedCursor {
public:
    NormalCursor() : ScopedCursor(Qt::ArrowCursor) {}
};

} // namespace orvane::grid
