#include "store/Database.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/CopiedValueText.h"
#include "store/Dialect.h"
#include "store/SqlValues.h"
#include "store/Statement.h"
#include "store/WalCheckpointer.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>
#include <sqlite3.h>

namespace orvane::store {

namespace {

// How long a connection waits for another program's lock before it gives up.
constexpr int kBusyTimeoutMs = 5000;

QString cannotOpen(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot open '%1': %2").arg(QDir::toNativeSeparators(path), reason);
}

// Opens a connection and reads the schema, the first real touch of the
// file: a file that is not a database fails here, not in the middle of a
// command. Reading never writes. Returns the engine's result code; *db is
// null unless it is SQLITE_OK.
int openAndReadSchema(const QByteArray& name, int flags, sqlite3** db, QString* message)
{
    *db = nullptr;
    // The connection is only ever used from the thread that runs the
    // window, so the engine need not lock it on every call (reading a
    // row's 148 columns would take as many locks).
    int rc = sqlite3_open_v2(name.constData(), db, flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc == SQLITE_OK) {
        // Every connection waits for a busy file, readers from their first
        // read on: another program closing its connection or recovering
        // the journal locks the file for a moment.
        sqlite3_busy_timeout(*db, kBusyTimeoutMs);
        rc = sqlite3_exec(*db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK) {
        *message = engineMessage(*db, rc);
        sqlite3_close(*db);
        *db = nullptr;
    }
    return rc;
}

// What keeps P3Data from being used, or an empty text when it has exactly
// the layout Orvane addresses by position: a table of another shape would
// put values into wrong columns (and write them so into P3).
QString layoutProblem(sqlite3* db)
{
    Statement info(db, QStringLiteral("PRAGMA table_info([P3Data])"));
    QStringList actual;
    QStringList declaredTypes;
    while (info.step()) {
        actual << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 1)));
        declaredTypes << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 2)));
    }
    if (actual.isEmpty())
        return QStringLiteral("The table 'P3Data' does not exist in the database");
    const QStringList& expected = fieldNames();
    const qsizetype common = std::min(actual.size(), expected.size());
    for (qsizetype i = 0; i < common; ++i) {
        if (actual.at(i) != expected.at(i))
            return QStringLiteral("The table 'P3Data' does not have the expected layout: column %1 is '%2' where '%3' is expected")
                .arg(i).arg(actual.at(i), expected.at(i));
    }
    if (actual.size() < expected.size())
        return QStringLiteral("The table 'P3Data' does not have the expected layout: it has %1 columns and lacks '%2' (column %3) and the columns after it")
            .arg(actual.size()).arg(expected.at(actual.size())).arg(actual.size());
    if (actual.size() > expected.size())
        return QStringLiteral("The table 'P3Data' does not have the expected layout: it has %1 columns; '%2' (column %3) is not expected")
            .arg(actual.size()).arg(actual.at(expected.size())).arg(expected.size());
    // The names are right; the types decide what becomes of a stored text.
    for (int i = 0; i < kColumnCount; ++i) {
        const QString affinity = affinityOf(declaredTypes.at(i));
        const QString expectedAffinity = affinityOf(sqlTypeOf(i));
        if (affinity != expectedAffinity)
            return QStringLiteral("The table 'P3Data' does not have the expected layout: column %1 '%2' is declared "
                                  "'%3' (%4 affinity) where %5 affinity is expected")
                .arg(i).arg(expected.at(i), declaredTypes.at(i), affinity, expectedAffinity);
    }
    return QString();
}

// The log is copied back into the file once it holds this much.
constexpr qint64 kLogCopyBytes = qint64(1) << 20;

int pageSize(sqlite3* db)
{
    Statement pragma(db, QStringLiteral("PRAGMA page_size"));
    return pragma.step() ? sqlite3_column_int(pragma.get(), 0) : 4096;
}

