#pragma once
// The filter panel under the grid's rows: a close button and a check box at
// the left, the filter's display text ("<Filter is Empty>" when it has none)
// and the builder button "Customize..." at the right. Shown per the view's
// filter Visible option; follows every change of the criteria.

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace orvane::logedit {

class GridFilterLink;

class FilterPanel : public QWidget {
    Q_OBJECT
public:
    explicit FilterPanel(GridFilterLink& link, QWidget* parent = nullptr);

    QToolButton* closeButton() const { return m_close; }
    QCheckBox* activeBox() const { return m_active; }
    QLabel* textLabel() const { return m_text; }
    QPushButton* customizeButton() const { return m_customize; }

    // Re-reads the criteria: visibility, check box and text.
    void refresh();

private:
    GridFilterLink& m_link;
    QToolButton* m_close;
    QCheckBox* m_active;
    QLabel* m_text;
    QPushButton* m_customize;
};

} // namespace orvane::logedit
