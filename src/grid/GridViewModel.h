#pragma once
// The banded grid's view model: everything the grid knows about its layout
// and its rows, without any widget. The grid widget draws it; the
// spreadsheet export and the filter windows read it.
//
// Layout: bands (index order is display order; bands cannot be moved) and
// columns. Column i is bound to a table field by name and has column ID i:
// IDs number the columns in the order they were added and never change.
// Within a band the visible columns are shown in ascending position; all the
// band's columns, visible or not, hold distinct positions 0..n-1.
//
// Rows: the view shows the table's visible rows (the table's own row filter
// already restricts them) in the view's sort order. "View rows" below count
// rows as shown; "table rows" are the table's visible row indices.
//
// Widths: a band with a stated width shows its visible columns scaled to
// fill exactly that width; a band without one (width 0) is as wide as its
// visible columns. bandWidth() and columnWidth() give the on-screen pixels.

#include "store/ActivityLayout.h"

#include <functional>
#include <QHash>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>
#include <vector>

namespace orvane::store {
class ActivityTable;
class ChangeMarks;
struct CellView;
}

namespace orvane::grid {

enum class Alignment { Left, Center, Right };
enum class FixedSide { None, Left, Right };
enum class SortOrder { None, Ascending, Descending };
enum class GridLines { Both, None, VerticalOnly, HorizontalOnly };
enum class RecordKind { Data, Group, Master };
// The kind of in-place editor (and filter value box) a column gets from its
// field's type.
enum class EditorKind { Text, Number, Date, CheckBox };

inline constexpr int kDefaultColumnWidth = 64;

struct GridBand {
    QString caption;
    FixedSide fixedSide = FixedSide::None;
    int width = 0;                 // stated width in pixels; 0 = sum of its visible columns
    Alignment headerAlignment = Alignment::Center;
    bool moving = false;           // the user may reorder the band
    bool onlyOwnColumns = true;    // columns cannot be dragged in or out
    bool visible = true;
};

struct GridColumn {
    int id = -1;                   // column ID: its index among the view's columns
    QString fieldName;             // the bound table field
    int fieldIndex = -1;           // index of that field in the table, -1 if none
    QString caption;               // own caption; empty = the field's display name
    int band = 0;
    int position = 0;              // place within the band's single row of columns
    int width = kDefaultColumnWidth;  // stated width (before any band scaling)
    bool visible = true;
    bool hidden = false;           // kept off the customization window's list
    bool readOnly = false;
    SortOrder sortOrder = SortOrder::None;
    int sortIndex = -1;            // rank among the sorted columns, -1 when unsorted
    Alignment headerAlignment = Alignment::Left;
    Alignment contentAlignment = Alignment::Left;
    int rowIndex = 0;              // row within the band's header rows
    int rowSpan = 1;
    bool filtering = true;         // shows the filter button in its header
};

struct GridViewOptions {
    bool bandHeaders = true;
    bool columnHeaders = true;
    bool footer = false;
    bool groupFooters = false;
    bool groupByBox = false;
    GridLines gridLines = GridLines::Both;
    bool rowIndicator = true;
    int rowSeparatorWidth = 1;
    bool inserting = false;
    bool deleting = false;
    bool editing = true;
    bool bandHiding = true;
    bool flatLook = true;
};

// The slot for the view's filter criteria. The criteria live in the log
// editing layer; the grid only keeps them alive as long as the view and
// hands them back to whoever asks.
class GridFilterCriteria {
public:
    virtual ~GridFilterCriteria() = default;
};

class GridViewModel : public QObject {
    Q_OBJECT
public:
    explicit GridViewModel(QObject* parent = nullptr);
    ~GridViewModel() override;

    // A row's value of a sorted column, typed for fast comparison.
    struct SortKey;

    // --- level and key (one level, one view)
    QString levelCaption() const { return m_levelCaption; }
    void setLevelCaption(const QString& caption) { m_levelCaption = caption; }
    QString keyFieldName() const { return m_keyFieldName; }
    void setKeyFieldName(const QString& name) { m_keyFieldName = name; }

    // --- layout building (clears rows of nothing; the widget follows layoutChanged)
    void clearLayout();
    int addBand(const GridBand& band);
    // Adds a column bound to fieldName; returns its ID. The field index is
    // looked up in the table layout.
    int addColumn(const QString& fieldName, int band, int position);

    // --- bands
    int bandCount() const { return int(m_bands.size()); }
    const GridBand& band(int index) const { return m_bands.at(size_t(index)); }
    void setBandVisible(int index, bool visible);
    void setBandWidth(int index, int width);
    // Visible bands in display order (index order).
    QVector<int> visibleBands() const;
    // On-screen width of a band in pixels.
    int bandWidth(int index) const;

