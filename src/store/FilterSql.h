#pragma once
// The store's filter engine: reads a row filter text (the grammar the grid's
// filter criteria write, e.g. "(([Log#1] LIKE '%pour%') AND ([Flag] = True))")
// and turns it into a SQLite boolean expression over P3Data's columns. The
// table's row filter and the WHERE of a bulk UPDATE both go through it, so
// they always select the same rows.

#include <QLocale>
#include <QString>

namespace orvane::store {

// Returns a SQLite expression equivalent to filterText. Throws DatabaseError
// with a clear message when the text cannot be read; nothing is run then.
QString filterTextToSql(const QString& filterText, const QLocale& locale = QLocale());

} // namespace orvane::store
