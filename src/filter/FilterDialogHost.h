#pragma once
// What the custom filter dialog and the filter builder need of the grid's
// filter: the criteria they edit, the grid's columns, the guard that shows
// errors and the window they open over. GridFilterLink, which opens them,
// is their host; they know nothing more of it.

#include <QString>

#include <functional>

class QWidget;

namespace orvane::grid {
class GridViewModel;
}

namespace orvane::filter {

class TcxDBDataFilterCriteria;

class FilterDialogHost {
public:
    virtual TcxDBDataFilterCriteria& criteria() const = 0;
    virtual grid::GridViewModel& model() const = 0;
    // Runs a user action: errors go to the error box.
    virtual void run(const std::function<void()>& action) const = 0;
    // Shows a message in the error box.
    virtual void reportError(const QString& message) const = 0;
    // The window the dialogs are centred on and parented to.
    virtual QWidget* dialogParent() const = 0;

protected:
    ~FilterDialogHost() = default;
};

} // namespace orvane::filter
