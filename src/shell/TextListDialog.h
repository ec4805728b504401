#pragma once
// A modal list of texts with a few commands on the selected lines: the
// windows of "Review changes...", "Compare with P3..." and a save's
// conflicts. Long and multi-line texts show on one line in the list and
// whole in the line's tool tip.

#include <QDialog>
#include <QStringList>

#include <functional>
#include <vector>

class QDialogButtonBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace orvane::shell {

class TextListDialog : public QDialog {
    Q_OBJECT
public:
    TextListDialog(const QString& objectName, const QString& caption, const QStringList& headers,
                   QWidget* parent = nullptr);

    void setIntro(const QString& text);
    // The lines, each with one text per column.
    void setRows(const std::vector<QStringList>& rows);
    int rowCount() const;
    // A button acting on the selected lines (every line is selected when the
    // list is shown); it is enabled while a line is selected. An error it
    // raises is shown in the common error box.
    void addCommand(const QString& caption, const std::function<void(const std::vector<int>& rows)>& run);

    QTableWidget* list() const { return m_list; }

private:
    std::vector<int> selectedRows() const;
    void followSelection();

    QLabel* m_intro;
    QTableWidget* m_list;
    QDialogButtonBox* m_buttons;
    std::vector<QPushButton*> m_commands;
};

} // namespace orvane::shell
