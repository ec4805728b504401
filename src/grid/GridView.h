#pragma once
// The banded grid widget: draws a GridViewModel and forwards the user's
// actions to it. Bands fixed at the left and at the right stay in place;
// the other bands scroll horizontally between them. Above the rows: a band
// header row and the column header row(s); at the left: the row indicator.
//
// Mouse: a click on a column header sorts by it (again: reverses; with
// Shift the column joins the sort; with Ctrl it leaves it); dragging a
// header's right edge sizes the column; dragging a header moves the column
// within its band, or hides it when dropped away from the headers; dragging
// a band header away hides the band. Columns and bands come back by being
// dragged from the customization window onto the headers.
//
// Editing: the in-place editor writes into the table's current row and
// posts it at once; a check box column toggles on click or Space. Read-only
// columns open no editor. Rows are never inserted or deleted here.

#include "grid/CustomizationWindow.h"
#include "grid/GridViewModel.h"

#include <QAbstractScrollArea>
#include <QPointer>

class QLineEdit;

namespace orvane::grid {

class GridView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit GridView(GridViewModel& model, QWidget* parent = nullptr);
    ~GridView() override;

    GridViewModel& model() const { return m_model; }

    // The focused column (ID), or -1.
    int focusedColumn() const { return m_focusedColumn; }
    void setFocusedColumn(int id);
    // Scrolls so a view row and a column are on screen.
    void ensureVisible(int viewRow, int columnId);
    int firstVisibleRow() const;

    // In-place editing of the focused cell; returns false when the column
    // refuses editing. `initialText` replaces the cell's text when given.
    bool startEditing(const QString& initialText = QString(), bool replace = false);
    bool isEditing() const;
    // Writes the editor's text into the row and posts it.
    void commitEditing();
    void cancelEditing();

    // Opens the customization window (creating it when closed) and shows
    // the given page: 0 "Bands", 1 "Columns".
    CustomizationWindow* openCustomization(int page);
    CustomizationWindow* customizationWindow() const { return m_customization; }

    // Filter buttons in the column headers of columns whose filtering is on;
    // off until the filter drop-down is connected to filterButtonClicked.
    void setFilterButtonsVisible(bool visible);
    bool filterButtonsVisible() const { return m_filterButtons; }
    // Where a column's filter button is (drawn while the pointer is over the
    // header): every column has one, however narrow.
    QRect filterButtonRect(int columnId) const;

    // Geometry, for tests and the customization drop logic.
    int rowHeight() const { return m_rowHeight; }
    int headerHeight() const;
    // A column's caption as its header shows it: on one line where it fits,
    // else broken into two lines between its words (at blanks and where a
    // capital letter starts a word, as in "Original" / "Duration").
    QString headerText(int columnId) const;
    // The header width at which a column's caption shows whole, on at most
    // two lines (with room for the sort mark of a sorted column; withMarks,
    // beside a sort mark and the filter button however the column stands).
    int captionWidth(int columnId, bool withMarks = false) const;
    QRect cellRect(int viewRow, int columnId) const;
    QRect columnHeaderRect(int columnId) const;
    QRect bandHeaderRect(int band) const;
    // Column ID under a point of the viewport (headers or rows), or -1.
    int columnAt(const QPoint& pos) const;
    int rowAt(const QPoint& pos) const;

signals:
    // An error from posting an edit; shown in an error box when nothing is
    // connected.
    void editError(const QString& message);
    // The filter button of a column header was clicked; `below` is the
    // global position under the header where a drop-down opens.
    void filterButtonClicked(int columnId, const QPoint& below);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Tab and Shift+Tab move between cells, as in spreadsheet grids, rather
    // than to the next widget of the window.
    bool focusNextPrevChild(bool next) override;

public:
    // The width a column needs to show the whole text of every row.
    int contentWidth(int columnId) const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void setHoverHeaderColumn(int columnId);
    enum class Region { LeftFixed, Scrolling, RightFixed };
    struct ColumnGeometry {
        int id;
        int band;
        int x;          // left edge in viewport coordinates (scroll applied)
        int width;
        Region region;
    };
    struct BandGeometry {
        int band;
        int x;
        int width;
        Region region;
    };
    enum class DragKind { None, PendingColumn, MoveColumn, ResizeColumn, PendingBand, MoveBand };

    void relayout();
    void updateHeaderMetrics();
    // The room a header of this width leaves its caption: beside the sort
    // mark when the column is sorted, or, withMarks, beside both a sort mark
    // and the filter button whatever the column's state.
    int captionRoom(int columnId, int headerWidth, bool withMarks = false) const;
    // The width a column's filter button takes from its header, 0 without one.
    int filterButtonRoom(int columnId) const;
    void updateScrollBars();
    int indicatorWidth() const;
    int visibleRowCapacity() const;
    QRect regionClip(Region region) const;
    const ColumnGeometry* geometryOf(int columnId) const;
    int resizeHandleAt(const QPoint& pos) const;
    void paintHeaders(QPainter& p);
    void paintRows(QPainter& p, const QRect& dirty);
    void paintCell(QPainter& p, const ColumnGeometry& g, int viewRow, const QRect& rect, bool focusedRow);
    void paintChangeMark(QPainter& p, const QRect& rect);
    void moveFocus(int viewRow, int columnId);
    void toggleCheck(int viewRow, int columnId);
    void finishColumnDrag(const QPoint& pos);
    void reportError(const QString& message);
    int dropTargetBefore(int band, const QPoint& pos) const;

    GridViewModel& m_model;
    std::vector<ColumnGeometry> m_columns;
    std::vector<BandGeometry> m_bands;
    int m_leftWidth = 0;       // width of the left fixed bands
    int m_rightWidth = 0;      // width of the right fixed bands
    int m_scrollWidth = 0;     // total width of the scrolling bands
    int m_rowHeight = 18;
    int m_headerRowHeight = 20;  // band header row
    int m_columnRowHeight = 20;  // column header row: one or two lines of caption
    int m_focusedColumn = -1;
    bool m_filterButtons = false;

    QLineEdit* m_editor = nullptr;
    int m_editRow = -1;        // table row being edited
    qint64 m_editRowKey = 0;   // and its record key, to find it again after a reset
    int m_editColumn = -1;
    bool m_committing = false;
    bool m_forwardingKey = false;   // a key is being handed to the editor
    int m_hoverHeaderColumn = -1;   // the column header under the pointer

    DragKind m_drag = DragKind::None;
    int m_dragItem = -1;
    QPoint m_dragStart;
    QPoint m_dragPos;
    int m_resizeStartWidth = 0;

    QPointer<CustomizationWindow> m_customization;
};

} // namespace orvane::grid
