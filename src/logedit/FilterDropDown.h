#pragma once
// The value drop-down of a column header: "(All)", "(Custom...)", then
// "(Blanks)" and "(NonBlanks)" when the column holds nulls, then the column's
// distinct values over the rows shown. A click or Enter picks the highlighted
// entry, Esc closes without change. The drop-down frees itself when closed.
// A list longer than the rows it shows has a search box above it: what is
// typed narrows the values to those containing it (ignoring case); the
// "(All)" and other fixed entries stay.

#include "logedit/GridFilter.h"

#include <QFrame>

#include <vector>

class QLineEdit;
class QListView;

namespace orvane::logedit {

class FilterDropDown : public QFrame {
    Q_OBJECT
public:
    FilterDropDown(GridFilterLink& link, int columnId, QWidget* parent);

    const QList<TcxFilterValueItem>& entries() const { return m_entries; }
    QListView* list() const { return m_list; }
    // The search box; null when the whole list shows at once.
    QLineEdit* searchBox() const { return m_search; }
    // Shows the list under the column header, aligned to its right edge.
    void popup();
    // Picks the entry at a row of the list as it shows (narrowed or not):
    // closes first, then applies it inside one change lock.
    void pickEntry(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCurrentEntry(int row);
    // Shows the entries that contain the search text.
    void narrowTo(const QString& text);

    GridFilterLink& m_link;
    int m_columnId;
    QList<TcxFilterValueItem> m_entries;
    std::vector<int> m_shown;   // the entries the list shows, by index, in order
    QListView* m_list;
    QLineEdit* m_search = nullptr;
};

} // namespace orvane::logedit
