#include "shell/TextListDialog.h"

#include "shell/ErrorBox.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace orvane::shell {

namespace {

// A text on one line of the list: its line breaks shown as a pilcrow.
QString oneLine(const QString& text)
{
    QString line = text;
    line.replace(QLatin1String("\r\n"), QStringLiteral(" \u00b6 "));
    line.replace(QLatin1Char('\n'), QStringLiteral(" \u00b6 "));
    line.replace(QLatin1Char('\r'), QStringLiteral(" \u00b6 "));
    return line;
}

} // namespace

TextListDialog::TextListDialog(const QString& objectName, const QString& caption, const QStringList& headers,
                               QWidget* parent)
    : QDialog(parent)
{
    setObjectName(objectName);
    setWindowTitle(caption);
    auto* layout = new QVBoxLayout(this);
    m_intro = new QLabel(this);
    m_intro->setWordWrap(true);
    m_intro->hide();
    layout->addWidget(m_intro);
    m_list = new QTableWidget(0, int(headers.size()), this);
    m_list->setObjectName(QStringLiteral("TextList"));
    m_list->setHorizontalHeaderLabels(headers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_list, 1);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(m_buttons);
    connect(m_list, &QTableWidget::itemSelectionChanged, this, &TextListDialog::followSelection);
    resize(820, 420);
}

void TextListDialog::setIntro(const QString& text)
{
    m_intro->setText(text);
    m_intro->setVisible(!text.isEmpty());
}

void TextListDialog::setRows(const std::vector<QStringList>& rows)
{
    m_list->setRowCount(int(rows.size()));
    for (int row = 0; row < int(rows.size()); ++row) {
        for (int column = 0; column < m_list->columnCount() && column < rows[size_t(row)].size(); ++column) {
            const QString& text = rows[size_t(row)].at(column);
            auto* item = new QTableWidgetItem(oneLine(text));
            item->setToolTip(text);
            m_list->setItem(row, column, item);
        }
    }
    // Short columns fit their texts; the texts themselves share the rest.
    for (int column = 0; column < m_list->columnCount(); ++column) {
        m_list->resizeColumnToContents(column);
        m_list->setColumnWidth(column, std::min(m_list->columnWidth(column), 260));
    }
    m_list->selectAll();
    followSelection();
}

int TextListDialog::rowCount() const
{
    return m_list->rowCount();
}

void TextListDialog::addCommand(const QString& caption, const std::function<void(const std::vector<int>&)>& run)
{
    QPushButton* button = m_buttons->addButton(caption, QDialogButtonBox::ActionRole);
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, run] {
        const std::vector<int> rows = selectedRows();
        if (!rows.empty())
            runGuarded([&] { run(rows); });
    });
    m_commands.push_back(button);
    followSelection();
}

std::vector<int> TextListDialog::selectedRows() const
{
    std::set<int> rows;
    for (const QModelIndex& index : m_list->selectionModel()->selectedIndexes())
        rows.insert(index.row());
    return {rows.begin(), rows.end()};
}

void TextListDialog::followSelection()
{
    const bool any = !selectedRows().empty();
    for (QPushButton* button : m_commands)
        button->setEnabled(any);
}

} // namespace orvane::shell
