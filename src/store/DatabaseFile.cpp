#include "store/DatabaseFile.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/ImportBase.h"
#include "store/Statement.h"

#include <QFile>
#include <QFileInfo>
#include <sqlite3.h>

namespace orvane::store {

void createActivityDatabase(const QString& path)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        throw DatabaseError(QStringLiteral("The file '%1' already exists; it was left untouched").arg(path));
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_EXCLUSIVE, nullptr);
    QString message;
    if (rc == SQLITE_OK) {
        // Large pages: a command over every row rewrites every page, and
        // costs less the fewer there are; one row's edit writes a single
        // page, which at 64 KiB is still nothing a person waits for.
        // The write-back looks every activity up by its ID: index it from the start.
        const QByteArray sql = "PRAGMA page_size=65536; PRAGMA journal_mode=WAL; BEGIN; " + createTableSql().toUtf8()
                               + "; CREATE INDEX P3Data_ActivityID ON P3Data (ActivityID); "
                               + ImportBase::createTablesSql().toUtf8() + " COMMIT;";
        char* error = nullptr;
        rc = sqlite3_exec(db, sql.constData(), nullptr, nullptr, &error);
        if (rc != SQLITE_OK)
            message = engineMessage(db, rc);
        sqlite3_free(error);
    } else {
        message = engineMessage(db, rc);
    }
    sqlite3_close(db);
    if (!message.isEmpty()) {
        QFile::remove(path);
        throw DatabaseError(QStringLiteral("Cannot create '%1': %2").arg(path, message));
    }
}

} // namespace orvane::store
