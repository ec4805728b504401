#pragma once
// The filter panel under the grid's rows: a close button and a check box at
// the left, the filter's display text ("<Filter is Empty>" when it has none)
// and the builder button "Customize..." at the right. It only shows what it
// is given and says what the user clicked; its owner changes the criteria.

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;

namespace orvane::filter {

class FilterPanel : public QWidget {
    Q_OBJECT
public:
    explicit FilterPanel(QWidget* parent = nullptr);

    QToolButton* closeButton() const { return m_close; }
    QCheckBox* activeBox() const { return m_active; }
    QLabel* textLabel() const { return m_text; }
    QPushButton* customizeButton() const { return m_customize; }

    // Shows a filter: its display text, whether it is active, whether the
    // builder button shows, and whether the panel shows at all.
    void showFilter(const QString& displayText, bool active, bool customizeShown, bool panelShown);

signals:
    void closeClicked();
    // The check box was clicked to this state.
    void activeClicked(bool on);
    void customizeClicked();

private:
    QToolButton* m_close;
    QCheckBox* m_active;
    QLabel* m_text;
    QPushButton* m_customize;
};

} // namespace orvane::filter
