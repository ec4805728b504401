#pragma once
// The value drop-down of a column header: "(All)", "(Custom...)", then
// "(Blanks)" and "(NonBlanks)" when the column holds nulls, then the column's
// distinct values over the rows shown. A click or Enter picks the highlighted
// entry, Esc closes without change. The drop-down frees itself when closed.

#include "logedit/GridFilter.h"

#include <QFrame>
#include <QHash>

class QFont;
class QFontMetrics;
class QListView;

namespace orvane::logedit {

// Text widths measured in one font, kept between openings of the drop-down
// so a list opened again is not measured again.
class TextWidthCache {
public:
    // Starts a list: forgets what was measured in another font, or all
    // when it holds too many texts.
    void useFont(const QFont& font);
    // The width of a text in the metrics of the font in use, measured once.
    int width(const QFontMetrics& metrics, const QString& text);

private:
    QString m_fontKey;
    QHash<QString, int> m_widths;
};

// The widest of the texts in a font, as measuring every one of them gives,
// without measuring those that provably cannot be the widest.
int widestTextWidth(const QFont& font, const QStringList& texts, TextWidthCache* cache = nullptr);

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
