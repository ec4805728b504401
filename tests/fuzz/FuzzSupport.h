#pragma once
// Checks shared by the fuzz targets.

#include <QString>

namespace orvane::fuzz {

// SQL from the filter engine must compile in SQLite as the WHERE of a single
// SELECT over P3Data (nothing after it, nothing it could inject); aborts
// otherwise.
void requireValidWhere(const QString& sql);

} // namespace orvane::fuzz