    // --- columns
    int columnCount() const { return int(m_columns.size()); }
    const GridColumn& column(int id) const { return m_columns.at(size_t(id)); }
    // The column with this ID, or nullptr (IDs are indices here, but the
    // filter criteria store IDs and look columns up through this).
    const GridColumn* columnById(int id) const;
    int columnIdOfField(const QString& fieldName) const;
    // The caption shown: the own caption, else the field's display name.
    QString columnCaption(int id) const;
    void setColumnCaption(int id, const QString& caption);
    void setColumnHidden(int id, bool hidden);
    void setColumnVisible(int id, bool visible);
    void setColumnReadOnly(int id, bool readOnly);
    void setColumnWidth(int id, int width);    // stated width
    // The user sizes a column to an on-screen width. In a band of stated
    // width the band grows or shrinks with it and its other columns keep
    // their on-screen widths.
    void resizeColumn(int id, int onScreenWidth);
    void setColumnHeaderAlignment(int id, Alignment alignment);
    void setColumnContentAlignment(int id, Alignment alignment);
    // Moves a column to a place in its band's row of columns (clamped); the
    // other columns of the band shift. A column never leaves its band.
    void moveColumn(int id, int position);
    // Shows a column and puts it just before the visible column
    // `beforeVisibleId` of its band (-1 = after the last visible one).
    void showColumnAt(int id, int beforeVisibleId);
    // Visible columns of a band in display order.
    QVector<int> visibleColumns(int band) const;
    // All visible columns of visible bands, band by band, in display order.
    QVector<int> visibleColumnsInOrder() const;
    // On-screen width of a column (after fitting into a band of stated width).
    int columnWidth(int id) const;
    // Columns offered by the customization window: invisible, not hidden,
    // in ID order.
    QVector<int> customizableColumns() const;
    // Bands the user has hidden, in index order.
    QVector<int> hiddenBands() const;
    EditorKind editorKind(int id) const;
    // Number of header rows per record (the largest row count of any band).
    int headerRowCount() const;

    // --- sorting
    // Sorts the view by one column alone (SortOrder::None removes the sort).
    void sortBy(int id, SortOrder order);
    // Adds or changes one column of a multi-column sort, keeping the others.
    void setColumnSortOrder(int id, SortOrder order);
    void clearSorting();
    // Sorted columns by rank.
    QVector<int> sortedColumns() const;

    // --- view options
    const GridViewOptions& options() const { return m_options; }
    void setOptions(const GridViewOptions& options);

    // --- the data source
    // Binds the view to a table (nullptr unbinds). The table must outlive
    // the binding.
    void setTable(store::ActivityTable* table);
    store::ActivityTable* table() const { return m_table; }
    // While detached the view shows no rows and ignores the table's changes;
    // reattaching reloads every row. Calls nest.
    void detachDataSource();
    void reattachDataSource();
    bool isDetached() const { return m_detachCount > 0; }
    // While on, a posted row refreshes only that row (no re-sort).
    void setSmartRefresh(bool on) { m_smartRefresh = on; }
    bool smartRefresh() const { return m_smartRefresh; }
    // Re-reads every row from the table and sorts again.
    void reload();

    // --- rows as shown
    int rowCount() const { return int(m_order.size()); }
    // Table row shown at a view row, or -1.
    int tableRow(int viewRow) const;
    // View row of a table row, or -1.
    int viewRowOf(int tableRow) const;
    // The record key of a view row (the table row's rowid), 0 when none; it
    // finds the row again after the rows were re-read or re-sorted.
    qint64 rowKey(int viewRow) const;
    // View row holding a record key, or -1.
    int viewRowOfKey(qint64 key) const;
    // Whether every row of the data source has arrived: a re-read shows its
    // first rows at once and the rest follow from the event loop.
    bool allRowsPresent() const;
    // Fetches the rows still missing, so the view holds every row.
    void fetchAllRows() const;
    RecordKind recordKind(int) const { return RecordKind::Data; }
    int recordLevel(int) const { return 0; }
    QVariant value(int viewRow, int columnId) const;
    // The marks of texts changed since the import (none without marks).
    void setChangeMarks(const store::ChangeMarks* marks);
    bool isChangedCell(int viewRow, int columnId) const;
    // Display text of a cell, as the grid shows it.
    QString displayText(int viewRow, int columnId) const;
    // Display texts of `count` columns of one row into texts[0..count-1]
    // (readers of whole rows, as the export).
    void displayTexts(int viewRow, const int* columnIds, int count, QString* texts) const;
    // The whole value as text, for the cell's tooltip: a date with its time.
    QString toolTipText(int viewRow, int columnId) const;
    // The text the grid shows for a value of a field kind, in the user's
    // locale. Bulk commands use it to copy values "as the grid shows them".
    static QString displayTextOf(const QVariant& value, store::FieldKind kind);
    // Distinct display texts of a column's values over the rows shown, with
    // one value each, sorted (for the filter's value drop-down). With
    // anyNull, also tells whether a row shown holds no value in the column.
    std::vector<std::pair<QString, QVariant>> distinctValues(int columnId, bool* anyNull = nullptr) const;
    // The same entries in the same order, each handed to the sink as it is
    // made; the sink first learns how many may come at most.
    class DistinctValueSink {
    public:
        virtual ~DistinctValueSink() = default;
        virtual void expect(size_t count) = 0;
        virtual void add(QString&& text, QVariant&& value) = 0;
    };
    void forEachDistinctValue(int columnId, bool* anyNull, DistinctValueSink& sink) const;

