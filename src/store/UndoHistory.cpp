// The pre-update hook is part of the SQLite library Orvane links (Debian's
// build enables it); a library built without it fails to link here, not at
// run time.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1

#include "store/UndoHistory.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/Database.h"
#include "store/Dialect.h"
#include "store/Statement.h"
#include "store/TableImport.h"

#include <QByteArray>
#include <QStringList>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace orvane::store {

namespace {

// A step's cells are kept one after another in one byte buffer: the rowid
// (8 bytes), the column (2 bytes), then the value before and the value after
// the change, each as its storage class (1 byte) followed by 8 bytes for an
// integer or a real, or a 4-byte length and the bytes for text and blobs.
// Values go back exactly as SQLite held them.
constexpr std::size_t kRowIdSize = sizeof(sqlite3_int64);
constexpr std::size_t kColumnSize = sizeof(quint16);

template <typename T>
void appendRaw(std::vector<char>& out, const T& value)
{
    const char* p = reinterpret_cast<const char*>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

template <typename T>
T readRaw(const char*& p)
{
    T value;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return value;
}

void appendValue(std::vector<char>& out, sqlite3_value* v)
{
    const int type = sqlite3_value_type(v);
    out.push_back(char(type));
    switch (type) {
    case SQLITE_INTEGER: appendRaw(out, sqlite3_int64(sqlite3_value_int64(v))); break;
    case SQLITE_FLOAT: appendRaw(out, sqlite3_value_double(v)); break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const void* data = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_value_text(v)) : sqlite3_value_blob(v);
        const quint32 size = quint32(sqlite3_value_bytes(v));
        appendRaw(out, size);
        const char* bytes = static_cast<const char*>(data);
        if (size > 0)
            out.insert(out.end(), bytes, bytes + size);
        break;
    }
    default: break;
    }
}

// Binds the value that starts at p and moves p past it. The bytes stay in
// the step, which outlives the statement's use of them.
void bindValue(sqlite3_stmt* stmt, int index, const char*& p)
{
    const int type = *p++;
    int rc = SQLITE_OK;
    switch (type) {
    case SQLITE_INTEGER: rc = sqlite3_bind_int64(stmt, index, readRaw<sqlite3_int64>(p)); break;
    case SQLITE_FLOAT: rc = sqlite3_bind_double(stmt, index, readRaw<double>(p)); break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const quint32 size = readRaw<quint32>(p);
        rc = type == SQLITE_TEXT ? sqlite3_bind_text(stmt, index, p, int(size), SQLITE_STATIC)
                                 : sqlite3_bind_blob(stmt, index, p, int(size), SQLITE_STATIC);
        p += size;
        break;
    }
    default: rc = sqlite3_bind_null(stmt, index); break;
    }
    throwIfFailed(sqlite3_db_handle(stmt), rc);
}

void skipValue(const char*& p)
{
    const int type = *p++;
    if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
        p += 8;
    else if (type == SQLITE_TEXT || type == SQLITE_BLOB)
        p += readRaw<quint32>(p);
}

bool sameValue(sqlite3_value* a, sqlite3_value* b)
{
    const int type = sqlite3_value_type(a);
    if (type != sqlite3_value_type(b))
        return false;
    switch (type) {
    case SQLITE_NULL: return true;
    case SQLITE_INTEGER: return sqlite3_value_int64(a) == sqlite3_value_int64(b);
    case SQLITE_FLOAT: {
        const double x = sqlite3_value_double(a), y = sqlite3_value_double(b);
        return std::memcmp(&x, &y, sizeof x) == 0;
    }
    case SQLITE_TEXT: {
        const int n = sqlite3_value_bytes(a);
        return n == sqlite3_value_bytes(b)
               && std::memcmp(sqlite3_value_text(a), sqlite3_value_text(b), size_t(n)) == 0;
    }
    default: {
        const int n = sqlite3_value_bytes(a);
        return n == sqlite3_value_bytes(b) && (n == 0 || std::memcmp(sqlite3_value_blob(a), sqlite3_value_blob(b),
                                                                    size_t(n)) == 0);
    }
    }
}

