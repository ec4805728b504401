// The pre-update hook is part of the SQLite library Orvane links (Debian's
// build enables it); a library built without it fails to link here, not at
// run time.
#define SQLITE_ENABLE_PREUPDATE_HOOK 1

#include "store/UndoHistory.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/Database.h"
#include "store/Statement.h"

#include <QByteArray>
#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace orvane::store {

namespace {

// A stored value as SQLite holds it, so that it goes back byte for byte.
struct Value {
    int type = SQLITE_NULL;
    qint64 integer = 0;
    double real = 0;
    QByteArray bytes;   // text (UTF-8) or blob

    static Value of(sqlite3_value* v)
    {
        Value value;
        value.type = sqlite3_value_type(v);
        switch (value.type) {
        case SQLITE_INTEGER:
            value.integer = sqlite3_value_int64(v);
            break;
        case SQLITE_FLOAT:
            value.real = sqlite3_value_double(v);
            break;
        case SQLITE_TEXT:
            value.bytes = QByteArray(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
            break;
        case SQLITE_BLOB:
            value.bytes = QByteArray(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
            break;
        default:
            break;
        }
        return value;
    }

    void bind(sqlite3_stmt* stmt, int index) const
    {
        int rc = SQLITE_OK;
        switch (type) {
        case SQLITE_INTEGER: rc = sqlite3_bind_int64(stmt, index, integer); break;
        case SQLITE_FLOAT: rc = sqlite3_bind_double(stmt, index, real); break;
        case SQLITE_TEXT:
            rc = sqlite3_bind_text(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
            break;
        case SQLITE_BLOB:
            rc = sqlite3_bind_blob(stmt, index, bytes.constData(), int(bytes.size()), SQLITE_STATIC);
            break;
        default: rc = sqlite3_bind_null(stmt, index); break;
        }
        throwIfFailed(sqlite3_db_handle(stmt), rc);
    }
};

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

struct Cell {
    qint64 rowId;
    int column;
    Value before;
    Value after;
    std::size_t bytes() const { return sizeof(Cell) + size_t(before.bytes.size() + after.bytes.size()); }
};

} // namespace

struct UndoHistory::Step {
    std::size_t maxBytes = 0;
    QString label;
    std::vector<Cell> cells;
    std::size_t bytes = 0;
    bool tooLarge = false;
};

namespace {

void recordUpdate(void* context, sqlite3* db, int op, const char* dbName, const char* table, sqlite3_int64 rowId,
                  sqlite3_int64)
{
    auto* step = static_cast<UndoHistory::Step*>(context);
    if (op != SQLITE_UPDATE || step->tooLarge || std::strcmp(dbName, "main") != 0
        || sqlite3_stricmp(table, "P3Data") != 0)
        return;
    const int count = sqlite3_preupdate_count(db);
    for (int column = 0; column < count; ++column) {
        sqlite3_value* before = nullptr;
        sqlite3_value* after = nullptr;
        if (sqlite3_preupdate_old(db, column, &before) != SQLITE_OK
            || sqlite3_preupdate_new(db, column, &after) != SQLITE_OK || !before || !after)
            continue;
        if (sameValue(before, after))
            continue;
        Cell cell{rowId, column, Value::of(before), Value::of(after)};
        step->bytes += cell.bytes();
        if (step->bytes > step->maxBytes) {
            step->tooLarge = true;
            std::vector<Cell>().swap(step->cells);
            return;
        }
        step->cells.push_back(std::move(cell));
    }
}

} // namespace

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
        std::map<int, std::unique_ptr<Statement>> statements;
        // Newest first, so a cell a step wrote twice ends at its first value.
        for (auto it = step.cells.rbegin(); it != step.cells.rend(); ++it) {
            auto& statement = statements[it->column];
            if (!statement) {
                const QString column = QLatin1Char('"') + fieldName(it->column) + QLatin1Char('"');
                statement = std::make_unique<Statement>(
                    db, QStringLiteral("UPDATE P3Data SET %1 = ?1 WHERE rowid = ?2 AND %1 IS ?3").arg(column));
            }
            statement->reset();
            sqlite3_stmt* s = statement->get();
            it->before.bind(s, 1);
            throwIfFailed(db, sqlite3_bind_int64(s, 2, it->rowId));
            it->after.bind(s, 3);
            while (statement->step()) {
            }
            if (sqlite3_changes(db) > 0)
                ++result.restored;
            else
                ++result.kept;
        }
        transaction.commit();
    }
    m_bytes -= step.bytes;
    m_steps.pop_back();
    return result;
}

UndoRecording::UndoRecording(UndoHistory& history, QString label) : m_history(history)
{
    if (!history.isEnabled())
        return;
    m_step = std::make_unique<UndoHistory::Step>();
    m_step->label = std::move(label);
    m_step->maxBytes = history.m_maxBytes;
    sqlite3* db = history.m_database.handle();
    sqlite3_preupdate_hook(db, recordUpdate, m_step.get());
    m_db = db;
}

UndoRecording::~UndoRecording()
{
    if (m_db)
        sqlite3_preupdate_hook(static_cast<sqlite3*>(m_db), nullptr, nullptr);
}

bool UndoRecording::finish()
{
    if (!m_step)
        return true;
    if (m_db) {
        sqlite3_preupdate_hook(static_cast<sqlite3*>(m_db), nullptr, nullptr);
        m_db = nullptr;
    }
    std::unique_ptr<UndoHistory::Step> step = std::move(m_step);
    if (step->tooLarge) {
        m_history.clear();
        return false;
    }
    if (!step->cells.empty())
        m_history.push(std::move(step));
    return true;
}

} // namespace orvane::store