void exec(sqlite3* db, const char* sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DatabaseError(engineMessage(db, rc));
}

} // namespace

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
    const QFileInfo info(path);
    // Never create the file: a missing database is the user's to provide.
    if (!info.exists())
        throw DatabaseError(QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
    // The engine would take an empty file for a new database and write one.
    if (info.isFile() && info.size() == 0)
        throw DatabaseError(cannotOpen(path, QStringLiteral("the file is empty, it is not a database")));

    // Writing needs the file and, for the journal beside it, its folder.
    const bool writable = info.isWritable() && QFileInfo(info.absolutePath()).isWritable();
    sqlite3* db = nullptr;
    QString message;
    int rc = openAndReadSchema(path.toUtf8(), writable ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, &db,
                               &message);
    const int primary = rc & 0xff;
    if (!writable && (primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) {
        // A WAL database in a folder that cannot be written has no shared
        // memory file to read through; nobody can change it there, so it is
        // read as an unchanging file.
        const QByteArray uri = QUrl::fromLocalFile(path).toEncoded() + "?immutable=1";
        rc = openAndReadSchema(uri, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, &db, &message);
    }
    // A file busy for longer than the wait gets the writers' message as it is.
    if ((rc & 0xff) == SQLITE_BUSY)
        throw DatabaseError(message);
    if (rc != SQLITE_OK)
        throw DatabaseError(cannotOpen(path, message));
    m_readOnly = !writable || sqlite3_db_readonly(db, "main") == 1;
    try {
        acceptFile(db);
    } catch (const OrvaneError& e) {
        sqlite3_close(db);
        m_readOnly = false;
        throw DatabaseError(cannotOpen(path, e.message()));
    }
    registerDisplayTextFunction(db);
    m_db = db;
}

void Database::acceptFile(sqlite3* db)
{
    m_layoutError = layoutProblem(db);
    if (!m_layoutError.isEmpty() || m_readOnly)
        return;   // nothing is written to a file that is refused or read-only
    // WAL keeps every commit atomic; FULL synchronisation puts it on the
    // disk before the commit returns. The write-back looks every activity up
    // by its ID: files made before the index existed get it here, once.
    exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; "
             "CREATE INDEX IF NOT EXISTS P3Data_ActivityID ON P3Data (ActivityID);");
    m_pageSize = pageSize(db);
    // The hook replaces the engine's own copy at commit.
    m_checkpointer = std::make_unique<WalCheckpointer>(QByteArray(sqlite3_db_filename(db, "main")));
    sqlite3_wal_hook(db, &Database::onCommit, this);
}

int Database::onCommit(void* self, sqlite3*, const char*, int logPages)
{
    auto* database = static_cast<Database*>(self);
    if (qint64(logPages) * database->m_pageSize >= kLogCopyBytes)
        database->m_checkpointer->request();
    return SQLITE_OK;
}

void Database::waitForLogCopy()
{
    if (m_checkpointer)
        m_checkpointer->waitIdle();
}

void Database::close()
{
    // The copier's connection goes first: the program's own, closing last,
    // then copies what is left and removes the log.
    m_checkpointer.reset();
    if (m_db) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_readOnly = false;
    m_layoutError.clear();
}

sqlite3* Database::handle()
{
    open();
    if (!m_layoutError.isEmpty())
        throw DatabaseError(m_layoutError);
    return m_db;
}

sqlite3* Database::writableHandle()
{
    sqlite3* db = handle();
    if (m_readOnly)
        throw DatabaseError(readOnlyMessage());
    return db;
}

QString Database::readOnlyMessage() const
{
    return QStringLiteral("%1 is read-only: nothing was changed.").arg(QFileInfo(m_fileName).fileName());
}

int Database::execute(const QString& statementText, const QVariantMap& params)
{
    sqlite3* db = handle();
    Statement statement(db, translateStatement(statementText));
    if (m_readOnly && !sqlite3_stmt_readonly(statement.get()))
        throw DatabaseError(readOnlyMessage());
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
    exec(handle(), sql.toUtf8().constData());
}

Transaction::Transaction(Database& database) : m_database(database)
{
    // IMMEDIATE takes the write lock now, not at the first write, so two
    // programs never both start changing the table.
    sqlite3* db = m_database.writableHandle();
    m_nested = sqlite3_get_autocommit(db) == 0;
    exec(db, m_nested ? "SAVEPOINT orvane_part" : "BEGIN IMMEDIATE");
    m_active = true;
}

Transaction::~Transaction()
{
    rollback();
}

void Transaction::commit()
{
    if (!m_active)
        return;
    exec(m_database.handle(), m_nested ? "RELEASE orvane_part" : "COMMIT");
    m_active = false;
}

void Transaction::rollback() noexcept
{
    if (!m_active)
        return;
    m_active = false;
    if (m_database.m_db)
        sqlite3_exec(m_database.m_db, m_nested ? "ROLLBACK TO orvane_part; RELEASE orvane_part" : "ROLLBACK",
                     nullptr, nullptr, nullptr);
}

} // namespace orvane::store
