#pragma once
// The value drop-down of a column header: "(All)", "(Custom...)", then
// "(Blanks)" and "(NonBlanks)" when the column holds nulls, then the column's
// distinct values over the rows shown. A click or Enter picks the highlighted
// entry, Esc closes without change. The drop-down frees itself when closed.

#include "logedit/GridFilter.h"

#include <QFrame>

class QListView;

namespace orvane::logedit {

class FilterDropDown : public QFrame {
    Q_OBJECT
public:
    FilterDropDown(GridFilterLink& link, int columnId, QWidget* parent);

    const QList<TcxFilterValueItem>& entries() const { return m_entries; }
    QListView* list() const { return m_list; }
    // Shows the list under the column header, aligned to its right edge.
    void popup();
    // Picks an entry: closes first, then applies it inside one change lock.
    void pickEntry(int index);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setCurrentEntry(int index);

    GridFilterLink& m_link;
    int m_columnId;
    QList<TcxFilterValueItem> m_entries;
    QListView* m_list;
};

} // namespace orvane::logedit
