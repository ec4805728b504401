#pragma once
// Orvane's statement texts are written in the desktop database dialect the
// program grew up with ("DELETE * FROM P3Data", bracketed names, ":name"
// parameters, a row filter text after WHERE). This layer turns such a text
// into a statement SQLite runs with the same meaning.

#include <QString>

namespace orvane::store {

// Translates one statement. Bracketed names and ":name" parameters are
// SQLite syntax already; "DELETE * FROM" loses its "*", and the condition
// after a top-level WHERE of an UPDATE or DELETE is read as a row filter
// text (see FilterSql.h). Throws DatabaseError when the filter text cannot
// be read.
QString translateStatement(const QString& statementText);

// Position of the first " WHERE " outside quotes and brackets, or -1.
int findTopLevelWhere(const QString& statementText);

} // namespace orvane::store