// The bookkeeping a cell costs beyond its bytes in the buffer: its offset,
// kept while it is undone.
constexpr std::size_t kCellOverhead = sizeof(std::size_t);

} // namespace

struct UndoHistory::Step {
    std::size_t maxBytes = 0;
    QString label;
    std::vector<char> cells;   // see the layout above
    std::size_t cellCount = 0;
    std::size_t bytes = 0;
    bool tooLarge = false;
    // The file's import stamp before the change: its rowids name rows of
    // that import only.
    qint64 importStamp = 0;

    // The columns the statements prepared during the recording can set;
    // only these are compared. With an unknown column every one is.
    const ColumnWatch* watch = nullptr;
};

namespace {

// Case-insensitive as SQLite's names are.
int columnOfName(const char* name)
{
    static const std::vector<QByteArray> names = [] {
        std::vector<QByteArray> n;
        for (const QString& field : fieldNames())
            n.push_back(field.toUtf8());
        return n;
    }();
    for (std::size_t i = 0; i < names.size(); ++i)
        if (sqlite3_stricmp(names[i].constData(), name) == 0)
            return int(i);
    return -1;
}

bool isP3Data(const char* dbName, const char* table)
{
    return dbName && table && std::strcmp(dbName, "main") == 0 && sqlite3_stricmp(table, "P3Data") == 0;
}

// Notes what each statement prepared during a recording can change. Only
// reading, updating and transaction control leave the table's rows as they
// are; anything else that touches P3Data, or any change of a table's shape,
// is noted as more than an update.
int authorize(void* context, int action, const char* table, const char* column, const char* dbName, const char*)
{
    auto* watch = static_cast<ColumnWatch*>(context);
    switch (action) {
    case SQLITE_UPDATE:
        if (column && isP3Data(dbName, table))
            watch->watch(column);
        break;
    case SQLITE_INSERT:
    case SQLITE_DELETE:
        if (isP3Data(dbName, table))
            watch->otherChange = true;
        break;
    case SQLITE_READ: case SQLITE_SELECT: case SQLITE_FUNCTION: case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT: case SQLITE_RECURSIVE: case SQLITE_PRAGMA:
        break;
    default:
        watch->otherChange = true;
        break;
    }
    return SQLITE_OK;
}

// Counts the cell just appended from `start` on; a step past its bound
// keeps nothing more.
void countCell(UndoHistory::Step& step, std::size_t start)
{
    step.bytes += step.cells.size() - start + kCellOverhead;
    ++step.cellCount;
    if (step.bytes > step.maxBytes) {
        step.tooLarge = true;
        std::vector<char>().swap(step.cells);
        step.cellCount = 0;
    }
}

void recordCell(UndoHistory::Step& step, sqlite3* db, sqlite3_int64 rowId, int column)
{
    sqlite3_value* before = nullptr;
    sqlite3_value* after = nullptr;
    if (sqlite3_preupdate_old(db, column, &before) != SQLITE_OK
        || sqlite3_preupdate_new(db, column, &after) != SQLITE_OK || !before || !after)
        return;
    if (sameValue(before, after))
        return;
    std::vector<char>& out = step.cells;
    const std::size_t start = out.size();
    appendRaw(out, rowId);
    appendRaw(out, quint16(column));
    appendValue(out, before);
    appendValue(out, after);
    countCell(step, start);
}

QString selectColumnsSql(const std::vector<int>& columns)
{
    QStringList names;
    for (const int column : columns)
        names << QLatin1Char('"') + fieldName(column) + QLatin1Char('"');
    return QStringLiteral("SELECT rowid, %1 FROM P3Data ORDER BY rowid").arg(names.join(QLatin1Char(',')));
}

// The values of `columns` in every row, rowid order: per row the rowid, then
// each column's value as a step keeps it. Returns false, having read only
// part, once the buffer would pass `maxBytes`.
bool readColumns(sqlite3* db, const std::vector<int>& columns, std::size_t maxBytes, std::vector<char>& out)
{
    Statement select(db, selectColumnsSql(columns));
    while (select.step()) {
        appendRaw(out, sqlite3_int64(sqlite3_column_int64(select.get(), 0)));
        for (int i = 1; i <= int(columns.size()); ++i)
            appendValue(out, sqlite3_column_value(select.get(), i));
        if (out.size() > maxBytes)
            return false;
    }
    return true;
}

// The bytes of the value that starts at p, as appendValue() wrote them.
std::size_t valueSize(const char* p)
{
    const char* end = p;
    skipValue(end);
    return std::size_t(end - p);
}

// Keeps as cells of the step every value of `before` (see readColumns) that
// differs from the table's now. Returns false when the table's rows are not
// those of `before`: what changed is then not known.
bool recordDifferences(UndoHistory::Step& step, sqlite3* db, const std::vector<int>& columns,
                       const std::vector<char>& before, const UndoRecording::RowReader& alsoRead)
{
    Statement select(db, selectColumnsSql(columns));
    const char* p = before.data();
    const char* const end = p + before.size();
    std::vector<char> now;
    while (select.step()) {
        if (alsoRead)
            alsoRead(columns, select.get());
        const sqlite3_int64 rowId = sqlite3_column_int64(select.get(), 0);
        if (p >= end || readRaw<sqlite3_int64>(p) != rowId)
            return false;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const std::size_t oldSize = valueSize(p);
            now.clear();
            appendValue(now, sqlite3_column_value(select.get(), int(i) + 1));
            // One encoding per value: equal bytes, equal values.
            if (now.size() != oldSize || std::memcmp(now.data(), p, oldSize) != 0) {
                std::vector<char>& out = step.cells;
                const std::size_t start = out.size();
                appendRaw(out, rowId);
                appendRaw(out, quint16(columns[i]));
                out.insert(out.end(), p, p + oldSize);
                out.insert(out.end(), now.begin(), now.end());
                countCell(step, start);
                if (step.tooLarge)
                    return true;
            }
            p += oldSize;
        }
    }
    return p == end;
}

