#pragma once
// The customization window of the grid: a small resizable tool window above
// the main window with the pages "Bands" (the bands the user has hidden) and
// "Columns" (every invisible column whose hidden flag is clear, by caption).
// An item comes back into view when it is dragged onto the grid's headers
// or double-clicked. Closing the window destroys it.

#include <QWidget>

class QListWidget;
class QListWidgetItem;
class QTabWidget;

namespace orvane::grid {

class GridViewModel;

class CustomizationWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kColumnMime = "application/x-orvane-grid-column";
    static constexpr const char* kBandMime = "application/x-orvane-grid-band";

    CustomizationWindow(GridViewModel& model, QWidget* grid);

    void selectPage(int page);
    int currentPage() const;
    QListWidget* bandList() const { return m_bands; }
    QListWidget* columnList() const { return m_columns; }
    // The captions listed on the "Columns" page, in list order.
    QStringList columnCaptions() const;

private:
    void refill();
    void bringBack(QListWidgetItem* item, bool band);

    GridViewModel& m_model;
    QTabWidget* m_pages;
    QListWidget* m_bands;
    QListWidget* m_columns;
};

} // namespace orvane::grid
