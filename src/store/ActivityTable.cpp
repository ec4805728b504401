#include "store/ActivityTable.h"

#include "common/Errors.h"
#include "common/Utf8Text.h"
#include "store/Database.h"
#include "store/FilterSql.h"
#include "store/PackedRow.h"
#include "store/SqlValues.h"
#include "store/Statement.h"
#include "store/TableImport.h"

#include <QMetaObject>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <sqlite3.h>

namespace orvane::store {

namespace {

// Rows arrive in chunks: the first one at once, the rest from the event loop.
constexpr int kFirstChunk = 256;
constexpr int kLaterChunk = 8192;

const QString kClosedDataset = QStringLiteral("Cannot perform this operation on a closed dataset");

// The cell in result column `index` of `select`, read for table column
// `column` in the form readColumnValue() would make of it, so decoding it
// later gives the same value: dates of the stored shape as their digits,
// anything else of a date column as its text. A text stays valid until the
// statement steps again.
CellView selectedCell(sqlite3_stmt* select, int index, int column)
{
    CellView cell;
    const int type = sqlite3_column_type(select, index);
    if (type == SQLITE_NULL)
        return cell;
    switch (fieldKind(column)) {
    case FieldKind::Number:
        cell.type = CellView::Type::Number;
        cell.number = sqlite3_column_double(select, index);
        return cell;
    case FieldKind::Boolean:
        cell.type = CellView::Type::Boolean;
        cell.flag = sqlite3_column_int(select, index) != 0;
        return cell;
    case FieldKind::Date:
        if (type == SQLITE_TEXT) {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(select, index));
            const qint64 packed = packedDate(text, sqlite3_column_bytes(select, index));
            if (isValidPackedDate(packed)) {
                cell.type = CellView::Type::Date;
                cell.packedDate = packed;
                return cell;
            }
        }
        break;
    case FieldKind::Text:
        break;
    }
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(select, index));
    cell.type = CellView::Type::Text;
    cell.text = QByteArrayView(text, sqlite3_column_bytes(select, index));
    return cell;
}

// Packs the result columns 1..148 of a row of `select` as the table columns
// 0..147.
PackedRow packSelectedRow(sqlite3_stmt* select, PackedRowBuilder& builder)
{
    for (int c = 0; c < kColumnCount; ++c) {
        const CellView cell = selectedCell(select, c + 1, c);
        if (!cell.isNull())
            builder.add(c, cell);
    }
    return builder.finish(sqlite3_column_int64(select, 0));
}

// A value as the file holds it after it was written to column `column`
// (already coerced to the column's kind).
void addValue(PackedRowBuilder& builder, int column, const QVariant& value)
{
    if (value.isNull())
        return;
    switch (fieldKind(column)) {
    case FieldKind::Number:
        builder.addNumber(column, value.toDouble());
        return;
    case FieldKind::Boolean:
        builder.addBoolean(column, value.toBool());
        return;
    case FieldKind::Date: {
        const QByteArray stored = dateToStorage(value.toDateTime()).toLatin1();
        const qint64 packed = packedDate(stored.constData(), int(stored.size()));
        if (isValidPackedDate(packed))
            builder.addDate(column, packed);
        else
            builder.addText(column, stored.constData(), stored.size());
        return;
    }
    case FieldKind::Text:
        break;
    }
    const QByteArray utf8 = value.toString().toUtf8();
    builder.addText(column, utf8.constData(), utf8.size());
}

QString quotedName(int column)
{
    return QLatin1Char('[') + fieldName(column) + QLatin1Char(']');
}

QString selectAllColumnsSql()
{
    QStringList names;
    for (int i = 0; i < kColumnCount; ++i)
        names << quotedName(i);
    return QStringLiteral("SELECT rowid, ") + names.join(QLatin1Char(','))
           + QStringLiteral(" FROM [P3Data] WHERE rowid > ?1 ORDER BY rowid LIMIT ?2");
}

QString insertSql()
{
    QStringList names, params;
    for (int i = 0; i < kColumnCount; ++i) {
        names << quotedName(i);
        params << QStringLiteral("?%1").arg(i + 1);
    }
    return QStringLiteral("INSERT INTO [P3Data] (") + names.join(QLatin1Char(','))
           + QStringLiteral(") VALUES (") + params.join(QLatin1Char(',')) + QLatin1Char(')');
}

} // namespace

