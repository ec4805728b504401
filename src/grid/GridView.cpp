#include "grid/GridView.h"

#include "common/Errors.h"
#include "grid/BusyCursor.h"
#include "grid/CustomizationWindow.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>
#include <QToolTip>

#include <algorithm>
#include <iterator>

namespace orvane::grid {

namespace {

constexpr int kIndicatorWidth = 12;
constexpr int kResizeMargin = 3;
constexpr int kFilterButtonWidth = 14;
constexpr int kCellPadding = 3;
constexpr int kHideDistance = 24;   // a header dragged this far off the headers hides

Qt::Alignment toQt(Alignment a)
{
    switch (a) {
    case Alignment::Left:
        return Qt::AlignLeft;
    case Alignment::Center:
        return Qt::AlignHCenter;
    case Alignment::Right:
        return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

const QColor kGridLine(0xD4, 0xD4, 0xD4);

// The filter button's picture: a funnel, so it is not taken for the sort
// arrow that the header draws beside it.
void drawFilterFunnel(QPainter& p, const QRect& button)
{
    const QRectF area = QRectF(button).adjusted(1, 0, -1, 0);
    const qreal side = std::min({area.width(), area.height() - 6, qreal(9)});
    if (side <= 0)
        return;
    const QRectF box(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
    const qreal stem = std::max<qreal>(side / 5, 1);
    const QPointF points[] = {
        box.topLeft(), box.topRight(), {box.center().x() + stem, box.top() + side * 0.5},
        {box.center().x() + stem, box.bottom()}, {box.center().x() - stem, box.bottom() - stem},
        {box.center().x() - stem, box.top() + side * 0.5},
    };
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QApplication::palette().color(QPalette::ButtonText));
    p.drawPolygon(points, int(std::size(points)));
    p.restore();
}
const QColor kSeparator(0xB8, 0xB8, 0xB8);
const QColor kFocusedRow(0xDC, 0xE8, 0xF8);
// Texts changed since the import: an amber that stands out from the grid's
// greys and blues without shouting.
const QColor kChangeMark(0xE0, 0x8A, 0x1E);

} // namespace

GridView::GridView(GridViewModel& model, QWidget* parent) : QAbstractScrollArea(parent), m_model(model)
{
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    verticalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setSingleStep(20);

    connect(&m_model, &GridViewModel::layoutChanged, this, [this] {
        relayout();
        viewport()->update();
    });
    connect(&m_model, &GridViewModel::rowsReset, this, [this] {
        updateScrollBars();
        if (isEditing() && !m_committing) {
            // Rows arriving or re-sorted: the editor stays with its row, found by rowid.
            const int viewRow = m_model.viewRowOfKey(m_editRowKey);
            if (viewRow < 0) {
                cancelEditing();
            } else {
                m_editRow = m_model.tableRow(viewRow);
                m_editor->setGeometry(cellRect(viewRow, m_editColumn));
            }
        }
        viewport()->update();
    });
    connect(&m_model, &GridViewModel::rowsInserted, this, [this](int first, int) {
        updateScrollBars();
        const int top = firstVisibleRow();
        if (first < top + visibleRowCapacity())
            viewport()->update();
    });
    connect(&m_model, &GridViewModel::rowChanged, this, [this](int row) {
        const QRect r(0, headerHeight() + (row - firstVisibleRow()) * (m_rowHeight + m_model.options().rowSeparatorWidth),
                      viewport()->width(), m_rowHeight);
        viewport()->update(r);
    });
    // A sort mark takes room from the caption, which may then need two lines.
    connect(&m_model, &GridViewModel::sortChanged, this, [this] {
        relayout();
        viewport()->update();
    });
    connect(&m_model, &GridViewModel::focusedRowChanged, this, [this](int row) {
        if (row >= 0 && m_drag == DragKind::None)
            ensureVisible(row, -1);
        viewport()->update();
    });
    relayout();
}

GridView::~GridView()
{
    if (m_customization)
        m_customization->deleteLater();
}

// --- geometry ---------------------------------------------------------------

int GridView::indicatorWidth() const
{
    return m_model.options().rowIndicator ? kIndicatorWidth : 0;
}

int GridView::headerHeight() const
{
    const GridViewOptions& o = m_model.options();
    return (o.bandHeaders ? m_headerRowHeight : 0) + (o.columnHeaders ? m_columnRowHeight * m_model.headerRowCount() : 0);
}

namespace {

// Places where a caption may break: before a blank, and before a capital
// that starts a word (after a small letter, or before a small letter after
// capitals: "WBSCode" breaks as "WBS" / "Code").
std::vector<qsizetype> captionBreaks(const QString& caption)
{
    std::vector<qsizetype> breaks;
    for (qsizetype i = 1; i < caption.size(); ++i) {
        const QChar prev = caption[i - 1], c = caption[i];
        const bool next = i + 1 < caption.size() && caption[i + 1].isLower();
        if ((c.isSpace() && !prev.isSpace()) || (c.isUpper() && (prev.isLower() || (prev.isUpper() && next))))
            breaks.push_back(i);
    }
    return breaks;
}

// The caption split at `at` into two lines (the blank at a break is dropped).
std::pair<QString, QString> splitCaption(const QString& caption, qsizetype at)
{
    return {caption.left(at).trimmed(), caption.mid(at).trimmed()};
}

} // namespace

// Text room inside a header of this width: the style's label area, less
// the sort mark where the column is sorted.
int GridView::captionRoom(int columnId, int headerWidth, bool withMarks) const
{
    QStyleOptionHeader opt;
    opt.initFrom(this);
    opt.rect = QRect(0, 0, headerWidth - (withMarks ? filterButtonRoom(columnId) : 0), m_columnRowHeight);
    opt.orientation = Qt::Horizontal;
    opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
    const GridColumn& c = m_model.column(columnId);
    opt.sortIndicator = c.sortOrder == SortOrder::Ascending || withMarks ? QStyleOptionHeader::SortDown
                        : c.sortOrder == SortOrder::Descending       ? QStyleOptionHeader::SortUp
                                                                     : QStyleOptionHeader::None;
    return style()->subElementRect(QStyle::SE_HeaderLabel, &opt, this).width();
}

int GridView::filterButtonRoom(int columnId) const
{
    const GridColumn* c = m_model.columnById(columnId);
    return m_filterButtons && c && c->filtering ? kFilterButtonWidth + kResizeMargin + 1 : 0;
}

QString GridView::headerText(int columnId) const
{
    const QString caption = m_model.columnCaption(columnId);
    const ColumnGeometry* g = geometryOf(columnId);
    const QFontMetrics fm = fontMetrics();
    const int room = g ? captionRoom(columnId, g->width) : 0;
    if (!g || fm.horizontalAdvance(caption) <= room)
        return caption;
    // The break whose longer line is the shortest.
    QString best = caption;
    int bestWidth = fm.horizontalAdvance(caption);
    for (qsizetype at : captionBreaks(caption)) {
        const auto [first, second] = splitCaption(caption, at);
        const int w = std::max(fm.horizontalAdvance(first), fm.horizontalAdvance(second));
        if (w < bestWidth) {
            bestWidth = w;
            best = first + QLatin1Char('\n') + second;
        }
    }
    return best;
}

int GridView::captionWidth(int columnId, bool withMarks) const
{
    const QString caption = m_model.columnCaption(columnId);
    const QFontMetrics fm = fontMetrics();
    int textWidth = fm.horizontalAdvance(caption);
    for (qsizetype at : captionBreaks(caption)) {
        const auto [first, second] = splitCaption(caption, at);
        textWidth = std::min(textWidth, std::max(fm.horizontalAdvance(first), fm.horizontalAdvance(second)));
    }
    // The style's margins (and sort mark) do not depend on the width.
    const int probe = 400;
    return textWidth + probe - captionRoom(columnId, probe, withMarks);
}

void GridView::updateHeaderMetrics()
{
    const QFontMetrics fm(font());
    m_rowHeight = fm.height() + 4;
    m_headerRowHeight = fm.height() + 6;
    int lines = 1;
    for (const ColumnGeometry& g : m_columns)
        if (headerText(g.id).contains(QLatin1Char('\n')))
            lines = 2;
    m_columnRowHeight = lines * fm.height() + 6;
}

int GridView::visibleRowCapacity() const
{
    const int pitch = m_rowHeight + m_model.options().rowSeparatorWidth;
    return std::max(1, (viewport()->height() - headerHeight() + pitch - 1) / pitch);
}

int GridView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

void GridView::relayout()
{
    m_columns.clear();
    m_bands.clear();
    m_leftWidth = m_rightWidth = m_scrollWidth = 0;
    const QVector<int> bands = m_model.visibleBands();
    for (int b : bands) {
        const FixedSide side = m_model.band(b).fixedSide;
        const int w = m_model.bandWidth(b);
        if (side == FixedSide::Left)
            m_leftWidth += w;
        else if (side == FixedSide::Right)
            m_rightWidth += w;
        else
            m_scrollWidth += w;
    }
    const int vw = viewport()->width();
    const int ind = indicatorWidth();
    const int hscroll = horizontalScrollBar()->value();
    int leftX = ind;
    int scrollX = ind + m_leftWidth - hscroll;
    int rightX = std::min(vw - m_rightWidth, ind + m_leftWidth + m_scrollWidth);
    rightX = std::max(rightX, ind + m_leftWidth);
    for (int b : bands) {
        const FixedSide side = m_model.band(b).fixedSide;
        int& x = side == FixedSide::Left ? leftX : side == FixedSide::Right ? rightX : scrollX;
        const Region region = side == FixedSide::Left    ? Region::LeftFixed
                              : side == FixedSide::Right ? Region::RightFixed
                                                         : Region::Scrolling;
        const int w = m_model.bandWidth(b);
        m_bands.push_back({b, x, w, region});
        int cx = x;
        for (int id : m_model.visibleColumns(b)) {
            const int cw = m_model.columnWidth(id);
            m_columns.push_back({id, b, cx, cw, region});
            cx += cw;
        }
        x += w;
    }
    updateHeaderMetrics();
    updateScrollBars();
}

void GridView::updateScrollBars()
{
    const int middle = std::max(0, viewport()->width() - indicatorWidth() - m_leftWidth - m_rightWidth);
    QScrollBar* h = horizontalScrollBar();
    h->setPageStep(std::max(1, middle));
    h->setRange(0, std::max(0, m_scrollWidth - middle));
    QScrollBar* v = verticalScrollBar();
    const int pitch = m_rowHeight + m_model.options().rowSeparatorWidth;
    const int fullRows = std::max(1, (viewport()->height() - headerHeight()) / pitch);
    v->setPageStep(fullRows);
    v->setRange(0, std::max(0, m_model.rowCount() - fullRows));
}

QRect GridView::regionClip(Region region) const
{
    const int ind = indicatorWidth();
    const int h = viewport()->height();
    switch (region) {
    case Region::LeftFixed:
        return QRect(ind, 0, m_leftWidth, h);
    case Region::Scrolling: {
        const int right = m_bands.empty() ? viewport()->width() : viewport()->width() - m_rightWidth;
        return QRect(ind + m_leftWidth, 0, std::max(0, right - ind - m_leftWidth), h);
    }
    case Region::RightFixed:
        return QRect(viewport()->width() - m_rightWidth, 0, m_rightWidth, h);
    }
    return QRect();
}

const GridView::ColumnGeometry* GridView::geometryOf(int columnId) const
{
    for (const ColumnGeometry& g : m_columns)
        if (g.id == columnId)
            return &g;
    return nullptr;
}

QRect GridView::cellRect(int viewRow, int columnId) const
{
    const ColumnGeometry* g = geometryOf(columnId);
    if (!g)
        return QRect();
    const int pitch = m_rowHeight + m_model.options().rowSeparatorWidth;
    return QRect(g->x, headerHeight() + (viewRow - firstVisibleRow()) * pitch, g->width, m_rowHeight);
}

QRect GridView::columnHeaderRect(int columnId) const
{
    const ColumnGeometry* g = geometryOf(columnId);
    if (!g || !m_model.options().columnHeaders)
        return QRect();
    const int top = m_model.options().bandHeaders ? m_headerRowHeight : 0;
    const GridColumn& c = m_model.column(columnId);
    return QRect(g->x, top + c.rowIndex * m_columnRowHeight, g->width, c.rowSpan * m_columnRowHeight);
}

QRect GridView::bandHeaderRect(int band) const
{
    for (const BandGeometry& b : m_bands)
        if (b.band == band && m_model.options().bandHeaders)
            return QRect(b.x, 0, b.width, m_headerRowHeight);
    return QRect();
}

int GridView::columnAt(const QPoint& pos) const
{
    // Fixed regions lie above the scrolling one.
    for (Region region : {Region::LeftFixed, Region::RightFixed, Region::Scrolling}) {
        if (!regionClip(region).contains(pos.x(), std::clamp(pos.y(), 0, viewport()->height() - 1)))
            continue;
        for (const ColumnGeometry& g : m_columns)
            if (g.region == region && pos.x() >= g.x && pos.x() < g.x + g.width)
                return g.id;
    }
    return -1;
}

int GridView::rowAt(const QPoint& pos) const
{
    const int y = pos.y() - headerHeight();
    if (y < 0)
        return -1;
    const int row = firstVisibleRow() + y / (m_rowHeight + m_model.options().rowSeparatorWidth);
    return row < m_model.rowCount() ? row : -1;
}

// The column whose right edge is under the point of a column header.
int GridView::resizeHandleAt(const QPoint& pos) const
{
    for (const ColumnGeometry& g : m_columns) {
        const QRect r = columnHeaderRect(g.id);
        if (pos.y() < r.top() || pos.y() > r.bottom())
            continue;
        const int edge = g.x + g.width;
        if (std::abs(pos.x() - edge) <= kResizeMargin && regionClip(g.region).adjusted(-kResizeMargin, 0, kResizeMargin, 0).contains(pos))
            return g.id;
    }
    return -1;
}

void GridView::ensureVisible(int viewRow, int columnId)
{
    if (viewRow >= 0) {
        QScrollBar* v = verticalScrollBar();
        const int full = v->pageStep();
        if (viewRow < v->value())
            v->setValue(viewRow);
        else if (viewRow >= v->value() + full)
            v->setValue(viewRow - full + 1);
    }
    if (columnId >= 0) {
        const ColumnGeometry* g = geometryOf(columnId);
        if (g && g->region == Region::Scrolling) {
            const QRect clip = regionClip(Region::Scrolling);
            QScrollBar* h = horizontalScrollBar();
            if (g->x < clip.left())
                h->setValue(h->value() - (clip.left() - g->x));
            else if (g->x + g->width > clip.right() + 1)
                h->setValue(h->value() + std::min(g->x - clip.left(), g->x + g->width - clip.right() - 1));
        }
    }
}

void GridView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void GridView::scrollContentsBy(int dx, int)
{
    if (dx != 0)
        relayout();
    if (isEditing())
        m_editor->setGeometry(cellRect(m_model.viewRowOf(m_editRow), m_editColumn));
    viewport()->update();
}

bool GridView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave)
        setHoverHeaderColumn(-1);
    if (event->type() == QEvent::ToolTip) {
        // Full caption or cell text where the column is too narrow for it.
        auto* help = static_cast<QHelpEvent*>(event);
        const QPoint pos = help->pos();
        QString text;
        QRect area;
        if (pos.y() < headerHeight()) {
            const int column = pos.y() >= (m_model.options().bandHeaders ? m_headerRowHeight : 0) ? columnAt(pos) : -1;
            // A caption that shows whole, on one line or two, needs no tooltip.
            if (column >= 0 && captionWidth(column) > columnHeaderRect(column).width()) {
                area = columnHeaderRect(column);
                text = m_model.columnCaption(column);
            }
        } else if (rowAt(pos) >= 0 && columnAt(pos) >= 0) {
            area = cellRect(rowAt(pos), columnAt(pos));
            if (m_model.editorKind(columnAt(pos)) != EditorKind::CheckBox)
                text = m_model.toolTipText(rowAt(pos), columnAt(pos));
        }
        // A cell that shows less than its whole value (a shortened text, a
        // date without its time of day) tells the rest on hovering.
        if (!text.isEmpty()
            && (fontMetrics().horizontalAdvance(text) + 2 * kCellPadding + 12 > area.width()
                || (rowAt(pos) >= 0 && text != m_model.displayText(rowAt(pos), columnAt(pos)))))
            QToolTip::showText(help->globalPos(), text, viewport(), area);
        else
            QToolTip::hideText();
        return true;
    }
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        relayout();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

// --- painting ---------------------------------------------------------------

void GridView::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    const QRect dirty = event->rect();
    p.fillRect(dirty, palette().color(QPalette::Base));
    paintRows(p, dirty);
    if (dirty.top() < headerHeight())
        paintHeaders(p);
}

void GridView::paintHeaders(QPainter& p)
{
    const GridViewOptions& o = m_model.options();
    QStyleOptionHeader opt;
    opt.initFrom(this);
    opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
    opt.orientation = Qt::Horizontal;
    const int top = o.bandHeaders ? m_headerRowHeight : 0;

    // The style clips each header to its own rectangle, replacing the
    // painter's clip: regions are painted scrolling first, so the fixed
    // ones and the indicator cover what the scrolled headers overdraw.
    for (Region region : {Region::Scrolling, Region::LeftFixed, Region::RightFixed}) {
        p.save();
        p.setClipRect(regionClip(region).intersected(QRect(0, 0, viewport()->width(), headerHeight())));
        if (o.bandHeaders) {
            for (const BandGeometry& b : m_bands) {
                if (b.region != region)
                    continue;
                // A scrolled band keeps its caption in sight.
                opt.rect = QRect(b.x, 0, b.width, m_headerRowHeight).intersected(regionClip(region));
                opt.text = m_model.band(b.band).caption;
                opt.textAlignment = toQt(m_model.band(b.band).headerAlignment) | Qt::AlignVCenter;
                opt.sortIndicator = QStyleOptionHeader::None;
                opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
                if (m_drag == DragKind::MoveBand && m_dragItem == b.band)
                    opt.state |= QStyle::State_Sunken;
                style()->drawControl(QStyle::CE_Header, &opt, &p, this);
            }
        }
        if (o.columnHeaders) {
            // The band's area below its columns (a band wider than its columns).
            for (const BandGeometry& b : m_bands) {
                if (b.region == region)
                    p.fillRect(QRect(b.x, top, b.width, headerHeight() - top), palette().color(QPalette::Button));
            }
            for (const ColumnGeometry& g : m_columns) {
                if (g.region != region)
                    continue;
                const GridColumn& c = m_model.column(g.id);
                opt.rect = columnHeaderRect(g.id);
                // A column running under the right band ends, edge drawn,
                // where the band begins, so no part of its caption seems
                // to belong to the band's first caption.
                if (region == Region::Scrolling)
                    opt.rect.setRight(std::min(opt.rect.right(), regionClip(region).right()));
                // Wholly under the band: nothing of it shows (and the style
                // cannot draw an empty header).
                if (opt.rect.width() <= 0)
                    continue;
                opt.text = headerText(g.id);
                opt.textAlignment = toQt(c.headerAlignment) | Qt::AlignVCenter;
                opt.sortIndicator = c.sortOrder == SortOrder::Ascending    ? QStyleOptionHeader::SortDown
                                    : c.sortOrder == SortOrder::Descending ? QStyleOptionHeader::SortUp
                                                                           : QStyleOptionHeader::None;
                opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
                if (m_drag == DragKind::MoveColumn && m_dragItem == g.id)
                    opt.state |= QStyle::State_Sunken;
                // The filter button shows on the header under the pointer
                // only, so narrow columns keep their caption readable.
                const QRect button = g.id == m_hoverHeaderColumn ? filterButtonRect(g.id) : QRect();
                if (!button.isEmpty())
                    opt.rect.setRight(button.left() - 1);
                style()->drawControl(QStyle::CE_Header, &opt, &p, this);
                if (!button.isEmpty()) {
                    QStyleOptionHeader back = opt;
                    back.rect = QRect(button.left(), button.top(), columnHeaderRect(g.id).right() - button.left() + 1,
                                      button.height());
                    back.text.clear();
                    back.sortIndicator = QStyleOptionHeader::None;
                    style()->drawControl(QStyle::CE_Header, &back, &p, this);
                    drawFilterFunnel(p, button);
                }
            }
        }
        p.restore();
    }
    if (indicatorWidth() > 0) {
        opt.rect = QRect(0, 0, indicatorWidth(), headerHeight());
        opt.text.clear();
        opt.sortIndicator = QStyleOptionHeader::None;
        opt.state = QStyle::State_Enabled | QStyle::State_Raised | QStyle::State_Horizontal;
        style()->drawControl(QStyle::CE_Header, &opt, &p, this);
    }
    // Where a dragged column would land.
    if (m_drag == DragKind::MoveColumn) {
        const int band = m_model.column(m_dragItem).band;
        const int before = dropTargetBefore(band, m_dragPos);
        int x = -1;
        if (before >= 0) {
            if (const ColumnGeometry* g = geometryOf(before))
                x = g->x;
        } else if (!m_model.visibleColumns(band).isEmpty()) {
            if (const ColumnGeometry* g = geometryOf(m_model.visibleColumns(band).last()))
                x = g->x + g->width;
        }
        if (x >= 0 && m_dragPos.y() < headerHeight() + kHideDistance) {
            p.fillRect(QRect(x - 1, top, 3, headerHeight() - top), palette().color(QPalette::Highlight));
        }
    }
}

void GridView::paintRows(QPainter& p, const QRect& dirty)
{
    const int sep = m_model.options().rowSeparatorWidth;
    const int pitch = m_rowHeight + sep;
    const int top = headerHeight();
    const int first = firstVisibleRow();
    const int count = m_model.rowCount();
    const int focused = m_model.focusedRow();
    const int firstRow = std::max(first, first + (dirty.top() - top) / pitch);
    const int lastRow = std::min(count - 1, first + (dirty.bottom() - top) / pitch);
    const GridLines lines = m_model.options().gridLines;
    const bool vertical = lines == GridLines::Both || lines == GridLines::VerticalOnly;
    const bool horizontal = lines == GridLines::Both || lines == GridLines::HorizontalOnly;

    for (Region region : {Region::Scrolling, Region::LeftFixed, Region::RightFixed}) {
        const QRect clip = regionClip(region).intersected(QRect(0, top, viewport()->width(), viewport()->height() - top));
        if (clip.isEmpty() || !clip.intersects(dirty))
            continue;
        p.save();
        p.setClipRect(clip.intersected(dirty));
        for (const ColumnGeometry& g : m_columns) {
            if (g.region != region || g.x + g.width <= clip.left() || g.x >= clip.right() + 1)
                continue;
            if (g.x + g.width <= dirty.left() || g.x > dirty.right())
                continue;
            for (int row = firstRow; row <= lastRow; ++row) {
                const QRect cell(g.x, top + (row - first) * pitch, g.width, m_rowHeight);
                paintCell(p, g, row, cell, row == focused);
                if (vertical)
                    p.fillRect(QRect(cell.right(), cell.top(), 1, pitch), kGridLine);
                if (sep > 0)
                    p.fillRect(QRect(cell.left(), cell.bottom() + 1, cell.width(), sep), horizontal ? kSeparator : kGridLine);
            }
        }
        // Band area right of its columns.
        for (const BandGeometry& b : m_bands) {
            if (b.region != region)
                continue;
            int used = 0;
            for (int id : m_model.visibleColumns(b.band))
                used += m_model.columnWidth(id);
            if (used < b.width)
                p.fillRect(QRect(b.x + used, top, b.width - used, (lastRow - first + 1) * pitch), palette().color(QPalette::Window));
        }
        p.restore();
    }
    // The fixed bands' edges.
    p.setPen(palette().color(QPalette::Dark));
    if (m_leftWidth > 0)
        p.drawLine(indicatorWidth() + m_leftWidth - 1, top, indicatorWidth() + m_leftWidth - 1, viewport()->height());
    if (m_rightWidth > 0) {
        const QRect r = regionClip(Region::RightFixed);
        p.drawLine(r.left(), top, r.left(), viewport()->height());
    }

    if (indicatorWidth() > 0) {
        const int rows = std::max(0, lastRow - first + 1);
        const QRect ind(0, top, indicatorWidth(), rows * pitch);
        p.fillRect(ind, palette().color(QPalette::Button));
        p.setPen(palette().color(QPalette::Mid));
        for (int row = first; row <= lastRow; ++row) {
            const int y = top + (row - first) * pitch;
            p.drawLine(0, y + m_rowHeight, indicatorWidth() - 1, y + m_rowHeight);
            if (row == focused) {
                p.save();
                p.setRenderHint(QPainter::Antialiasing);
                p.setBrush(palette().color(QPalette::WindowText));
                p.setPen(Qt::NoPen);
                const int cy = y + m_rowHeight / 2;
                if (isEditing()) {
                    p.fillRect(QRect(4, cy - 4, 2, 9), palette().color(QPalette::WindowText));
                } else {
                    const QPointF tri[3] = {QPointF(3, cy - 4), QPointF(8, cy), QPointF(3, cy + 4)};
                    p.drawPolygon(tri, 3);
                }
                p.restore();
            }
        }
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(indicatorWidth() - 1, top, indicatorWidth() - 1, top + rows * pitch);
    }
}

void GridView::paintCell(QPainter& p, const ColumnGeometry& g, int viewRow, const QRect& rect, bool focusedRow)
{
    const GridColumn& c = m_model.column(g.id);
    const bool focusedCell = focusedRow && g.id == m_focusedColumn && hasFocus();
    QColor text = palette().color(QPalette::Text);
    if (focusedCell) {
        p.fillRect(rect, palette().color(QPalette::Highlight));
        text = palette().color(QPalette::HighlightedText);
    } else if (focusedRow) {
        p.fillRect(rect, kFocusedRow);
    }
    if (m_model.editorKind(g.id) == EditorKind::CheckBox) {
        const QVariant v = m_model.value(viewRow, g.id);
        QStyleOptionButton opt;
        opt.initFrom(this);
        const int size = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
        opt.rect = QRect(rect.center().x() - size / 2 + 1, rect.center().y() - size / 2 + 1, size, size);
        opt.state = QStyle::State_Enabled | (v.toBool() ? QStyle::State_On : QStyle::State_Off);
        if (c.readOnly)
            opt.state &= ~QStyle::State_Enabled;
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &opt, &p, this);
        return;
    }
    if (m_model.isChangedCell(viewRow, g.id))
        paintChangeMark(p, rect);
    const QString s = m_model.displayText(viewRow, g.id);
    if (s.isEmpty())
        return;
    const QRect textRect = rect.adjusted(kCellPadding, 0, -kCellPadding - 1, 0);
    const QFontMetrics& fm = p.fontMetrics();
    p.setPen(text);
    if (fm.horizontalAdvance(s) > textRect.width()) {
        if (textRect.width() >= fm.horizontalAdvance(QStringLiteral("\u2026")) + 2) {
            p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, fm.elidedText(s, Qt::ElideRight, textRect.width()));
        } else {
            // Too narrow even for the mark: a blank would read as "no
            // value", so the cell shows "#" as spreadsheets do, cut at its edge.
            p.save();
            p.setClipRect(rect.adjusted(0, 0, -1, 0), Qt::IntersectClip);
            p.drawText(rect.adjusted(1, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("###"));
            p.restore();
        }
    } else
        p.drawText(textRect, Qt::AlignVCenter | toQt(c.contentAlignment), s);
}

