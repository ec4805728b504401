#include "filter/FilterDropDown.h"

#include "filter/WidestText.h"

#include <QAbstractListModel>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QListView>
#include <QScrollBar>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <functional>
#include <numeric>
#include <vector>

namespace orvane::filter {

namespace {

// The drop-down's entries as the list view reads them, one row each for
// the entries shown, every row as high as the font's line.
class EntryModel final : public QAbstractListModel {
public:
    EntryModel(const QList<TcxFilterValueItem>& entries, const std::vector<int>& shown, int rowHeight,
               QObject* parent)
        : QAbstractListModel(parent), m_entries(entries), m_shown(shown), m_rowHeight(rowHeight)
    {
    }
    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_shown.size());
    }
    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!index.isValid() || index.row() >= int(m_shown.size()))
            return QVariant();
        switch (role) {
        case Qt::DisplayRole:
            return m_entries.at(m_shown[index.row()]).displayText;
        case Qt::SizeHintRole:
            return QSize(0, m_rowHeight);
        default:
            return QVariant();
        }
    }
    // Announces that the entries shown were replaced.
    void reset(const std::function<void()>& replace)
    {
        beginResetModel();
        replace();
        endResetModel();
    }

private:
    const QList<TcxFilterValueItem>& m_entries;
    const std::vector<int>& m_shown;
    int m_rowHeight;
};

// The narrowest a list with a search box opens, so there is room to type.
constexpr int kSearchListMinWidth = 180;

} // namespace

FilterDropDown::FilterDropDown(QList<TcxFilterValueItem> entries, int highlighted, int maxRows, int fixedWidth,
                               QWidget* parent)
    : QFrame(parent, Qt::Popup), m_entries(std::move(entries))
{
    setObjectName(QStringLiteral("FilterDropDown"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameShape(QFrame::Box);
    m_shown.resize(m_entries.size());
    std::iota(m_shown.begin(), m_shown.end(), 0);
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
    m_list->setModel(new EntryModel(m_entries, m_shown, rowHeight, m_list));
    setCurrentEntry(highlighted);
    // The list opens at its top, "(All)" in sight, whichever entry is highlighted.
    m_list->scrollToTop();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The mouse highlights the entry under it; a click picks it.
    connect(m_list, &QAbstractItemView::entered, this,
            [this](const QModelIndex& index) { setCurrentEntry(index.row()); });
    connect(m_list, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) { pickEntry(index.row()); });

    // Rows shown: the smaller of the entry count and MaxDropDownCount (all when 0).
    const int count = int(m_entries.size());
    const int shown = maxRows > 0 ? std::min(count, maxRows) : count;
    if (shown < count) {
        // The frame keeps the focus and hands typing to the box.
        m_search = new QLineEdit(this);
        m_search->setObjectName(QStringLiteral("FilterDropDownSearch"));
        m_search->setPlaceholderText(QStringLiteral("Type to search"));
        m_search->setFocusPolicy(Qt::NoFocus);
        m_search->setClearButtonEnabled(false);
        layout->addWidget(m_search);
        connect(m_search, &QLineEdit::textChanged, this, &FilterDropDown::narrowTo);
    }
    layout->addWidget(m_list);
    const int width = fixedWidth > 0 ? fixedWidth : fittingWidth(shown < count);
    m_list->setVerticalScrollBarPolicy(shown < count ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    // The list takes exactly the rows shown, not its own preferred size: its
    // viewport is as high as the rows, so the last one lies wholly inside.
    m_list->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    m_list->setMinimumSize(1, 1);
    const int frame = 2 * frameWidth();
    const int searchHeight = m_search ? m_search->sizeHint().height() : 0;
    setFixedSize(width + frame, shown * rowHeight + searchHeight + frame);
}

int FilterDropDown::fittingWidth(bool scrolls) const
{
    // Wide enough for the texts, within the screen.
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->availableGeometry().width() - 2 * frameWidth() : INT_MAX;
    int width = widestTextWidth(
        font(), m_entries.size(), [this](qsizetype i) -> const QString& { return m_entries.at(i).displayText; },
        screenWidth);
    // The entry text plus 4 pixels, plus the item view's own text margins.
    width += 4 + 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
    if (scrolls)
        width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    if (m_search)
        width = std::max(width, kSearchListMinWidth);
    return std::min(width, screenWidth);
}

void FilterDropDown::narrowTo(const QString& text)
{
    static_cast<EntryModel*>(m_list->model())->reset([&] {
        m_shown.clear();
        for (int i = 0; i < int(m_entries.size()); ++i) {
            const TcxFilterValueItem& entry = m_entries.at(i);
            if (entry.kind != TcxFilterValueItem::fviValue || text.isEmpty()
                || entry.displayText.contains(text, Qt::CaseInsensitive))
                m_shown.push_back(i);
        }
    });
    // The first value found is highlighted, so Enter picks it.
    int first = 0;
    while (first < int(m_shown.size()) && m_entries.at(m_shown[first]).kind != TcxFilterValueItem::fviValue)
        ++first;
    setCurrentEntry(text.isEmpty() || first == int(m_shown.size()) ? 0 : first);
    m_list->scrollTo(m_list->currentIndex());
}

void FilterDropDown::setCurrentEntry(int row)
{
    m_list->setCurrentIndex(m_list->model()->index(row, 0));
}

void FilterDropDown::popup(const QPoint& topRight)
{
    int left = topRight.x() - width();
    // A list wider than the space left of the header opens on the screen.
    if (const QScreen* screen = parentWidget() ? parentWidget()->screen() : QGuiApplication::screenAt(topRight))
        left = std::max(left, screen->availableGeometry().left());
    move(left, topRight.y());
    show();
    // Showing scrolls to the highlighted entry; the list opens at its top.
    m_list->scrollToTop();
    setFocus();
}

void FilterDropDown::pickEntry(int row)
{
    if (row < 0 || row >= int(m_shown.size()))
        return;
    const TcxFilterValueItem entry = m_entries.at(m_shown[row]);
    close();
    emit picked(entry);
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
        const int row = std::clamp(m_list->currentIndex().row() + step, 0, int(m_shown.size()) - 1);
        setCurrentEntry(row);
        m_list->scrollTo(m_list->currentIndex());
        return;
    }
    case Qt::Key_Return:
    case Qt::Key_Enter:
        pickEntry(m_list->currentIndex().row());
        return;
    default:
        // Typing (and its editing keys) goes to the search box.
        if (m_search && (!event->text().isEmpty() || event->key() == Qt::Key_Backspace
                         || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Left
                         || event->key() == Qt::Key_Right || event->key() == Qt::Key_Home
                         || event->key() == Qt::Key_End)) {
            QCoreApplication::sendEvent(m_search, event);
            return;
        }
        QFrame::keyPressEvent(event);
    }
}

} // namespace orvane::filter