struct ActivityTable::Impl {
    std::vector<PackedRow> rows;    // every fetched row, table order
    std::vector<int> visible;       // indices into rows of the rows the filter lets through
    quint64 revision = 0;           // counts changes of rows (a ColumnReread holds for one)
    bool filterActive = false;
    std::vector<qint64> matches;    // rowids the filter selects (when active), ascending
    qint64 lastFetchedId = 0;
    bool fetchDone = true;
    bool fetchScheduled = false;
    std::map<int, QVariant> pending;  // the edit buffer: column -> new value
    std::unique_ptr<Statement> insert;
    PackedRowBuilder builder;
    // A local QDateTime costs a time-zone lookup; the few distinct dates of
    // a table are made once each.
    mutable QHash<qint64, QDateTime> dates;
    mutable QHash<qint64, qint64> dateMsecs;
    // After a re-read of some columns: per column, ascending rowids of the
    // rows whose cell in it changed (a null and an empty text counting as
    // the same); unknown after a re-read of whole rows.
    std::vector<std::vector<qint64>> changedRows;
    bool changedRowsKnown = false;

    void startNotingChanges(std::size_t columnCount)
    {
        changedRows.assign(columnCount, {});
        changedRowsKnown = false;
    }

    // Replaces `row` by `replaced`, noting which of `columns` changed.
    void replaceRow(PackedRow& row, PackedRow&& replaced, const std::vector<int>& columns)
    {
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (!sameCellOrBothBlank(row.cell(columns[i]), replaced.cell(columns[i])))
                changedRows[i].push_back(row.id());
        row = std::move(replaced);
    }

    bool selected(qint64 id) const
    {
        return !filterActive || std::binary_search(matches.begin(), matches.end(), id);
    }

    const QDateTime& dateOf(qint64 packed) const
    {
        auto it = dates.constFind(packed);
        if (it == dates.constEnd())
            it = dates.insert(packed, unpackDate(packed));
        return *it;
    }

    // The row with the edit buffer's columns replaced, under rowid `id`.
    PackedRow withChanges(const PackedRow& row, const std::map<int, QVariant>& changes, qint64 id)
    {
        auto change = changes.begin();
        row.forEachCell([&](int column, const CellView& cell) {
            for (; change != changes.end() && change->first < column; ++change)
                addValue(builder, change->first, change->second);
            if (change != changes.end() && change->first == column) {
                addValue(builder, change->first, change->second);
                ++change;
            } else {
                builder.add(column, cell);
            }
        });
        for (; change != changes.end(); ++change)
            addValue(builder, change->first, change->second);
        return builder.finish(id);
    }

    // Reads up to `limit` more rows; returns how many rows became visible.
    int fetchChunk(sqlite3* db, int limit)
    {
        static const QString sql = selectAllColumnsSql();
        Statement select(db, sql);
        sqlite3_bind_int64(select.get(), 1, lastFetchedId);
        sqlite3_bind_int(select.get(), 2, limit);
        int fetched = 0;
        int madeVisible = 0;
        while (select.step()) {
            PackedRow row = packSelectedRow(select.get(), builder);
            lastFetchedId = row.id();
            if (selected(row.id())) {
                visible.push_back(int(rows.size()));
                ++madeVisible;
            }
            rows.push_back(std::move(row));
            ++revision;
            ++fetched;
        }
        if (fetched < limit)
            fetchDone = true;
        return madeVisible;
    }

    // Reads `columns` again for every cached row and replaces the cells that
    // differ. Returns false when the file's rows are not the cached ones (a
    // row added or removed meanwhile): only a whole re-read can show that.
    // `columns` ascending, each once.
    bool refreshColumns(sqlite3* db, const std::vector<int>& columns)
    {
        if (columns.empty() || columns.front() < 0 || columns.back() >= kColumnCount)
            return false;
        QStringList names;
        for (const int column : columns)
            names << quotedName(column);
        startNotingChanges(columns.size());
        Statement select(db, QStringLiteral("SELECT rowid, %1 FROM [P3Data] WHERE rowid <= ?1 ORDER BY rowid")
                                 .arg(names.join(QLatin1Char(','))));
        sqlite3_bind_int64(select.get(), 1, lastFetchedId);
        // A row that differs is replaced at once: what it gets is what the
        // file holds, so even a re-read that gives way half-way leaves no
        // cached row showing something the file does not.
        std::vector<CellView> fresh(columns.size());
        std::size_t next = 0;
        // Each cached row lies in an allocation of its own: the ones a few
        // steps ahead are asked for while this one is compared.
        constexpr std::size_t kAhead = 8;
        for (std::size_t i = 0; i < std::min(kAhead, rows.size()); ++i)
            rows[i].prefetch();
        while (select.step()) {
            const qint64 id = sqlite3_column_int64(select.get(), 0);
            if (next >= rows.size() || rows[next].id() != id)
                return false;
            if (next + kAhead < rows.size())
                rows[next + kAhead].prefetch();
            for (std::size_t i = 0; i < columns.size(); ++i)
                fresh[i] = selectedCell(select.get(), int(i) + 1, columns[i]);
            if (std::optional<PackedRow> row = builder.withCells(rows[next], columns, fresh)) {
                replaceRow(rows[next], std::move(*row), columns);
                ++revision;
            }
            ++next;
        }
        changedRowsKnown = next == rows.size();
        return changedRowsKnown;
    }