// A text changed since the import: a small corner in the cell's top left,
// seen at a glance without hiding any of the text.
void GridView::paintChangeMark(QPainter& p, const QRect& rect)
{
    const int size = std::min(7, rect.height() / 2);
    const QPointF corner[3] = {QPointF(rect.left(), rect.top()), QPointF(rect.left() + size, rect.top()),
                               QPointF(rect.left(), rect.top() + size)};
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kChangeMark);
    p.drawPolygon(corner, 3);
    p.restore();
}

void GridView::setHoverHeaderColumn(int columnId)
{
    if (columnId == m_hoverHeaderColumn)
        return;
    m_hoverHeaderColumn = columnId;
    viewport()->update(0, 0, viewport()->width(), headerHeight());
}

void GridView::setFilterButtonsVisible(bool visible)
{
    m_filterButtons = visible;
    viewport()->update();
}

QRect GridView::filterButtonRect(int columnId) const
{
    const GridColumn* c = m_model.columnById(columnId);
    if (!m_filterButtons || !c || !c->filtering)
        return QRect();
    const QRect header = columnHeaderRect(columnId);
    if (header.width() <= 0)
        return QRect();
    // The button keeps clear of the resize handles at the header's edges.
    const int clear = kResizeMargin + 1;
    const int right = header.right() - clear;
    if (header.width() >= 28)
        return QRect(right - kFilterButtonWidth + 1, header.top(), kFilterButtonWidth, header.height());
    // A narrow column (its caption hardly shows): all that the handles
    // leave is button; a very narrow one is all button (a press on it wins
    // over the handles).
    const int room = header.width() - 2 * clear;
    if (room >= 6)
        return QRect(header.left() + clear, header.top(), room, header.height());
    return header.adjusted(std::min(1, header.width() - 1), 0, -std::min(1, header.width() - 1), 0);
}

