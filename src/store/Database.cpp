#include "store/Database.h"

#include "common/Errors.h"
#include "store/CopiedValueText.h"
#include "store/Dialect.h"
#include "store/SqlValues.h"
#include "store/Statement.h"

#include <QDir>
#include <QFileInfo>
#include <sqlite3.h>

namespace orvane::store {

Database::Database(QString fileName) : m_fileName(std::move(fileName)) {}

Database::~Database()
{
    close();
}

void Database::open()
{
    if (m_db)
        return;
    const QString path = QDir::current().absoluteFilePath(m_fileName);
    // Never create the file: a missing database is the user's to provide.
    if (!QFileInfo::exists(path))
        throw DatabaseError(QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw DatabaseError(QStringLiteral("Cannot open '%1': %2").arg(QDir::toNativeSeparators(path), message));
    }
    sqlite3_busy_timeout(db, 5000);
    // Reading the schema is the first real touch of the file: a file that is
    // not a database fails here, not later in the middle of a command.
    char* error = nullptr;
    // WAL keeps every commit atomic and durable against a killed process;
    // NORMAL synchronisation avoids an fsync per posted row.
    const int prc = sqlite3_exec(db,
                                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; "
                                 "SELECT count(*) FROM sqlite_schema;",
                                 nullptr, nullptr, &error);
    if (prc != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errstr(prc));
        sqlite3_free(error);
        sqlite3_close(db);
        throw DatabaseError(QStringLiteral("Cannot open '%1': %2").arg(QDir::toNativeSeparators(path), message));
    }
    registerDisplayTextFunction(db);
    m_db = db;
}

void Database::close()
{
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

sqlite3* Database::handle()
{
    open();
    return m_db;
}

int Database::execute(const QString& statementText, const QVariantMap& params)
{
    sqlite3* db = handle();
    Statement statement(db, translateStatement(statementText));
    for (auto it = params.begin(); it != params.end(); ++it) {
        const int index = statement.parameterIndex(QLatin1Char(':') + it.key());
        if (index > 0)
            bindValue(statement.get(), index, it.value());
    }
    while (statement.step()) {
    }
    return sqlite3_changes(db);
}

void Database::executeRaw(const QString& sql)
{
    sqlite3* db = handle();
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    if (rc != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        throw DatabaseError(message);
    }
}

QString Database::lastErrorMessage() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString();
}

} // namespace orvane::store