    void rebuildVisible()
    {
        visible.clear();
        visible.reserve(rows.size());
        for (int i = 0; i < int(rows.size()); ++i)
            if (selected(rows[size_t(i)].id()))
                visible.push_back(i);
    }
};

ActivityTable::ActivityTable(Database& database, QObject* parent)
    : QObject(parent), m_database(database), d(std::make_unique<Impl>())
{
}

ActivityTable::~ActivityTable() = default;

void ActivityTable::open()
{
    if (isActive())
        return;
    // The connection refuses a table of another layout (see Database).
    m_database.handle();
    m_state = State::Browse;
    try {
        requery();
    } catch (...) {
        close();
        throw;
    }
}

void ActivityTable::close()
{
    m_columnsOfLastReset.clear();
    d->rows.clear();
    d->changedRowsKnown = false;
    ++d->revision;
    d->visible.clear();
    d->pending.clear();
    d->insert.reset();
    d->fetchDone = true;
    m_state = State::Inactive;
    m_current = -1;
    m_bof = m_eof = true;
    emit rowsReset();
}

static void requireActive(const ActivityTable& table)
{
    if (!table.isActive())
        throw DatabaseError(kClosedDataset);
}

int ActivityTable::rowCount() const
{
    return int(d->visible.size());
}

QVariant ActivityTable::value(int row, int column) const
{
    return valueOf(cell(row, column), column);
}

CellView ActivityTable::cell(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return CellView();
    return d->rows[size_t(d->visible[size_t(row)])].cell(column);
}

void ActivityTable::rowCells(int row, CellView* cells) const
{
    std::fill(cells, cells + kColumnCount, CellView());
    if (row < 0 || row >= rowCount())
        return;
    d->rows[size_t(d->visible[size_t(row)])].forEachCell([cells](int column, const CellView& cell) {
        if (column < kColumnCount)
            cells[column] = cell;
    });
}

void ActivityTable::columnCells(const int* rows, qsizetype count, int column, CellView* cells) const
{
    // Each row's cells lie in an allocation of their own, reached through two
    // indices: the memory of the rows a few steps ahead is requested while
    // the current one is read, so the waits for memory overlap.
    constexpr qsizetype kAhead = 8;
    const int visibleCount = rowCount();
    auto packedRow = [this, visibleCount](int row) -> const PackedRow* {
        return row >= 0 && row < visibleCount ? &d->rows[size_t(d->visible[size_t(row)])] : nullptr;
    };
    for (qsizetype i = 0; i < std::min(count, kAhead); ++i)
        if (const PackedRow* r = packedRow(rows[i]))
            r->prefetch();
    for (qsizetype i = 0; i < count; ++i) {
        if (i + kAhead < count)
            if (const PackedRow* r = packedRow(rows[i + kAhead]))
                r->prefetch();
        const PackedRow* r = packedRow(rows[i]);
        cells[i] = r ? r->cell(column) : CellView();
    }
}

QVariant ActivityTable::valueOf(const CellView& cell, int column) const
{
    switch (cell.type) {
    case CellView::Type::Null:
        return QVariant();
    case CellView::Type::Number:
        return cell.number;
    case CellView::Type::Boolean:
        return cell.flag;
    case CellView::Type::Date:
        return d->dateOf(cell.packedDate);
    case CellView::Type::Text:
        break;
    }
    const QString text = textFromUtf8(cell.text);
    if (column >= 0 && column < kColumnCount && fieldKind(column) == FieldKind::Date) {
        // A date column holding another shape of text: a date if it reads as one.
        const QDateTime dt = dateFromStorage(text);
        if (dt.isValid())
            return dt;
    }
    return text;
}