// --- focus, editing ---------------------------------------------------------

void GridView::setFocusedColumn(int id)
{
    if (id == m_focusedColumn)
        return;
    if (isEditing())
        commitEditing();
    m_focusedColumn = id;
    ensureVisible(-1, id);
    viewport()->update();
}

void GridView::moveFocus(int viewRow, int columnId)
{
    if (isEditing())
        commitEditing();
    if (columnId >= 0)
        setFocusedColumn(columnId);
    if (viewRow >= 0 && viewRow < m_model.rowCount()) {
        try {
            m_model.setFocusedRow(viewRow);
        } catch (const OrvaneError& e) {
            reportError(e.message());
        }
        ensureVisible(m_model.focusedRow(), m_focusedColumn);
    }
    viewport()->update();
}

bool GridView::isEditing() const
{
    return m_editor && m_editor->isVisible();
}

bool GridView::startEditing(const QString& initialText, bool replace)
{
    const int row = m_model.focusedRow();
    if (row < 0 || m_focusedColumn < 0 || !m_model.isColumnEditable(m_focusedColumn)
        || m_model.editorKind(m_focusedColumn) == EditorKind::CheckBox)
        return false;
    if (!m_editor) {
        m_editor = new QLineEdit(viewport());
        m_editor->setFrame(false);
        m_editor->installEventFilter(this);
        m_editor->hide();
    }
    ensureVisible(row, m_focusedColumn);
    m_editRow = m_model.tableRow(row);
    m_editRowKey = m_model.rowKey(row);
    m_editColumn = m_focusedColumn;
    m_editor->setGeometry(cellRect(row, m_focusedColumn));
    m_editor->setText(replace ? initialText : m_model.displayText(row, m_focusedColumn));
    m_editor->show();
    m_editor->setFocus();
    if (!replace)
        m_editor->selectAll();
    viewport()->update();
    return true;
}

