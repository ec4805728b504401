#include "store/TableImport.h"

#include "store/Database.h"
#include "store/SqlValues.h"
#include "store/Statement.h"

#include <sqlite3.h>

namespace orvane::store {

namespace {

// The side table holds at most one row, the one with id 1.
const QString kCreateSideTable = QStringLiteral(
    "CREATE TABLE IF NOT EXISTS [P3DataImport] ("
    "[id] INTEGER PRIMARY KEY CHECK ([id] = 1), [Stamp] INTEGER NOT NULL, "
    "[ProjectGroup] TEXT, [ProjectName] TEXT, [ProjectFolder] TEXT)");

bool sideTableExists(sqlite3* db)
{
    Statement select(db, QStringLiteral(
        "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = 'P3DataImport'"));
    return select.step();
}

QString textColumn(sqlite3_stmt* row, int index)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(row, index)),
                             sqlite3_column_bytes(row, index));
}

} // namespace

void countImport(Database& database, const QString& projectGroup, const QString& projectName,
                 const QString& projectFolder)
{
    sqlite3* db = database.writableHandle();
    Statement(db, kCreateSideTable).step();
    Statement upsert(db, QStringLiteral(
        "INSERT INTO [P3DataImport] ([id], [Stamp], [ProjectGroup], [ProjectName], [ProjectFolder]) "
        "VALUES (1, 1, ?1, ?2, ?3) ON CONFLICT ([id]) DO UPDATE SET [Stamp] = [Stamp] + 1, "
        "[ProjectGroup] = excluded.[ProjectGroup], [ProjectName] = excluded.[ProjectName], "
        "[ProjectFolder] = excluded.[ProjectFolder]"));
    bindValue(upsert.get(), 1, projectGroup);
    bindValue(upsert.get(), 2, projectName);
    bindValue(upsert.get(), 3, projectFolder);
    upsert.step();
}

TableImport lastImport(Database& database)
{
    TableImport import;
    sqlite3* db = database.handle();
    // A table created between these two reads was created by an import
    // not seen yet: stamp 0 is older than it, which is the safe side.
    if (!sideTableExists(db))
        return import;
    Statement select(db, QStringLiteral(
        "SELECT [Stamp], [ProjectGroup], [ProjectName], [ProjectFolder] FROM [P3DataImport] WHERE [id] = 1"));
    if (select.step()) {
        import.stamp = sqlite3_column_int64(select.get(), 0);
        import.projectGroup = textColumn(select.get(), 1);
        import.projectName = textColumn(select.get(), 2);
        import.projectFolder = textColumn(select.get(), 3);
    }
    return import;
}

qint64 importStamp(Database& database)
{
    return lastImport(database).stamp;
}

} // namespace orvane::store