qint64 ActivityTable::dateMsecs(qint64 packedDate) const
{
    auto it = d->dateMsecs.constFind(packedDate);
    if (it == d->dateMsecs.constEnd())
        it = d->dateMsecs.insert(packedDate, d->dateOf(packedDate).toMSecsSinceEpoch());
    return *it;
}

qint64 ActivityTable::rowIdAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return 0;
    return d->rows[size_t(d->visible[size_t(row)])].id();
}

int ActivityTable::rowOfId(qint64 rowId) const
{
    // Rows are cached in rowid order, and visible keeps that order.
    auto it = std::lower_bound(d->visible.begin(), d->visible.end(), rowId,
                               [this](int index, qint64 id) { return d->rows[size_t(index)].id() < id; });
    if (it == d->visible.end() || d->rows[size_t(*it)].id() != rowId)
        return -1;
    return int(it - d->visible.begin());
}

void ActivityTable::setCurrentRow(int row)
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    if (row < 0 || row >= rowCount())
        return;
    m_current = row;
    m_bof = m_eof = false;
    emit afterScroll();
}

void ActivityTable::first()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    m_current = rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = rowCount() == 0;
    emit afterScroll();
}

void ActivityTable::last()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    fetchAll();
    m_current = rowCount() - 1;
    m_eof = true;
    m_bof = rowCount() == 0;
    emit afterScroll();
}

void ActivityTable::next()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    if (m_eof)
        return;   // already past the end: nothing happens, no scroll event
    m_bof = false;
    if (m_current + 1 >= rowCount() && !d->fetchDone)
        fetchAll();
    if (m_current + 1 < rowCount())
        ++m_current;
    else
        m_eof = true;
    emit afterScroll();
}

void ActivityTable::prior()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    if (m_bof)
        return;
    m_eof = false;
    if (m_current > 0)
        --m_current;
    else
        m_bof = true;
    emit afterScroll();
}

QVariant ActivityTable::fieldValue(int column) const
{
    auto it = d->pending.find(column);
    if (it != d->pending.end())
        return it->second;
    if (m_state == State::Insert)
        return column == kFlagColumn ? QVariant(false) : QVariant();
    return value(m_current, column);
}

void ActivityTable::edit()
{
    requireActive(*this);
    if (m_state == State::Edit || m_state == State::Insert)
        return;
    if (m_current < 0)
        throw DatabaseError(QStringLiteral("There is no current row to edit"));
    // Refused at the start of an edit, so nothing is typed in vain.
    m_database.writableHandle();
    d->pending.clear();
    m_state = State::Edit;
}

void ActivityTable::append()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    m_database.writableHandle();
    // A new row gets a rowid above every cached one; the cache must hold
    // them all first so the fetch cannot deliver the new row a second time.
    fetchAll();
    d->pending.clear();
    m_state = State::Insert;
}

void ActivityTable::setFieldValue(int column, const QVariant& value)
{
    requireActive(*this);
    if (column < 0 || column >= kColumnCount)
        throw DatabaseError(QStringLiteral("List index out of bounds (%1)").arg(column));
    if (m_state == State::Browse)
        edit();
    d->pending[column] = coerceToColumn(column, value);
}

