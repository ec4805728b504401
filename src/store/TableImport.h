#pragma once
// Which import the rows of P3Data come from.
//
// Every import replaces the whole table. A change recorded against the rows
// of one import (an undo step, the rows a window shows and edits by rowid)
// must never be applied to the rows of the next: rowids start again at 1,
// so another project's rows would take it silently. Each import therefore
// counts itself, inside the transaction that refills the table, in a small
// side table of its own beside P3Data ([P3DataImport], one row), together
// with the project it brought in. P3Data's own layout is left as it is.
//
// A file that no import has touched since this was introduced has no side
// table: its stamp reads as 0, below every stamp an import writes.

#include <QString>

namespace orvane::store {

class Database;

struct TableImport {
    qint64 stamp = 0;   // 0: no import counted yet
    QString projectGroup;
    QString projectName;
    QString projectFolder;   // where the project was opened from; empty when unknown
};

// Counts an import and records its project. Call it inside the import's
// write transaction, so the count changes exactly when the rows do; the
// side table is created there when the file lacks it.
void countImport(Database& database, const QString& projectGroup, const QString& projectName,
                 const QString& projectFolder = QString());

// The last import counted in the file, read as the file stands now.
TableImport lastImport(Database& database);
qint64 importStamp(Database& database);

} // namespace orvane::store