void GridView::commitEditing()
{
    if (!isEditing() || m_committing)
        return;
    m_committing = true;
    const QString text = m_editor->text();
    const int viewRow = m_model.viewRowOf(m_editRow);
    const int column = m_editColumn;
    m_editor->hide();
    if (viewRow >= 0 && text != m_model.displayText(viewRow, column)) {
        try {
            m_model.setCellValue(viewRow, column, text.isEmpty() ? QVariant() : QVariant(text));
        } catch (const OrvaneError& e) {
            reportError(e.message());
        }
    }
    m_committing = false;
    m_editRow = m_editColumn = -1;
    setFocus();
    viewport()->update();
}

void GridView::cancelEditing()
{
    if (!m_editor)
        return;
    m_committing = true;
    m_editor->hide();
    m_committing = false;
    m_editRow = m_editColumn = -1;
    setFocus();
    viewport()->update();
}

void GridView::toggleCheck(int viewRow, int columnId)
{
    if (!m_model.isColumnEditable(columnId))
        return;
    try {
        m_model.setCellValue(viewRow, columnId, !m_model.value(viewRow, columnId).toBool());
    } catch (const OrvaneError& e) {
        reportError(e.message());
    }
}

void GridView::reportError(const QString& message)
{
    if (isSignalConnected(QMetaMethod::fromSignal(&GridView::editError)))
        emit editError(message);
    else
        QMessageBox::critical(window(), QCoreApplication::applicationName(), message);
}

