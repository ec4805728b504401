#pragma once
// Creating a new, empty activity database (used by orvane-batch makedb and
// by tests; Orvane itself never creates the file).

#include <QString>

namespace orvane::store {

// Creates `path` holding an empty P3Data with the 148-column layout. Refuses
// (DatabaseError, file untouched) when anything already exists at `path`.
void createActivityDatabase(const QString& path);

} // namespace orvane::store
