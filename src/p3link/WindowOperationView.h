#pragma once
// The window side of the P3 operations: caption and status panels, busy
// cursor, progress bar, the grid's link and code columns, and the message
// boxes (through the presenters the shell hands in).

#include "p3link/P3Operations.h"

#include <functional>
#include <optional>
#include <utility>

class QLabel;
class QProgressBar;
class QWidget;

namespace orvane::grid {
class GridViewModel;
}

namespace orvane::p3link {

// The project last chosen by an import or "Save to Primavera" (subproject
// empty for the group itself), which "Save" reopens. The main window hands
// both to the operations as their ProjectIdentity.
extern QString CurrentProjectGroup;
extern QString CurrentProjectName;

struct WindowParts {
    QWidget* window = nullptr;
    QProgressBar* progressBar = nullptr;
    QLabel* statusPanel0 = nullptr;
    QLabel* statusPanel1 = nullptr;
    grid::GridViewModel* grid = nullptr;
    store::ActivityTable* table = nullptr;
    std::function<void(const QStringList&)> showErrorList;
    std::function<void(const QString&)> showInformation;
    // Takes the running count of the operation (the main window's FActivityCount).
    std::function<void(int)> countActivities;
};

class WindowOperationView : public OperationView {
public:
    explicit WindowOperationView(WindowParts parts) : m_parts(std::move(parts)) {}
    ~WindowOperationView() override;

    void showProject(const QString& caption, const QString& folder) override;
    void restoreProject() override;
    void beginBusy() override;
    void endBusy() override;
    void showCodeColumn(int column, const QString& name) override;
    void hideCodeColumn(int column) override;
    void detachGrid() override;
    void reattachGrid() override;
    void showProgress(int maximum) override;
    void setProgress(int position) override;
    void hideProgress() override;
    void setStatus(const QString& text) override;
    void countActivities(int count) override;
    void showErrorList(const QStringList& lines) override;
    void showInformation(const QString& text) override;
    // A question box, No the default.
    bool confirmDropChanges(const QString& question) override;

private:
    WindowParts m_parts;
    int m_busy = 0;
    // Caption and folder panel before showProject, while it can be undone.
    std::optional<std::pair<QString, QString>> m_previousProject;
    bool m_detached = false;
};

} // namespace orvane::p3link
