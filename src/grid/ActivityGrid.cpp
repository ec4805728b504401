#include "grid/ActivityGrid.h"

#include "grid/ActivityGridLayout.h"
#include "store/ActivityTable.h"

#include <QVBoxLayout>

namespace orvane::grid {

ActivityGrid::ActivityGrid(store::ActivityTable& table, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("cxGridProject"));
    applyActivityLayout(m_model);
    m_model.setTable(&table);
    m_view = new GridView(m_model, this);
    m_view->setObjectName(QStringLiteral("cxGridDBBTView"));
    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    m_layout->addWidget(m_view, 1);
    // Start on the first visible column of the left band.
    const QVector<int> columns = m_model.visibleColumnsInOrder();
    if (!columns.isEmpty())
        m_view->setFocusedColumn(columns.first());
}

CustomizationWindow* ActivityGrid::openCustomization(int page)
{
    return m_view->openCustomization(page);
}

void ActivityGrid::setFilterPanel(QWidget* panel)
{
    if (m_filterPanel == panel)
        return;
    if (m_filterPanel)
        m_layout->removeWidget(m_filterPanel);
    m_filterPanel = panel;
    if (panel)
        m_layout->addWidget(panel, 0);
}

} // namespace orvane::grid
