#include "grid/ActivityGrid.h"

#include "grid/ActivityGridLayout.h"

#include <QTimer>

#include <algorithm>
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

void ActivityGrid::fitStartColumnsIfDue()
{
    // An empty table fits the captions alone; rows imported later fit again.
    if (!m_startColumnsFitted && m_model.allRowsPresent())
        fitStartColumns();
}

void ActivityGrid::fitStartColumnsOnFirstRows()
{
    // Checked from the event loop too, so the window's font is settled.
    connect(&m_model, &GridViewModel::allRowsArrived, this, &ActivityGrid::fitStartColumnsIfDue);
    QTimer::singleShot(0, this, &ActivityGrid::fitStartColumnsIfDue);
}

void ActivityGrid::fitStartColumnsOnNewRows()
{
    m_startColumnsFitted = false;
    fitStartColumnsIfDue();
}

void ActivityGrid::showFirstRow()
{
    if (m_model.rowCount() == 0)
        return;
    m_model.setFocusedRow(0);
    m_view->ensureVisible(0, m_view->focusedColumn());
}

void ActivityGrid::fitStartColumns()
{
    m_startColumnsFitted = true;
    for (const char* field : {"ActivityID", "OriginalDuration", "RemainingDuration", "PercentComplete", "EarlyStart",
                              "EarlyFinish", "CalendarID"}) {
        const int id = m_model.columnIdOfField(QString::fromLatin1(field));
        if (id < 0 || !m_model.column(id).visible)
            continue;
        const int needed = std::max(m_view->contentWidth(id), m_view->captionWidth(id));
        if (needed > m_model.columnWidth(id))
            m_model.resizeColumn(id, needed);
    }
    // The mark column draws a check box, not its text: its caption sizes it,
    // with room for a sort mark and the filter button beside it, so sorting
    // or pointing at the narrow header never squeezes or covers the caption.
    const int flag = m_model.columnIdOfField(QStringLiteral("Flag"));
    if (flag >= 0 && m_model.column(flag).visible) {
        const int needed = m_view->captionWidth(flag, true);
        if (needed > m_model.columnWidth(flag))
            m_model.resizeColumn(flag, needed);
    }
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