bool GridView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_editor) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            switch (key->key()) {
            case Qt::Key_Return:
            case Qt::Key_Enter:
                commitEditing();
                return true;
            case Qt::Key_Escape:
                cancelEditing();
                return true;
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Tab:
            case Qt::Key_Backtab:
                commitEditing();
                keyPressEvent(key);
                return true;
            default:
                break;
            }
        } else if (event->type() == QEvent::FocusOut) {
            if (!m_committing)
                commitEditing();
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

int GridView::contentWidth(int columnId) const
{
    // Only the longest texts can be the widest: measure those.
    const QFontMetrics metrics = fontMetrics();
    const int rows = m_model.rowCount();
    qsizetype longest = 0;
    for (int row = 0; row < rows; ++row)
        longest = std::max(longest, m_model.displayText(row, columnId).size());
    int width = 0;
    for (int row = 0; row < rows; ++row) {
        const QString text = m_model.displayText(row, columnId);
        if (text.size() + 2 >= longest)
            width = std::max(width, metrics.horizontalAdvance(text) + 2 * kCellPadding + 2);
    }
    return width;
}

bool GridView::focusNextPrevChild(bool next)
{
    if (!m_model.visibleColumnsInOrder().isEmpty())
        return false;   // keyPressEvent moves the cell
    return QAbstractScrollArea::focusNextPrevChild(next);
}

void GridView::keyPressEvent(QKeyEvent* event)
{
    if (isEditing()) {
        // Typing that reaches the grid while its editor is open belongs to
        // the editor. A key the editor ignores (a lone Shift, say) comes back
        // here from the editor itself and must not be sent to it again.
        if (m_forwardingKey) {
            event->ignore();
            return;
        }
        m_forwardingKey = true;
        QCoreApplication::sendEvent(m_editor, event);
        m_forwardingKey = false;
        return;
    }
    const int row = m_model.focusedRow();
    const QVector<int> order = m_model.visibleColumnsInOrder();
    const int colIndex = int(order.indexOf(m_focusedColumn));
    const int page = std::max(1, verticalScrollBar()->pageStep());
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Up:
        moveFocus(std::max(0, row - 1), -1);
        return;
    case Qt::Key_Down:
        moveFocus(std::min(m_model.rowCount() - 1, row + 1), -1);
        return;
    case Qt::Key_PageUp:
        moveFocus(std::max(0, row - page), -1);
        return;
    case Qt::Key_PageDown:
        moveFocus(std::min(m_model.rowCount() - 1, row + page), -1);
        return;
    case Qt::Key_Home:
        if (ctrl)
            moveFocus(0, -1);
        else if (!order.isEmpty())
            moveFocus(-1, order.first());
        return;
    case Qt::Key_End:
        if (ctrl)
            moveFocus(m_model.rowCount() - 1, -1);
        else if (!order.isEmpty())
            moveFocus(-1, order.last());
        return;
    case Qt::Key_Left:
    case Qt::Key_Backtab:
        if (colIndex > 0)
            moveFocus(-1, order[colIndex - 1]);
        return;
    case Qt::Key_Right:
    case Qt::Key_Tab:
        if (colIndex >= 0 && colIndex + 1 < order.size())
            moveFocus(-1, order[colIndex + 1]);
        else if (colIndex < 0 && !order.isEmpty())
            moveFocus(-1, order.first());
        return;
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        startEditing();
        return;
    case Qt::Key_Space:
        if (m_focusedColumn >= 0 && m_model.editorKind(m_focusedColumn) == EditorKind::CheckBox) {
            toggleCheck(row, m_focusedColumn);
            return;
        }
        break;
    case Qt::Key_Insert:
    case Qt::Key_Delete:
        // Rows are neither inserted nor deleted from the grid.
        return;
    default:
        break;
    }
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).isPrint() && !ctrl) {
        startEditing(text, true);   // refused silently on a read-only column
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

// --- mouse ------------------------------------------------------------------

void GridView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    m_dragStart = m_dragPos = pos;
    setFocus();
    if (pos.y() < headerHeight()) {
        const int buttonColumn = columnAt(pos);
        if (buttonColumn >= 0 && filterButtonRect(buttonColumn).contains(pos)) {
            const QRect header = columnHeaderRect(buttonColumn);
            emit filterButtonClicked(buttonColumn, viewport()->mapToGlobal(header.bottomLeft() + QPoint(0, 1)));
            return;
        }
        const int handle = resizeHandleAt(pos);
        if (handle >= 0) {
            m_drag = DragKind::ResizeColumn;
            m_dragItem = handle;
            m_resizeStartWidth = m_model.columnWidth(handle);
            return;
        }
        if (m_model.options().bandHeaders && pos.y() < m_headerRowHeight) {
            for (const BandGeometry& b : m_bands) {
                if (bandHeaderRect(b.band).contains(pos) && regionClip(b.region).contains(pos)) {
                    m_drag = DragKind::PendingBand;
                    m_dragItem = b.band;
                    return;
                }
            }
            return;
        }
        const int column = columnAt(pos);
        if (column >= 0) {
            m_drag = DragKind::PendingColumn;
            m_dragItem = column;
        }
        return;
    }
    const int row = rowAt(pos);
    if (row < 0)
        return;
    const int column = columnAt(pos);
    const bool wasFocused = row == m_model.focusedRow() && column == m_focusedColumn;
    moveFocus(row, column);
    if (column < 0)
        return;
    if (m_model.editorKind(column) == EditorKind::CheckBox) {
        toggleCheck(m_model.focusedRow(), column);
    } else if (wasFocused) {
        startEditing();
    }
}