void recordUpdate(void* context, sqlite3* db, int op, const char* dbName, const char* table, sqlite3_int64 rowId,
                  sqlite3_int64)
{
    auto* step = static_cast<UndoHistory::Step*>(context);
    if (op != SQLITE_UPDATE || step->tooLarge || !isP3Data(dbName, table))
        return;
    const int count = sqlite3_preupdate_count(db);
    // Every statement that runs while recording was prepared under the
    // authorizer (setting it expires the statements prepared before), so the
    // columns it can set are known. Should that ever not hold, nothing is
    // left out: every column is compared.
    const ColumnWatch& watch = *step->watch;
    if (watch.unknownColumn || watch.columns.empty() || count != kColumnCount) {
        for (int column = 0; column < std::min(count, kColumnCount) && !step->tooLarge; ++column)
            recordCell(*step, db, rowId, column);
        return;
    }
    for (const int column : watch.columns) {
        recordCell(*step, db, rowId, column);
        if (step->tooLarge)
            return;
    }
}

} // namespace

void ColumnWatch::watch(const char* name)
{
    const int column = columnOfName(name);
    if (column < 0) {
        unknownColumn = true;
        return;
    }
    if (!isSet[std::size_t(column)]) {
        isSet[std::size_t(column)] = true;
        columns.insert(std::upper_bound(columns.begin(), columns.end(), column), column);
    }
}

UndoHistory::UndoHistory(Database& database) : m_database(database) {}

UndoHistory::~UndoHistory() = default;

void UndoHistory::setLimits(std::size_t maxSteps, std::size_t maxBytes)
{
    m_maxSteps = std::min(maxSteps, kMaxSteps);
    m_maxBytes = std::min(maxBytes, kMaxBytes);
}

void UndoHistory::setEnabled(bool on)
{
    m_enabled = on;
    if (!on)
        clear();
}

QString UndoHistory::nextLabel() const
{
    return m_steps.empty() ? QString() : m_steps.back()->label;
}

void UndoHistory::clear()
{
    m_steps.clear();
    m_bytes = 0;
}

