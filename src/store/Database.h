#pragma once
// The connection to the local database ("pdb.mdb", SQLite underneath).
// Orvane never creates the file: opening a missing file fails with a clear
// message. Every statement is durable when it returns (WAL journal).

#include <QString>
#include <QVariant>
#include <QVariantMap>

struct sqlite3;

namespace orvane::store {

class Database {
public:
    // fileName is resolved against the process's current directory.
    explicit Database(QString fileName = QStringLiteral("pdb.mdb"));
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the file if it is not open yet. Throws DatabaseError with the
    // engine's message when the file is missing or unreadable.
    void open();
    bool isOpen() const { return m_db != nullptr; }
    void close();
    const QString& fileName() const { return m_fileName; }

    // The open handle; reconnects first when the connection is closed
    // (so a command issued after a failed start-up reports the engine's error).
    sqlite3* handle();

    // Runs one statement in Orvane's dialect (see Dialect.h), binding named
    // parameters (":name") from params. Returns the number of rows changed.
    int execute(const QString& statementText, const QVariantMap& params = {});

    // Runs raw SQLite SQL (no dialect translation), for internal use.
    void executeRaw(const QString& sql);

    // The engine's message for the last failure on this connection.
    QString lastErrorMessage() const;

private:
    QString m_fileName;
    sqlite3* m_db = nullptr;
};

} // namespace orvane::store