void GridView::mouseDoubleClickEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (pos.y() >= headerHeight() && rowAt(pos) >= 0 && columnAt(pos) >= 0
        && m_model.editorKind(columnAt(pos)) != EditorKind::CheckBox) {
        startEditing();
        return;
    }
    QAbstractScrollArea::mouseDoubleClickEvent(event);
}

void GridView::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    m_dragPos = pos;
    switch (m_drag) {
    case DragKind::None:
        viewport()->setCursor(pos.y() < headerHeight() && resizeHandleAt(pos) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
        setHoverHeaderColumn(pos.y() < headerHeight()
                                     && pos.y() >= (m_model.options().bandHeaders ? m_headerRowHeight : 0)
                                 ? columnAt(pos) : -1);
        return;
    case DragKind::ResizeColumn:
        m_model.resizeColumn(m_dragItem, m_resizeStartWidth + pos.x() - m_dragStart.x());
        return;
    case DragKind::PendingColumn:
    case DragKind::PendingBand:
        if ((pos - m_dragStart).manhattanLength() >= QApplication::startDragDistance())
            m_drag = m_drag == DragKind::PendingColumn ? DragKind::MoveColumn : DragKind::MoveBand;
        viewport()->update();
        return;
    case DragKind::MoveColumn:
    case DragKind::MoveBand:
        viewport()->setCursor(pos.y() > headerHeight() + kHideDistance || pos.y() < -kHideDistance ? Qt::ForbiddenCursor
                                                                                                : Qt::ArrowCursor);
        viewport()->update();
        return;
    }
}

