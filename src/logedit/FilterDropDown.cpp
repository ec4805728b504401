#include "logedit/FilterDropDown.h"

#include "grid/GridView.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

namespace orvane::logedit {

FilterDropDown::FilterDropDown(GridFilterLink& link, int columnId, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_link(link), m_columnId(columnId)
{
    setObjectName(QStringLiteral("FilterDropDown"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    m_entries = link.valueList(columnId);
    m_list = new QListWidget(this);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    // The frame keeps the focus, so opening highlights nothing by itself.
    m_list->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideNone);
    for (const TcxFilterValueItem& entry : m_entries)
        m_list->addItem(entry.displayText);
    const int rowHeight = QFontMetrics(font()).height();   // the height of "Qq"
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setSizeHint(QSize(0, rowHeight));
    m_list->setCurrentRow(link.highlightedEntry(columnId, m_entries));
    // The list opens at its top, "(All)" in sight, whichever entry is highlighted.
    m_list->scrollToTop();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    // The mouse highlights the entry under it; a click picks it.
    connect(m_list, &QListWidget::itemEntered, this, [this](QListWidgetItem* item) { m_list->setCurrentItem(item); });
    connect(m_list, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { pickEntry(m_list->row(item)); });

    // Rows shown: the smaller of the entry count and MaxDropDownCount (all when 0).
    const int count = int(m_entries.size());
    const int max = link.maxDropDownCount();
    const int shown = max > 0 ? std::min(count, max) : count;
    int width = link.DropDownWidth;
    if (width <= 0) {
        const QFontMetrics fm(font());
        for (const TcxFilterValueItem& entry : m_entries)
            width = std::max(width, fm.horizontalAdvance(entry.displayText));
        // The entry text plus 4 pixels, plus the item view's own text margins.
        width += 4 + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
        if (shown < count)
            width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    }
    m_list->setVerticalScrollBarPolicy(shown < count ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // The list takes exactly the rows shown, not its own preferred size: its
    // viewport is as high as the rows, so the last one lies wholly inside.
    m_list->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_list->setMinimumSize(1, 1);
    const int frame = 2 * frameWidth();
    setFixedSize(width + frame, shown * rowHeight + frame);
}

void FilterDropDown::popup()
{
    if (auto* view = m_link.view()) {
        const QRect header = view->columnHeaderRect(m_columnId);
        const QPoint bottomRight = view->viewport()->mapToGlobal(header.bottomRight() + QPoint(1, 1));
        move(bottomRight.x() - width(), bottomRight.y());
    }
    show();
    // Showing scrolls to the highlighted entry; the list opens at its top.
    m_list->scrollToTop();
    setFocus();
}

void FilterDropDown::pickEntry(int index)
{
    if (index < 0 || index >= m_entries.size())
        return;
    const TcxFilterValueItem entry = m_entries.at(index);
    GridFilterLink& link = m_link;
    const int columnId = m_columnId;
    close();
    link.run([&link, columnId, &entry] { link.pick(columnId, entry); });
}

void FilterDropDown::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        close();
        return;
    case Qt::Key_Up:
    case Qt::Key_Down: {
        const int step = event->key() == Qt::Key_Up ? -1 : 1;
        const int row = std::clamp(m_list->currentRow() + step, 0, m_list->count() - 1);
        m_list->setCurrentRow(row);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pickEntry(m_list->currentRow());
        return;
    default:
        QFrame::keyPressEvent(event);
    }
}

} // namespace orvane::logedit
