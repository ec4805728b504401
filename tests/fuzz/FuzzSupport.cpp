#include "FuzzSupport.h"

#include "store/ActivityLayout.h"

#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace orvane::fuzz {

namespace {
sqlite3* database()
{
    static sqlite3* db = [] {
        sqlite3* handle = nullptr;
        if (sqlite3_open(":memory:", &handle) != SQLITE_OK)
            std::abort();
        const QByteArray create = store::createTableSql().toUtf8();
        if (sqlite3_exec(handle, create.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            std::abort();
        return handle;
    }();
    return db;
}
} // namespace

void requireValidWhere(const QString& sql)
{
    const QByteArray statement = (QStringLiteral("SELECT rowid FROM P3Data WHERE ") + sql).toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(database(), statement.constData(), int(statement.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        std::fprintf(stderr, "SQLite refused the engine's SQL: %s\n%s\n", sqlite3_errmsg(database()),
                     statement.constData());
        std::abort();
    }
    sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    if (tail != statement.constData() + statement.size()) {
        std::fprintf(stderr, "The engine's SQL holds more than one statement:\n%s\n", statement.constData());
        std::abort();
    }
}

} // namespace orvane::fuzz
