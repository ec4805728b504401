#pragma once
// A prepared SQLite statement with RAII finalisation and errors raised as
// DatabaseError carrying the engine's message.

#include <QString>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace orvane::store {

class Statement {
public:
    Statement(sqlite3* db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Advances to the next row; false when done. Throws on error.
    bool step();
    void reset();
    sqlite3_stmt* get() const { return m_stmt; }
    // 1-based index of a named parameter (":name"), or 0.
    int parameterIndex(const QString& name) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

// Throws DatabaseError with the connection's message when rc signals failure.
void throwIfFailed(sqlite3* db, int rc);

// The message for a failure rc on db: the engine's own, except for a file
// that another program holds locked, which gets a message a user can act on.
QString engineMessage(sqlite3* db, int rc);

} // namespace orvane::store
