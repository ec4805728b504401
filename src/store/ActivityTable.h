#pragma once
// taActivities: the table P3Data cached in memory as a client-side cursor.
//
// The cache holds every row of the table in table order (rowid order, which
// is the import order). When the filter is on, only the rows the filter text
// selects are "visible"; row indices in this interface always count visible
// rows. The cursor (current row) moves over visible rows.
//
// Editing follows the dataset model: edit() or append() opens an edit buffer
// on the current row, setFieldValue() changes columns of it, post() writes
// only the changed columns to the file (so a post never reverts what a bulk
// statement changed meanwhile) and cancel() drops the buffer.
//
// A requery shows its first rows at once; when an event loop runs, the rest
// are fetched in chunks from it so the window never freezes. fetchAll()
// completes the fetch synchronously; operations that need every row call it.

#include "store/ActivityLayout.h"
#include "store/PackedRow.h"

#include <QObject>
#include <QString>
#include <QVariant>

#include <cstddef>
#include <memory>
#include <vector>

struct sqlite3_stmt;

namespace orvane::store {

class Database;

class ActivityTable : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit ActivityTable(Database& database, QObject* parent = nullptr);
    ~ActivityTable() override;

    // Opens the table: checks that P3Data exists with the exact 148-column
    // layout (throws DatabaseError naming the first difference otherwise,
    // and the table stays closed), then reads its rows.
    void open();
    void close();
    bool isActive() const { return m_state != State::Inactive; }
    State state() const { return m_state; }
    Database& database() const { return m_database; }

    // --- rows (visible rows; cached values, the edit buffer not included)
    int rowCount() const;
    QVariant value(int row, int column) const;
    // The cell as the cache holds it, for readers of many rows (sorting,
    // distinct values); valueOf() turns it into what value() gives.
    CellView cell(int row, int column) const;
    QVariant valueOf(const CellView& cell, int column) const;
    // Every cell of a row at once into cells[0..kColumnCount-1].
    void rowCells(int row, CellView* cells) const;
    // The cells of `column` in `rows` (visible row indices, any order), one
    // per row, into cells[0..count-1]. Reading many rows this way is several
    // times quicker than cell() row by row: the rows' memory is asked for
    // ahead of its use.
    void columnCells(const int* rows, qsizetype count, int column, CellView* cells) const;
    // Milliseconds since the epoch of a date cell's local date and time.
    qint64 dateMsecs(qint64 packedDate) const;
    qint64 rowIdAt(int row) const;
    // Visible row index of a rowid, or -1.
    int rowOfId(qint64 rowId) const;

    // --- cursor
    int currentRow() const { return m_current; }   // -1 when there are no rows
    // Moves the cursor (posting a pending edit first); emits afterScroll.
    void setCurrentRow(int row);
    void first();
    void last();
    void next();     // at the last row: stays there and sets eof()
    void prior();    // at the first row: stays there and sets bof()
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }

    // Value of a column of the current row, including a pending edit.
    QVariant fieldValue(int column) const;

    // --- editing
    void edit();
    void append();
    void setFieldValue(int column, const QVariant& value);
    void post();
    void cancel();

    // --- the row filter
    // The filter chooses among the cached rows without reading them again,
    // as a client-side cursor's filter does: the engine selects the rowids
    // (so the rows shown are the rows a bulk statement with the same WHERE
    // changes) and the cursor moves to the first of them. A filter text the
    // engine refuses throws and leaves filter and rows as they were.
    QString filter() const { return m_filterText; }
    void setFilter(const QString& filterText);
    bool filtered() const { return m_filtered; }
    void setFiltered(bool on);

    // --- re-read
    void requery();
    // The re-read after a statement that can only have set `columns` of
    // existing rows (an UPDATE): reads those columns alone and ends as
    // requery() does (filter applied again, cursor on the first row,
    // rowsReset). When the file's rows turn out not to be the cached ones
    // it falls back to requery().
    void requeryColumns(std::vector<int> columns);

    // The columns' new values as the change itself read them: a change that
    // reads the columns it set back before it commits (to record them for
    // undo) hands each row here, and requeryColumns(columns, reread) takes
    // them instead of reading the file once more. The cache changes only
    // there, after the change committed.
    class ColumnReread {
    public:
        // The row `select` stands on: its rowid, then the values of
        // `columns` (ascending) in result columns 1, 2, ...; rows come in
        // rowid order, every row of the table.
        void takeRow(const std::vector<int>& columns, sqlite3_stmt* select);

    private:
        friend class ActivityTable;
        bool m_started = false;
        quint64 m_revision = 0;
        qint64 m_lastCachedId = 0;
        std::vector<int> m_columns;
        std::vector<qint64> m_rowIds;   // per row taken
        CellCopies m_cells;             // per row taken, a cell per column
    };
    ColumnReread startColumnReread() const;
    // requeryColumns(columns), from the values `reread` took when it took
    // them for these columns and every cached row, and the cache is as it
    // was when the reread started; from the file otherwise.
    void requeryColumns(std::vector<int> columns, ColumnReread&& reread);
    // The columns the last rowsReset re-read, when it came from
    // requeryColumns() and kept every visible row where it was (a view may
    // then keep its order unless it sorts by one of them); empty otherwise.
    const std::vector<int>& columnsOfLastReset() const { return m_columnsOfLastReset; }
    bool isFetching() const;
    void fetchAll();
    // While dataReread(columns) of some columns is delivered: for each of
    // them, the rowids (ascending) of the cached rows whose cell in it
    // changed, a null and an empty text counting as the same; null when
    // that is not known (every row was read again).
    const std::vector<std::vector<qint64>>* changedRowsOfLastReread() const;

    // The import stamp (TableImport.h) the file had when the cached rows
    // were read. A re-read that finds another stamp reads every row again,
    // and an edit posted over rows another program's import replaced is
    // refused: rowids start again with every import, so it would land in a
    // row of another project.
    qint64 rowsImportStamp() const { return m_importStamp; }

signals:
    // The current row changed (row index may be -1).
    void afterScroll();
    // The file's rows were read again, just before the rowsReset that shows
    // them: every column (`columns` empty) or only `columns`, ascending.
    // A filter that only chooses other cached rows reads nothing.
    void dataReread(const std::vector<int>& columns);
    // The visible rows were replaced as a whole (open, requery, filter).
    void rowsReset();
    // More rows arrived from the asynchronous fetch: visible rows first..last.
    void rowsFetched(int first, int last);
    // A row was posted (its values changed) or appended at index row.
    void rowPosted(int row);
    void rowAppended(int row);
    // The asynchronous fetch has delivered every row.
    void fetchFinished();

private:
    // Ends a change of the visible rows: the cursor on the first row, the
    // views told, and after a re-read the fetch of the rest carried on.
    void announceReset(bool reRead);
    void scheduleFetch();
    std::vector<qint64> filterMatches() const;
    void refilter();
    // The end of a re-read of `columns`: the filter applied again, the views told.
    void finishColumnsReread(std::vector<int> columns);
    void fetchMore(int limit);
    // Whether the file still holds the rows of the import they were read from.
    bool rowsOfSameImport() const;

    struct Impl;
    friend struct Impl;
    Database& m_database;
    std::unique_ptr<Impl> d;
    State m_state = State::Inactive;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    QString m_filterText;
    bool m_filtered = false;
    std::vector<int> m_columnsOfLastReset;
    qint64 m_importStamp = 0;
};

} // namespace orvane::store
