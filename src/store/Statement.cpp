#include "store/Statement.h"

#include "common/Errors.h"
#include "common/ReplacingFile.h"

#include <QDir>
#include <sqlite3.h>

namespace orvane::store {

QString engineMessage(sqlite3* db, int rc)
{
    if ((rc & 0xff) == SQLITE_BUSY)
        return QStringLiteral(
            "Another program is changing the database at this moment, so nothing was changed. Try again when it has finished.");
    // The engine says "database or disk is full" or, when the file system
    // says so on a write, only "disk I/O error".
    const bool noSpace = (rc & 0xff) == SQLITE_FULL
        || ((rc & 0xff) == SQLITE_IOERR && db && isNoSpaceError(sqlite3_system_errno(db)));
    if (noSpace && db) {
        const char* file = sqlite3_db_filename(db, "main");
        return QStringLiteral("The disk is full: \"%1\" could not be written; the change was not saved")
            .arg(QDir::toNativeSeparators(QString::fromUtf8(file && *file ? file : "pdb.mdb")));
    }
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
}

void throwIfFailed(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        throw DatabaseError(engineMessage(db, rc));
}

Statement::Statement(sqlite3* db, const QString& sql) : m_db(db)
{
    const QByteArray utf8 = sql.toUtf8();
    throwIfFailed(m_db, sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &m_stmt, nullptr));
    if (!m_stmt)
        throw DatabaseError(QStringLiteral("The statement is empty"));
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = engineMessage(m_db, rc);
    sqlite3_reset(m_stmt);
    throw DatabaseError(message);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int Statement::parameterIndex(const QString& name) const
{
    return sqlite3_bind_parameter_index(m_stmt, name.toUtf8().constData());
}

} // namespace orvane::store
