#pragma once
// The value drop-down of a column header: "(All)", "(Custom...)", then
// "(Blanks)" and "(NonBlanks)" when the column holds nulls, then the column's
// distinct values over the rows shown. A click or Enter picks the highlighted
// entry, Esc closes without change. The drop-down frees itself when closed.
// A list longer than the rows it shows has a search box above it: what is
// typed narrows the values to those containing it (ignoring case); the
// "(All)" and other fixed entries stay.
//
// The drop-down knows nothing of the criteria: it says which entry was
// picked by its signal picked(), and its owner applies it.

#include "filter/FilterValueItem.h"

#include <QFrame>
#include <QList>

#include <vector>

class QLineEdit;
class QListView;

namespace orvane::filter {

class FilterDropDown : public QFrame {
    Q_OBJECT
public:
    // Lists the entries with one highlighted (none: -1), showing at most
    // maxRows rows at once (all when 0), as wide as the widest entry or
    // fixedWidth pixels when that is above 0.
    FilterDropDown(QList<TcxFilterValueItem> entries, int highlighted, int maxRows, int fixedWidth,
                   QWidget* parent);

    const QList<TcxFilterValueItem>& entries() const { return m_entries; }
    QListView* list() const { return m_list; }
    // The search box; null when the whole list shows at once.
    QLineEdit* searchBox() const { return m_search; }
    // Shows the list with its top right corner at a point on the screen
    // (under a column header, aligned to its right edge).
    void popup(const QPoint& topRight);
    // Picks the entry at a row of the list as it shows (narrowed or not):
    // closes first, then announces it.
    void pickEntry(int row);

signals:
    // An entry was picked; the drop-down has closed.
    void picked(const orvane::filter::TcxFilterValueItem& entry);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCurrentEntry(int row);
    // Shows the entries that contain the search text.
    void narrowTo(const QString& text);

    // The width the entries need, with the list's margins, within the screen.
    int fittingWidth(bool scrolls) const;

    QList<TcxFilterValueItem> m_entries;
    std::vector<int> m_shown;   // the entries the list shows, by index, in order
    QListView* m_list;
    QLineEdit* m_search = nullptr;
};

} // namespace orvane::filter