void UndoHistory::push(std::unique_ptr<Step> step)
{
    m_bytes += step->bytes;
    m_steps.push_back(std::move(step));
    while (m_steps.size() > m_maxSteps || m_bytes > m_maxBytes) {
        m_bytes -= m_steps.front()->bytes;
        m_steps.pop_front();
    }
}

namespace {

// A cell of a step: where its values start in the step's buffer.
struct CellRef {
    sqlite3_int64 rowId;
    int column;
    const char* before;   // the value before the change, then the value after
};

std::vector<CellRef> cellsOf(const UndoHistory::Step& step)
{
    std::vector<CellRef> cells;
    cells.reserve(step.cellCount);
    for (const char *p = step.cells.data(), *end = p + step.cells.size(); p < end;) {
        const sqlite3_int64 rowId = readRaw<sqlite3_int64>(p);
        const int column = readRaw<quint16>(p);
        cells.push_back({rowId, column, p});
        skipValue(p);
        skipValue(p);
    }
    return cells;
}

// Whether no cell was written twice by the step; sorts the cells by
// column, then rowid.
bool eachCellOnce(std::vector<CellRef>& cells)
{
    std::stable_sort(cells.begin(), cells.end(), [](const CellRef& a, const CellRef& b) {
        return a.column != b.column ? a.column < b.column : a.rowId < b.rowId;
    });
    return std::adjacent_find(cells.begin(), cells.end(), [](const CellRef& a, const CellRef& b) {
               return a.column == b.column && a.rowId == b.rowId;
           }) == cells.end();
}

void noteColumn(UndoHistory::Result& result, int column)
{
    if (std::find(result.columns.begin(), result.columns.end(), column) == result.columns.end())
        result.columns.insert(std::upper_bound(result.columns.begin(), result.columns.end(), column), column);
}

// A cell at a time, newest first, so a cell the step wrote twice ends at
// its first value: each put back only while it still holds what the step
// wrote.
void restoreCellByCell(sqlite3* db, const std::vector<CellRef>& byColumn, UndoHistory::Result& result)
{
    std::vector<CellRef> cells = byColumn;
    std::sort(cells.begin(), cells.end(), [](const CellRef& a, const CellRef& b) { return a.before > b.before; });
    std::array<std::unique_ptr<Statement>, kColumnCount> statements;
    for (const CellRef& cell : cells) {
        std::unique_ptr<Statement>& statement = statements.at(std::size_t(cell.column));
        if (!statement) {
            const QString name = QLatin1Char('"') + fieldName(cell.column) + QLatin1Char('"');
            statement = std::make_unique<Statement>(
                db, QStringLiteral("UPDATE P3Data SET %1 = ?1 WHERE rowid = ?2 AND %1 IS ?3").arg(name));
            noteColumn(result, cell.column);
        }
        statement->reset();
        sqlite3_stmt* s = statement->get();
        const char* p = cell.before;
        bindValue(s, 1, p);
        throwIfFailed(db, sqlite3_bind_int64(s, 2, cell.rowId));
        bindValue(s, 3, p);
        while (statement->step()) {
        }
        if (sqlite3_changes(db) > 0)
            ++result.restored;
        else
            ++result.kept;
    }
}

// The cells of one column, rowid order, looked up by the functions that
// one UPDATE of that column calls for each row it passes.
struct ColumnCells {
    const CellRef* first;
    const CellRef* last;
    std::vector<char> scratch;

    const CellRef* find(sqlite3_int64 rowId) const
    {
        const CellRef* it = std::lower_bound(first, last, rowId,
                                             [](const CellRef& cell, sqlite3_int64 id) { return cell.rowId < id; });
        return it != last && it->rowId == rowId ? it : nullptr;
    }
};

// restorable(rowid, value): 1 when the step changed this cell and it still
// holds what the step wrote (the same storage class and bytes).
void restorableFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    auto* cells = static_cast<ColumnCells*>(sqlite3_user_data(context));
    const CellRef* cell = cells->find(sqlite3_value_int64(args[0]));
    if (!cell) {
        sqlite3_result_int(context, 0);
        return;
    }
    const char* after = cell->before;
    skipValue(after);
    const std::size_t afterSize = valueSize(after);
    cells->scratch.clear();
    appendValue(cells->scratch, args[1]);
    sqlite3_result_int(context, cells->scratch.size() == afterSize
                                    && std::memcmp(cells->scratch.data(), after, afterSize) == 0);
}

