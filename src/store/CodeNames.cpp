#include "store/CodeNames.h"

#include "store/Database.h"
#include "store/Statement.h"

#include <sqlite3.h>

namespace orvane::store {

namespace {

bool hasCodeNameTable(sqlite3* db)
{
    Statement find(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'P3CodeNames'"));
    return find.step();
}

} // namespace

void writeCodeNames(Database& db, const QStringList& names)
{
    sqlite3* handle = db.writableHandle();
    db.executeRaw(QStringLiteral("CREATE TABLE IF NOT EXISTS [P3CodeNames] ([Slot] INTEGER PRIMARY KEY, [Name] TEXT NOT NULL)"));
    db.executeRaw(QStringLiteral("DELETE FROM [P3CodeNames]"));
    Statement insert(handle, QStringLiteral("INSERT INTO [P3CodeNames] ([Slot], [Name]) VALUES (?, ?)"));
    for (int slot = 0; slot < names.size(); ++slot) {
        const QByteArray name = names.at(slot).toUtf8();
        sqlite3_bind_int(insert.get(), 1, slot + 1);
        sqlite3_bind_text(insert.get(), 2, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        insert.step();
        insert.reset();
    }
}

std::optional<QStringList> readCodeNames(Database& db)
{
    sqlite3* handle = db.handle();
    if (!hasCodeNameTable(handle))
        return std::nullopt;
    QStringList names;
    Statement select(handle, QStringLiteral("SELECT [Name] FROM [P3CodeNames] ORDER BY [Slot]"));
    while (select.step())
        names << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)),
                                   sqlite3_column_bytes(select.get(), 0));
    return names;
}

} // namespace orvane::store