void ActivityTable::post()
{
    requireActive(*this);
    if (m_state == State::Browse)
        return;
    sqlite3* db = m_database.writableHandle();
    if (m_state == State::Insert) {
        if (!d->insert)
            d->insert = std::make_unique<Statement>(db, insertSql());
        Statement& insert = *d->insert;
        insert.reset();
        std::map<int, QVariant> values;
        for (int c = 0; c < kColumnCount; ++c) {
            QVariant v = fieldValue(c);
            bindColumnValue(insert.get(), c + 1, c, v);
            if (!v.isNull())
                values[c] = coerceToColumn(c, v);
        }
        insert.step();
        insert.reset();
        PackedRow row = d->withChanges(PackedRow(), values, sqlite3_last_insert_rowid(db));
        d->lastFetchedId = std::max(d->lastFetchedId, row.id());
        d->visible.push_back(int(d->rows.size()));
        d->rows.push_back(std::move(row));
        ++d->revision;
        d->pending.clear();
        m_state = State::Browse;
        m_current = rowCount() - 1;
        m_bof = m_eof = false;
        emit rowAppended(m_current);
        return;
    }
    // Edit: write only the columns this edit changed, into the row it was
    // made on: the stamp is checked in the transaction that writes.
    if (!d->pending.empty()) {
        Transaction transaction(m_database);
        if (!rowsOfSameImport()) {
            transaction.rollback();
            cancel();
            requery();
            throw DatabaseError(QStringLiteral(
                "Another program imported a project into the table since its rows were read: the edit was not "
                "saved. The table was read again."));
        }
        QStringList assignments;
        for (const auto& [column, v] : d->pending)
            assignments << quotedName(column) + QStringLiteral(" = ?");
        Statement update(db, QStringLiteral("UPDATE [P3Data] SET ") + assignments.join(QStringLiteral(", "))
                                 + QStringLiteral(" WHERE rowid = ?"));
        int index = 1;
        for (const auto& [column, v] : d->pending)
            bindColumnValue(update.get(), index++, column, v);
        sqlite3_bind_int64(update.get(), index, rowIdAt(m_current));
        update.step();
        transaction.commit();
        PackedRow& row = d->rows[size_t(d->visible[size_t(m_current)])];
        row = d->withChanges(row, d->pending, row.id());
        ++d->revision;
    }
    d->pending.clear();
    m_state = State::Browse;
    emit rowPosted(m_current);
}

void ActivityTable::cancel()
{
    d->pending.clear();
    if (m_state == State::Edit || m_state == State::Insert)
        m_state = State::Browse;
}

void ActivityTable::setFilter(const QString& filterText)
{
    if (m_filtered && isActive() && filterText != m_filterText) {
        const QString previous = m_filterText;
        m_filterText = filterText;
        try {
            refilter();
        } catch (...) {
            m_filterText = previous;
            throw;
        }
        return;
    }
    m_filterText = filterText;
}

void ActivityTable::setFiltered(bool on)
{
    if (on == m_filtered)
        return;
    m_filtered = on;
    if (!isActive())
        return;
    try {
        refilter();
    } catch (...) {
        m_filtered = !on;
        throw;
    }
}

void ActivityTable::requery()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    sqlite3* db = m_database.handle();
    // Read before the rows: an import committed in between makes the stamp
    // older than the rows, which only costs one more re-read.
    const qint64 stamp = importStamp(m_database);

    // Work out which rows the filter selects before touching the cache, so a
    // filter text the engine cannot read leaves the table as it was.
    std::vector<qint64> matches = filterMatches();

    m_columnsOfLastReset.clear();
    d->rows.clear();
    d->changedRowsKnown = false;
    ++d->revision;
    d->visible.clear();
    d->filterActive = m_filtered && !m_filterText.trimmed().isEmpty();
    d->matches = std::move(matches);
    d->lastFetchedId = 0;
    d->fetchDone = false;
    m_importStamp = stamp;
    try {
        d->fetchChunk(db, kFirstChunk);
    } catch (...) {
        close();
        throw;
    }
    emit dataReread({});
    announceReset(true);
}

void ActivityTable::requeryColumns(std::vector<int> columns)
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    if (!rowsOfSameImport() || !d->refreshColumns(m_database.handle(), columns)) {
        requery();
        return;
    }
    finishColumnsReread(std::move(columns));
}

void ActivityTable::ColumnReread::takeRow(const std::vector<int>& columns, sqlite3_stmt* select)
{
    if (!m_started) {
        m_started = true;
        m_columns = columns;
    }
    const qint64 id = sqlite3_column_int64(select, 0);
    if (id > m_lastCachedId || columns != m_columns)
        return;   // not cached: the fetch reads it as it is by then
    m_rowIds.push_back(id);
    for (std::size_t i = 0; i < columns.size(); ++i)
        m_cells.append(selectedCell(select, int(i) + 1, columns[i]));
}

ActivityTable::ColumnReread ActivityTable::startColumnReread() const
{
    ColumnReread reread;
    reread.m_revision = d->revision;
    reread.m_lastCachedId = d->lastFetchedId;
    return reread;
}