// The visible column of `band` before which a drop at pos lands, or -1 for
// after the band's last visible column.
int GridView::dropTargetBefore(int band, const QPoint& pos) const
{
    const QVector<int> columns = m_model.visibleColumns(band);
    for (int id : columns) {
        if (id == m_dragItem && m_drag == DragKind::MoveColumn)
            continue;
        const ColumnGeometry* g = geometryOf(id);
        if (g && pos.x() < g->x + g->width / 2)
            return id;
    }
    return -1;
}

void GridView::finishColumnDrag(const QPoint& pos)
{
    const int id = m_dragItem;
    const GridColumn& c = m_model.column(id);
    if (pos.y() > headerHeight() + kHideDistance || pos.y() < -kHideDistance
        || (m_customization && m_customization->isVisible()
            && m_customization->frameGeometry().contains(viewport()->mapToGlobal(pos)))) {
        m_model.setColumnVisible(id, false);   // dragged away: hidden, offered by the customization window
        if (m_focusedColumn == id)
            m_focusedColumn = -1;
        return;
    }
    // Only within its own band.
    const int target = columnAt(QPoint(pos.x(), std::max(0, pos.y())));
    if (target < 0 && !bandHeaderRect(c.band).contains(QPoint(pos.x(), 1)))
        return;
    if (target >= 0 && m_model.column(target).band != c.band)
        return;
    m_model.showColumnAt(id, dropTargetBefore(c.band, pos));
}