// restored(rowid): the value the cell held before the step.
void restoredValueFunction(sqlite3_context* context, int, sqlite3_value** args)
{
    const auto* cells = static_cast<const ColumnCells*>(sqlite3_user_data(context));
    const CellRef* cell = cells->find(sqlite3_value_int64(args[0]));
    if (!cell) {
        sqlite3_result_error(context, "undo: no recorded value for this row", -1);
        return;
    }
    const char* p = cell->before;
    const int type = *p++;
    switch (type) {
    case SQLITE_INTEGER: sqlite3_result_int64(context, readRaw<sqlite3_int64>(p)); break;
    case SQLITE_FLOAT: sqlite3_result_double(context, readRaw<double>(p)); break;
    case SQLITE_TEXT:
    case SQLITE_BLOB: {
        const quint32 size = readRaw<quint32>(p);
        if (type == SQLITE_TEXT)
            sqlite3_result_text(context, p, int(size), SQLITE_STATIC);
        else
            sqlite3_result_blob(context, p, int(size), SQLITE_STATIC);
        break;
    }
    default: sqlite3_result_null(context); break;
    }
}

// The two functions restoreColumnByColumn's UPDATE calls, on the
// connection while it runs and gone after, whatever happens.
class LookupFunctions {
public:
    LookupFunctions(sqlite3* db, ColumnCells& cells) : m_db(db)
    {
        try {
            add("orvane_undo_restorable", 2, &cells, restorableFunction);
            add("orvane_undo_value", 1, &cells, restoredValueFunction);
        } catch (...) {
            remove();
            throw;
        }
    }
    LookupFunctions(const LookupFunctions&) = delete;
    LookupFunctions& operator=(const LookupFunctions&) = delete;
    ~LookupFunctions() { remove(); }

private:
    using Function = void (*)(sqlite3_context*, int, sqlite3_value**);
    void add(const char* name, int arguments, ColumnCells* cells, Function function)
    {
        throwIfFailed(m_db, sqlite3_create_function_v2(m_db, name, arguments, SQLITE_UTF8 | SQLITE_DIRECTONLY, cells,
                                                       function, nullptr, nullptr, nullptr));
    }
    void remove() noexcept
    {
        for (const auto& [name, arguments] : {std::pair{"orvane_undo_restorable", 2}, std::pair{"orvane_undo_value", 1}})
            sqlite3_create_function_v2(m_db, name, arguments, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    }
    sqlite3* m_db;
};

// One UPDATE per column, passing the rows between the step's first and last
// rowid: far quicker than a statement per cell when a bulk command changed
// most of the table. Only for steps that wrote each cell once.
void restoreColumnByColumn(sqlite3* db, const std::vector<CellRef>& cells, UndoHistory::Result& result)
{
    for (auto first = cells.begin(); first != cells.end();) {
        const int column = first->column;
        const auto last = std::find_if(first, cells.end(), [column](const CellRef& c) { return c.column != column; });
        ColumnCells lookup{&*first, &*first + (last - first), {}};
        const LookupFunctions functions(db, lookup);
        const QString name = QLatin1Char('"') + fieldName(column) + QLatin1Char('"');
        Statement update(db, QStringLiteral("UPDATE P3Data SET %1 = orvane_undo_value(rowid)"
                                            " WHERE rowid BETWEEN %2 AND %3 AND orvane_undo_restorable(rowid, %1)")
                                 .arg(name)
                                 .arg(first->rowId)
                                 .arg((last - 1)->rowId));
        while (update.step()) {
        }
        const int restored = sqlite3_changes(db);
        result.restored += restored;
        result.kept += int(last - first) - restored;
        noteColumn(result, column);
        first = last;
    }
}

} // namespace

