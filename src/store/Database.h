#pragma once
// The connection to the local database ("pdb.mdb", SQLite underneath).
//
// What Orvane guarantees about the file:
// - It is never created here, and never changed until its P3Data table has
//   been found with exactly the layout Orvane addresses by position. A file
//   that is empty, is not a database, or holds another layout is refused:
//   every use of the connection then fails with that message, before any
//   statement runs, so no command reads or writes through a refused table.
// - A file that cannot be written (the file or its folder is read-only) is
//   opened read-only: reading works, and every change is refused with a
//   message that says so, before anything is changed.
// - Every change (a posted row, a DELETE or UPDATE, a committed
//   Transaction) is on the disk when the call returns, across a killed
//   process and a power loss alike: WAL journal with full synchronous
//   commits. A change is applied whole or not at all.
// - The log's pages are copied back into the file by a thread of its own
//   (WalCheckpointer), not by the command whose commit filled the log.

#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

struct sqlite3;

namespace orvane::store {

class Database {
public:
    // fileName is resolved against the process's current directory.
    explicit Database(QString fileName = QStringLiteral("pdb.mdb"));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file if it is not open yet and checks the table's layout.
    // Throws DatabaseError with the engine's message when the file is
    // missing, unreadable, empty or not a database. A refused layout does
    // not fail here: it is remembered and reported by handle().
    void open();
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const QString& fileName() const { return m_fileName; }

    // The open handle; reconnects first when the connection is closed (so a
    // command issued after a failed start-up reports the engine's error).
    // Throws the layout message when the table's layout was refused.
    sqlite3* handle();

    // handle(), and the read-only message when the file cannot be written.
    sqlite3* writableHandle();
    // Whether the file was opened read-only (it cannot be written).
    bool isReadOnly() const { return m_readOnly; }
    // The message of a change refused because the file is read-only.
    QString readOnlyMessage() const;

    // Runs one statement in Orvane's dialect (see Dialect.h), binding named
    // parameters (":name") from params. Returns the number of rows changed.
    // A statement that would write is refused on a read-only file.
    int execute(const QString& statementText, const QVariantMap& params = {});

    // Runs raw SQLite SQL (no dialect translation), for internal use.
    void executeRaw(const QString& sql);

    // Returns once the log copies asked for so far are made (tests and
    // benchmarks that look at the file itself).
    void waitForLogCopy();

private:
    friend class Transaction;
    void acceptFile(sqlite3* db);
    static int onCommit(void* self, sqlite3* db, const char* schema, int logPages);

    QString m_fileName;
    sqlite3* m_db = nullptr;
    bool m_readOnly = false;
    QString m_layoutError;
    std::unique_ptr<class WalCheckpointer> m_checkpointer;
    int m_pageSize = 4096;
};

// One write transaction: nothing it changed is visible to other programs or
// kept on the disk until commit(); leaving the scope without commit() (an
// error, a cancel) rolls every change back. It takes the file's write lock at
// once, so a second program changing the same file meanwhile waits for it or
// stops with a clear message, never interleaving its rows.
//
// A Transaction begun while another is open on the connection is a part of
// it (a savepoint): its rollback takes back its own changes, its commit
// leaves them to the outer one, which alone puts them on the disk. So work
// that writes in a transaction of its own can run inside a larger one that
// also holds the reading it depends on.
class Transaction {
public:
    explicit Transaction(Database& database);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    // Undoes everything since the start; does nothing after commit().
    void rollback() noexcept;
    bool isActive() const { return m_active; }

private:
    Database& m_database;
    bool m_active = false;
    bool m_nested = false;
};

} // namespace orvane::store