void GridView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const DragKind drag = m_drag;
    m_drag = DragKind::None;
    switch (drag) {
    case DragKind::PendingColumn: {
        // A click on a header sorts by that column.
        const BusyCursor busy;
        const GridColumn& c = m_model.column(m_dragItem);
        const SortOrder next = c.sortOrder == SortOrder::Ascending ? SortOrder::Descending : SortOrder::Ascending;
        if (event->modifiers() & Qt::ControlModifier)
            m_model.setColumnSortOrder(m_dragItem, SortOrder::None);
        else if (event->modifiers() & Qt::ShiftModifier)
            m_model.setColumnSortOrder(m_dragItem, next);
        else
            m_model.sortBy(m_dragItem, next);
        break;
    }
    case DragKind::MoveColumn:
        finishColumnDrag(pos);
        break;
    case DragKind::MoveBand:
        if (m_model.options().bandHiding
            && (pos.y() > headerHeight() + kHideDistance || pos.y() < -kHideDistance
                || (m_customization && m_customization->isVisible()
                    && m_customization->frameGeometry().contains(viewport()->mapToGlobal(pos)))))
            m_model.setBandVisible(m_dragItem, false);
        break;
    default:
        break;
    }
    m_dragItem = -1;
    viewport()->setCursor(Qt::ArrowCursor);
    viewport()->update();
}

// --- drops from the customization window -----------------------------------

void GridView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(CustomizationWindow::kColumnMime)
        || event->mimeData()->hasFormat(CustomizationWindow::kBandMime))
        event->acceptProposedAction();
}

void GridView::dragMoveEvent(QDragMoveEvent* event)
{
    const QPoint pos = event->position().toPoint();   // viewport coordinates, as for mouse events
    const bool overHeader = pos.y() >= 0 && pos.y() < headerHeight();
    const QMimeData* mime = event->mimeData();
    if (overHeader && mime->hasFormat(CustomizationWindow::kBandMime)) {
        event->acceptProposedAction();
        return;
    }
    if (overHeader && mime->hasFormat(CustomizationWindow::kColumnMime)) {
        const int id = mime->data(CustomizationWindow::kColumnMime).toInt();
        const GridColumn* c = m_model.columnById(id);
        const int target = columnAt(pos);
        const bool ownBand = c && m_model.band(c->band).visible
                             && (target < 0 ? bandHeaderRect(c->band).contains(QPoint(pos.x(), 1))
                                            : m_model.column(target).band == c->band);
        if (ownBand) {
            event->acceptProposedAction();
            return;
        }
    }
    event->ignore();
}

void GridView::dropEvent(QDropEvent* event)
{
    const QPoint pos = event->position().toPoint();   // viewport coordinates, as for mouse events
    const QMimeData* mime = event->mimeData();
    if (mime->hasFormat(CustomizationWindow::kBandMime)) {
        m_model.setBandVisible(mime->data(CustomizationWindow::kBandMime).toInt(), true);
        event->acceptProposedAction();
        return;
    }
    if (mime->hasFormat(CustomizationWindow::kColumnMime)) {
        const int id = mime->data(CustomizationWindow::kColumnMime).toInt();
        const GridColumn* c = m_model.columnById(id);
        if (!c)
            return;
        m_model.showColumnAt(id, dropTargetBefore(c->band, pos));
        event->acceptProposedAction();
    }
}

// --- customization ----------------------------------------------------------

CustomizationWindow* GridView::openCustomization(int page)
{
    if (!m_customization) {
        m_customization = new CustomizationWindow(m_model, this);
        m_customization->show();
    }
    m_customization->raise();
    m_customization->selectPage(page);
    return m_customization;
}

} // namespace orvane::grid
