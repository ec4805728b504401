#pragma once
// Undo of the changes that touch many cells at once: a bulk statement, an
// Apply of the multi-line editor, an update from a workbook.
//
// While an UndoRecording is open, every row that a statement on the
// connection updates in P3Data is compared before and after (SQLite's
// pre-update hook) in the columns the statements can set (SQLite's
// authorizer names them as each statement is prepared); the cells that
// differ are kept with both values, packed into one buffer per step. undo() writes the old values back in one transaction, only into
// cells that still hold what the change wrote: a cell edited since keeps the
// later edit. Only updates are recorded; rows added or removed are not.
//
// Memory is bounded: at most kMaxSteps steps and kMaxBytes bytes of recorded
// values and their bookkeeping. The oldest steps go first; a single change
// larger than kMaxBytes cannot be undone and ends the history.
//
// The history belongs to one run of the program. An import and a save to P3
// end it (clear()): after them the table stands for another state of P3.

#include "store/ActivityLayout.h"

#include <QString>

#include <array>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct sqlite3_stmt;

namespace orvane::store {

class Database;

class UndoHistory {
public:
    static constexpr std::size_t kMaxSteps = 20;
    static constexpr std::size_t kMaxBytes = std::size_t(128) << 20;   // 128 MiB

    explicit UndoHistory(Database& database);
    ~UndoHistory();
    UndoHistory(const UndoHistory&) = delete;
    UndoHistory& operator=(const UndoHistory&) = delete;

    // Lower bounds than the defaults (tests of the bound use small ones).
    void setLimits(std::size_t maxSteps, std::size_t maxBytes);

    // A history that is not enabled records nothing (orvane-batch).
    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    bool canUndo() const { return !m_steps.empty(); }
    std::size_t stepCount() const { return m_steps.size(); }
    // The label of the step undo() takes back; empty without one.
    QString nextLabel() const;
    // Bytes the history holds now.
    std::size_t heldBytes() const { return m_bytes; }

    struct Result {
        QString label;
        int restored = 0;   // cells given back their old value
        int kept = 0;       // cells changed since, left as they are
        std::vector<int> columns;   // the columns written back, ascending
    };
    // Takes back the last step in one transaction. Throws OrvaneError when
    // there is nothing to undo, DatabaseError when the table refuses the
    // change (read-only, refused layout); the step then stays. A step
    // recorded before an import of another program (see TableImport.h) is
    // refused with a message and nothing is written: the history is then
    // empty, as every step in it is older still.
    Result undo();

    void clear();

    struct Step;

private:
    friend class UndoRecording;
    void push(std::unique_ptr<Step> step);

    Database& m_database;
    bool m_enabled = false;
    std::size_t m_maxSteps = kMaxSteps;
    std::size_t m_maxBytes = kMaxBytes;
    std::deque<std::unique_ptr<Step>> m_steps;
    std::size_t m_bytes = 0;
};

// The columns of P3Data that statements can set, as SQLite's authorizer
// names them while each statement is prepared.
struct ColumnWatch {
    std::vector<int> columns;   // ascending
    std::array<bool, kColumnCount> isSet{};
    bool unknownColumn = false;   // a column not of the layout was named
    bool otherChange = false;     // a row may have been added or removed, or a table's shape changed

    void watch(const char* name);
};

// Records the cells that statements change from construction to finish().
// A recording dropped without finish() (the change failed and was rolled
// back) keeps nothing. Recordings do not nest. While it is open the
// recording holds the connection's authorizer and, when the history is
// enabled, its pre-update hook.
class UndoRecording {
public:
    UndoRecording(UndoHistory& history, QString label);
    ~UndoRecording();
    UndoRecording(const UndoRecording&) = delete;
    UndoRecording& operator=(const UndoRecording&) = delete;

    // The change is committed: keep it as the newest step (nothing is kept
    // when it changed no cell). Returns false when the change was too large
    // to keep: the history is then empty.
    bool finish();

    // Runs `run`, which runs the one statement `statementText` (Orvane's
    // dialect) that sets whole columns, as a bulk command does. Its cells
    // are found by reading the columns it can set before and after it, in
    // one write transaction with it, instead of comparing row by row while
    // it writes: far cheaper when it writes most rows. Returns what `run`
    // returns. A statement that can do more than set known columns is
    // compared row by row as usual.
    //
    // When the columns are read after the statement, `alsoRead` is handed
    // each row of that read as well, inside the transaction (see
    // ActivityTable::ColumnReread): the table's re-read takes those values
    // instead of reading the file once more.
    using RowReader = std::function<void(const std::vector<int>& columns, sqlite3_stmt* row)>;
    int runColumnStatement(const QString& statementText, const std::function<int()>& run,
                           const RowReader& alsoRead = {});

    // The columns the statements run so far can have set, ascending; none
    // when they may have done more than set known columns of existing rows.
    // Known with or without an enabled history, so a caller can re-read
    // just these columns.
    std::optional<std::vector<int>> columnsSet() const;

private:
    void stop();

    UndoHistory& m_history;
    ColumnWatch m_watch;
    std::unique_ptr<UndoHistory::Step> m_step;
    void* m_db = nullptr;
};

} // namespace orvane::store