UndoHistory::Result UndoHistory::undo()
{
    if (m_steps.empty())
        throw OrvaneError(QStringLiteral("There is nothing to undo."));
    Step& step = *m_steps.back();
    Result result;
    result.label = step.label;
    {
        Transaction transaction(m_database);
        sqlite3* db = m_database.writableHandle();
        if (importStamp(m_database) != step.importStamp) {
            // Another program's import replaced the rows every step was
            // recorded on; none of them can be taken back any more.
            transaction.rollback();
            clear();
            throw OrvaneError(QStringLiteral(
                "The table was replaced by an import since this step; it cannot be undone."));
        }
        std::vector<CellRef> cells = cellsOf(step);
        if (eachCellOnce(cells))
            restoreColumnByColumn(db, cells, result);
        else
            restoreCellByCell(db, cells, result);
        transaction.commit();
    }
    m_bytes -= step.bytes;
    m_steps.pop_back();
    return result;
}

UndoRecording::UndoRecording(UndoHistory& history, QString label) : m_history(history)
{
    sqlite3* db = history.m_database.handle();
    // The authorizer tells, as each statement is prepared, what it can
    // change; installing it makes SQLite prepare again the statements
    // prepared before, so none runs unseen.
    sqlite3_set_authorizer(db, authorize, &m_watch);
    m_db = db;
    if (!history.isEnabled())
        return;
    m_step = std::make_unique<UndoHistory::Step>();
    m_step->label = std::move(label);
    m_step->maxBytes = history.m_maxBytes;
    // Read before the change: an import that comes between makes the step
    // look older than its rows and refused, never the other way round.
    m_step->importStamp = importStamp(history.m_database);
    m_step->watch = &m_watch;
    sqlite3_preupdate_hook(db, recordUpdate, m_step.get());
}

UndoRecording::~UndoRecording()
{
    stop();
}

void UndoRecording::stop()
{
    if (!m_db)
        return;
    auto* db = static_cast<sqlite3*>(m_db);
    sqlite3_preupdate_hook(db, nullptr, nullptr);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    m_db = nullptr;
}

int UndoRecording::runColumnStatement(const QString& statementText, const std::function<int()>& run,
                                      const RowReader& alsoRead)
{
    if (!m_step || m_step->tooLarge)
        return run();
    Database& database = m_history.m_database;
    Transaction transaction(database);
    sqlite3* db = database.writableHandle();
    // Prepared once unrun, so the authorizer names what the statement can set.
    { Statement probe(db, translateStatement(statementText)); }
    std::vector<char> before;
    const bool byColumns = !m_watch.unknownColumn && !m_watch.otherChange && !m_watch.columns.empty()
                           && readColumns(db, m_watch.columns, m_step->maxBytes, before);
    if (!byColumns) {
        std::vector<char>().swap(before);
        const int changed = run();   // compared row by row by the hook
        transaction.commit();
        return changed;
    }
    const std::vector<int> columns = m_watch.columns;
    sqlite3_preupdate_hook(db, nullptr, nullptr);
    struct HookBack {
        sqlite3* db;
        UndoHistory::Step* step;
        ~HookBack() { sqlite3_preupdate_hook(db, recordUpdate, step); }
    } hookBack{db, m_step.get()};
    const int changed = run();
    if (m_watch.unknownColumn || m_watch.otherChange || m_watch.columns != columns
        || !recordDifferences(*m_step, db, columns, before, alsoRead)) {
        // The statement did more than it showed when prepared unrun: what
        // it changed is not known, so nothing of this recording is kept.
        m_step->tooLarge = true;
        std::vector<char>().swap(m_step->cells);
        m_step->cellCount = 0;
    }
    transaction.commit();
    return changed;
}

std::optional<std::vector<int>> UndoRecording::columnsSet() const
{
    if (m_watch.unknownColumn || m_watch.otherChange)
        return std::nullopt;
    return m_watch.columns;
}

bool UndoRecording::finish()
{
    stop();
    if (!m_step)
        return true;
    std::unique_ptr<UndoHistory::Step> step = std::move(m_step);
    step->watch = nullptr;
    if (step->tooLarge) {
        m_history.clear();
        return false;
    }
    if (step->cellCount > 0) {
        step->cells.shrink_to_fit();
        m_history.push(std::move(step));
    }
    return true;
}

} // namespace orvane::store