    // --- focus and editing
    // View row of the table's current row, or -1.
    int focusedRow() const;
    // Makes the table row shown at viewRow the table's current row.
    void setFocusedRow(int viewRow);
    bool isColumnEditable(int id) const;
    // Writes a value into a cell: moves the table to the row, sets the field
    // and posts it at once. Throws DatabaseError / returns false when the
    // column refuses editing.
    bool setCellValue(int viewRow, int columnId, const QVariant& value);
    // Runs each cell's post of setCellValue (the window makes it an undo
    // step this way); without one the post runs as it is.
    using PostWrapper = std::function<void(const std::function<void()>& post)>;
    void setCellPostWrapper(PostWrapper wrapper) { m_cellPostWrapper = std::move(wrapper); }

    // --- the row filter
    // The criteria object of the view (owned; may be null).
    GridFilterCriteria* filterCriteria() const { return m_filterCriteria.get(); }
    void setFilterCriteria(std::unique_ptr<GridFilterCriteria> criteria);
    // Hands a filter text and switch to the table as its row filter; the
    // table re-reads its rows and the view follows. With smart refresh on,
    // the table is not touched (the view's rows are mid-edit).
    void applyTableFilter(const QString& filterText, bool on);
    // Suspends and resumes following the table (not reloading while
    // several table properties change).
    void beginUpdate();
    void endUpdate();

signals:
    void layoutChanged();          // bands, columns, widths, captions, visibility
    void rowsReset();              // the rows shown were replaced or re-sorted
    void rowsInserted(int first, int last);   // after a fetch into an unsorted view
    void rowChanged(int viewRow);  // one row's values changed
    void allRowsArrived();         // the data source's fetch has delivered every row
    void focusedRowChanged(int viewRow);
    void sortChanged();

private:
    void connectTable();
    void disconnectTable();
    void rebuildRows();
    void onTableReset();
    bool orderSurvivesReset() const;
    void onRowsFetched(int first, int last);
    void onRowPosted(int tableRow);
    void onAfterScroll();
    void sortRows();
    void rebuildInverse();
    void fillKeys(int firstTableRow, int lastTableRow);
    QString cellText(const store::CellView& cell, int fieldIndex) const;
    bool lessThan(int tableRowA, int tableRowB) const;
    QVector<int> bandColumnsByPosition(int band) const;
    void renumber(const QVector<int>& ids);
    void ensureWidths() const;
    void invalidateLayout();
    void emitReset();

    QString m_levelCaption = QStringLiteral("Project");
    QString m_keyFieldName;
    std::vector<GridBand> m_bands;
    std::vector<GridColumn> m_columns;
    GridViewOptions m_options;

    store::ActivityTable* m_table = nullptr;
    const store::ChangeMarks* m_changeMarks = nullptr;
    int m_detachCount = 0;
    int m_updateCount = 0;
    bool m_reloadPending = false;
    bool m_smartRefresh = false;
    PostWrapper m_cellPostWrapper;
    bool m_orderStale = false;     // smart refresh left rows where they were
    std::vector<int> m_order;      // view row -> table row
    std::vector<int> m_inverse;    // table row -> view row
    std::vector<std::vector<SortKey>> m_keys;   // per sorted column, per table row
    std::unique_ptr<GridFilterCriteria> m_filterCriteria;
    QVector<QMetaObject::Connection> m_connections;
    // The distinct non-null cells of a field over the rows shown, in view
    // order of their first row (defined beside it).
    struct DistinctCells;
    DistinctCells distinctCells(int fieldIndex, bool* anyNull) const;

    mutable std::vector<int> m_onScreenWidth;   // per column; empty = stale
    QVector<int> m_sortIds;        // sorted columns as m_keys holds them
    // Display texts of dates (by their digits) and numbers (by their bits)
    // in m_textLocale.
    mutable QLocale m_textLocale;
    mutable QHash<qint64, QString> m_dateTexts;
    mutable QHash<qint64, QString> m_numberTexts;
};

} // namespace orvane::grid
