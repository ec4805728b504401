#include "logedit/FilterDropDown.h"

#include "logedit/TextWidths.h"

#include "grid/GridView.h"

#include <QAbstractListModel>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QListView>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace orvane::logedit {

namespace {

// The drop-down's entries as the list view reads them, one row each, every
// row as high as the font's line.
class EntryModel final : public QAbstractListModel {
public:
    EntryModel(const QList<TcxFilterValueItem>& entries, int rowHeight, QObject* parent)
        : QAbstractListModel(parent), m_entries(entries), m_rowHeight(rowHeight)
    {
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_entries.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= m_entries.size())
            return QVariant();
        switch (role) {
        case Qt::DisplayRole:
            return m_entries.at(index.row()).displayText;
        case Qt::SizeHintRole:
            return QSize(0, m_rowHeight);
        default:
            return QVariant();
        }
    }

private:
    const QList<TcxFilterValueItem>& m_entries;
    int m_rowHeight;
};

// The widths the drop-downs measured, for the next one.
TextWidthCache& entryWidths()
{
    static TextWidthCache cache;
    return cache;
}

} // namespace

FilterDropDown::FilterDropDown(GridFilterLink& link, int columnId, QWidget* parent)
    : QFrame(parent, Qt::Popup), m_link(link), m_columnId(columnId)
{
    setObjectName(QStringLiteral("FilterDropDown"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    m_entries = link.valueList(columnId);
    const int rowHeight = QFontMetrics(font()).height();   // the height of "Qq"
    m_list = new QListView(this);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->setMouseTracking(true);
    // The frame keeps the focus, so opening highlights nothing by itself.
    m_list->setFocusPolicy(Qt::NoFocus);
    setFocusPolicy(Qt::StrongFocus);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Every row is as high as the first: the view lays out no row by row.
    m_list->setUniformItemSizes(true);
    m_list->setModel(new EntryModel(m_entries, rowHeight, m_list));
    setCurrentEntry(link.highlightedEntry(columnId, m_entries));
    // The list opens at its top, "(All)" in sight, whichever entry is highlighted.
    m_list->scrollToTop();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_list);

    // The mouse highlights the entry under it; a click picks it.
    connect(m_list, &QAbstractItemView::entered, this,
            [this](const QModelIndex& index) { setCurrentEntry(index.row()); });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { pickEntry(index.row()); });

    // Rows shown: the smaller of the entry count and MaxDropDownCount (all when 0).
    const int count = int(m_entries.size());
    const int max = link.maxDropDownCount();
    const int shown = max > 0 ? std::min(count, max) : count;
    int width = link.DropDownWidth;
    if (width <= 0) {
        width = widestTextWidth(
            font(), count, [this](qsizetype i) -> const QString& { return m_entries.at(i).displayText; },
            &entryWidths());
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

void FilterDropDown::setCurrentEntry(int index)
{
    m_list->setCurrentIndex(m_list->model()->index(index, 0));
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
        const int row = std::clamp(m_list->currentIndex().row() + step, 0, int(m_entries.size()) - 1);
        setCurrentEntry(row);
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pickEntry(m_list->currentIndex().row());
        return;
    default:
        QFrame::keyPressEvent(event);
    }
}

} // namespace orvane::logedit