void ActivityTable::requeryColumns(std::vector<int> columns, ColumnReread&& reread)
{
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    // The values cover these columns of every cached row, the rows are the
    // ones cached, the cache is as it was when they were read, and no edit
    // waits to be posted over it.
    const bool covered = isActive() && m_state == State::Browse && reread.m_columns == columns
                         && reread.m_revision == d->revision && reread.m_lastCachedId == d->lastFetchedId
                         && reread.m_rowIds.size() == d->rows.size()
                         && std::equal(d->rows.begin(), d->rows.end(), reread.m_rowIds.begin(),
                                       [](const PackedRow& row, qint64 id) { return row.id() == id; })
                         && rowsOfSameImport();
    if (!covered) {
        requeryColumns(std::move(columns));
        return;
    }
    std::vector<CellView> fresh(columns.size());
    d->startNotingChanges(columns.size());
    for (std::size_t row = 0, cell = 0; row < d->rows.size(); ++row) {
        for (std::size_t i = 0; i < columns.size(); ++i, ++cell)
            fresh[i] = reread.m_cells.at(cell);
        if (std::optional<PackedRow> replaced = d->builder.withCells(d->rows[row], columns, fresh))
            d->replaceRow(d->rows[row], std::move(*replaced), columns);
    }
    d->changedRowsKnown = true;
    ++d->revision;
    finishColumnsReread(std::move(columns));
}

void ActivityTable::finishColumnsReread(std::vector<int> columns)
{
    std::vector<qint64> matches = filterMatches();
    d->filterActive = m_filtered && !m_filterText.trimmed().isEmpty();
    d->matches = std::move(matches);
    const std::vector<int> visibleBefore = d->visible;
    d->rebuildVisible();
    m_columnsOfLastReset.clear();
    emit dataReread(columns);
    // The changed rows are told with the signal only.
    std::vector<std::vector<qint64>>().swap(d->changedRows);
    d->changedRowsKnown = false;
    if (d->visible == visibleBefore)
        m_columnsOfLastReset = std::move(columns);
    announceReset(true);
}

std::vector<qint64> ActivityTable::filterMatches() const
{
    std::vector<qint64> matches;
    if (!m_filtered || m_filterText.trimmed().isEmpty())
        return matches;
    Statement select(m_database.handle(),
                     QStringLiteral("SELECT rowid FROM [P3Data] WHERE ") + filterTextToSql(m_filterText));
    while (select.step())
        matches.push_back(sqlite3_column_int64(select.get(), 0));
    std::sort(matches.begin(), matches.end());
    return matches;
}

void ActivityTable::refilter()
{
    requireActive(*this);
    if (m_state != State::Browse)
        post();
    std::vector<qint64> matches = filterMatches();
    m_columnsOfLastReset.clear();
    d->filterActive = m_filtered && !m_filterText.trimmed().isEmpty();
    d->matches = std::move(matches);
    d->rebuildVisible();
    announceReset(false);
}

void ActivityTable::announceReset(bool reRead)
{
    m_current = rowCount() > 0 ? 0 : -1;
    m_bof = true;
    m_eof = rowCount() == 0;
    emit rowsReset();
    emit afterScroll();
    if (!reRead)
        return;
    if (d->fetchDone)
        emit fetchFinished();
    else
        scheduleFetch();
}

void ActivityTable::scheduleFetch()
{
    if (d->fetchScheduled || d->fetchDone)
        return;
    d->fetchScheduled = true;
    // One pending call at a time; it continues whatever fetch is current
    // when it runs, so a requery meanwhile simply restarts from its rows.
    QMetaObject::invokeMethod(this, [this] {
        d->fetchScheduled = false;
        if (d->fetchDone || !isActive())
            return;
        fetchMore(kLaterChunk);
        scheduleFetch();
    }, Qt::QueuedConnection);
}

bool ActivityTable::rowsOfSameImport() const
{
    return importStamp(m_database) == m_importStamp;
}

void ActivityTable::fetchMore(int limit)
{
    const int firstNew = rowCount();
    const int added = d->fetchChunk(m_database.handle(), limit);
    // Checked after the rows were read: rows of another import among them
    // show as a stamp that moved, and the whole table is read again.
    if (!rowsOfSameImport()) {
        requery();
        return;
    }
    if (added > 0)
        emit rowsFetched(firstNew, firstNew + added - 1);
    if (d->fetchDone)
        emit fetchFinished();
}

bool ActivityTable::isFetching() const
{
    return isActive() && !d->fetchDone;
}

const std::vector<std::vector<qint64>>* ActivityTable::changedRowsOfLastReread() const
{
    return d->changedRowsKnown ? &d->changedRows : nullptr;
}

void ActivityTable::fetchAll()
{
    while (isActive() && !d->fetchDone)
        fetchMore(1 << 30);
}

} // namespace orvane::store
