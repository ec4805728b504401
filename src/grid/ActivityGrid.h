#pragma once
// The activity grid of the main window: the grid widget over its own view
// model, laid out as the activity layout and bound to the activity table.
// Below the grid there is room for a filter panel.

#include "grid/GridView.h"
#include "grid/GridViewModel.h"

#include <QWidget>

class QVBoxLayout;

namespace orvane::store {
class ActivityTable;
}

namespace orvane::grid {

class ActivityGrid : public QWidget {
    Q_OBJECT
public:
    explicit ActivityGrid(store::ActivityTable& table, QWidget* parent = nullptr);

    GridViewModel& model() { return m_model; }
    GridView& view() { return *m_view; }

    // Opens the customization window on a page (0 "Bands", 1 "Columns");
    // when it is open already only the page changes.
    CustomizationWindow* openCustomization(int page);

    // Puts a widget (the filter panel) below the rows; nullptr removes it.
    void setFilterPanel(QWidget* panel);

    // Widens the identity, duration, date, percent and calendar columns
    // shown at start where the window's font needs more room than the
    // layout states, so their values and their captions (on up to two
    // lines) show whole; the band grows with them.
    void fitStartColumns();
    // Fits them once, as soon as the table's first rows are all there; from
    // then on the widths are the user's.
    void fitStartColumnsOnFirstRows();
    // Fits them again for rows of another project (after an import), as
    // soon as those rows are all there.
    void fitStartColumnsOnNewRows();
    // Focuses the grid's first row (in its sort order) and scrolls it into
    // view.
    void showFirstRow();

private:
    void fitStartColumnsIfDue();

    GridViewModel m_model;
    GridView* m_view;
    QVBoxLayout* m_layout;
    QWidget* m_filterPanel = nullptr;
    bool m_startColumnsFitted = false;
};

} // namespace orvane::grid
